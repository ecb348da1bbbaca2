// Whole games over TCP/IP: a host window and a client window in one process,
// each in its own game folder with the stand-in engine, driven through their
// controls; the engines then play through the two connectors over a real
// loopback socket.

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
        QTest::newRow("army files") << false;
        QTest::newRow("random armies") << true;
    }

    void playsAWholeGame()
    {
        QFETCH(bool, randomArmies);
        RecordedBoxes boxes;
        const GameChecks game(randomArmies, 50);
        HvdHostTCPIP host(GameFolder(game.hostDir.path()), HvdHostTCPIP::AnyFreePort);
        HvdClientTCPIP client{GameFolder(game.clientDir.path())};
        host.show();
        client.show();
        control<QLineEdit>(&client, "HostIP")->setText(QStringLiteral("127.0.0.1"));
        control<QLineEdit>(&client, "HostPort")->setText(QString::number(host.listeningPort()));
        click(&client, "Command3");
        QTRY_VERIFY(output(&client)->isEnabled() && output(&host)->isEnabled());
        game.chooseAndSend(&host, &client);
        if (QTest::currentTestFailed())
            return;

        click(&host, "Command1");
        click(&client, "Command1");
        QCOMPARE(game.hostDir.read(QStringLiteral("Control.ini")),
                 game.map + ".map\r\nHostGame.sav\r\n0\r\nHost\r\n");
        QCOMPARE(game.clientDir.read(QStringLiteral("Control.ini")),
                 game.map + ".map\r\nClientGame.sav\r\n0\r\nClient\r\n");
        game.checkPlayedGame();
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
    }
};

QTEST_MAIN(TestTcpGame)
#include "tst_tcpgame.moc"
