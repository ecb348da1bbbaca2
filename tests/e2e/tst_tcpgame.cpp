// Whole games over TCP/IP: a host window and a client window in one process,
// each in its own game folder with the stand-in engine, driven through their
// controls; the engines then play through the two connectors over a real
// loopback socket.

#include "../tcpip/tcpwindowtesting.h"
#include "filelistbox.h"
#include "gamechecks.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"

#include <QCheckBox>
#include <QTest>

class TestTcpGame : public QObject
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
        constexpr int Moves = 50;
        RecordedBoxes boxes;
        TempGameFolder hostDir, clientDir;
        GameChecks::prepare(hostDir, Moves, 11);
        GameChecks::prepare(clientDir, Moves, 29);
        // Random armies play on the duel map, where they cannot meet.
        const QByteArray map = randomArmies ? "Duel" : "Castle";
        const QString hostArmy = randomArmies ? "Random.arm" : "Castle_Guard.arm";
        const QString clientArmy = randomArmies ? "Random.arm" : "Castle_Siege.arm";
        HvdHostTCPIP host(GameFolder(hostDir.path()), HvdHostTCPIP::AnyFreePort);
        HvdClientTCPIP client{GameFolder(clientDir.path())};
        host.show();
        client.show();

        control<QLineEdit>(&client, "HostIP")->setText(QStringLiteral("127.0.0.1"));
        control<QLineEdit>(&client, "HostPort")->setText(QString::number(host.listeningPort()));
        click(&client, "Command3");
        QTRY_VERIFY(output(&client)->isEnabled() && output(&host)->isEnabled());

        // The host chooses map and army; no army file belongs to the duel map,
        // so "random" ticks itself.
        QVERIFY(
            control<FileListBox>(&host, "File1")->selectFile(QString::fromLatin1(map + ".map")));
        QCOMPARE(control<QCheckBox>(&host, "Check2")->isChecked(), randomArmies);
        if (!randomArmies)
            QVERIFY(control<FileListBox>(&host, "File2")->selectFile(hostArmy));
        click(&host, "Command2");
        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        QCOMPARE(control<QCheckBox>(&client, "Check2")->isChecked(), randomArmies);
        if (!randomArmies)
            QVERIFY(control<FileListBox>(&client, "File1")->selectFile(clientArmy));
        click(&client, "Command2");
        QTRY_VERIFY(button(&host, "Command1")->isEnabled() &&
                    button(&client, "Command1")->isEnabled());
        QCOMPARE(output(&host)->text(), QByteArray("Ready to Start\r\n"));
        QCOMPARE(output(&client)->text(), QByteArray("Ready to Start\r\n"));

        click(&host, "Command1");
        click(&client, "Command1");
        QCOMPARE(hostDir.read(QStringLiteral("Control.ini")),
                 map + ".map\r\nHostGame.sav\r\n0\r\nHost\r\n");
        QCOMPARE(clientDir.read(QStringLiteral("Control.ini")),
                 map + ".map\r\nClientGame.sav\r\n0\r\nClient\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(hostDir.file(QStringLiteral("EngineBoard.txt"))) &&
                QFile::exists(clientDir.file(QStringLiteral("EngineBoard.txt"))),
            60000);
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));

        GameChecks::checkSaves(hostDir, clientDir, map, hostArmy, clientArmy);
        if (!QTest::currentTestFailed())
            GameChecks::checkGame(hostDir, clientDir, Moves);
    }
};

QTEST_MAIN(TestTcpGame)
#include "tst_tcpgame.moc"
