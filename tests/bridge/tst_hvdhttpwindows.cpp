// The HTTP session windows against the real bridge server, with the test
// playing the other side through raw bridge requests: registration and its
// retry, the map fetch with a wrong Session ID, posts and polls across a
// server outage, answers that are no message, and the strict turns.

#include "../bridge-server/bridgeserverprocess.h"
#include "../tcpip/tcpwindowtesting.h"

#include "bridgebrowser.h"
#include "clientsession.h"
#include "completion.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "httpsendreceive.h"
#include "hvdclienthttp.h"
#include "hvdhosthttp.h"
#include "hvdsessionsview.h"
#include "tempgamefolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace {

constexpr int PauseMs = 20;

/// The other side of a game, played by the test through its own browser
/// object and raw requests.
class BridgePeer
{
public:
    explicit BridgePeer(const QUrl &url) { m_browser.setBaseUrl(url); }

    struct Result
    {
        bool done = false;
        bool ok = false;
        QByteArray answer;
        QString error;
    };

    /// Waits for the request's end.
    static Result wait(BridgeReply *reply)
    {
        auto result = std::make_shared<Result>();
        if (!reply)
            return *result;
        QObject::connect(reply, &BridgeReply::answered, [result](const QByteArray &text) {
            result->ok = true;
            result->answer = text;
        });
        QObject::connect(reply, &BridgeReply::failed,
                         [result](const QString &error) { result->error = error; });
        QObject::connect(reply, &BridgeReply::finished, [result] { result->done = true; });
        if (!QTest::qWaitFor([result] { return result->done; }, 10000))
            result->error = QStringLiteral("no answer in time");
        return *result;
    }

    QByteArray connect(const QByteArray &name)
    {
        return wait(HTTPSendReceive::BridgeConnect(&m_browser, name)).answer;
    }
    bool send(const QByteArray &key, const QByteArray &owner, const QByteArray &data)
    {
        return wait(HTTPSendReceive::BridgeSendData(&m_browser, key, owner, data)).ok;
    }
    QByteArray get(const QByteArray &key, const QByteArray &owner)
    {
        return wait(HTTPSendReceive::BridgeGetData(&m_browser, key, owner)).answer;
    }
    /// Polls until something other than "Wait" comes.
    QByteArray next(const QByteArray &key, const QByteArray &owner)
    {
        QByteArray answer = "Wait";
        for (int i = 0; i < 200 && answer == "Wait"; ++i) {
            answer = get(key, owner);
            if (answer == "Wait")
                QTest::qWait(PauseMs);
        }
        return answer;
    }

private:
    BridgeBrowser m_browser;
};

QStringList samePort(const BridgeServerProcess &server)
{
    return {QStringLiteral("--port"), QString::number(server.port())};
}

/// The open list of sessions, a window of its own.
HvdSessionsView *sessionsView()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *view = qobject_cast<HvdSessionsView *>(widget))
            return view;
    }
    return nullptr;
}

QString boxTexts(const RecordedBoxes &boxes)
{
    QStringList texts;
    for (const RecordingDialogs::Box &box : boxes.boxes())
        texts << box.title + QStringLiteral(": ") + box.text;
    return texts.join(QLatin1Char('\n'));
}

} // namespace

class TestHvdHttpWindows : public QObject
{
    Q_OBJECT

private slots:
    void buttonsFollowRegistrationAndTheTypedSessionId()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        TempGameFolder dir;
        RecordedBoxes boxes;
        HvdHostHTTP host(GameFolder(dir.path()), server.url(), PauseMs);
        // No map can go out before the game has its Session ID.
        QCOMPARE(control<QLabel>(&host, "MyPort")->text(), QStringLiteral("?"));
        QVERIFY(!button(&host, "Command2")->isEnabled());
        QTRY_VERIFY(host.isRegistered());
        QVERIFY(button(&host, "Command2")->isEnabled());
        QVERIFY(!button(&host, "Command1")->isEnabled());
        QCOMPARE(output(&host)->text(),
                 QByteArray("Give the Session ID to other player.\r\nThen, Choose a Map.\r\n"
                            " Waiting For Remote Client to Connect and send Army data.\r\n"));

        HvdClientHTTP client(GameFolder(dir.path()), server.url(), PauseMs);
        auto *id = control<QLineEdit>(&client, "MyPort");
        QVERIFY(!button(&client, "Command3")->isEnabled());
        // Deleting the default text still counts as a typed Session ID.
        QTest::keyClick(id, Qt::Key_Backspace);
        QCOMPARE(id->text(), QString());
        QVERIFY(button(&client, "Command3")->isEnabled());
        QVERIFY(!button(&client, "Command4")->isEnabled());
        QVERIFY(boxes.boxes().isEmpty());
    }

    void hostRegistersItsNamedGameAndTheClientFindsIt()
    {
        QCOMPARE(HvdHostHTTP::chooseComputerName(QString(), QStringLiteral("box")),
                 QStringLiteral("box"));
        QCOMPARE(HvdHostHTTP::chooseComputerName(QString(), QString()), QStringLiteral("Unnamed"));
        QVERIFY(!HvdHostHTTP::ComputerName().isEmpty());

        BridgeServerProcess server;
        QVERIFY(server.start());
        TempGameFolder hostDir;
        TempGameFolder clientDir;
        RecordedBoxes boxes;
        boxes->answers << QStringLiteral("It's mine") << QString();
        HvdHostHTTP named(GameFolder(hostDir.path()), server.url(), PauseMs);
        HvdHostHTTP cancelled(GameFolder(hostDir.path()), server.url(), PauseMs);
        QTRY_VERIFY(named.isRegistered() && cancelled.isRegistered());
        const QString computer = HvdHostHTTP::ComputerName();
        QCOMPARE(control<QLabel>(&named, "MyIP")->text(), computer + QStringLiteral(": It`s mine"));
        QCOMPARE(control<QLabel>(&cancelled, "MyIP")->text(), computer + QStringLiteral(": "));
        const QString id = control<QLabel>(&named, "MyPort")->text();
        QVERIFY(id != control<QLabel>(&cancelled, "MyPort")->text());

        // The client's list shows the registered name with its Session ID.
        HvdClientHTTP client(GameFolder(clientDir.path()), server.url(), PauseMs);
        click(&client, "Command4");
        HvdSessionsView *view = nullptr;
        QTRY_VERIFY((view = sessionsView()));
        QTRY_VERIFY(view->isVisible());
        QTRY_VERIFY(view->shownText().contains(computer + QStringLiteral(": It`s mine")));
        QVERIFY(view->shownText().contains(id));
        QVERIFY(boxTexts(boxes).isEmpty());
    }

    void hostRegistersAgainOnceTheServerIsBack()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        QVERIFY(server.stop());
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        RecordedBoxes boxes;
        boxes->answers << QStringLiteral("Late game");
        HvdHostHTTP host(GameFolder(dir.path()), server.url(), PauseMs);
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("Bridge Error"));
        QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("could not be registered")));
        QVERIFY(boxes.boxes().first().text.contains(server.url().authority()));
        QVERIFY(!host.isRegistered());
        QCOMPARE(control<QLabel>(&host, "MyPort")->text(), QStringLiteral("?"));
        QVERIFY(output(&host)->text().contains("try again"));
        QVERIFY(button(&host, "Command2")->isEnabled());

        QVERIFY(server.start(samePort(server)));
        QVERIFY(control<FileListBox>(&host, "File1")->selectFile(QStringLiteral("Castle.map")));
        QVERIFY(
            control<FileListBox>(&host, "File2")->selectFile(QStringLiteral("Castle_Guard.arm")));
        click(&host, "Command2");
        // Registered first, then the map goes out under the new Session ID.
        QTRY_VERIFY(host.isRegistered());
        QTRY_VERIFY(!button(&host, "Command2")->isEnabled());
        QVERIFY(host.isPolling());
        BridgePeer peer(server.url());
        const QByteArray key = control<QLabel>(&host, "MyPort")->text().toLatin1();
        QCOMPARE(peer.next(key, "Client"), QByteArray("MAP: Castle.map"));
        QCOMPARE(boxes.boxes().size(), 1);
    }

    void hostPostsAndPollsOutlastAnOutage()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        RecordedBoxes boxes;
        HvdHostHTTP host(GameFolder(dir.path()), server.url(), PauseMs);
        QTRY_VERIFY(host.isRegistered());
        const QByteArray key = control<QLabel>(&host, "MyPort")->text().toLatin1();

        QVERIFY(server.stop());
        QVERIFY(control<FileListBox>(&host, "File1")->selectFile(QStringLiteral("Castle.map")));
        QVERIFY(
            control<FileListBox>(&host, "File2")->selectFile(QStringLiteral("Castle_Guard.arm")));
        click(&host, "Command2");
        QTRY_VERIFY(output(&host)->text().contains("could not be posted"));
        QTRY_VERIFY(output(&host)->text().contains("could not be asked"));
        QCOMPARE(host.pendingPosts(), 1);
        // Shown once, not at every pause.
        QTest::qWait(10 * PauseMs);
        QCOMPARE(output(&host)->text().count("could not be posted"), 1);

        QVERIFY(server.start(samePort(server)));
        BridgePeer peer(server.url());
        QCOMPARE(peer.next(key, "Client"), QByteArray("MAP: Castle.map"));
        QTRY_VERIFY(output(&host)->text().contains("answers again"));
        QCOMPARE(host.pendingPosts(), 0);

        // The poll went on through the outage and takes the client's army.
        QList<QByteArray> army;
        QVERIFY(GameFolder(dir.path()).readLines(QStringLiteral("Castle_Siege.arm"), &army));
        QByteArray armyText;
        for (const QByteArray &line : army)
            armyText += line + "\r\n";
        QVERIFY(peer.send(key, "Host", "ARMYDATA: " + armyText));
        QTRY_VERIFY(button(&host, "Command1")->isEnabled());
        QCOMPARE(output(&host)->text(), QByteArray("Ready to Start\r\n"));
        const QByteArray startData = peer.next(key, "Client");
        QVERIFY(startData.startsWith("SAVEDATA1: "));
        QCOMPARE(startData.count("\r\n"), 80);
        QVERIFY(boxes.boxes().isEmpty());
    }

    void clientCorrectsAWrongSessionIdAndNeverStartsWithoutStartData()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        BridgePeer host(server.url());
        const QByteArray key = host.connect("Tester: game");
        QVERIFY(!key.isEmpty());
        QVERIFY(host.send(key, "Client", "MAP: Castle.map"));

        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        RecordedBoxes boxes;
        HvdClientHTTP client(GameFolder(dir.path()), server.url(), PauseMs);
        auto *id = control<QLineEdit>(&client, "MyPort");
        id->setText(QString::fromLatin1(key) + QStringLiteral("999"));
        click(&client, "Command3");
        QVERIFY(!id->isEnabled());
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("Bridge Error"));
        QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("Session ID")));
        QVERIFY(id->isEnabled());
        QVERIFY(button(&client, "Command3")->isEnabled());
        QVERIFY(button(&client, "Command4")->isEnabled());
        QVERIFY(!button(&client, "Command2")->isEnabled());

        // Blanks around the typed ID are not sent.
        id->setText(QStringLiteral("  ") + QString::fromLatin1(key) + QStringLiteral(" "));
        click(&client, "Command3");
        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        QCOMPARE(output(&client)->text(), QByteArray("MAP: Castle.map"));
        QCOMPARE(control<FileListBox>(&client, "File1")->pattern(), QStringLiteral("*Castle*.arm"));
        QVERIFY(!control<QCheckBox>(&client, "Check2")->isChecked());

        QVERIFY(
            control<FileListBox>(&client, "File1")->selectFile(QStringLiteral("Castle_Siege.arm")));
        click(&client, "Command2");
        const QByteArray army = host.next(key, "Host");
        // Every line of the file, the header included, each with CR LF.
        QCOMPARE(army, "ARMYDATA: " + dir.read(QStringLiteral("Castle_Siege.arm")));
        QCOMPARE(army.count("\r\n"), 41);

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
        QCOMPARE(GameFolder::splitLines(dir.read(QStringLiteral("ClientGame.sav"))).size(), 81);
        QCOMPARE(boxes.boxes().size(), 1);
    }

    void clientHoldsItsCommandUntilTheHostsHasArrived()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        BridgePeer host(server.url());
        const QByteArray key = host.connect("Tester: turns");
        QVERIFY(host.send(key, "Client", "MAP: Castle.map"));

        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        QVERIFY(dir.installEngine());
        // An engine that plays no move of its own and leaves the command
        // files to the test.
        QVERIFY(dir.write(QStringLiteral("EngineScript.txt"), "moves 0 1\r\nidle-exit 5\r\n"));
        RecordedBoxes boxes;
        HvdClientHTTP client(GameFolder(dir.path()), server.url(), PauseMs);
        control<QLineEdit>(&client, "MyPort")->setText(QString::fromLatin1(key));
        click(&client, "Command3");
        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        control<QCheckBox>(&client, "Check2")->setChecked(true);
        click(&client, "Command2");
        QVERIFY(dir.read(QStringLiteral("Random.arm")).startsWith("Castle\r\n"));
        const QByteArray army = host.next(key, "Host");
        TempGameFolder hostDir;
        QVERIFY(hostDir.copySamples());
        const HostCompletion made =
            hostCompletionFiles(GameFolder(hostDir.path()), army.mid(10), "Castle.map",
                                QStringLiteral("Castle_Guard.arm"));
        QVERIFY(made.ok);
        QVERIFY(host.send(key, "Client", "SAVEDATA1: " + made.startData));
        QTRY_VERIFY(button(&client, "Command1")->isEnabled());
        const QByteArray save = dir.read(QStringLiteral("ClientGame.sav"));

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
        QVERIFY(sent.startsWith("<ROOT><COMMAND"));
        QVERIFY(sent.contains("FlagID=\"5001\""));
        QCOMPARE(client.turnState(), 1);
        QVERIFY(!QFile::exists(dir.file(QStringLiteral("Send/AICommand.xml"))));
        QCOMPARE(
            dir.read(QStringLiteral("Receive/AICommand.xml")),
            QByteArray("<Root><Command FlagID='5024' Direction='S' SerpentJump='No'/></Root>\r\n"));
        const QList<QByteArray> log =
            GameFolder::splitLines(dir.read(QStringLiteral("GameLog.txt")));
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.at(1),
                 QByteArray(
                     "RCVD:<Root><Command FlagID='5024' Direction='S' SerpentJump='No'/></Root>"));
        QCOMPARE(log.at(2), "SENT:" + own);
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxTexts(boxes)));
    }
};

QTEST_MAIN(TestHvdHttpWindows)
#include "tst_hvdhttpwindows.moc"
