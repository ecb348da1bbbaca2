// Whole games over TCP/IP: a host window and a client window in one process,
// each in its own game folder with the stand-in engine, driven through their
// controls; the engines then play through the two connectors over a real
// loopback socket. One game ends early: the host takes the client's kind 12
// flag on its third move.

#include "gamechecks.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"

#include <QTest>

class TestTcpGame : public QObject
{
    Q_OBJECT

private slots:
    void playsAWholeGame_data()
    {
        QTest::addColumn<bool>("randomArmies");
        QTest::addColumn<bool>("capture");
        QTest::newRow("army files") << false << false;
        QTest::newRow("random armies") << true << false;
        QTest::newRow("capture") << false << true;
    }

    void playsAWholeGame()
    {
        QFETCH(bool, randomArmies);
        QFETCH(bool, capture);
        RecordedBoxes boxes;
        const GameChecks game(randomArmies, capture ? 3 : 50);
        if (capture) {
            // In the host's view: the host's kind 1 on 20,30 (5002) two cells
            // west of the client's kind 12 (5003); the client's kind 2 (5001,
            // 5005 in the client's numbering) far away.
            QVERIFY(game.hostDir.write(QLatin1String(game.hostArmy),
                                       ArmyTexts::army({{20, 30, 1}, {31, 19, 5}, {31, 20, 12}})));
            QVERIFY(game.clientDir.write(QLatin1String(game.clientArmy),
                                         ArmyTexts::army({{34, 34, 2}, {19, 7, 12}})));
            QVERIFY(game.hostDir.write(QStringLiteral("EngineScript.txt"),
                                       "move 5002 E\r\nmove 5002 E\r\nmove 5002 N\r\n"
                                       "idle-exit 60\r\nwindow hidden\r\n"));
            QVERIFY(game.clientDir.write(QStringLiteral("EngineScript.txt"),
                                         "move 5005 N\r\nmove 5005 N\r\nmove 5005 N\r\n"
                                         "idle-exit 60\r\nwindow hidden\r\n"));
        }
        HvdHostTCPIP host(GameFolder(game.hostDir.path()), HvdHostTCPIP::AnyFreePort);
        HvdClientTCPIP client{GameFolder(game.clientDir.path())};
        host.show();
        client.show();
        connectTcp(&host, &client, host.listeningPort());
        game.chooseAndSend(&host, &client);
        if (QTest::currentTestFailed())
            return;
        click(&host, "Command1");
        click(&client, "Command1");
        game.checkPlayedGame();
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
        // The capture game ended early, both engines naming the winner
        // (where the flags then stand: the engine's own tests).
        if (capture)
            QCOMPARE(GameChecks::lines(game.hostDir, "EngineLog.txt").value(3),
                     QByteArray("OVER: Host won"));
    }
};

QTEST_MAIN(TestTcpGame)
#include "tst_tcpgame.moc"
