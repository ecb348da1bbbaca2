#include "completion.h"

#include "armyflip.h"
#include "gamefolder.h"
#include "messages.h"
#include "reassembly.h"

#include <QList>

namespace {

/// The client's half-turned army, written and read under this one spelling,
/// so that a file of another spelling left on a file system that tells
/// letter case apart is never read instead.
const QString TopArmy = QStringLiteral("TopARMY.tmp");

int rowsOf(const QByteArray &markedRows)
{
    return int(markedRows.count('\n'));
}

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
    if (!FlipArmySave(folder, QStringLiteral("ClientARMY.tmp"), TopArmy, &error))
        fail(error);

    QByteArray hostRows;
    if (!markedRows(folder, ownArmyFile, true, 'B', &hostRows, &error))
        fail(error);
    QByteArray clientRows;
    if (!markedRows(folder, TopArmy, false, 'R', &clientRows, &error))
        fail(error);

    // Bounded before anything is written or sent: more rows than the board
    // has, or more flags than its cells, would make an object count that
    // wraps in 16 bits and flag numbers that name the wrong flags.
    const auto refuse = [&result](const QString &why) {
        result.ok = false;
        result.error = why;
        return result;
    };
    if (result.ok && rowsOf(hostRows) > Messages::ArmyRows)
        return refuse(QStringLiteral("the army %1 has %2 rows; an army has at most %3")
                          .arg(ownArmyFile)
                          .arg(rowsOf(hostRows))
                          .arg(Messages::ArmyRows));
    if (result.ok && rowsOf(clientRows) > Messages::ArmyRows)
        return refuse(QStringLiteral("the army from the client has %1 rows; an army has at "
                                     "most %2")
                          .arg(rowsOf(clientRows))
                          .arg(Messages::ArmyRows));
    const qsizetype flags =
        hostRows.count('B') + hostRows.count('R') + clientRows.count('B') + clientRows.count('R');
    if (result.ok && flags > Messages::MaxObjectCount)
        return refuse(QStringLiteral("the two armies hold %1 flags; a game has at most %2")
                          .arg(flags)
                          .arg(Messages::MaxObjectCount));

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
    const int rows = Reassembly::countRows(startData, 0);
    if (rows > Messages::StartDataRows) {
        if (error)
            *error = QStringLiteral("the start data has %1 rows; it has at most %2")
                         .arg(rows)
                         .arg(Messages::StartDataRows);
        return false;
    }
    const QByteArray tmp = Messages::mapBaseName(mapName) + "\r\n" + startData;
    if (!folder.writeValue(QStringLiteral("HostGame.tmp"), tmp, error))
        return false;
    return FlipSave(folder, QStringLiteral("HostGame.tmp"), QStringLiteral("ClientGame.sav"),
                    error);
}
