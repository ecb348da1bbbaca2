// The bridge sessions without a window, against a stand-in bridge on
// 127.0.0.1 that holds polls or does not: held answers are used at once and
// a hold asks once per hold; without holding the bodies and the five-second
// pauses stay; across an outage nothing is lost, nothing posted twice and the
// pause after a failure stays; the client keeps its start data and takes its
// turn only after the host's command.

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
        bridge.actAsBridge(hold);
        BridgeBrowser peer;
        peer.setBaseUrl(bridge.url());
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        ClientBridgeSession client(GameFolder(dir.path()), bridge.url());
        client.setSessionId(" 17 ");
        client.fetchMap();
        QTest::qWait(2600);
        QVERIFY(await(BridgeSendData(&peer, "17", "Client", "MAP: Castle.map")).ok);
        const qint64 posted = bridge.clock.elapsed();
        QTRY_COMPARE_WITH_TIMEOUT(client.clientSession()->mapName(), QByteArray("Castle.map"),
                                  15000);
        const qint64 used = bridge.clock.elapsed() - posted;
        QVERIFY(client.sendArmy(QStringLiteral("Castle_Siege.arm"), nullptr));
        QTest::qWait(hold ? 1500 : 5500);

        const QList<StandInBridge::Request> polls = bridge.requestsFor("GetData.asp");
        // Without holding, the bodies byte for byte as ever and never a poll
        // before the pause has passed; with holding, the next poll at once
        // (also the one after the army post), asking for the hold.
        int before = 0;
        for (int i = 0; i < polls.size(); ++i) {
            QCOMPARE(polls.at(i).body, "SessionKey=17&DataOwner=Client" +
                                           QByteArray(i && hold ? "&WaitSeconds=1" : ""));
            before += polls.at(i).arrivedMs < posted ? 1 : 0;
            const qint64 gap = i ? polls.at(i).arrivedMs - polls.at(i - 1).answeredMs : 0;
            QVERIFY2(i == 0 || (hold ? gap < 1000 : gap >= BridgeSession::PauseMs),
                     qPrintable(QStringLiteral("poll %1 after %2 ms").arg(i).arg(gap)));
        }
        // While nothing happens, one poll per hold; a message used at once,
        // or only after the pause.
        QVERIFY2(hold ? before <= 4 && polls.size() > before + 1 : before == 1,
                 qPrintable(QString::number(before)));
        QVERIFY(hold ? used < 2000 : used >= BridgeSession::PauseMs);
        QVERIFY(bridge.requestsFor("SendData.asp")
                    .last()
                    .body.startsWith("SessionKey=17&DataOwner=Host&SessionData=ARMYDATA:+"));
    }

    void anOutageLosesNothingPostsNothingTwiceAndKeepsThePause()
    {
        auto bridge = std::make_unique<StandInBridge>();
        bridge->actAsBridge(2);
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
        bridge->actAsBridge(2);
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
        StandInBridge bridge;
        bridge.actAsBridge(2);
        BridgeBrowser peer;
        peer.setBaseUrl(bridge.url());
        TempGameFolder dir, hostDir;
        QVERIFY(dir.copySamples() && hostDir.copySamples());
        // The save file cannot be written: a folder stands in its place.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ClientGame.sav")));
        // The army post is stored and its answer breaks off.
        const auto store = bridge.script;
        bridge.script = [store](const StandInBridge::Request &request) {
            StandInBridge::Reply reply = store(request);
            if (request.body.contains("ARMYDATA:"))
                reply.kind = StandInBridge::Reply::Kind::Broken;
            return reply;
        };
        TextOutputBox box;
        ClientBridgeSession client(GameFolder(dir.path()), bridge.url());
        client.setOutputBox(&box);
        client.setSessionId("17");
        QVERIFY(await(BridgeSendData(&peer, "17", "Client", "MAP: Castle.map")).ok);
        client.fetchMap();
        QTRY_COMPARE(client.clientSession()->mapName(), QByteArray("Castle.map"));
        QVERIFY(client.sendArmy(QStringLiteral("Castle_Siege.arm"), nullptr));
        // Told, not posted again.
        QTRY_VERIFY(box.text.contains("it is not posted again"));
        const QByteArray army = await(BridgeGetData(&peer, "17", "Host")).answer;
        // Every line of the file, the header included, each with CR LF.
        QCOMPARE(army, "ARMYDATA: " + dir.read(QStringLiteral("Castle_Siege.arm")));
        const HostCompletion made = hostCompletionFiles(GameFolder(hostDir.path()), army.mid(10),
                                                        "Castle.map", "Castle_Guard.arm");
        QVERIFY(await(BridgeSendData(&peer, "17", "Client", "SAVEDATA1: " + made.startData)).ok);
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
                      &peer, "17", "Client",
                      "<Root><Command FlagID=\"5024\" Direction=\"S\" SerpentJump=\"No\"/></Root>"))
                .ok);
        QTRY_VERIFY(!QFile::exists(dir.file(QStringLiteral("Send/AICommand.xml"))));
        QCOMPARE(
            dir.read(QStringLiteral("Receive/AICommand.xml")),
            QByteArray("<Root><Command FlagID='5024' Direction='S' SerpentJump='No'/></Root>\r\n"));
        QVERIFY(await(BridgeGetData(&peer, "17", "Host")).answer.contains("FlagID=\"5001\""));
        QCOMPARE(client.turn(), BridgeSession::Turn::Other);
        QCOMPARE(bridge.requestsFor("SendData.asp").size(), 5);
    }
};

QTEST_MAIN(TestBridgeSession)
#include "tst_bridgesession.moc"
