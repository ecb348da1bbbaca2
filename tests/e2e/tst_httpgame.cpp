// Two connectors play whole games through the real bridge server: a host and
// a client HTTP window in two game folders, each with the stand-in engine,
// driven through their controls from registration to the last move.

#include "../bridge-server/bridgeserverprocess.h"
#include "gamechecks.h"
#include "hvdclienthttp.h"
#include "hvdhosthttp.h"

#include <QLabel>
#include <QTest>

class TestHttpGame : public QObject
{
    Q_OBJECT

private slots:
    void playsAWholeGame_data()
    {
        QTest::addColumn<bool>("randomArmies");
        QTest::newRow("army files") << false;
        QTest::newRow("random armies") << true;
    }

    void playsAWholeGame()
    {
        QFETCH(bool, randomArmies);
        constexpr int PauseMs = 50;
        BridgeServerProcess server;
        QVERIFY(server.start());
        const GameChecks game(randomArmies, 30);
        RecordedBoxes boxes;
        boxes->answers << QStringLiteral("Friday's game");
        HvdHostHTTP host(GameFolder(game.hostDir.path()), server.url(), PauseMs);
        QTRY_VERIFY(host.isRegistered());
        const QString sessionId = control<QLabel>(&host, "MyPort")->text().trimmed();
        QVERIFY(!sessionId.isEmpty());
        QVERIFY(control<QLabel>(&host, "MyIP")->text().endsWith(QStringLiteral(": Friday`s game")));

        HvdClientHTTP client(GameFolder(game.clientDir.path()), server.url(), PauseMs);
        auto *idBox = control<QLineEdit>(&client, "MyPort");
        idBox->clear();
        QTest::keyClicks(idBox, sessionId);
        // The client asks for the map before the host has chosen one: it
        // polls on while the bridge answers "Wait".
        click(&client, "Command3");
        QTest::qWait(4 * PauseMs);
        QVERIFY(!button(&client, "Command2")->isEnabled());
        game.chooseAndSend(&host, &client);
        if (QTest::currentTestFailed())
            return;

        // The client may start first: it waits for the host's opening move.
        click(&client, "Command1");
        QTest::qWait(4 * PauseMs);
        QCOMPARE(game.clientDir.read(QStringLiteral("GameLog.txt")).count('\n'), 1);
        click(&host, "Command1");
        game.checkPlayedGame();
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
    }
};

QTEST_MAIN(TestHttpGame)
#include "tst_httpgame.moc"
