#include "armytexts.h"
#include "clientsession.h"
#include "completion.h"
#include "gamefolder.h"
#include "memorypipe.h"
#include "messages.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

/// A client session over an in-memory pipe in a game folder of its own.
struct Client
{
    explicit Client(Session::Transport transport = Session::Transport::Tcp)
    {
        session = std::make_unique<ClientSession>(folder, transport);
        session->setSendFunction(pipe.clientEnd());
        session->setOutputBox(&box);
    }

    TempGameFolder tmp;
    GameFolder folder{tmp.path()};
    MemoryPipe pipe;
    TextOutputBox box;
    std::unique_ptr<ClientSession> session;
};

/// A start data text as the host builds it: 80 rows of 40 cells, 12,960
/// characters, with side letters in both halves.
QByteArray startDataText()
{
    TempGameFolder tmp;
    const GameFolder folder(tmp.path());
    tmp.write(QStringLiteral("Own.arm"), ArmyTexts::army(ArmyTexts::oneOfEachKind(38)));
    return hostCompletionFiles(folder, ArmyTexts::army(ArmyTexts::oneOfEachKind(36)), "Castle.map",
                               QStringLiteral("Own.arm"))
        .startData;
}

/// What the client's files hold after the whole message arrives at once.
QByteArray wholeRunSave(const QByteArray &startData)
{
    Client client;
    client.session->received("MAP: Castle.map");
    client.session->received(Messages::startDataMessage(startData));
    return client.tmp.read(QStringLiteral("ClientGame.sav"));
}

} // namespace

class TestClientSession : public QObject
{
    Q_OBJECT

private slots:
    void connectionStatesAndStatusLines()
    {
        Client client;
        ClientSession &s = *client.session;
        QVERIFY(s.connectEnabled() && !s.sendEnabled() && !s.startEnabled() && !s.chatEnabled());
        QCOMPARE(s.armyPattern(), QStringLiteral("nothing.nothing"));
        s.connectClicked();
        QVERIFY(!s.connectEnabled());
        s.connectFailed();
        QVERIFY(s.connectEnabled());
        s.connectClicked();
        s.connected("127.0.0.1", 3456);
        QVERIFY(s.chatEnabled() && !s.connectEnabled());
        QCOMPARE(client.box.text(), QByteArray("127.0.0.1:3456 connected\r\n\r\n"));
        QVERIFY(!client.box.caretAtEnd());
        s.chatEntered("hi");
        QCOMPARE(client.pipe.takeToHost(), QByteArray("CLIENT: hi"));
        s.peerClosed();
        QVERIFY(!s.chatEnabled() && !s.connectEnabled());
        QCOMPARE(
            client.box.text(),
            QByteArray(
                "127.0.0.1:3456 connected\r\n\r\nCLIENT: hi\r\nServer closed connection\r\n\r\n"));
        QVERIFY(client.box.caretAtEnd());
        // Chat that cannot go out says so.
        client.pipe.setOpen(false);
        s.chatEntered("anyone?");
        QVERIFY(client.box.text().endsWith(
            "CLIENT: anyone?\r\n(not sent: there is no connection)\r\n"));
    }

    void theMapMessageNarrowsTheArmyList()
    {
        Client client;
        ClientSession &s = *client.session;
        QVERIFY(client.tmp.write(QStringLiteral("Castle_Guard.arm"), ArmyTexts::army({})));
        QSignalSpy received(&s, &ClientSession::mapReceived);
        // Lower-case markers are no map message: only shown.
        s.received("map: Castle.map");
        QVERIFY(s.mapName().isEmpty() && !s.sendEnabled());
        QCOMPARE(client.box.text(), QByteArray("map: Castle.map\r\n"));

        s.received("MAP: Castle.map");
        QCOMPARE(s.mapName(), QByteArray("Castle.map"));
        QCOMPARE(s.armyPattern(), QStringLiteral("*Castle*.arm"));
        QVERIFY(!s.randomArmySuggested());
        QVERIFY(s.sendEnabled());
        QCOMPARE(received.size(), 1);
        QVERIFY(client.box.text().endsWith("MAP: Castle.map\r\n"));

        // A map with no army file ticks "Create Random Army".
        s.received("MAP: Valley.map");
        QCOMPARE(s.armyPattern(), QStringLiteral("*Valley*.arm"));
        QVERIFY(s.randomArmySuggested());
    }

    void mapNamesOutsideTheGameFolderAreRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("parent") << QByteArray("../outside.map");
        QTest::newRow("absolute") << QByteArray("/tmp/outside.map");
        QTest::newRow("drive") << QByteArray("C:\\outside.map");
        QTest::newRow("control") << QByteArray("out\x07side.map");
    }
    void mapNamesOutsideTheGameFolderAreRefused()
    {
        QFETCH(QByteArray, name);
        Client client;
        ClientSession &s = *client.session;
        s.received("MAP: Castle.map");
        const QByteArray startData = QByteArray("000 \r\n").repeated(80);
        s.received("MAP: " + name);
        QVERIFY(client.box.text().contains("The map name from the host was refused ("));
        QCOMPARE(s.mapName(), QByteArray("Castle.map"));
        // The files keep the accepted name and stay in the game folder.
        s.received(Messages::startDataMessage(startData));
        QVERIFY(client.tmp.read(QStringLiteral("HostGame.tmp")).startsWith("Castle\r\n"));
        const QDir parent = QFileInfo(client.tmp.path()).dir();
        QVERIFY(!parent.exists(QStringLiteral("outside")));
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/outside")));
    }

    void theArmyGoesOutLineByLine()
    {
        Client client;
        ClientSession &s = *client.session;
        s.received("MAP: Castle.map");
        // Bare LF line ends and a last line without one come out as CR LF.
        QVERIFY(client.tmp.write(QStringLiteral("Castle_Guard.arm"), "Castle\n000 001 \r\n002 "));
        QString error;
        QVERIFY(!s.sendArmy(QStringLiteral("Missing.arm"), &error));
        QVERIFY(error.contains(QStringLiteral("Missing.arm")));
        QVERIFY(s.sendEnabled());
        QCOMPARE(client.pipe.sends(), 0);
        QVERIFY(s.sendArmy(QStringLiteral("castle_guard.ARM"), &error));
        QCOMPARE(client.pipe.takeToHost(), QByteArray("ARMYDATA: Castle\r\n000 001 \r\n002 \r\n"));
        QVERIFY(!s.sendEnabled());
        QCOMPARE(ClientSession::selectionProblem(false, false),
                 QStringLiteral("Please select Army!"));
        QVERIFY(ClientSession::selectionProblem(true, false).isEmpty());
        QVERIFY(ClientSession::needsRandomArmy(false, true));
        QVERIFY(!ClientSession::needsRandomArmy(true, true));
    }

    void startDataInThreePieces()
    {
        const QByteArray startData = startDataText();
        const QByteArray message = Messages::startDataMessage(startData);
        QCOMPARE(message.size(), 12971);
        const QByteArray whole = wholeRunSave(startData);
        QVERIFY(whole.startsWith("Castle\r\n"));

        Client client;
        ClientSession &s = *client.session;
        s.received("MAP: Castle.map");
        QSignalSpy completed(&s, &ClientSession::completed);
        const QList<QByteArray> pieces = MemoryPipe::sized(message, {4000, 4000});
        QCOMPARE(pieces.size(), 3);
        QCOMPARE(pieces[2].size(), 4971);
        s.received(pieces[0]);
        s.received(pieces[1]);
        QVERIFY(client.box.text().endsWith(pieces[0] + "\r\n" + pieces[1] + "\r\n"));
        QVERIFY(!s.startEnabled());
        s.received(pieces[2]);
        QCOMPARE(completed.size(), 1);
        QCOMPARE(client.box.text(), QByteArray("Ready to Start\r\n"));
        QVERIFY(client.box.caretAtEnd());
        QVERIFY(s.startEnabled());
        QCOMPARE(client.tmp.read(QStringLiteral("ClientGame.sav")), whole);
        QCOMPARE(client.tmp.read(QStringLiteral("HostGame.tmp")),
                 "Castle\r\n" + startData + "\r\n");
    }

    void arrivalsAfterCompletionAndAfterTheStart()
    {
        const QByteArray startData = startDataText();
        Client client;
        ClientSession &s = *client.session;
        // Start data before the map name: kept until the map comes.
        s.received(Messages::startDataMessage(startData));
        QVERIFY(!s.startEnabled());
        QVERIFY(!QFile::exists(client.tmp.file(QStringLiteral("ClientGame.sav"))));
        s.received("MAP: Castle.map");
        QVERIFY(s.startEnabled());
        QCOMPARE(client.box.text(), QByteArray("Ready to Start\r\n"));

        // A chat line now writes the files again and is not shown.
        QVERIFY(QFile::remove(client.tmp.file(QStringLiteral("ClientGame.sav"))));
        s.received("SERVER: hello");
        QCOMPARE(client.box.text(), QByteArray("Ready to Start\r\n"));
        QVERIFY(QFile::exists(client.tmp.file(QStringLiteral("ClientGame.sav"))));

        // A command before "Start" reaches the engine unchanged.
        const QByteArray command =
            "<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>";
        s.received(command);
        QCOMPARE(client.tmp.read(QStringLiteral("Receive/AICommand.xml")), command + "\r\n");

        s.gameStarted();
        QVERIFY(s.gameRunning() && !s.startEnabled());
        QVERIFY(QFile::remove(client.tmp.file(QStringLiteral("ClientGame.sav"))));
        QVERIFY(QFile::remove(client.tmp.file(QStringLiteral("HostGame.tmp"))));
        s.received(Messages::startDataMessage(startData));
        QVERIFY(!QFile::exists(client.tmp.file(QStringLiteral("ClientGame.sav"))));
        QVERIFY(!QFile::exists(client.tmp.file(QStringLiteral("HostGame.tmp"))));
        QVERIFY(client.box.text().endsWith(Messages::startDataMessage(startData) + "\r\n"));
        s.gameStopped();
    }

    void theBridgeFetchesTheMapAndTakesWholeMessages()
    {
        Client client(Session::Transport::Bridge);
        ClientSession &s = *client.session;
        QVERIFY(s.findSessionsEnabled() && s.sessionIdEnabled() && !s.connectEnabled());
        QVERIFY(!s.chatEnabled());
        s.opened();
        QVERIFY(client.box.text().startsWith("Get a Session ID"));
        s.sessionIdTyped();
        QVERIFY(!s.findSessionsEnabled() && s.connectEnabled());
        s.mapFetchStarted();
        QVERIFY(!s.sessionIdEnabled() && !s.connectEnabled());

        QCOMPARE(s.mapAnswer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(s.mapAnswer("MAP: ../../x.map"), Session::Poll::Done);
        QVERIFY(s.mapName().isEmpty() && !s.sendEnabled());
        QVERIFY(s.connectEnabled()); // fetch again
        QCOMPARE(s.mapAnswer("MAP: Castle.map"), Session::Poll::Done);
        QCOMPARE(client.box.text(), QByteArray("MAP: Castle.map"));
        QVERIFY(s.sendEnabled());

        s.chatEntered("hi");
        QCOMPARE(client.pipe.sends(), 0);

        const QByteArray startData = startDataText();
        QCOMPARE(s.answer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(s.answer(Messages::startDataMessage(startData)), Session::Poll::Done);
        QCOMPARE(client.tmp.read(QStringLiteral("ClientGame.sav")), wholeRunSave(startData));
        QVERIFY(s.startEnabled());

        s.gameStarted();
        QVERIFY(QFile::remove(client.tmp.file(QStringLiteral("ClientGame.sav"))));
        QCOMPARE(s.answer(Messages::startDataMessage(startData)), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(client.tmp.file(QStringLiteral("ClientGame.sav"))));
        QCOMPARE(s.answer("<ROOT><COMMAND Direction=\"S\" FlagID=\"5007\" SerpentJump=\"No\">"
                          "</COMMAND></ROOT>"),
                 Session::Poll::Done);
        const QByteArray command =
            "<Root><Command FlagID='5007' Direction='S' SerpentJump='No'/></Root>";
        QCOMPARE(client.tmp.read(QStringLiteral("Receive/AICommand.xml")), command + "\r\n");
        QCOMPARE(client.box.text(), "RECEIVED:\r\n" + command + "\r\n");
        s.gameStopped();
    }
};

QTEST_GUILESS_MAIN(TestClientSession)
#include "tst_clientsession.moc"
