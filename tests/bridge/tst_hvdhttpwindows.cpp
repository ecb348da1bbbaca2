// The HTTP session windows against the real bridge server, with the test
// playing the other side through raw bridge requests: registration and its
// retry, posts and polls across a server outage, the list of games, the map
// fetch with a wrong Session ID, answers that are no message, strict turns.

#include "../bridge-server/bridgeserverprocess.h"
#include "../tcpip/tcpwindowtesting.h"
#include "bridgeoutcome.h"
#include "standinbridge.h"

#include "clientsession.h"
#include "completion.h"
#include "filelistbox.h"
#include "httpsendreceive.h"
#include "hvdclienthttp.h"
#include "hvdhosthttp.h"
#include "hvdsessionsview.h"
#include "tempgamefolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QScopeGuard>

using namespace HTTPSendReceive;

namespace {

constexpr int PauseMs = 20;

/// The other side of a game, played by the test through its own browser
/// object and raw requests.
class BridgePeer
{
public:
    explicit BridgePeer(const QUrl &url) { m_browser.setBaseUrl(url); }

    QByteArray connect(const QByteArray &name)
    {
        return await(BridgeConnect(&m_browser, name)).answer;
    }
    bool send(const QByteArray &key, const QByteArray &owner, const QByteArray &data)
    {
        return await(BridgeSendData(&m_browser, key, owner, data)).ok;
    }
    QByteArray get(const QByteArray &key, const QByteArray &owner)
    {
        return await(BridgeGetData(&m_browser, key, owner)).answer;
    }
    /// Polls until something other than "Wait" comes.
    QByteArray next(const QByteArray &key, const QByteArray &owner)
    {
        QByteArray answer;
        return QTest::qWaitFor([&] { return (answer = get(key, owner)) != "Wait"; }, 10000)
                   ? answer
                   : QByteArray("no answer in time");
    }

private:
    BridgeBrowser m_browser;
};

QByteArray sessionId(HvdHostHTTP &host)
{
    return control<QLabel>(&host, "MyPort")->text().toLatin1();
}

bool chooseCastle(HvdHostHTTP &host)
{
    return control<FileListBox>(&host, "File1")->selectFile(QStringLiteral("Castle.map")) &&
           control<FileListBox>(&host, "File2")->selectFile(QStringLiteral("Castle_Guard.arm"));
}

} // namespace

class TestHvdHttpWindows : public QObject
{
    Q_OBJECT

private slots:
    void hostRefusesHostileAnswersAndKeepsItsPauseAndItsArmy()
    {
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        QByteArray army = "ARMYDATA: " + dir.read(QStringLiteral("Castle_Siege.arm"));
        army.replace("\r\n", "<br>");
        const QList<QByteArray> served = {
            QByteArray("<div>").repeated((1 << 20) / 5),
            QByteArray("<table><td>").repeated((64 << 10) / 11),
            QByteArray("<table><td>").repeated((30 << 10) / 11),
            army,
        };
        StandInBridge bridge;
        int polls = 0;
        bridge.script = [&](const StandInBridge::Request &request) {
            StandInBridge::Reply reply = StandInBridge::defaultReply(request);
            if (request.path.endsWith("GetData.asp") && polls < served.size())
                reply.body = served.at(polls++);
            // The start data post is taken and its answer breaks off.
            if (request.body.contains("SAVEDATA1:"))
                reply.kind = StandInBridge::Reply::Kind::Broken;
            return reply;
        };
        RecordedBoxes boxes;
        constexpr int Pause = 600;
        HvdHostHTTP host(GameFolder(dir.path()), bridge.url(), Pause);
        QTRY_VERIFY(host.isRegistered());
        QCOMPARE(control<QLabel>(&host, "MyPort")->accessibleName(),
                 QStringLiteral("Session ID: 17"));
        QVERIFY(control<QLabel>(&host, "MyIP")
                    ->accessibleName()
                    .startsWith(QStringLiteral("Game Name: ")));

        // "Create Random Army" ticked by hand with an army selected and no
        // Random.arm: the game files cannot be made.
        QVERIFY(chooseCastle(host));
        control<QCheckBox>(&host, "Check2")->setChecked(true);
        click(&host, "Command2");
        // Each hostile page is told in the output box, and polling goes on.
        QTRY_COMPARE_WITH_TIMEOUT(output(&host)->text().count("was refused and dropped"), 3, 30000);
        QVERIFY(host.isPolling());
        QTRY_VERIFY_WITH_TIMEOUT(output(&host)->text().contains("could not be made"), 30000);
        QVERIFY(output(&host)->text().contains("army is kept"));
        QVERIFY(!host.isPolling());
        QVERIFY(!button(&host, "Command1")->isEnabled());
        QVERIFY(button(&host, "Command2")->isEnabled());
        const QList<StandInBridge::Request> gets = bridge.requestsFor("/Bridge/GetData.asp");
        QCOMPARE(gets.size(), served.size());
        // The pause after every poll is never shorter, refused answers or not.
        for (int i = 1; i < gets.size(); ++i)
            QVERIFY2(gets.at(i).arrivedNs - gets.at(i - 1).answeredNs >= Pause * 1000000LL,
                     qPrintable(QString::number(gets.at(i).arrivedNs - gets.at(i - 1).answeredNs)));

        // Put right, it completes with the army that came.
        control<QCheckBox>(&host, "Check2")->setChecked(false);
        click(&host, "Command2");
        QTRY_VERIFY(button(&host, "Command1")->isEnabled());
        QVERIFY(QFile::exists(dir.file(QStringLiteral("HostGame.sav"))));
        // The start data post whose answer was lost is told, not repeated.
        QTRY_VERIFY(output(&host)->text().contains("it is not posted again"));
        QTest::qWait(3 * Pause);
        int startPosts = 0;
        for (const StandInBridge::Request &request : bridge.requestsFor("/Bridge/SendData.asp"))
            startPosts += request.body.contains("SAVEDATA1:") ? 1 : 0;
        QCOMPARE(startPosts, 1);
        QCOMPARE(bridge.requestsFor("/Bridge/GetData.asp").size(), served.size());
        QVERIFY(boxes.boxes().isEmpty());
    }

    void clientWaitsForASlowPollAndCompletesAgainOnceThePlayerPutsItRight()
    {
        TempGameFolder hostDir;
        QVERIFY(hostDir.copySamples());
        const HostCompletion made =
            hostCompletionFiles(GameFolder(hostDir.path()), hostDir.read("Castle_Siege.arm"),
                                "Castle.map", QStringLiteral("Castle_Guard.arm"));
        QVERIFY2(made.ok, qPrintable(made.error));
        QByteArray startData = "SAVEDATA1: " + made.startData;
        startData.replace("\r\n", "<br>");

        StandInBridge bridge;
        int polls = 0;
        bridge.script = [&](const StandInBridge::Request &request) {
            StandInBridge::Reply reply = StandInBridge::defaultReply(request);
            if (!request.path.endsWith("GetData.asp"))
                return reply;
            ++polls;
            if (polls == 1)
                reply.body = "MAP: Castle.map";
            // The start data is handed out, and its answer takes long.
            if (polls == 2) {
                reply.body = startData;
                reply.delayMs = 1500;
            }
            return reply;
        };
        setDefaultSlowAnswerMs(300);
        const auto restore =
            qScopeGuard([] { setDefaultSlowAnswerMs(BridgeBrowser::DefaultSlowAnswerMs); });
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        // The save file cannot be written: a folder stands in its place.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ClientGame.sav")));
        RecordedBoxes boxes;
        HvdClientHTTP client(GameFolder(dir.path()), bridge.url(), PauseMs);
        control<QLineEdit>(&client, "MyPort")->setText(QStringLiteral("17"));
        click(&client, "Command3");
        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        QVERIFY(
            control<FileListBox>(&client, "File1")->selectFile(QStringLiteral("Castle_Siege.arm")));
        click(&client, "Command2");
        QTRY_VERIFY(output(&client)->text().contains("slow to answer"));
        QTRY_VERIFY_WITH_TIMEOUT(output(&client)->text().contains("could not be written"), 30000);
        QCOMPARE(polls, 2);
        QVERIFY(output(&client)->text().contains("start data from the host is kept"));
        QVERIFY(button(&client, "Command2")->isEnabled());
        QVERIFY(!button(&client, "Command1")->isEnabled());

        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("ClientGame.sav")));
        click(&client, "Command2");
        QTRY_VERIFY(button(&client, "Command1")->isEnabled());
        QCOMPARE(output(&client)->text(), QByteArray("Ready to Start\r\n"));
        QCOMPARE(GameFolder::splitLines(dir.read(QStringLiteral("ClientGame.sav"))).size(), 81);
        QVERIFY(!button(&client, "Command2")->isEnabled());
        // Nothing went out again: one army message, no further poll.
        QCOMPARE(bridge.requestsFor("/Bridge/SendData.asp").size(), 1);
        QCOMPARE(polls, 2);
        QVERIFY(boxes.boxes().isEmpty());
    }

    void hostsOutlastAnOutage()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        RecordedBoxes boxes;
        HvdHostHTTP host(GameFolder(dir.path()), server.url(), PauseMs);
        // No map can go out before the game has its Session ID; a cancelled
        // name box still registers the game.
        QCOMPARE(sessionId(host), QByteArray("?"));
        QVERIFY(!button(&host, "Command2")->isEnabled());
        QTRY_VERIFY(host.isRegistered());
        QCOMPARE(control<QLabel>(&host, "MyIP")->text(),
                 HvdHostHTTP::ComputerName() + QStringLiteral(": "));
        const QByteArray key = sessionId(host);
        QVERIFY(server.stop());

        // A host that opens while the server is down says so.
        HvdHostHTTP late(GameFolder(dir.path()), server.url(), PauseMs);
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("Bridge Error"));
        QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("could not be registered")));
        QVERIFY(boxes.boxes().first().text.contains(server.url().authority()));
        QVERIFY(!late.isRegistered());
        QCOMPARE(sessionId(late), QByteArray("?"));
        QVERIFY(output(&late)->text().contains("try again"));

        // The registered one keeps its map and keeps polling.
        QVERIFY(chooseCastle(host));
        click(&host, "Command2");
        QTRY_VERIFY(output(&host)->text().contains("could not be posted"));
        QTRY_VERIFY(output(&host)->text().contains("could not be asked"));
        QCOMPARE(host.pendingPosts(), 1);
        // Shown once, not at every pause.
        QTest::qWait(10 * PauseMs);
        QCOMPARE(output(&host)->text().count("could not be posted"), 1);

        QVERIFY(server.start({QStringLiteral("--port"), QString::number(server.port())}));
        BridgePeer peer(server.url());
        QCOMPARE(peer.next(key, "Client"), QByteArray("MAP: Castle.map"));
        QTRY_VERIFY(output(&host)->text().contains("answers again"));
        QCOMPARE(host.pendingPosts(), 0);
        // The poll went on through the outage and takes the client's army.
        QVERIFY(
            peer.send(key, "Host", "ARMYDATA: " + dir.read(QStringLiteral("Castle_Siege.arm"))));
        QTRY_VERIFY(button(&host, "Command1")->isEnabled());
        QCOMPARE(output(&host)->text(), QByteArray("Ready to Start\r\n"));
        QVERIFY(peer.next(key, "Client").startsWith("SAVEDATA1: "));

        // The late host registers first, then its map goes out under the new
        // Session ID.
        QVERIFY(chooseCastle(late));
        click(&late, "Command2");
        QTRY_VERIFY(late.isRegistered());
        QTRY_VERIFY(!button(&late, "Command2")->isEnabled());
        QVERIFY(late.isPolling());
        QCOMPARE(peer.next(sessionId(late), "Client"), QByteArray("MAP: Castle.map"));
        QCOMPARE(boxes.boxes().size(), 1);
    }

    void clientRetriesTheMapStartsOnlyOnStartDataAndKeepsStrictTurns()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        BridgePeer host(server.url());
        const QByteArray key = host.connect("Tester: game");
        QVERIFY(host.send(key, "Client", "MAP: Castle.map"));

        TempGameFolder dir;
        QVERIFY(dir.copySamples() && dir.installEngine());
        // An engine that plays no move of its own and leaves the command
        // files to the test.
        QVERIFY(dir.write(QStringLiteral("EngineScript.txt"), "moves 0 1\r\nidle-exit 5\r\n"));
        RecordedBoxes boxes;
        HvdClientHTTP client(GameFolder(dir.path()), server.url(), PauseMs);
        // The list of open games shows the host's with its Session ID.
        click(&client, "Command4");
        HvdSessionsView *view = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets())
            view = view ? view : qobject_cast<HvdSessionsView *>(widget);
        QVERIFY(view);
        QTRY_VERIFY(view->isVisible() &&
                    view->shownText().contains(QStringLiteral("Tester: game")));
        QVERIFY(view->shownText().contains(QString::fromLatin1(key)));
        // Deleting the default text still counts as a typed Session ID.
        auto *id = control<QLineEdit>(&client, "MyPort");
        QVERIFY(!button(&client, "Command3")->isEnabled());
        QTest::keyClick(id, Qt::Key_Backspace);
        QVERIFY(button(&client, "Command3")->isEnabled());
        QVERIFY(!button(&client, "Command4")->isEnabled());
        id->setText(QString::fromLatin1(key + "999"));
        click(&client, "Command3");
        QVERIFY(!id->isEnabled());
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("Bridge Error"));
        QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("Session ID")));
        QVERIFY(id->isEnabled() && button(&client, "Command3")->isEnabled());
        QVERIFY(button(&client, "Command4")->isEnabled());
        QVERIFY(!button(&client, "Command2")->isEnabled());

        // Blanks around the typed ID are not sent.
        id->setText(QStringLiteral("  ") + QString::fromLatin1(key) + QStringLiteral(" "));
        click(&client, "Command3");
        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        QCOMPARE(output(&client)->text(), QByteArray("MAP: Castle.map"));
        QVERIFY(
            control<FileListBox>(&client, "File1")->selectFile(QStringLiteral("Castle_Siege.arm")));
        click(&client, "Command2");
        const QByteArray army = host.next(key, "Host");
        // Every line of the file, the header included, each with CR LF.
        QCOMPARE(army, "ARMYDATA: " + dir.read(QStringLiteral("Castle_Siege.arm")));

        // An answer that is no message is shown; polling goes on, and "Start"
        // waits for real start data.
        QVERIFY(host.send(key, "Client", "Hello there"));
        QTRY_VERIFY(output(&client)->text().contains("Hello there"));
        QTest::qWait(5 * PauseMs);
        QVERIFY(client.isPolling());
        QVERIFY(!button(&client, "Command1")->isEnabled());
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("ClientGame.sav"))));

        TempGameFolder hostDir;
        QVERIFY(hostDir.copySamples());
        const HostCompletion made =
            hostCompletionFiles(GameFolder(hostDir.path()), army.mid(10), "Castle.map",
                                QStringLiteral("Castle_Guard.arm"));
        QVERIFY2(made.ok, qPrintable(made.error));
        QVERIFY(host.send(key, "Client", "SAVEDATA1: " + made.startData));
        QTRY_VERIFY(button(&client, "Command1")->isEnabled());
        QCOMPARE(output(&client)->text(), QByteArray("Ready to Start\r\n"));
        const QByteArray save = dir.read(QStringLiteral("ClientGame.sav"));
        QCOMPARE(GameFolder::splitLines(save).size(), 81);

        // The client holds its command until the host's has arrived.
        click(&client, "Command1");
        QTRY_VERIFY(client.session()->gameRunning());
        QCOMPARE(client.turnState(), 1);
        const QByteArray own =
            "<Root><Command FlagID='5001' Direction='N' SerpentJump='No'/></Root>";
        QVERIFY(dir.write(QStringLiteral("Send/AICommand.xml"), own + "\r\n"));
        // Start data that comes once the game runs is dropped.
        QVERIFY(host.send(key, "Client", "SAVEDATA1: 000 \r\n"));
        QTest::qWait(10 * PauseMs);
        QVERIFY(QFile::exists(dir.file(QStringLiteral("Send/AICommand.xml"))));
        QCOMPARE(host.get(key, "Host"), QByteArray("Wait"));
        QCOMPARE(dir.read(QStringLiteral("ClientGame.sav")), save);

        // The host's command, with double quotes as a browser may give it.
        QVERIFY(host.send(
            key, "Client",
            "<Root><Command FlagID=\"5024\" Direction=\"S\" SerpentJump=\"No\"/></Root>"));
        const QByteArray sent = host.next(key, "Host");
        QVERIFY(sent.startsWith("<ROOT><COMMAND") && sent.contains("FlagID=\"5001\""));
        QCOMPARE(client.turnState(), 1);
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("Send/AICommand.xml"))));
        const QByteArray received =
            "<Root><Command FlagID='5024' Direction='S' SerpentJump='No'/></Root>";
        QCOMPARE(dir.read(QStringLiteral("Receive/AICommand.xml")), received + "\r\n");
        const QList<QByteArray> log =
            GameFolder::splitLines(dir.read(QStringLiteral("GameLog.txt")));
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(1), "RCVD:" + received);
        QCOMPARE(log.at(2), "SENT:" + own);
        QCOMPARE(boxes.boxes().size(), 1);
    }
};

QTEST_MAIN(TestHvdHttpWindows)
#include "tst_hvdhttpwindows.moc"
