#pragma once

// What the bridge tests wait for: the end of one bridge request.

#include "bridgereply.h"

#include <QTest>

struct Outcome
{
    bool finished = false;
    bool ok = false;
    QByteArray answer;
    QString error;
};

/// Waits (in the test only) for the reply to end and collects what it said.
inline Outcome await(BridgeReply *reply, int ms = 15000)
{
    auto outcome = std::make_shared<Outcome>();
    if (!reply)
        return *outcome;
    QObject::connect(reply, &BridgeReply::finished, [outcome, reply] {
        *outcome = {true, reply->isOk(), reply->answer(), reply->errorText()};
    });
    if (!QTest::qWaitFor([outcome] { return outcome->finished; }, ms))
        outcome->error = QStringLiteral("no answer in time");
    return *outcome;
}
