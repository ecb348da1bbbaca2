#pragma once

// The whole-game tests' common part: two game folders with the stand-in
// engine, the map and armies chosen in a host and a client window, and the
// checks once both engines have played: the save files, the game logs and
// the final boards must tell one game, seen from opposite ends. What is
// expected is worked out here on its own, not with the connector's code.

#include "../tcpip/tcpwindowtesting.h"
#include "armytexts.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QCheckBox>
#include <QRegularExpression>

class GameChecks
{
public:
    /// Both games play on Castle.map; random armies often share cells of
    /// the overlaid board, which the object numbers must survive.
    /// script: more lines for both engines' scripts; engine: the program
    /// that both folders start.
    GameChecks(bool randomArmies, int moves, const QByteArray &script = QByteArray(),
               const char *engine = HVD_ENGINE_PATH)
        : map("Castle"), hostArmy(randomArmies ? "Random.arm" : "Castle_Guard.arm"),
          clientArmy(randomArmies ? "Random.arm" : "Castle_Siege.arm"), m_random(randomArmies),
          m_moves(moves)
    {
        for (const TempGameFolder *dir : {&hostDir, &clientDir}) {
            QVERIFY(dir->copySamples());
            QVERIFY(dir->installEngine(engine));
            QVERIFY(dir->write(QStringLiteral("EngineScript.txt"),
                               "moves " + QByteArray::number(moves) +
                                   (dir == &hostDir ? " 11" : " 29") +
                                   "\r\nidle-exit 60\r\nwindow hidden\r\n" + script));
        }
    }

    /// The host chooses map and army and sends them, then the client its
    /// army, until both can start. Castle.map has army files, so "Create
    /// Random Army" is ticked by hand for the random game.
    void chooseAndSend(QWidget *host, QWidget *client) const
    {
        QVERIFY(control<FileListBox>(host, "File1")->selectFile(QString::fromLatin1(map + ".map")));
        control<QCheckBox>(host, "Check2")->setChecked(m_random);
        QVERIFY(m_random ||
                control<FileListBox>(host, "File2")->selectFile(QLatin1String(hostArmy)));
        click(host, "Command2");
        QTRY_VERIFY(button(client, "Command2")->isEnabled());
        control<QCheckBox>(client, "Check2")->setChecked(m_random);
        QVERIFY(m_random ||
                control<FileListBox>(client, "File1")->selectFile(QLatin1String(clientArmy)));
        click(client, "Command2");
        QTRY_VERIFY_WITH_TIMEOUT(button(host, "Command1")->isEnabled() &&
                                     button(client, "Command1")->isEnabled(),
                                 10000);
    }

    /// Waits for both engines to end (endFile in both folders), then checks
    /// what they left; their final boards after the stand-in engine's game.
    void checkPlayedGame(const QString &endFile = QStringLiteral("EngineBoard.txt")) const
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(hostDir.file(endFile)) && QFile::exists(clientDir.file(endFile)), 120000);
        // The save files: each side's own army first, its flags marked B,
        // then the other's; the same start from opposite ends.
        const QList<QByteArray> hostSave = lines(hostDir, "HostGame.sav");
        const QList<QByteArray> clientSave = lines(clientDir, "ClientGame.sav");
        QCOMPARE(hostSave.size(), 81);
        QCOMPARE(clientSave.value(0), map);
        QCOMPARE(ArmyTexts::unmarked(hostSave.mid(0, 41)), lines(hostDir, hostArmy));
        QCOMPARE(ArmyTexts::unmarked(clientSave.mid(0, 41)), lines(clientDir, clientArmy));
        QCOMPARE(ArmyTexts::otherEnd(hostSave.mid(1)), clientSave.mid(1));

        // Strict turns, the host first; every move handed over once and in
        // order, in the other player's view; the engines' own logs agree. A
        // game ends early only when one side took the other's kind 12 flag,
        // and then both engines name the same winner.
        const QList<QByteArray> hostLog = lines(hostDir, "GameLog.txt");
        const QList<QByteArray> clientLog = lines(clientDir, "GameLog.txt");
        QVERIFY(hostLog.value(0).startsWith("GameLog: "));
        const QList<QByteArray> hostOver = commands(lines(hostDir, "EngineLog.txt"), "OVER:");
        const int played =
            int(commands(hostLog, "SENT:").size() + commands(clientLog, "SENT:").size());
        QCOMPARE(hostOver, commands(lines(clientDir, "EngineLog.txt"), "OVER:"));
        QVERIFY(hostOver.size() <= 1 && (played == 2 * m_moves || hostOver.size() == 1));
        QCOMPARE(turnOrder(hostLog), QByteArray("SR").repeated(m_moves).left(played));
        QCOMPARE(turnOrder(clientLog), QByteArray("RS").repeated(m_moves).left(played));
        const int objectCount = QString::fromLatin1(hostSave.join())
                                    .count(QRegularExpression(QStringLiteral("[BR]\\d\\d ")));
        QCOMPARE(commands(clientLog, "RCVD:"),
                 ArmyTexts::mirrored(commands(hostLog, "SENT:"), objectCount));
        QCOMPARE(commands(hostLog, "RCVD:"),
                 ArmyTexts::mirrored(commands(clientLog, "SENT:"), objectCount));
        for (const QByteArray &kind : {QByteArray("SENT:"), QByteArray("RCVD:")}) {
            QCOMPARE(commands(lines(hostDir, "EngineLog.txt"), kind), commands(hostLog, kind));
            QCOMPARE(commands(lines(clientDir, "EngineLog.txt"), kind), commands(clientLog, kind));
        }

        if (endFile != QLatin1String("EngineBoard.txt"))
            return;
        // One final board, seen from both ends.
        const QList<QByteArray> hostBoard = lines(hostDir, "EngineBoard.txt");
        const QList<QByteArray> clientBoard = lines(clientDir, "EngineBoard.txt");
        QCOMPARE(hostBoard.size(), 41);
        QCOMPARE(hostBoard.first() + clientBoard.value(0), QByteArray("HostClient"));
        QCOMPARE(ArmyTexts::otherEnd(hostBoard.mid(1)), clientBoard.mid(1));
    }

    TempGameFolder hostDir, clientDir;
    const QByteArray map;
    const char *const hostArmy;
    const char *const clientArmy;

    static QList<QByteArray> lines(const TempGameFolder &dir, const char *name)
    {
        return GameFolder::splitLines(dir.read(QLatin1String(name)));
    }

private:
    static QList<QByteArray> commands(const QList<QByteArray> &lines, const QByteArray &prefix)
    {
        QList<QByteArray> found;
        for (const QByteArray &line : lines)
            if (line.startsWith(prefix))
                found.append(line.mid(prefix.size()));
        return found;
    }

    /// 'S' for every line sent, 'R' for every line received, in order.
    static QByteArray turnOrder(const QList<QByteArray> &lines)
    {
        QByteArray order;
        for (const QByteArray &line : lines)
            order += line.startsWith("SENT:") ? "S" : line.startsWith("RCVD:") ? "R" : "";
        return order;
    }

    bool m_random;
    int m_moves;
};
