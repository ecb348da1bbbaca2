// A whole game over TCP/IP that ends when the host takes the client's kind 12
// flag: two connector windows in two game folders, each with the stand-in
// engine playing listed moves, over a real loopback socket. Both engines
// stop there, although their scripts list more moves, and both name the
// winner.

#include "../engine/armies.h"
#include "../tcpip/tcpwindowtesting.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"
#include "tempgamefolder.h"

#include <QTest>

namespace {

QList<QByteArray> lines(const TempGameFolder &dir, const char *name)
{
    return GameFolder::splitLines(dir.read(QLatin1String(name)));
}

QByteArray prefixes(const QList<QByteArray> &log)
{
    QByteArray order;
    for (const QByteArray &line : log)
        order += line.startsWith("SENT:") ? "S" : line.startsWith("RCVD:") ? "R" : "";
    return order;
}

} // namespace

class TestTcpCapture : public QObject
{
    Q_OBJECT

private slots:
    void takingTheKind12FlagEndsTheGame()
    {
        TempGameFolder hostDir;
        TempGameFolder clientDir;
        // In the host's view: the host's kind 1 on 20,30 (5002) two cells
        // west of the client's kind 12 (5003); the client's kind 2 (5001,
        // 5005 in the client's numbering) far away.
        const Armies::Rows hostArmy = Armies::army({{20, 30, 1}, {31, 19, 5}, {31, 20, 12}});
        const Armies::Rows clientArmy = Armies::army({{34, 34, 2}, {19, 7, 12}});
        for (const TempGameFolder *dir : {&hostDir, &clientDir}) {
            QVERIFY(dir->copySamples() && dir->installEngine());
            const bool host = dir == &hostDir;
            QVERIFY(
                dir->write(QLatin1String(host ? "Castle_Duel.arm" : "Castle_Raid.arm"),
                           "Castle\r\n" + (host ? hostArmy : clientArmy).join("\r\n") + "\r\n"));
            const QByteArray moves = host ? "move 5002 E\r\nmove 5002 E\r\nmove 5002 N\r\n"
                                          : "move 5005 N\r\nmove 5005 N\r\nmove 5005 N\r\n";
            QVERIFY(dir->write(QStringLiteral("EngineScript.txt"),
                               moves + "idle-exit 60\r\nwindow hidden\r\n"));
        }

        RecordedBoxes boxes;
        HvdHostTCPIP host(GameFolder(hostDir.path()), HvdHostTCPIP::AnyFreePort);
        HvdClientTCPIP client{GameFolder(clientDir.path())};
        host.show();
        client.show();
        control<QLineEdit>(&client, "HostIP")->setText(QStringLiteral("127.0.0.1"));
        control<QLineEdit>(&client, "HostPort")->setText(QString::number(host.listeningPort()));
        click(&client, "Command3");
        QTRY_VERIFY(output(&client)->isEnabled() && output(&host)->isEnabled());
        QVERIFY(control<FileListBox>(&host, "File1")->selectFile(QStringLiteral("Castle.map")));
        QVERIFY(
            control<FileListBox>(&host, "File2")->selectFile(QStringLiteral("Castle_Duel.arm")));
        click(&host, "Command2");
        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        QVERIFY(
            control<FileListBox>(&client, "File1")->selectFile(QStringLiteral("Castle_Raid.arm")));
        click(&client, "Command2");
        QTRY_VERIFY_WITH_TIMEOUT(button(&host, "Command1")->isEnabled() &&
                                     button(&client, "Command1")->isEnabled(),
                                 10000);
        click(&host, "Command1");
        click(&client, "Command1");
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(hostDir.file(QStringLiteral("EngineBoard.txt"))) &&
                QFile::exists(clientDir.file(QStringLiteral("EngineBoard.txt"))),
            60000);

        // Three moves, the last one the capture; each engine ends with the
        // winner, the client after it has taken the capture in.
        QTRY_COMPARE(prefixes(lines(clientDir, "GameLog.txt")), QByteArray("RSR"));
        QCOMPARE(prefixes(lines(hostDir, "GameLog.txt")), QByteArray("SRS"));
        const QList<QByteArray> hostLog = lines(hostDir, "EngineLog.txt");
        const QList<QByteArray> clientLog = lines(clientDir, "EngineLog.txt");
        QCOMPARE(hostLog.size(), 4);
        QCOMPARE(hostLog.last(), QByteArray("OVER: Host won"));
        QVERIFY2(clientLog.size() == 4, clientLog.join("\n").constData());
        QCOMPARE(clientLog.value(2), QByteArray("RCVD:<Root><Command FlagID='5004' Direction='W' "
                                                "SerpentJump='No'/></Root>"));
        QCOMPARE(clientLog.last(), QByteArray("OVER: Host won"));

        // The client's kind 12 is off both boards, the host's is still there.
        const QByteArray hostBoard = lines(hostDir, "EngineBoard.txt").mid(1).join();
        const QByteArray clientBoard = lines(clientDir, "EngineBoard.txt").mid(1).join();
        QCOMPARE(hostBoard.mid((20 * 40 + 32) * 4, 4), QByteArray("B01 "));
        QVERIFY(hostBoard.contains("B12") && !hostBoard.contains("R12"));
        QVERIFY(clientBoard.contains("R12") && !clientBoard.contains("B12"));
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
    }
};

QTEST_MAIN(TestTcpCapture)
#include "tst_tcpcapture.moc"
