// Two connectors play whole games through the real bridge server: a host and
// a client HTTP window in two game folders, each with the stand-in engine,
// driven through their controls from registration to the last move.

#include "../bridge-server/bridgeserverprocess.h"
#include "../tcpip/tcpwindowtesting.h"

#include "armyflip.h"
#include "command.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "hvdclienthttp.h"
#include "hvdhosthttp.h"
#include "tempgamefolder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace {

constexpr int Moves = 30;
constexpr int PauseMs = 50;

/// The lines of a game folder file, without their line ends.
QList<QByteArray> linesOf(const TempGameFolder &dir, const QString &name)
{
    return GameFolder::splitLines(dir.read(name));
}

/// The commands of the lines that begin with the prefix ("SENT:", "RCVD:").
QList<QByteArray> commands(const QList<QByteArray> &lines, const QByteArray &prefix)
{
    QList<QByteArray> found;
    for (const QByteArray &line : lines) {
        if (line.startsWith(prefix))
            found.append(line.mid(prefix.size()).trimmed());
    }
    return found;
}

/// The kinds of the log's command lines in order: 'S' sent, 'R' received.
QByteArray turnOrder(const QList<QByteArray> &lines)
{
    QByteArray order;
    for (const QByteArray &line : lines) {
        if (line.startsWith("SENT:"))
            order += 'S';
        else if (line.startsWith("RCVD:"))
            order += 'R';
    }
    return order;
}

/// A board of EngineBoard.txt seen from the other end: rows and cells reversed,
/// the side letters exchanged.
QList<QByteArray> otherView(QList<QByteArray> rows)
{
    QList<QByteArray> turned;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        QByteArray row = halfTurnRow(*it);
        for (char &c : row) {
            if (c == 'B')
                c = 'R';
            else if (c == 'R')
                c = 'B';
        }
        turned.append(row);
    }
    return turned;
}

/// A map on which two random armies never share a cell: grass only in the
/// top half, so each army stays on its own half of the overlaid board. (On the
/// sample maps two random armies may meet on one cell, and a flag hidden under
/// another one leaves the two engines numbering their flags differently.)
QByteArray duelMap()
{
    QFile castle(QStringLiteral(HVD_DATA_DIR "/Castle.map"));
    if (!castle.open(QIODevice::ReadOnly))
        return QByteArray();
    QList<QByteArray> lines = GameFolder::splitLines(castle.readAll());
    for (int row = 20; row < 40 && row < lines.size(); ++row)
        lines[row] = QByteArray("M03 ").repeated(40);
    return lines.join("\r\n") + "\r\n";
}

} // namespace

class TestHttpGame : public QObject
{
    Q_OBJECT

private slots:
    void playWithArmyFiles() { play(false); }
    void playWithRandomArmies() { play(true); }

private:
    void play(bool randomArmies)
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        TempGameFolder hostDir;
        TempGameFolder clientDir;
        const QString map =
            randomArmies ? QStringLiteral("Duel.map") : QStringLiteral("Castle.map");
        for (const TempGameFolder *dir : {&hostDir, &clientDir}) {
            QVERIFY(dir->copySamples());
            QVERIFY(dir->installEngine());
            QVERIFY(dir->write(QStringLiteral("Duel.map"), duelMap()));
        }
        QVERIFY(hostDir.write(QStringLiteral("EngineScript.txt"),
                              "moves " + QByteArray::number(Moves) + " 11\r\nidle-exit 60\r\n"));
        QVERIFY(clientDir.write(QStringLiteral("EngineScript.txt"),
                                "moves " + QByteArray::number(Moves) + " 29\r\nidle-exit 60\r\n"));

        RecordedBoxes boxes;
        boxes->answers << QStringLiteral("Friday's game");
        HvdHostHTTP host(GameFolder(hostDir.path()), server.url(), PauseMs);
        QTRY_VERIFY(host.isRegistered());
        const QString sessionId = control<QLabel>(&host, "MyPort")->text().trimmed();
        QVERIFY(!sessionId.isEmpty());
        QVERIFY(control<QLabel>(&host, "MyIP")->text().endsWith(QStringLiteral(": Friday`s game")));

        HvdClientHTTP client(GameFolder(clientDir.path()), server.url(), PauseMs);
        auto *idBox = control<QLineEdit>(&client, "MyPort");
        idBox->clear();
        QTest::keyClicks(idBox, sessionId);
        // The client asks for the map before the host has chosen one: it
        // polls on while the bridge answers "Wait".
        click(&client, "Command3");
        QTest::qWait(4 * PauseMs);
        QVERIFY(!button(&client, "Command2")->isEnabled());

        auto *maps = control<FileListBox>(&host, "File1");
        auto *hostArmies = control<FileListBox>(&host, "File2");
        QVERIFY(maps->selectFile(map));
        // No army file belongs to the duel map: "Create Random Army" ticks itself.
        QCOMPARE(hostArmies->fileNames().isEmpty(), randomArmies);
        QCOMPARE(control<QCheckBox>(&host, "Check2")->isChecked(), randomArmies);
        if (!randomArmies)
            QVERIFY(hostArmies->selectFile(QStringLiteral("Castle_Guard.arm")));
        click(&host, "Command2");

        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        QCOMPARE(output(&client)->text(), "MAP: " + map.toLatin1());
        auto *clientArmies = control<FileListBox>(&client, "File1");
        QCOMPARE(control<QCheckBox>(&client, "Check2")->isChecked(), randomArmies);
        if (!randomArmies)
            QVERIFY(clientArmies->selectFile(QStringLiteral("Castle_Siege.arm")));
        click(&client, "Command2");

        QTRY_VERIFY2_WITH_TIMEOUT(button(&host, "Command1")->isEnabled(),
                                  output(&host)->text().constData(), 10000);
        QTRY_VERIFY2_WITH_TIMEOUT(button(&client, "Command1")->isEnabled(),
                                  (output(&client)->text() + output(&host)->text()).constData(),
                                  10000);
        if (randomArmies) {
            // Each side plays the army it made: "Random.arm", marked B in
            // its own save file.
            for (const TempGameFolder *dir : {&hostDir, &clientDir}) {
                const QList<QByteArray> army = linesOf(*dir, QStringLiteral("Random.arm"));
                QCOMPARE(army.size(), 41);
                QCOMPARE(army.first(), QByteArray("Duel"));
                const QString save = dir == &hostDir ? QStringLiteral("HostGame.sav")
                                                     : QStringLiteral("ClientGame.sav");
                const QList<QByteArray> saved = linesOf(*dir, save);
                QCOMPARE(saved.size(), 81);
                QCOMPARE(saved.mid(1, 40).first(), markSide(army.at(1), 'B'));
                QCOMPARE(saved.at(40), markSide(army.at(40), 'B'));
            }
        }
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));

        // The client may start first: it waits for the host's opening move.
        click(&client, "Command1");
        QTest::qWait(4 * PauseMs);
        QVERIFY(linesOf(clientDir, QStringLiteral("GameLog.txt")).size() == 1);
        click(&host, "Command1");

        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(hostDir.file(QStringLiteral("EngineBoard.txt"))) &&
                QFile::exists(clientDir.file(QStringLiteral("EngineBoard.txt"))),
            120000);
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));

        const QList<QByteArray> hostLog = linesOf(hostDir, QStringLiteral("GameLog.txt"));
        const QList<QByteArray> clientLog = linesOf(clientDir, QStringLiteral("GameLog.txt"));
        QVERIFY(hostLog.first().startsWith("GameLog: "));
        // Strict turns, the host first.
        QCOMPARE(turnOrder(hostLog), QByteArray("SR").repeated(Moves));
        QCOMPARE(turnOrder(clientLog), QByteArray("RS").repeated(Moves));

        // Every move arrives once, in order, converted by the host alone.
        const qint16 count = host.hostSession()->objectCount();
        QVERIFY(count > 0);
        const QList<QByteArray> hostSent = commands(hostLog, "SENT:");
        const QList<QByteArray> hostRcvd = commands(hostLog, "RCVD:");
        const QList<QByteArray> clientSent = commands(clientLog, "SENT:");
        const QList<QByteArray> clientRcvd = commands(clientLog, "RCVD:");
        for (int i = 0; i < Moves; ++i) {
            QByteArray outgoing = hostSent.at(i);
            QCOMPARE(clientRcvd.at(i), AdjustCommand(outgoing, count));
            QByteArray incoming = clientSent.at(i);
            QCOMPARE(hostRcvd.at(i), AdjustCommand(incoming, count));
        }
        // What each engine took in is what its connector handed over.
        QCOMPARE(commands(linesOf(hostDir, QStringLiteral("EngineLog.txt")), "RCVD:"), hostRcvd);
        QCOMPARE(commands(linesOf(clientDir, QStringLiteral("EngineLog.txt")), "RCVD:"),
                 clientRcvd);
        QCOMPARE(commands(linesOf(clientDir, QStringLiteral("EngineLog.txt")), "SENT:"),
                 clientSent);

        // Both engines end on the same board, each seen from its own side.
        const QList<QByteArray> hostBoard = linesOf(hostDir, QStringLiteral("EngineBoard.txt"));
        const QList<QByteArray> clientBoard = linesOf(clientDir, QStringLiteral("EngineBoard.txt"));
        QCOMPARE(hostBoard.size(), 41);
        QCOMPARE(clientBoard.size(), 41);
        QCOMPARE(hostBoard.first(), QByteArray("Host"));
        QCOMPARE(clientBoard.first(), QByteArray("Client"));
        QCOMPARE(otherView(hostBoard.mid(1)), clientBoard.mid(1));
    }
};

QTEST_MAIN(TestHttpGame)
#include "tst_httpgame.moc"
