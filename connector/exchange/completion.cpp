#include "completion.h"

#include "armyflip.h"
#include "gamefolder.h"
#include "messages.h"

#include <QList>

namespace {

/// The non-blank lines of a file, each marked with the side letter and
/// followed by CR LF.
bool markedRows(const GameFolder &folder, const QString &name, bool dropHeader, char side,
                QByteArray *rows, QString *error)
{
    QList<QByteArray> lines;
    if (!folder.readLines(name, &lines, error))
        return false;
    if (dropHeader && !lines.isEmpty())
        lines.removeFirst();
    for (const QByteArray &line : std::as_const(lines)) {
        if (isBlankLine(line))
            continue;
        *rows += markSide(line, side);
        *rows += "\r\n";
    }
    return true;
}

} // namespace

HostCompletion hostCompletionFiles(const GameFolder &folder, const QByteArray &armyBuffer,
                                   const QByteArray &mapFileName, const QString &ownArmyFile)
{
    HostCompletion result;
    // Every step runs even after an earlier one failed; the first failure is
    // the one reported.
    auto fail = [&result](const QString &error) {
        if (result.ok)
            result.error = error;
        result.ok = false;
    };
    QString error;
    if (!folder.writeValue(QStringLiteral("ClientARMY.tmp"), armyBuffer, &error))
        fail(error);
    if (!FlipArmySave(folder, QStringLiteral("ClientARMY.tmp"), QStringLiteral("TopARMY.tmp"),
                      &error))
        fail(error);

    QByteArray hostRows;
    if (!markedRows(folder, ownArmyFile, true, 'B', &hostRows, &error))
        fail(error);
    QByteArray clientRows;
    if (!markedRows(folder, QStringLiteral("TopArmy.tmp"), false, 'R', &clientRows, &error))
        fail(error);

    // HostGame.sav holds the host's rows marked B and the client's marked R;
    // the start data text swaps the two letters.
    const QByteArray save = Messages::mapBaseName(mapFileName) + "\r\n" + hostRows + clientRows;
    // Created under the spelling that Control.ini names, so that an engine on a
    // file system that tells letter case apart finds it.
    if (!folder.writeBytes(QStringLiteral("HostGame.sav"), save, &error))
        fail(error);

    hostRows.replace('B', 'R');
    clientRows.replace('R', 'B');
    result.startData = hostRows + clientRows;
    result.objectCount = maxCount(result.startData);
    return result;
}

bool clientCompletionFiles(const GameFolder &folder, const QByteArray &mapName,
                           const QByteArray &startData, QString *error)
{
    const QByteArray tmp = Messages::mapBaseName(mapName) + "\r\n" + startData;
    if (!folder.writeValue(QStringLiteral("HostGame.tmp"), tmp, error))
        return false;
    return FlipSave(folder, QStringLiteral("HostGame.tmp"), QStringLiteral("ClientGame.sav"),
                    error);
}
