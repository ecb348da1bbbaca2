// Whole games over TCP/IP: a host window and a client window in one process,
// each in its own game folder with the sample maps and armies and the
// stand-in engine, driven through their controls; the scripted engines then
// play their moves through the two connectors over a real loopback socket.

#include "../tcpip/tcpwindowtesting.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"
#include "tempgamefolder.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr int MovesEach = 50;

QList<QByteArray> lines(const QByteArray &bytes)
{
    QList<QByteArray> result = bytes.split('\n');
    for (QByteArray &line : result) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

/// The lines of a log that begin with the prefix, without it.
QList<QByteArray> logged(const QByteArray &log, const QByteArray &prefix)
{
    QList<QByteArray> found;
    for (const QByteArray &line : lines(log)) {
        if (line.startsWith(prefix))
            found << line.mid(prefix.size());
    }
    return found;
}

/// A row seen from the other end of the board, with the sides exchanged.
QByteArray otherEnd(const QByteArray &row)
{
    QByteArray turned;
    for (int cell = row.size() - 4; cell >= 0; cell -= 4)
        turned += row.mid(cell, 4);
    for (char &c : turned) {
        if (c == 'B')
            c = 'R';
        else if (c == 'R')
            c = 'B';
    }
    return turned;
}

/// A command in the other player's view, worked out here on its own: flag
/// numbers run backwards from the other end, directions turn round.
QByteArray mirrored(const QByteArray &command, int objectCount)
{
    static const QRegularExpression pattern(
        QStringLiteral("^<Root><Command FlagID='(\\d{4})' Direction='([NSEW])'(.*)$"));
    const QRegularExpressionMatch m = pattern.match(QString::fromLatin1(command));
    if (!m.hasMatch())
        return "unreadable: " + command;
    const int flag = objectCount + 5000 - m.captured(1).toInt() + 5001;
    const QHash<QString, QString> turn{{"N", "S"}, {"S", "N"}, {"E", "W"}, {"W", "E"}};
    return QStringLiteral("<Root><Command FlagID='%1' Direction='%2'%3")
        .arg(flag)
        .arg(turn.value(m.captured(2)), m.captured(3))
        .toLatin1();
}

/// An army row with its flags marked as the own side's ("007 " to "B07 ").
QByteArray markedOwn(const QByteArray &row)
{
    QByteArray marked = row;
    for (int cell = 0; cell + 3 <= marked.size(); cell += 4) {
        const int code = marked.mid(cell, 3).toInt();
        if (marked.at(cell) == '0' && code >= 1 && code <= 12)
            marked[cell] = 'B';
    }
    return marked;
}

/// A map on which two random armies never share a cell: Castle.map with
/// grass and placement cells only in its top 20 rows. A random army's flags
/// then stand in rows 1 to 20 of its own view, the opponent's, half-turned,
/// in rows 21 to 40. (On the sample maps two random armies may claim one
/// cell; the engines then number their flags differently and the two boards
/// go apart, whatever the connectors do.)
QByteArray duelMap()
{
    QFile castle(QStringLiteral(HVD_DATA_DIR "/Castle.map"));
    if (!castle.open(QIODevice::ReadOnly))
        return QByteArray();
    QList<QByteArray> rows = castle.readAll().split('\n');
    for (int row = 20; row < 40 && row < rows.size(); ++row) {
        for (int cell = 0; cell < rows[row].size(); cell += 4) {
            if (rows[row][cell] == 'T' || rows[row][cell] == 'X')
                rows[row][cell] = 'M';
        }
    }
    return rows.join('\n');
}

/// The cells of a save file's board that both armies claim: the own rows
/// (1 to 40) and the opponent's rows (41 to 80) laid over each other.
int sharedCells(const QByteArray &save)
{
    QList<QByteArray> rows;
    for (const QByteArray &row : lines(save).mid(1)) {
        if (!row.trimmed().isEmpty())
            rows << row;
    }
    int shared = 0;
    for (int row = 0; row + 40 < rows.size(); ++row) {
        for (int cell = 0; cell + 3 <= rows.at(row).size(); cell += 4) {
            if (rows.at(row).mid(cell, 3) != "000" && rows.at(row + 40).mid(cell, 3) != "000" &&
                rows.at(row + 40).size() >= cell + 3)
                ++shared;
        }
    }
    return shared;
}

/// The side codes of a save file: its number of flags.
int flagsOf(const QByteArray &save)
{
    return QString::fromLatin1(save).count(QRegularExpression(QStringLiteral("[BR]\\d\\d ")));
}

void prepare(const TempGameFolder &folder, int seed)
{
    QVERIFY(folder.copySamples());
    QVERIFY(folder.installEngine());
    QVERIFY(folder.write(QStringLiteral("EngineScript.txt"),
                         "moves " + QByteArray::number(MovesEach) + ' ' + QByteArray::number(seed) +
                             "\r\nidle-exit 30\r\n"));
}

} // namespace

class TestTcpGame : public QObject
{
    Q_OBJECT

private:
    /// Connects the two windows, chats both ways, chooses map and armies and
    /// sends them, until both show "Ready to Start".
    void handshake(HvdHostTCPIP *host, HvdClientTCPIP *client, const QByteArray &map,
                   bool randomArmies)
    {
        host->show();
        client->show();

        // Connect, then chat both ways.
        control<QLineEdit>(client, "HostIP")->setText(QStringLiteral("127.0.0.1"));
        control<QLineEdit>(client, "HostPort")->setText(QString::number(host->listeningPort()));
        click(client, "Command3");
        QTRY_VERIFY(output(client)->isEnabled() && output(host)->isEnabled());
        QVERIFY(output(client)->text().endsWith(":" + QByteArray::number(host->listeningPort()) +
                                                " connected\r\n\r\n"));
        chat(host, "ready when you are");
        QTRY_VERIFY(output(client)->text().endsWith("SERVER: ready when you are\r\n"));
        chat(client, "go");
        QTRY_VERIFY(output(host)->text().endsWith("CLIENT: go\r\n"));

        // The host chooses map and army and sends them.
        QVERIFY(control<FileListBox>(host, "File1")->selectFile(QString::fromLatin1(map)));
        // No army file belongs to the duel map: the box ticks itself.
        QCOMPARE(control<QCheckBox>(host, "Check2")->isChecked(), randomArmies);
        if (!randomArmies)
            QVERIFY(control<FileListBox>(host, "File2")
                        ->selectFile(QStringLiteral("Castle_Guard.arm")));
        click(host, "Command2");

        // The client sees the map's armies and sends its own.
        QTRY_VERIFY(button(client, "Command2")->isEnabled());
        QCOMPARE(control<QCheckBox>(client, "Check2")->isChecked(), randomArmies);
        if (!randomArmies) {
            QCOMPARE(control<FileListBox>(client, "File1")->fileNames(),
                     (QStringList{"Castle_Guard.arm", "Castle_Siege.arm"}));
            QVERIFY(control<FileListBox>(client, "File1")
                        ->selectFile(QStringLiteral("Castle_Siege.arm")));
        }
        click(client, "Command2");

        QTRY_VERIFY(button(host, "Command1")->isEnabled() &&
                    button(client, "Command1")->isEnabled());
        QCOMPARE(output(host)->text(), QByteArray("Ready to Start\r\n"));
        QCOMPARE(output(client)->text(), QByteArray("Ready to Start\r\n"));
    }

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
        RecordedBoxes boxes;
        TempGameFolder hostFolder, clientFolder;
        prepare(hostFolder, 11);
        prepare(clientFolder, 29);
        // Random armies play on a map of their own (see duelMap()).
        const QByteArray map = randomArmies ? "Duel" : "Castle";
        if (randomArmies) {
            QVERIFY(hostFolder.write(QStringLiteral("Duel.map"), duelMap()));
            QVERIFY(clientFolder.write(QStringLiteral("Duel.map"), duelMap()));
        }
        auto host = std::make_unique<HvdHostTCPIP>(GameFolder(hostFolder.path()),
                                                   HvdHostTCPIP::AnyFreePort);
        auto client = std::make_unique<HvdClientTCPIP>(GameFolder(clientFolder.path()));
        handshake(host.get(), client.get(), map + ".map", randomArmies);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(sharedCells(hostFolder.read(QStringLiteral("HostGame.sav"))), 0);
        click(host.get(), "Command1");
        click(client.get(), "Command1");
        QCOMPARE(hostFolder.read(QStringLiteral("Control.ini")),
                 map + ".map\r\nHostGame.sav\r\n0\r\nHost\r\n");
        QCOMPARE(clientFolder.read(QStringLiteral("Control.ini")),
                 map + ".map\r\nClientGame.sav\r\n0\r\nClient\r\n");

        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(hostFolder.file(QStringLiteral("EngineBoard.txt"))) &&
                QFile::exists(clientFolder.file(QStringLiteral("EngineBoard.txt"))),
            60000);
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));

        // The two save files: the same start from opposite ends.
        const QList<QByteArray> hostSave = lines(hostFolder.read(QStringLiteral("HostGame.sav")));
        const QList<QByteArray> clientSave =
            lines(clientFolder.read(QStringLiteral("ClientGame.sav")));
        QCOMPARE(hostSave.value(0), map);
        QCOMPARE(clientSave.value(0), map);
        QList<QByteArray> hostRows, clientRows;
        for (const QByteArray &row : hostSave.mid(1))
            if (!row.trimmed().isEmpty())
                hostRows.prepend(otherEnd(row));
        for (const QByteArray &row : clientSave.mid(1))
            if (!row.trimmed().isEmpty())
                clientRows << row;
        QCOMPARE(hostRows.size(), 80);
        QCOMPARE(clientRows, hostRows);
        // The client's army reached the host as its file holds it.
        const QByteArray clientArmy = randomArmies
                                          ? clientFolder.read(QStringLiteral("Random.arm"))
                                          : clientFolder.read(QStringLiteral("Castle_Siege.arm"));
        QVERIFY(clientArmy.size() > 6400);
        QCOMPARE(hostFolder.read(QStringLiteral("ClientARMY.tmp")), clientArmy + "\r\n");
        const QByteArray hostArmy = randomArmies
                                        ? hostFolder.read(QStringLiteral("Random.arm"))
                                        : hostFolder.read(QStringLiteral("Castle_Guard.arm"));
        QList<QByteArray> ownRows;
        for (const QByteArray &row : lines(hostArmy).mid(1))
            ownRows << markedOwn(row);
        QCOMPARE(hostSave.mid(1, 40), ownRows);
        const int objectCount = flagsOf(hostFolder.read(QStringLiteral("HostGame.sav")));
        QCOMPARE(int(host->session()->objectCount()), objectCount);

        // Every command, in order, on both sides: each engine's moves as it
        // wrote them, the other's as handed over, nothing lost or doubled.
        const QByteArray hostLog = hostFolder.read(QStringLiteral("GameLog.txt"));
        const QByteArray clientLog = clientFolder.read(QStringLiteral("GameLog.txt"));
        const QList<QByteArray> hostSent = logged(hostLog, "SENT:");
        const QList<QByteArray> hostRcvd = logged(hostLog, "RCVD:");
        const QList<QByteArray> clientSent = logged(clientLog, "SENT:");
        const QList<QByteArray> clientRcvd = logged(clientLog, "RCVD:");
        QCOMPARE(hostSent.size(), MovesEach);
        QCOMPARE(clientSent.size(), MovesEach);
        QList<QByteArray> expectedAtClient, expectedAtHost;
        for (const QByteArray &command : hostSent)
            expectedAtClient << mirrored(command, objectCount);
        for (const QByteArray &command : clientSent)
            expectedAtHost << mirrored(command, objectCount);
        QCOMPARE(clientRcvd, expectedAtClient);
        QCOMPARE(hostRcvd, expectedAtHost);
        // Strict turns, the host first.
        const QList<QByteArray> hostLines = lines(hostLog).mid(1);
        const QList<QByteArray> clientLines = lines(clientLog).mid(1);
        QCOMPARE(hostLines.size(), 2 * MovesEach);
        for (int i = 0; i < hostLines.size(); ++i) {
            QVERIFY(hostLines.at(i).startsWith(i % 2 ? "RCVD:" : "SENT:"));
            QVERIFY(clientLines.at(i).startsWith(i % 2 ? "SENT:" : "RCVD:"));
        }
        QVERIFY(lines(hostLog).value(0).startsWith("GameLog: "));
        // What the engines themselves logged agrees with the connectors.
        const QByteArray hostEngineLog = hostFolder.read(QStringLiteral("EngineLog.txt"));
        const QByteArray clientEngineLog = clientFolder.read(QStringLiteral("EngineLog.txt"));
        QCOMPARE(logged(hostEngineLog, "SENT:"), hostSent);
        QCOMPARE(logged(hostEngineLog, "RCVD:"), hostRcvd);
        QCOMPARE(logged(clientEngineLog, "SENT:"), clientSent);
        QCOMPARE(logged(clientEngineLog, "RCVD:"), clientRcvd);

        // The final boards: the same game from opposite ends.
        const QList<QByteArray> hostBoard =
            lines(hostFolder.read(QStringLiteral("EngineBoard.txt")));
        const QList<QByteArray> clientBoard =
            lines(clientFolder.read(QStringLiteral("EngineBoard.txt")));
        QCOMPARE(hostBoard.value(0), QByteArray("Host"));
        QCOMPARE(clientBoard.value(0), QByteArray("Client"));
        QCOMPARE(hostBoard.size(), 41);
        QList<QByteArray> turnedHostBoard;
        for (const QByteArray &row : hostBoard.mid(1))
            turnedHostBoard.prepend(otherEnd(row));
        QCOMPARE(clientBoard.mid(1), turnedHostBoard);
    }
};

QTEST_MAIN(TestTcpGame)
#include "tst_tcpgame.moc"
