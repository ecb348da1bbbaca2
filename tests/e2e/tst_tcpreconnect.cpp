// A TCP/IP game that survives two broken connections: a host window and a
// client window with the stand-in engine, joined through a test proxy that
// closes both of its sockets between two moves. Each time the engine whose
// turn it is moves during the outage, its move waits, and the client's
// "Connect to Host" joins the game again; both engines must get every move
// once, in order, in their own view, and the wire must carry nothing but
// the game's commands after the handshake.

#include "gamechecks.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"
#include "tcpproxy.h"

#include <QRegularExpression>
#include <QTest>

constexpr int Moves = 12;
constexpr int Timeout = 60000;

class TestTcpReconnect : public QObject
{
    Q_OBJECT

private slots:
    void aDroppedGameGoesOn()
    {
        RecordedBoxes boxes;
        // The engines wait a little before each move, so that a close that
        // comes with the other side's move is seen before the next one goes.
        const GameChecks game(false, Moves, "delay 150\r\n");
        HvdHostTCPIP host(GameFolder(game.hostDir.path()), HvdHostTCPIP::AnyFreePort);
        HvdClientTCPIP client{GameFolder(game.clientDir.path())};
        TcpProxy proxy(host.listeningPort());
        QVERIFY(proxy.port() != 0);
        // After the client's third move the host's fourth finds no client;
        // after the host's eighth the client's eighth finds no host.
        proxy.dropAfterCommands(TcpProxy::ToHost, 3);
        proxy.dropAfterCommands(TcpProxy::ToClient, 8);
        host.show();
        client.show();
        connectTcp(&host, &client, proxy.port());
        game.chooseAndSend(&host, &client);
        if (QTest::currentTestFailed())
            return;
        click(&host, "Command1");
        click(&client, "Command1");

        // The first outage: the host's move waits for a client.
        QTRY_COMPARE_WITH_TIMEOUT(proxy.dropped(), 1, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(
            output(&host)->text().endsWith("1 move waits for the connection.\r\n"), Timeout);
        QVERIFY(output(&host)->text().startsWith("NOT SENT (no connection): <Root><Command "));
        QTRY_VERIFY(output(&client)->text().endsWith("Server closed connection\r\n\r\n"));
        QVERIFY(button(&client, "Command3")->isEnabled());
        QCOMPARE(proxy.commandsPassed(TcpProxy::ToClient), 3);
        click(&client, "Command3");
        QVERIFY(!button(&client, "Command3")->isEnabled());

        // The second outage: the client's move waits for the host.
        QTRY_COMPARE_WITH_TIMEOUT(proxy.dropped(), 2, Timeout);
        QTRY_VERIFY_WITH_TIMEOUT(
            output(&client)->text().contains("1 move waits for the connection.\r\n"), Timeout);
        QCOMPARE(proxy.commandsPassed(TcpProxy::ToHost), 7);
        QTRY_VERIFY(!host.hasClient() && button(&client, "Command3")->isEnabled());
        click(&client, "Command3");

        game.checkPlayedGame();
        QCOMPARE(proxy.carried.size(), qsizetype(3));
        QCOMPARE(proxy.commandsPassed(TcpProxy::ToHost), Moves);
        QCOMPARE(proxy.commandsPassed(TcpProxy::ToClient), Moves);
        // Nothing new goes over the wire: the connections made again carry
        // the engines' commands alone, as a peer of the original kind expects.
        const QRegularExpression commandsOnly(QRegularExpression::anchoredPattern(
            QStringLiteral("(<Root><Command FlagID='\\d{4}' Direction='[NSEW]' "
                           "SerpentJump='No'/></Root>)+")));
        for (int connection = 1; connection < 3; ++connection) {
            for (const auto direction : {TcpProxy::ToHost, TcpProxy::ToClient}) {
                const QString carried = QString::fromLatin1(proxy.carried[connection][direction]);
                QVERIFY2(commandsOnly.match(carried).hasMatch(), qPrintable(carried));
            }
        }
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
    }
};

QTEST_MAIN(TestTcpReconnect)
#include "tst_tcpreconnect.moc"
