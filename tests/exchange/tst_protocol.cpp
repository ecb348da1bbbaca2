#include "armyflip.h"
#include "armytexts.h"
#include "clientsession.h"
#include "commandrelay.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "memorypipe.h"
#include "messages.h"
#include "reassembly.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <functional>

using ArmyTexts::army;
using ArmyTexts::command;
using Splitter = std::function<QList<QByteArray>(const QByteArray &)>;

namespace {

const QByteArray ClientArmy = army(ArmyTexts::oneOfEachKind(37));
const QByteArray BridgeCommand =
    "<ROOT><COMMAND FlagID=\"5022\" Direction=\"W\" SerpentJump=\"No\"></COMMAND></ROOT>";

QByteArray sample(const char *name)
{
    QFile file(QStringLiteral(HVD_DATA_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// One game: a host and a client session, each in a game folder of its own,
/// joined by an in-memory pipe. The host plays "Castle_Guard.arm": the sample
/// army, or one flag of each kind.
struct Game
{
    explicit Game(Session::Transport transport = Session::Transport::Tcp, bool samples = false)
        : host(hostFolder, transport), client(clientFolder, transport)
    {
        // The sample armies, read once: copying them in costs a disk sync each.
        static const QByteArray guard = sample("Castle_Guard.arm");
        static const QByteArray siege = sample("Castle_Siege.arm");
        QVERIFY(hostTmp.write("Castle_Guard.arm",
                              samples ? guard : army(ArmyTexts::oneOfEachKind(38))));
        if (samples)
            QVERIFY(clientTmp.write("Castle_Siege.arm", siege));
        host.setSendFunction(pipe.hostEnd());
        host.setOutputBox(&hostBox);
        host.setSelectionProvider([this] { return chosen; });
        client.setSendFunction(pipe.clientEnd());
        client.setOutputBox(&clientBox);
    }

    /// The TCP/IP handshake up to both sides being ready, the army and the
    /// start data delivered whole or in the splitter's pieces. With chat, each side
    /// sends a line just before and after its large message, so that they
    /// may arrive joined to its pieces.
    void playTcp(const Splitter &split = nullptr, bool chat = false)
    {
        host.listening();
        client.connectClicked();
        host.connectionAccepted("127.0.0.1", 50000);
        client.connected("127.0.0.1", 3456);
        QVERIFY(host.sendMap(chosen.mapFile));
        client.received(pipe.takeToClient());
        if (chat)
            client.chatEntered("ready");
        QVERIFY(client.sendArmy("Castle_Siege.arm"));
        if (chat) {
            client.chatEntered("over");
            host.chatEntered("go");
        }
        for (const QByteArray &piece : pieces(split, pipe.takeToHost()))
            host.received(piece);
        if (chat)
            host.chatEntered("bye");
        for (const QByteArray &piece : pieces(split, pipe.takeToClient()))
            client.received(piece);
    }

    static QList<QByteArray> pieces(const Splitter &split, const QByteArray &bytes)
    {
        return split ? split(bytes) : QList<QByteArray>{bytes};
    }

    /// The game files of both sides and the start data message.
    QList<QByteArray> files() const
    {
        return {hostTmp.read("ClientARMY.tmp"),   hostTmp.read("TopARMY.tmp"),
                hostTmp.read("HostGame.sav"),     clientTmp.read("HostGame.tmp"),
                clientTmp.read("ClientGame.sav"), Messages::startDataMessage(host.startData())};
    }

    TempGameFolder hostTmp;
    TempGameFolder clientTmp;
    GameFolder hostFolder{hostTmp.path()};
    GameFolder clientFolder{clientTmp.path()};
    MemoryPipe pipe;
    TextOutputBox hostBox;
    TextOutputBox clientBox;
    HostSelections chosen{"Castle.map", "Castle_Guard.arm", false};
    HostSession host;
    ClientSession client;
};

/// Whether a game is ready with the files of the game whose messages came whole.
void compareFiles(const Game &game, const QList<QByteArray> &expected, const QString &what)
{
    QVERIFY2(game.host.startEnabled() && game.client.startEnabled(), qPrintable(what));
    QVERIFY(!expected.contains(QByteArray()));
    QVERIFY2(game.files() == expected, qPrintable(what));
}

QList<QByteArray> filesOfWholeMessages()
{
    Game game(Session::Transport::Tcp, true);
    game.playTcp();
    return game.files();
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void mapNamesThatLeaveTheGameFolderAreRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << QByteArray("Castle.map") << true;
        QTest::newRow("blank, 8-bit") << QByteArray("Big Ch\xe2teau.map") << true;
        QTest::newRow("like a device") << QByteArray("Console.map") << true;
        QTest::newRow("upper-case extension") << QByteArray("CASTLE.MAP") << true;
        QList<QByteArray> refused =
            QByteArray("|../Castle.map|..\\Castle.map|..|Send/A.xml|"
                       "/etc/passwd.map|C:Castle.map|C:\\Castle.map|"
                       "Cas\ttle.map|*.map|con.map|COM1.map|.map|Castle.arm")
                .split('|');
        refused << "Castle.map\r\nCLIENT: x" << QByteArray(300, 'a') + ".map";
        for (int i = 0; i < refused.size(); ++i)
            QTest::addRow("refused %d", i) << refused[i] << false;
    }
    void mapNamesThatLeaveTheGameFolderAreRefused()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, accepted);
        QCOMPARE(Messages::mapNameProblem(name).isEmpty(), accepted);
    }

    void hostTakesTheArmy()
    {
        Game game;
        HostSession &s = game.host;
        // An army past the cap is told once, its rest dropped unshown.
        s.received("ARMYDATA: " + QByteArray(40000, '0'));
        s.received(QByteArray(40000, '0'));
        QVERIFY(game.hostBox.text.endsWith("larger than 65536 characters and was dropped.\r\n"));
        QVERIFY(s.armyBuffer().isEmpty());
        const QByteArray told = game.hostBox.text;
        s.received(QByteArray(40000, '0'));
        QCOMPARE(game.hostBox.text, told);
        QVERIFY(!Reassembly(Messages::ArmyMarker, 1, 40, 1000).takeWhole(QByteArray(1001, '0')));

        // 3000 and 3400 payload characters are shown, not complete; past 6399
        // characters the last rows are still on the way.
        const QList<QByteArray> pieces =
            MemoryPipe::cut(Messages::armyMessage(ClientArmy), {3010, 6410, 6490});
        s.received(pieces[0]);
        s.received(pieces[1]);
        QVERIFY(game.hostBox.text.endsWith(told + pieces[0] + "\r\n" + pieces[1] + "\r\n"));
        s.received(pieces[2]);
        QVERIFY(!s.armyComplete() && !s.startEnabled());
        QVERIFY(game.pipe.toClient.isEmpty());
        QVERIFY(!QFile::exists(game.hostTmp.file("ClientARMY.tmp")));
        // The own army is missing: nothing is sent until a later arrival finds it.
        game.chosen.randomArmy = true;
        s.received(pieces[3]);
        QVERIFY(game.hostBox.text.startsWith("The game files could not be made: "));
        QVERIFY(!s.startEnabled() && game.pipe.toClient.isEmpty());
        game.chosen.randomArmy = false;
        QSignalSpy completed(&s, &HostSession::completed);
        s.received("CLIENT: try again");
        QCOMPARE(completed.size(), 1);
        QCOMPARE(game.hostTmp.read("ClientARMY.tmp"), ClientArmy + "\r\n");
        QCOMPARE(game.hostBox.text, QByteArray("Ready to Start\r\n"));
        QVERIFY(game.hostBox.caretAtEnd && s.startEnabled());
        const QByteArray first = game.pipe.takeToClient();
        QCOMPARE(first, Messages::startDataMessage(s.startData()));
        QCOMPARE(s.objectCount(), qint16(24));

        // Chat now writes the files and sends the start data again, unshown.
        QVERIFY(game.hostTmp.write("HostGame.sav", "stale"));
        s.received("CLIENT: ready?");
        QCOMPARE(game.hostBox.text, QByteArray("Ready to Start\r\n"));
        QCOMPARE(game.pipe.takeToClient(), first);
        QVERIFY(game.hostTmp.read("HostGame.sav").startsWith("Castle\r\n"));
        // A command before "Start" is handed over at once, converted.
        s.received(command("5022", 'W'));
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        QVERIFY(game.pipe.takeToClient().startsWith("SAVEDATA1: "));

        s.gameStarted();
        QVERIFY(s.gameRunning() && !s.startEnabled());
        QVERIFY(QFile::remove(game.hostTmp.file("Receive/AICommand.xml")));
        s.received(command("5022", 'W'));
        QCOMPARE(game.hostBox.text, "RECEIVED:\r\n" + command("5003", 'E') + "\r\n");
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        // Once the game runs an army message is only shown.
        QVERIFY(QFile::remove(game.hostTmp.file("ClientARMY.tmp")));
        s.received(Messages::armyMessage(ClientArmy));
        QVERIFY(!QFile::exists(game.hostTmp.file("ClientARMY.tmp")));
        QVERIFY(game.hostBox.text.endsWith(Messages::armyMessage(ClientArmy) + "\r\n"));
        QVERIFY(game.pipe.toClient.isEmpty());
        s.gameStopped();
    }

    void failedSendsAreTold()
    {
        Game game;
        game.host.connectionAccepted("127.0.0.1", 50123);
        game.client.connected("127.0.0.1", 3456);
        // A send that fails keeps the button for another try; chat says so.
        game.pipe.open = false;
        QVERIFY(!game.host.sendMap("Castle.map") && game.host.sendEnabled());
        game.client.chatEntered("anyone?");
        QVERIFY(game.clientBox.text.endsWith(
            "CLIENT: anyone?\r\n(not sent: there is no connection)\r\n"));
        game.pipe.open = true;
        QVERIFY(game.host.sendMap("Castle.map") && !game.host.sendEnabled());
        QCOMPARE(game.pipe.takeToClient(), QByteArray("MAP: Castle.map"));
    }

    void clientMapAndArmyMessages()
    {
        Game game;
        ClientSession &s = game.client;
        // Lower-case markers are no map message: only shown.
        QSignalSpy received(&s, &ClientSession::mapReceived);
        s.received("map: Castle.map");
        QVERIFY(s.mapName().isEmpty() && !s.sendEnabled());
        QVERIFY(game.clientBox.text.endsWith("map: Castle.map\r\n"));
        QVERIFY(game.clientTmp.write("Castle_Guard.arm", "Castle\n\r\n000 001 \r\n  \n002 "));
        s.received("MAP: Castle.map");
        QVERIFY(s.mapName() == "Castle.map" && s.sendEnabled());
        QCOMPARE(received.size(), 1);
        s.received("MAP: Valley.map");
        QCOMPARE(s.mapName(), QByteArray("Valley.map"));
        // Refused names keep the accepted one, and the files stay in the folder.
        int refused = 0;
        for (const QByteArray name : {"../outside.map", "/tmp/outside.map", "C:\\outside.map"}) {
            s.received("MAP: " + name);
            QCOMPARE(game.clientBox.text.count("The map name from the host was refused ("),
                     ++refused);
            QCOMPARE(s.mapName(), QByteArray("Valley.map"));
        }
        // A chat line that mentions the marker names no map.
        s.received("SERVER: which MAP: the big one");
        QCOMPARE(s.mapName(), QByteArray("Valley.map"));
        QCOMPARE(received.size(), 2);
        // Bare LF line ends and a last line without one go out as CR LF; blank
        // lines go too, as the file has them.
        QString error;
        QVERIFY(!s.sendArmy("Missing.arm", &error));
        QVERIFY(error.contains("Missing.arm"));
        QVERIFY(s.sendEnabled() && game.pipe.toHost.isEmpty());
        QVERIFY(s.sendArmy("castle_guard.ARM", &error));
        QCOMPARE(game.pipe.takeToHost(),
                 QByteArray("ARMYDATA: Castle\r\n\r\n000 001 \r\n  \r\n002 \r\n"));
        QVERIFY(!s.sendEnabled());
        s.received(Messages::startDataMessage(QByteArray("000 \r\n").repeated(80)));
        QVERIFY(game.clientTmp.read("HostGame.tmp").startsWith("Valley\r\n"));
        QVERIFY(!QFileInfo::exists(game.clientTmp.path() + "/../outside"));
        QVERIFY(!QFileInfo::exists("/tmp/outside"));
    }

    void clientTakesTheStartData()
    {
        Game game;
        ClientSession &s = game.client;
        game.host.received(Messages::armyMessage(ClientArmy));
        const QByteArray startData = game.pipe.takeToClient();
        QCOMPARE(startData.size(), 12971);
        QSignalSpy completed(&s, &ClientSession::completed);
        // Before the map name the start data is kept until the map comes.
        s.received(startData);
        QVERIFY(!s.startEnabled() && !QFile::exists(game.clientTmp.file("ClientGame.sav")));
        s.received("MAP: Castle.map");
        QVERIFY(s.startEnabled());
        QCOMPARE(game.clientTmp.read("HostGame.tmp"),
                 "Castle\r\n" + game.host.startData() + "\r\n");
        // The client's own flags come back where its army file has them.
        const QList<QByteArray> save =
            GameFolder::splitLines(game.clientTmp.read("ClientGame.sav"));
        const QList<QByteArray> rows = GameFolder::splitLines(ClientArmy);
        for (int row = 1; row <= 40; ++row)
            QCOMPARE(save.at(row), markSide(rows.at(row), 'B'));

        // Pieces of 4,000, 4,000 and 4,971 characters: the first two are shown.
        const QList<QByteArray> pieces = MemoryPipe::cut(startData, {4000, 8000});
        QCOMPARE(pieces[2].size(), 4971);
        QVERIFY(QFile::remove(game.clientTmp.file("ClientGame.sav")));
        s.received(pieces[0]);
        s.received(pieces[1]);
        QVERIFY(game.clientBox.text.endsWith(pieces[0] + "\r\n" + pieces[1] + "\r\n"));
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        s.received(pieces[2]);
        QCOMPARE(completed.size(), 2);
        QCOMPARE(game.clientBox.text, QByteArray("Ready to Start\r\n"));
        QVERIFY(game.clientBox.caretAtEnd);
        QCOMPARE(GameFolder::splitLines(game.clientTmp.read("ClientGame.sav")), save);

        // A chat line now writes the files again and is not shown.
        QVERIFY(QFile::remove(game.clientTmp.file("ClientGame.sav")));
        s.received("SERVER: hello");
        QCOMPARE(game.clientBox.text, QByteArray("Ready to Start\r\n"));
        QVERIFY(QFile::exists(game.clientTmp.file("ClientGame.sav")));
        // A command before "Start" reaches the engine unchanged.
        s.received(command("5003", 'E'));
        QCOMPARE(game.clientTmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        // Once the game runs the start data is only shown.
        s.gameStarted();
        QVERIFY(s.gameRunning() && !s.startEnabled());
        QVERIFY(QFile::remove(game.clientTmp.file("ClientGame.sav")));
        QVERIFY(QFile::remove(game.clientTmp.file("HostGame.tmp")));
        s.received(startData);
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        QVERIFY(!QFile::exists(game.clientTmp.file("HostGame.tmp")));
        QVERIFY(game.clientBox.text.endsWith(startData + "\r\n"));
        s.gameStopped();
    }

    void tcpHandshakeAndCommandsBothWays()
    {
        Game game(Session::Transport::Tcp, true);
        game.playTcp();
        QCOMPARE(game.client.mapName(), QByteArray("Castle.map"));
        QVERIFY(game.host.startEnabled() && game.client.startEnabled());
        QVERIFY(!game.host.sendEnabled() && !game.client.sendEnabled());
        QCOMPARE(game.hostBox.text, QByteArray("Ready to Start\r\n"));
        QCOMPARE(game.clientBox.text, QByteArray("Ready to Start\r\n"));

        // Each save: the map name, the own army marked B as in its army file,
        // the other army half-turned and marked R.
        const QList<QByteArray> guard =
            GameFolder::splitLines(game.hostTmp.read("Castle_Guard.arm"));
        const QList<QByteArray> siege =
            GameFolder::splitLines(game.clientTmp.read("Castle_Siege.arm"));
        const QList<QByteArray> hostSave =
            GameFolder::splitLines(game.hostTmp.read("HostGame.sav"));
        const QList<QByteArray> clientSave =
            GameFolder::splitLines(game.clientTmp.read("ClientGame.sav"));
        QCOMPARE(hostSave.size() + clientSave.size(), 162);
        QVERIFY(hostSave[0] == "Castle" && clientSave[0] == "Castle");
        for (int row = 1; row <= 40; ++row) {
            QCOMPARE(hostSave[row], markSide(guard[row], 'B'));
            QCOMPARE(hostSave[40 + row], markSide(halfTurnRow(siege[41 - row]), 'R'));
            QCOMPARE(clientSave[row], markSide(siege[row], 'B'));
            QCOMPARE(clientSave[40 + row], markSide(halfTurnRow(guard[41 - row]), 'R'));
        }
        QCOMPARE(game.host.objectCount(), maxCount(game.host.startData()));

        // The game: chat is shown; the host's engine moves, the client's
        // engine gets it in its own view and answers with the same text, which
        // reaches the host's engine as the host's engine wrote it.
        game.host.gameStarted();
        game.client.gameStarted();
        game.client.chatEntered("good luck");
        game.host.received(game.pipe.takeToHost());
        QVERIFY(game.hostBox.text.endsWith("CLIENT: good luck\r\n"));
        const QByteArray hostMove = command("5003", 'E');
        QVERIFY(game.hostTmp.write("Send/AICommand.xml", hostMove + "\r\n"));
        QTRY_VERIFY(!game.pipe.toClient.isEmpty());
        const QByteArray sent = game.pipe.takeToClient();
        QVERIFY(sent != hostMove && sent.contains("Direction='W'"));
        game.client.received(sent);
        QCOMPARE(game.clientTmp.read("Receive/AICommand.xml"), sent + "\r\n");
        QCOMPARE(game.clientBox.text, "RECEIVED:\r\n" + sent + "\r\n");
        QVERIFY(game.clientTmp.write("Send/AICommand.xml", sent + "\r\n"));
        QTRY_COMPARE(game.pipe.toHost, sent);
        game.host.received(game.pipe.takeToHost());
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), hostMove + "\r\n");
        const QByteArray log = game.hostTmp.read("GameLog.txt");
        QVERIFY(log.contains("SENT:" + hostMove + "\r\n") &&
                log.contains("RCVD:" + hostMove + "\r\n"));
        game.host.gameStopped();
        game.client.gameStopped();
    }

    void movesMadeWhileTheConnectionIsDownGoOnceItIsBack()
    {
        Game game(Session::Transport::Tcp, true);
        game.playTcp();
        // The host goes before the game: the client cannot connect again yet.
        game.pipe.open = false;
        game.host.peerClosed();
        game.client.peerClosed();
        QVERIFY(!game.client.connectEnabled());
        // Once its game runs, it can.
        game.host.gameStarted();
        game.client.gameStarted();
        QVERIFY(game.client.connectEnabled());

        // Both engines move during the outage: each move is kept, nothing is
        // logged as sent yet.
        const QByteArray hostMove = command("5003", 'E');
        const QByteArray clientMove = command("5010", 'N');
        QVERIFY(game.hostTmp.write("Send/AICommand.xml", hostMove + "\r\n"));
        QVERIFY(game.clientTmp.write("Send/AICommand.xml", clientMove + "\r\n"));
        QTRY_VERIFY(game.host.relay()->waitingToSend() == 1 &&
                    game.client.relay()->waitingToSend() == 1);
        QVERIFY(game.hostBox.text.endsWith("1 move waits for the connection.\r\n"));
        QVERIFY(game.clientBox.text.endsWith("1 move waits for the connection.\r\n"));
        QVERIFY(!game.hostTmp.read("GameLog.txt").contains("SENT:"));

        // The client connects again: each side's kept move goes as it
        // connects, and each engine gets the other's move in its own view.
        game.pipe.open = true;
        game.client.connectClicked();
        QVERIFY(!game.client.connectEnabled());
        game.host.connectionAccepted("127.0.0.1", 50001);
        game.client.connected("127.0.0.1", 3456);
        QCOMPARE(game.host.relay()->waitingToSend() + game.client.relay()->waitingToSend(), 0);
        const QByteArray toClient = game.pipe.takeToClient();
        QCOMPARE(game.pipe.toHost, clientMove);
        game.client.received(toClient);
        game.host.received(game.pipe.takeToHost());
        QCOMPARE(toClient,
                 command(QByteArray::number(10001 + game.host.objectCount() - 5003), 'W'));
        QCOMPARE(game.clientTmp.read("Receive/AICommand.xml"), toClient + "\r\n");
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"),
                 command(QByteArray::number(10001 + game.host.objectCount() - 5010), 'S') + "\r\n");
        QVERIFY(game.hostTmp.read("GameLog.txt").contains("SENT:" + hostMove + "\r\n"));
        QVERIFY(game.clientTmp.read("GameLog.txt").contains("SENT:" + clientMove + "\r\n"));

        // A later close during the game opens "Connect to Host" again.
        game.client.peerClosed();
        QVERIFY(game.client.connectEnabled());
        game.host.gameStopped();
        game.client.gameStopped();
    }

    void bridgeGameMakesTheSameFiles()
    {
        const QList<QByteArray> overTcp = filesOfWholeMessages();
        Game game(Session::Transport::Bridge, true);
        HostSession &host = game.host;
        ClientSession &client = game.client;
        QVERIFY(host.sendEnabled() && !host.chatEnabled() && !client.chatEnabled());
        host.registered();
        QVERIFY(game.hostBox.text.startsWith("Give the Session ID to other player.\r\n"));
        host.chatEntered("hello");
        client.chatEntered("hi");
        QVERIFY(game.pipe.toClient.isEmpty() && game.pipe.toHost.isEmpty());
        client.sessionIdTyped();
        client.mapFetchStarted();
        QCOMPARE(client.mapAnswer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(client.mapAnswer("MAP: ../../x.map"), Session::Poll::Done);
        QVERIFY(client.mapName().isEmpty() && !client.sendEnabled() && client.connectEnabled());
        QVERIFY(host.sendMap(game.chosen.mapFile));
        QCOMPARE(client.mapAnswer(game.pipe.takeToClient()), Session::Poll::Done);
        QCOMPARE(game.clientBox.text, QByteArray("MAP: Castle.map"));
        QVERIFY(client.sendArmy("Castle_Siege.arm"));
        QCOMPARE(host.answer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(host.answer("<html>Server error</html>"), Session::Poll::KeepPolling);
        QCOMPARE(host.answer(game.pipe.takeToHost()), Session::Poll::Done);
        QCOMPARE(client.answer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(client.answer(game.pipe.takeToClient()), Session::Poll::Done);
        compareFiles(game, overTcp, "bridge");

        // During the game the start data is dropped, and the TCP/IP spelling
        // is no command; the bridge's spelling is rebuilt and handed over.
        host.gameStarted();
        client.gameStarted();
        QVERIFY(QFile::remove(game.clientTmp.file("ClientGame.sav")));
        QCOMPARE(client.answer(overTcp.last()), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        QCOMPARE(host.answer(command("5022", 'W')), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(game.hostTmp.file("Receive/AICommand.xml")));
        QCOMPARE(host.answer(BridgeCommand), Session::Poll::Done);
        const QByteArray converted =
            command(QByteArray::number(flipObjectID(host.objectCount(), 5022)), 'E');
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), converted + "\r\n");
        QCOMPARE(game.hostBox.text, "RECEIVED:\r\n" + converted + "\r\n");
        QCOMPARE(client.answer(BridgeCommand), Session::Poll::Done);
        QCOMPARE(game.clientTmp.read("Receive/AICommand.xml"), command("5022", 'W') + "\r\n");
        host.gameStopped();
        client.gameStopped();
    }

    void splitMessagesMakeTheFilesOfWholeOnes()
    {
        const QList<QByteArray> expected = filesOfWholeMessages();
        for (int named = 0; named < 8; ++named) {
            // Pieces of 4000, 4000 and the rest; after the marker's colon;
            // inside the marker; between the last CR and LF.
            const Splitter split = [named](const QByteArray &b) {
                const QList<QList<int>> cuts = {
                    {4000, 8000}, {int(b.indexOf(':')) + 1}, {3, 5}, {int(b.size()) - 1}};
                return MemoryPipe::cut(b, cuts[named / 2]);
            };
            Game game(Session::Transport::Tcp, true);
            game.playTcp(split, named % 2);
            compareFiles(game, expected, QStringLiteral("named split %1").arg(named));
        }
        // Random cuts; one character a piece twice.
        for (quint32 seed = 1; seed <= 16; ++seed) {
            for (const int count : {2, 3, 5, 9, 40, 250, 100000}) {
                if (count > 1000 && seed > 2)
                    continue;
                QRandomGenerator random(seed * 7919 + quint32(count));
                const Splitter split = [&random, count](const QByteArray &bytes) {
                    return MemoryPipe::random(bytes, count, random);
                };
                const bool chat = (seed + quint32(count)) % 2 == 0;
                Game game(Session::Transport::Tcp, true);
                game.playTcp(split, chat);
                compareFiles(game, expected,
                             QStringLiteral("seed %1, %2 pieces%3")
                                 .arg(seed)
                                 .arg(count)
                                 .arg(chat ? ", chat" : ""));
            }
        }
    }

    void everySplitAndJoinedChatGivesWhatOneCleanArrivalGives()
    {
        // The client's army with blank lines between rows, as a player may
        // have edited the file: 40 rows all the same.
        QList<QByteArray> lines = GameFolder::splitLines(ClientArmy);
        lines.insert(20, "");
        lines.insert(31, "   ");
        const QByteArray armyMessage = Messages::armyMessage(lines.join("\r\n") + "\r\n");
        // Thousands of games: in memory where the system has a place for it.
        TempGameFolder hostTmp(TempGameFolder::InMemory);
        QVERIFY(hostTmp.write("Castle_Guard.arm", army(ArmyTexts::oneOfEachKind(38))));
        const GameFolder hostFolder(hostTmp.path());
        struct Host
        {
            explicit Host(const GameFolder &folder) : session(folder)
            {
                session.setSendFunction(pipe.hostEnd());
                session.setOutputBox(&box);
                session.setSelectionProvider([] {
                    return HostSelections{"Castle.map", "Castle_Guard.arm", false};
                });
                session.connectionAccepted("127.0.0.1", 50000);
            }
            MemoryPipe pipe;
            TextOutputBox box;
            HostSession session;
        };
        const auto hostGets = [&](const QList<QByteArray> &pieces) {
            // Removed rather than overwritten: a file cut to nothing is flushed
            // to disk at once, which would make the thousands of runs slow.
            for (const char *name : {"ClientARMY.tmp", "TopARMY.tmp", "HostGame.sav"})
                QFile::remove(hostTmp.file(name));
            Host host(hostFolder);
            for (const QByteArray &piece : pieces)
                host.session.received(piece);
            return QList<QByteArray>{host.pipe.takeToClient(), hostTmp.read("ClientARMY.tmp")};
        };
        const QList<QByteArray> clean = hostGets({armyMessage});
        // One start data message of 80 rows: the row behind the blank lines
        // is not lost, and the start data is not sent twice.
        QCOMPARE(clean.first().count("SAVEDATA1: "), 1);
        QCOMPARE(clean.first().count("\r\n"), 80);

        const QByteArray before = "CLIENT: ready", after = "CLIENT: over";
        for (const bool chat : {false, true}) {
            const QByteArray bytes = chat ? before + armyMessage + after : armyMessage;
            // Chat behind a whole army runs the completion step again, which
            // sends the same start data again; a chat line cut in two does
            // so twice.
            for (int at = 1; at < bytes.size(); ++at) {
                const QList<QByteArray> got = hostGets(MemoryPipe::cut(bytes, {at}));
                const qsizetype sends = got.first().size() / clean.first().size();
                QVERIFY2(got.first() == clean.first().repeated(sends) && sends >= 1 &&
                             (chat || sends == 1) && got.last() == clean.last(),
                         qPrintable(
                             QStringLiteral("army cut at %1%2").arg(at).arg(chat ? ", chat" : "")));
            }
        }

        // The start data, on the client, after the map message.
        const QByteArray startData = clean.first();
        TempGameFolder clientTmp(TempGameFolder::InMemory);
        const GameFolder clientFolder(clientTmp.path());
        const auto clientGets = [&](const QList<QByteArray> &pieces) {
            for (const char *name : {"HostGame.tmp", "ClientGame.sav"})
                QFile::remove(clientTmp.file(name));
            TextOutputBox box;
            ClientSession client(clientFolder);
            client.setOutputBox(&box);
            client.connected("127.0.0.1", 3456);
            client.received("MAP: Castle.map");
            for (const QByteArray &piece : pieces)
                client.received(piece);
            return clientTmp.read("ClientGame.sav");
        };
        const QByteArray save = clientGets({startData});
        QCOMPARE(GameFolder::splitLines(save).size(), 81);
        for (const bool chat : {false, true}) {
            const QByteArray bytes = chat ? "SERVER: go" + startData + "SERVER: bye" : startData;
            for (int at = 1; at < bytes.size(); ++at)
                QVERIFY2(clientGets(MemoryPipe::cut(bytes, {at})) == save,
                         qPrintable(QStringLiteral("start data cut at %1%2")
                                        .arg(at)
                                        .arg(chat ? ", chat" : "")));
        }

        // A command, converted on the host; the chat with it is shown.
        Host host(hostFolder);
        host.session.received(armyMessage);
        QVERIFY(host.session.startEnabled());
        host.session.gameStarted();
        const QByteArray move = command("5022", 'W');
        const QByteArray converted =
            command(QByteArray::number(flipObjectID(host.session.objectCount(), 5022)), 'E');
        for (const QByteArray &chatBefore : {QByteArray(), QByteArray("CLIENT: hi")}) {
            for (const QByteArray &chatAfter : {QByteArray(), QByteArray("CLIENT: gg")}) {
                const QByteArray bytes = chatBefore + move + chatAfter;
                for (int at = 0; at < bytes.size(); ++at) {
                    QFile::remove(hostTmp.file("GameLog.txt"));
                    for (const QByteArray &piece :
                         at ? MemoryPipe::cut(bytes, {at}) : QList<QByteArray>{bytes})
                        host.session.received(piece);
                    const QByteArray what = bytes + " cut at " + QByteArray::number(at);
                    QVERIFY2(hostTmp.read("Receive/AICommand.xml") == converted + "\r\n", what);
                    QVERIFY2(hostTmp.read("GameLog.txt") == "RCVD:" + converted + "\r\n", what);
                    QVERIFY(QFile::remove(hostTmp.file("Receive/AICommand.xml")));
                    if (!chatAfter.isEmpty() && at <= bytes.size() - chatAfter.size())
                        QVERIFY2(host.box.text.contains(chatAfter), what);
                    if (at == 0 && !chatBefore.isEmpty())
                        QVERIFY2(host.box.text.contains(chatBefore), what);
                }
            }
        }
    }

    void aCommandEndsAtItsRootEndOrWaitsBoundedForIt()
    {
        Game game;
        game.host.received(Messages::armyMessage(ClientArmy));
        QVERIFY(game.host.startEnabled());
        game.host.gameStarted();
        // The first "</Root>" ends the command; what follows is shown.
        game.host.received(command("5022", 'W') + "</Root>CLIENT: x");
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        QVERIFY(game.hostBox.text.endsWith(command("5003", 'E') + "\r\n</Root>\r\nCLIENT: x\r\n"));
        QVERIFY(QFile::remove(game.hostTmp.file("Receive/AICommand.xml")));
        // A command that ends otherwise waits for the rest, then goes as it is.
        const QByteArray other = "<Root><Command FlagID='5022' Direction='W' SerpentJump='No'/>";
        game.host.received(other);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(game.hostTmp.file("Receive/AICommand.xml")));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(game.hostTmp.file("Receive/AICommand.xml")), 10000);
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"),
                 "<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/>\r\n");
        QVERIFY(QFile::remove(game.hostTmp.file("Receive/AICommand.xml")));
        // ... or as soon as the next message begins.
        game.host.received(other);
        game.host.received("CLIENT: your move");
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"),
                 "<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/>\r\n");
        QVERIFY(game.hostBox.text.endsWith("CLIENT: your move\r\n"));
        // Flag numbers outside the game's and commands of any size are
        // refused over the connection and through the bridge alike.
        QVERIFY(QFile::remove(game.hostTmp.file("Receive/AICommand.xml")));
        game.host.received(command("0000", 'N'));
        game.host.received("<Root><Command FlagID='5001' " + QByteArray(100000, 'x') + "</Root>");
        QVERIFY(!QFile::exists(game.hostTmp.file("Receive/AICommand.xml")));
        QCOMPARE(game.hostBox.text.count("A command from the other player was refused ("), 2);
        game.host.gameStopped();

        Game bridge(Session::Transport::Bridge);
        bridge.host.answer(Messages::armyMessage(ClientArmy));
        bridge.host.gameStarted();
        QCOMPARE(bridge.host.answer(QByteArray(BridgeCommand).replace("5022", "0000")),
                 Session::Poll::KeepPolling);
        QCOMPARE(bridge.host.answer(BridgeCommand + QByteArray(1000, ' ')),
                 Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(bridge.hostTmp.file("Receive/AICommand.xml")));
        QCOMPARE(bridge.hostBox.text.count("A command from the other player was refused ("), 2);
        bridge.host.gameStopped();
    }

    void mapMessagesOnlyWhereAMessageBegins()
    {
        Game game;
        ClientSession &s = game.client;
        s.received("SERVER: shall we try MAP: Valley.map?");
        QVERIFY(s.mapName().isEmpty() && !s.sendEnabled());
        QVERIFY(game.clientBox.text.endsWith("SERVER: shall we try MAP: Valley.map?\r\n"));
        s.received("MAP: Castle.mapSERVER: hello");
        QCOMPARE(s.mapName(), QByteArray("Castle.map"));
        QVERIFY(s.sendEnabled());
        QVERIFY(game.clientBox.text.endsWith("MAP: Castle.map\r\nSERVER: hello\r\n"));
        s.received("SERVER: shall we try MAP: Valley.map?");
        QCOMPARE(s.mapName(), QByteArray("Castle.map"));
        // A map message cut in two is put together again.
        s.received("MAP: Val");
        s.received("ley.map");
        QCOMPARE(s.mapName(), QByteArray("Valley.map"));
    }

    void shortArmiesAndStartDataComplete()
    {
        Game game;
        // An army of 30 rows completes once nothing more comes.
        QList<QByteArray> lines = GameFolder::splitLines(ClientArmy).mid(0, 31);
        game.host.received(Messages::armyMessage(lines.join("\r\n") + "\r\n"));
        QVERIFY(!game.host.startEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(game.host.startEnabled(), 10000);
        const QByteArray startData = game.pipe.takeToClient();
        QCOMPARE(startData.count("\r\n"), 70);
        QCOMPARE(GameFolder::splitLines(game.hostTmp.read("HostGame.sav")).size(), 71);
        // The start data of 70 rows: at once when a chat line follows it,
        // else once nothing more comes.
        game.client.received("MAP: Castle.map");
        game.client.received(startData + "SERVER: hi");
        QVERIFY(game.client.startEnabled());
        QCOMPARE(GameFolder::splitLines(game.clientTmp.read("ClientGame.sav")).size(), 71);
        Game other;
        other.client.received("MAP: Castle.map");
        other.client.received(startData.left(5000));
        other.client.received(startData.mid(5000));
        QVERIFY(!other.client.startEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(other.client.startEnabled(), 10000);
        QCOMPARE(other.clientTmp.read("ClientGame.sav"), game.clientTmp.read("ClientGame.sav"));
    }

    void armiesThatWouldWrapTheObjectCountAreRefused()
    {
        // 41 rows, over TCP/IP and through the bridge.
        const QByteArray rows41 = ClientArmy + QByteArray("001 ").repeated(40) + "\r\n";
        for (const auto transport : {Session::Transport::Tcp, Session::Transport::Bridge}) {
            Game game(transport);
            if (transport == Session::Transport::Tcp)
                game.host.received(Messages::armyMessage(rows41));
            else
                game.host.answer(Messages::armyMessage(rows41));
            QVERIFY(!game.host.startEnabled() && game.pipe.toClient.isEmpty());
            QVERIFY2(game.hostBox.text.contains("rows"), game.hostBox.text.constData());
            QVERIFY(game.hostBox.text.contains("refused") ||
                    game.hostBox.text.contains("could not be made"));
            // The host's own army: long rows full of flags, more than the
            // board holds.
            QVERIFY(game.hostTmp.write(
                "Castle_Guard.arm",
                "Castle\r\n" + (QByteArray("001 ").repeated(100) + "\r\n").repeated(40)));
            if (transport == Session::Transport::Tcp)
                game.host.received(Messages::armyMessage(ClientArmy));
            else
                game.host.answer(Messages::armyMessage(ClientArmy));
            QVERIFY(!game.host.startEnabled() && game.pipe.toClient.isEmpty());
            QVERIFY2(game.hostBox.text.contains("4012 flags; a game has at most 3200"),
                     game.hostBox.text.constData());
        }
        // The client sends no army of more than 40 rows.
        Game game;
        QVERIFY(game.clientTmp.write("Big.arm", rows41));
        QString error;
        QVERIFY(!game.client.sendArmy("Big.arm", &error));
        QVERIFY(error.contains("41 rows") && game.pipe.toHost.isEmpty());
    }

    void aStaleTopArmyOfAnotherSpellingIsNeverRead()
    {
        const QList<QByteArray> expected = filesOfWholeMessages();
        Game game(Session::Transport::Tcp, true);
        // Both spellings in the folder, the other one stale.
        QVERIFY(game.hostTmp.write("TopARMY.tmp", "an earlier game\r\n"));
        QVERIFY(
            game.hostTmp.write("TopArmy.tmp", "\r\n" + QByteArray("012 ").repeated(40) + "\r\n"));
        game.playTcp();
        compareFiles(game, expected, "stale TopArmy.tmp");
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
