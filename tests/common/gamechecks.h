#pragma once

// What the whole-game tests check once both stand-in engines have played:
// the save files, the game logs and the final boards of the host's and the
// client's game folders must tell one game, seen from opposite ends. The
// expectations are worked out here on their own, not with the connector's
// conversions.

#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QRegularExpression>
#include <QTest>

namespace GameChecks {

/// A map on which two random armies never share a cell: grass only in the
/// top half, so each army stays on its own half of the overlaid board.
inline QByteArray duelMap()
{
    QFile castle(QStringLiteral(HVD_DATA_DIR "/Castle.map"));
    if (!castle.open(QIODevice::ReadOnly))
        return QByteArray();
    QList<QByteArray> lines = GameFolder::splitLines(castle.readAll());
    for (int row = 20; row < 40 && row < lines.size(); ++row)
        lines[row] = QByteArray("M03 ").repeated(40);
    return lines.join("\r\n") + "\r\n";
}

/// Fills a game folder for a whole game: samples, the duel map, the engine
/// and its script.
inline void prepare(const TempGameFolder &dir, int moves, int seed)
{
    QVERIFY(dir.write(QStringLiteral("Duel.map"), duelMap()));
    QVERIFY(dir.copySamples());
    QVERIFY(dir.installEngine());
    QVERIFY(dir.write(QStringLiteral("EngineScript.txt"), "moves " + QByteArray::number(moves) +
                                                              ' ' + QByteArray::number(seed) +
                                                              "\r\nidle-exit 60\r\n"));
}

inline QList<QByteArray> linesOf(const TempGameFolder &dir, const char *name)
{
    return GameFolder::splitLines(dir.read(QLatin1String(name)));
}

/// The commands of the lines that begin with the prefix ("SENT:", "RCVD:").
inline QList<QByteArray> commands(const QList<QByteArray> &lines, const QByteArray &prefix)
{
    QList<QByteArray> found;
    for (const QByteArray &line : lines) {
        if (line.startsWith(prefix))
            found.append(line.mid(prefix.size()));
    }
    return found;
}

/// The kinds of the log's command lines in order: 'S' sent, 'R' received.
inline QByteArray turnOrder(const QList<QByteArray> &lines)
{
    QByteArray order;
    for (const QByteArray &line : lines)
        order += line.startsWith("SENT:") ? "S" : line.startsWith("RCVD:") ? "R" : "";
    return order;
}

/// Board rows seen from the other end: rows and cells reversed, sides exchanged.
inline QList<QByteArray> otherEnd(const QList<QByteArray> &rows)
{
    QList<QByteArray> turned;
    for (const QByteArray &row : rows) {
        QByteArray line;
        for (int cell = row.size() - 4; cell >= 0; cell -= 4)
            line += row.mid(cell, 4);
        for (char &c : line)
            c = c == 'B' ? 'R' : c == 'R' ? 'B' : c;
        turned.prepend(line);
    }
    return turned;
}

/// Army rows with their flags marked as the own side's ("007 " to "B07 ").
inline QList<QByteArray> markedOwn(QList<QByteArray> rows)
{
    for (QByteArray &row : rows) {
        for (int cell = 0; cell + 3 <= row.size(); cell += 4) {
            const int code = row.mid(cell, 3).toInt();
            if (row.at(cell) == '0' && code >= 1 && code <= 12)
                row[cell] = 'B';
        }
    }
    return rows;
}

/// Commands in the other player's view: flag numbers run backwards from the
/// other end, directions turn round.
inline QList<QByteArray> mirrored(const QList<QByteArray> &commands, int objectCount)
{
    static const QRegularExpression pattern(
        QStringLiteral("^<Root><Command FlagID='(\\d{4})' Direction='([NSEW])'(.*)$"));
    const QHash<QString, QString> turn{{"N", "S"}, {"S", "N"}, {"E", "W"}, {"W", "E"}};
    QList<QByteArray> result;
    for (const QByteArray &command : commands) {
        const QRegularExpressionMatch m = pattern.match(QString::fromLatin1(command));
        result << (m.hasMatch() ? QStringLiteral("<Root><Command FlagID='%1' Direction='%2'%3")
                                      .arg(objectCount + 10001 - m.captured(1).toInt())
                                      .arg(turn.value(m.captured(2)), m.captured(3))
                                      .toLatin1()
                                : "unreadable: " + command);
    }
    return result;
}

/// The two save files: each side's own army first, its flags marked, and the
/// same start from opposite ends.
inline void checkSaves(const TempGameFolder &host, const TempGameFolder &client,
                       const QByteArray &map, const QString &hostArmy, const QString &clientArmy)
{
    const QList<QByteArray> hostSave = linesOf(host, "HostGame.sav");
    const QList<QByteArray> clientSave = linesOf(client, "ClientGame.sav");
    QCOMPARE(hostSave.size(), 81);
    QCOMPARE(clientSave.size(), 81);
    QCOMPARE(hostSave.first(), map);
    QCOMPARE(clientSave.first(), map);
    const QList<QByteArray> hostArmyLines = GameFolder::splitLines(host.read(hostArmy));
    const QList<QByteArray> clientArmyLines = GameFolder::splitLines(client.read(clientArmy));
    QCOMPARE(hostArmyLines.value(0), map);
    QCOMPARE(clientArmyLines.value(0), map);
    QCOMPARE(hostSave.mid(1, 40), markedOwn(hostArmyLines.mid(1)));
    QCOMPARE(clientSave.mid(1, 40), markedOwn(clientArmyLines.mid(1)));
    QCOMPARE(otherEnd(hostSave.mid(1)), clientSave.mid(1));
}

/// The played game: strict turns with the host first, every move handed
/// over once and in order in the other player's view, the engines' own logs
/// agreeing with their connectors', and one final board from both ends.
inline void checkGame(const TempGameFolder &host, const TempGameFolder &client, int moves)
{
    const QList<QByteArray> hostLog = linesOf(host, "GameLog.txt");
    const QList<QByteArray> clientLog = linesOf(client, "GameLog.txt");
    QVERIFY(hostLog.value(0).startsWith("GameLog: "));
    QCOMPARE(turnOrder(hostLog), QByteArray("SR").repeated(moves));
    QCOMPARE(turnOrder(clientLog), QByteArray("RS").repeated(moves));

    const int objectCount = QString::fromLatin1(host.read(QStringLiteral("HostGame.sav")))
                                .count(QRegularExpression(QStringLiteral("[BR]\\d\\d ")));
    QCOMPARE(commands(clientLog, "RCVD:"), mirrored(commands(hostLog, "SENT:"), objectCount));
    QCOMPARE(commands(hostLog, "RCVD:"), mirrored(commands(clientLog, "SENT:"), objectCount));
    for (const TempGameFolder *dir : {&host, &client}) {
        const QList<QByteArray> log = dir == &host ? hostLog : clientLog;
        const QList<QByteArray> engineLog = linesOf(*dir, "EngineLog.txt");
        QCOMPARE(commands(engineLog, "SENT:"), commands(log, "SENT:"));
        QCOMPARE(commands(engineLog, "RCVD:"), commands(log, "RCVD:"));
    }

    const QList<QByteArray> hostBoard = linesOf(host, "EngineBoard.txt");
    const QList<QByteArray> clientBoard = linesOf(client, "EngineBoard.txt");
    QCOMPARE(hostBoard.size(), 41);
    QCOMPARE(hostBoard.first(), QByteArray("Host"));
    QCOMPARE(clientBoard.value(0), QByteArray("Client"));
    QCOMPARE(otherEnd(hostBoard.mid(1)), clientBoard.mid(1));
}

} // namespace GameChecks
