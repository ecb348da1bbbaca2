// The bridge sessions without a window, against a stand-in bridge on
// 127.0.0.1 that holds polls or does not, and against the real HvdBridge: held answers are used at
// once and a hold asks once per hold; without holding the bodies and the five-second pauses stay;
// across an outage nothing is lost, nothing posted twice and the pause after a failure stays; the
// client keeps its start data and takes its turn only after the host's command.

#include "../bridge-server/bridgeserverprocess.h"
#include "clientbridgesession.h"
#include "clientsession.h"
#include "completion.h"
#include "hostbridgesession.h"
#include "hostsession.h"
#include "httpsendreceive.h"
#include "standinbridge.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QSignalSpy>

using namespace HTTPSendReceive;

class TestBridgeSession : public QObject
{
    Q_OBJECT

private slots:
    void aHeldAnswerIsUsedAtOnce_data()
    {
        QTest::addColumn<int>("hold");
        QTest::newRow("holding bridge") << 1;
        QTest::newRow("bridge that does not hold") << 0;
    }

    void aHeldAnswerIsUsedAtOnce()
    {
        QFETCH(int, hold);
        StandInBridge bridge;
        bridge.holdSeconds = hold;
        // Polls held a second each (when the bridge holds), the map in the
        // fourth (second) one; the army post is stored and its answer lost.
        const int mapPoll = hold ? 3 : 1;
        bridge.script = [&](const StandInBridge::Request &request) {
            StandInBridge::Reply reply = StandInBridge::defaultReply(request);
            const int poll = int(bridge.requestsFor("GetData.asp").size()) - 1;
            if (request.body.contains("ARMYDATA:"))
                reply.kind = StandInBridge::Reply::Kind::Broken;
            else if (poll == mapPoll)
                reply = {StandInBridge::Reply::Kind::Page, "MAP: Castle.map", hold * 300};
            else if (poll > 0 && request.path.endsWith("GetData.asp"))
                reply.delayMs = hold * 1000;
            return reply;
        };
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        TextOutputBox box;
        ClientBridgeSession client(GameFolder(dir.path()), bridge.url());
        client.setOutputBox(&box);
        qint64 usedAt = -1;
        connect(client.clientSession(), &ClientSession::mapReceived, this, [&] {
            usedAt = bridge.clock.elapsed();
            QVERIFY(client.sendArmy(QStringLiteral("Castle_Siege.arm"), nullptr));
        });
        client.setSessionId(" 17 ");
        client.fetchMap();
        QTRY_VERIFY_WITH_TIMEOUT(usedAt >= 0, 15000);
        QTest::qWait(hold ? 1500 : 5500);

        const QList<StandInBridge::Request> polls = bridge.requestsFor("GetData.asp");
        QVERIFY(polls.size() >= mapPoll + 2);
        // Without holding, the bodies byte for byte as ever and never a poll
        // before the pause has passed; with holding, the next poll at once
        // (also the one after the army post), asking for the hold.
        for (int i = 0; i < polls.size(); ++i) {
            QCOMPARE(polls.at(i).body, "SessionKey=17&DataOwner=Client" +
                                           QByteArray(i && hold ? "&WaitSeconds=1" : ""));
            const qint64 gap = i ? polls.at(i).arrivedMs - polls.at(i - 1).answeredMs : 0;
            QVERIFY2(i == 0 || (hold ? gap < 1000 : gap >= BridgeSession::PauseMs),
                     qPrintable(QStringLiteral("poll %1 after %2 ms").arg(i).arg(gap)));
        }
        // The message is used at once, or only after the pause.
        const qint64 used = usedAt - polls.at(mapPoll).answeredMs;
        QVERIFY2(hold ? used < 1000 : used >= BridgeSession::PauseMs,
                 qPrintable(QString::number(used)));
        // The army post whose answer was lost is told, not posted again.
        QVERIFY(box.text.contains("it is not posted again"));
        QCOMPARE(bridge.requestsFor("SendData.asp").size(), 1);
    }

    void anOutageLosesNothingPostsNothingTwiceAndKeepsThePause()
    {
        auto bridge = std::make_unique<StandInBridge>();
        bridge->holdSeconds = 2;
        TempGameFolder dir;
        TextOutputBox box;
        HostBridgeSession host(GameFolder(dir.path()), bridge->url());
        host.setOutputBox(&box);
        host.registerGame("PC: Game");
        QTRY_VERIFY(host.isRegistered());
        QCOMPARE(host.holdSeconds(), 2);

        bridge.reset();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(host.sendMap(QStringLiteral("Castle.map")));
        QTRY_VERIFY(box.text.contains("could not be posted") &&
                    box.text.contains("could not be asked"));
        QCOMPARE(host.pendingPosts(), 1);
        bridge = std::make_unique<StandInBridge>(quint16(host.bridgeUrl().port()));
        bridge->holdSeconds = 2;
        QTRY_VERIFY_WITH_TIMEOUT(!bridge->requests.isEmpty(), 10000);
        // The pause after a failure stays, although the bridge holds.
        QVERIFY2(clock.elapsed() >= BridgeSession::PauseMs,
                 qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE(host.pendingPosts(), 0);
        QTRY_VERIFY(box.text.contains("answers again") && host.isPolling());
        QCOMPARE(box.text.count("could not be posted"), 1);
        QCOMPARE(bridge->requestsFor("SendData.asp").size(), 1);
    }

    void theClientKeepsItsStartDataAndMovesAfterTheHost()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        BridgeBrowser peer;
        peer.setBaseUrl(server.url());
        const QByteArray key = await(BridgeConnect(&peer, "PC: Game")).answer;
        TempGameFolder dir, hostDir;
        QVERIFY(dir.copySamples() && hostDir.copySamples());
        // The save file cannot be written: a folder stands in its place.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ClientGame.sav")));
        ClientBridgeSession client(GameFolder(dir.path()), server.url());
        client.setSessionId(key);
        QVERIFY(await(BridgeSendData(&peer, key, "Client", "MAP: Castle.map")).ok);
        client.fetchMap();
        QTRY_COMPARE(client.clientSession()->mapName(), QByteArray("Castle.map"));
        QVERIFY(client.sendArmy(QStringLiteral("Castle_Siege.arm"), nullptr));
        const QByteArray army = await(BridgeGetData(&peer, key, "Host", 5)).answer;
        // Every line of the file, the header included, each with CR LF.
        QCOMPARE(army, "ARMYDATA: " + dir.read(QStringLiteral("Castle_Siege.arm")));
        const HostCompletion made = hostCompletionFiles(GameFolder(hostDir.path()), army.mid(10),
                                                        "Castle.map", "Castle_Guard.arm");
        QVERIFY(await(BridgeSendData(&peer, key, "Client", "SAVEDATA1: " + made.startData)).ok);
        QTRY_VERIFY(client.hasKeptStartData());
        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("ClientGame.sav")));
        client.completeAgain();
        QVERIFY(client.clientSession()->startEnabled());
        QCOMPARE(GameFolder::splitLines(dir.read(QStringLiteral("ClientGame.sav"))).size(), 81);

        client.beginTurns();
        client.session()->gameStarted();
        const QByteArray own =
            "<Root><Command FlagID='5001' Direction='N' SerpentJump='No'/></Root>";
        QVERIFY(dir.write(QStringLiteral("Send/AICommand.xml"), own + "\r\n"));
        QTest::qWait(500);
        QVERIFY(QFile::exists(dir.file(QStringLiteral("Send/AICommand.xml"))));
        QCOMPARE(client.turn(), BridgeSession::Turn::Other);
        // The host's command, with double quotes as a browser may give it.
        QVERIFY(
            await(BridgeSendData(
                      &peer, key, "Client",
                      "<Root><Command FlagID=\"5024\" Direction=\"S\" SerpentJump=\"No\"/></Root>"))
                .ok);
        QTRY_VERIFY(!QFile::exists(dir.file(QStringLiteral("Send/AICommand.xml"))));
        QCOMPARE(
            dir.read(QStringLiteral("Receive/AICommand.xml")),
            QByteArray("<Root><Command FlagID='5024' Direction='S' SerpentJump='No'/></Root>\r\n"));
        QVERIFY(await(BridgeGetData(&peer, key, "Host", 5)).answer.contains("FlagID=\"5001\""));
        QCOMPARE(client.turn(), BridgeSession::Turn::Other);
    }
};

QTEST_MAIN(TestBridgeSession)
#include "tst_bridgesession.moc"
