#include "armytexts.h"
#include "clientsession.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "messages.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QTest>
#include <algorithm>

using ArmyTexts::army;
using ArmyTexts::command;
using ArmyTexts::mirrored;
using Pieces = QList<QByteArray>;

namespace {

const QByteArray ClientArmy = army(ArmyTexts::oneOfEachKind(37));
const QByteArray BridgeCommand =
    "<ROOT><COMMAND FlagID=\"5022\" Direction=\"W\" SerpentJump=\"No\"></COMMAND></ROOT>";

QByteArray sample(const char *name)
{
    QFile file(QStringLiteral(HVD_DATA_DIR "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> lines(const TempGameFolder &folder, const char *name)
{
    return GameFolder::splitLines(folder.read(QLatin1String(name)));
}

QByteArray take(QByteArray &queue)
{
    return std::exchange(queue, QByteArray());
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
        QVERIFY(!samples || clientTmp.write("Castle_Siege.arm", siege));
        host.setSendFunction([this](const QByteArray &m) {
            pipe.toClient += pipe.open ? m : QByteArray();
            return pipe.open;
        });
        host.setOutputBox(&hostBox);
        host.setSelectionProvider([this] { return chosen; });
        client.setSendFunction([this](const QByteArray &m) {
            pipe.toHost += pipe.open ? m : QByteArray();
            return pipe.open;
        });
        client.setOutputBox(&clientBox);
    }

    /// The TCP/IP handshake up to both sides being ready.
    void playTcp()
    {
        host.listening();
        client.connectClicked();
        host.connectionAccepted("127.0.0.1", 50000);
        client.connected("127.0.0.1", 3456);
        QVERIFY(host.sendMap(chosen.mapFile));
        client.received(take(pipe.toClient));
        QVERIFY(client.sendArmy("Castle_Siege.arm"));
        host.received(take(pipe.toHost));
        client.received(take(pipe.toClient));
    }

    /// The game files of both sides and the start data message.
    QList<QByteArray> files() const
    {
        return {hostTmp.read("ClientARMY.tmp"),   hostTmp.read("TopARMY.tmp"),
                hostTmp.read("HostGame.sav"),     clientTmp.read("HostGame.tmp"),
                clientTmp.read("ClientGame.sav"), host.startData()};
    }

    TempGameFolder hostTmp, clientTmp;
    GameFolder hostFolder{hostTmp.path()};
    GameFolder clientFolder{clientTmp.path()};
    struct
    {
        QByteArray toClient, toHost;
        bool open = true;
    } pipe; // in memory: what one end sends waits, joined, until delivered
    TextOutputBox hostBox, clientBox;
    HostSelections chosen{"Castle.map", "Castle_Guard.arm", false};
    HostSession host;
    ClientSession client;
};

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
        const QList<QByteArray> accepted = {"Castle.map", "Big Ch\xe2teau.map", "Console.map",
                                            "CASTLE.MAP"};
        for (const QByteArray &name : accepted)
            QTest::newRow(name.constData()) << name << true;
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
        s.received(QByteArray(40000, '0'));
        QVERIFY(game.hostBox.text.endsWith("larger than 65536 characters and was dropped.\r\n"));
        QCOMPARE(game.hostBox.text.count("was dropped"), 1);
        const QByteArray told = game.hostBox.text;

        // Pieces are shown until the army is complete; past 6399 characters
        // the last rows are still on the way.
        const QByteArray m = Messages::armyMessage(ClientArmy);
        const Pieces pieces = {m.left(3010), m.mid(3010, 3400), m.mid(6410, 80), m.mid(6490)};
        s.received(pieces[0]);
        s.received(pieces[1]);
        QVERIFY(game.hostBox.text.endsWith(told + pieces[0] + "\r\n" + pieces[1] + "\r\n"));
        s.received(pieces[2]);
        QVERIFY(!QFile::exists(game.hostTmp.file("ClientARMY.tmp")) && !s.startEnabled());
        // The own army is missing: nothing is sent until a later arrival finds it.
        game.chosen.randomArmy = true;
        s.received(pieces[3]);
        QVERIFY(game.hostBox.text.startsWith("The game files could not be made: "));
        QVERIFY(!s.startEnabled() && game.pipe.toClient.isEmpty());
        game.chosen.randomArmy = false;
        s.received("CLIENT: try again");
        QCOMPARE(game.hostTmp.read("ClientARMY.tmp"), ClientArmy + "\r\n");
        QCOMPARE(game.hostBox.text, QByteArray("Ready to Start\r\n"));
        QVERIFY(take(game.pipe.toClient).startsWith("SAVEDATA1: "));

        // Once the game runs an army message is only shown.
        s.gameStarted();
        QVERIFY(QFile::remove(game.hostTmp.file("ClientARMY.tmp")));
        s.received(Messages::armyMessage(ClientArmy));
        QVERIFY(!QFile::exists(game.hostTmp.file("ClientARMY.tmp")) && !s.startEnabled());
        QVERIFY(game.pipe.toClient.isEmpty());
        s.gameStopped();
    }

    void clientMapAndArmyMessages()
    {
        Game game;
        ClientSession &s = game.client;
        // Lower-case markers and markers inside a chat line are no map message.
        s.received("map: Castle.map");
        s.received("SERVER: shall we try MAP: Valley.map?");
        QVERIFY(s.mapName().isEmpty() && !s.sendEnabled());
        QVERIFY(game.clientTmp.write("Castle_Guard.arm", "Castle\n\r\n000 001 \r\n  \n002 "));
        s.received("MAP: Castle.mapSERVER: hello");
        QVERIFY(s.mapName() == "Castle.map" && s.sendEnabled());
        QVERIFY(game.clientBox.text.endsWith("MAP: Castle.map\r\nSERVER: hello\r\n"));
        // A map message cut in two is put together again.
        s.received("MAP: Val");
        s.received("ley.map");
        QCOMPARE(s.mapName(), QByteArray("Valley.map"));
        // A refused name keeps the accepted one.
        s.received("MAP: ../outside.map");
        QVERIFY(game.clientBox.text.contains("The map name from the host was refused ("));
        QCOMPARE(s.mapName(), QByteArray("Valley.map"));
        // Bare LF line ends and a last line without one go out as CR LF; blank
        // lines go too, as the file has them.
        QString error;
        QVERIFY(!s.sendArmy("Missing.arm", &error) && error.contains("Missing.arm"));
        QVERIFY(s.sendArmy("castle_guard.ARM", &error));
        QCOMPARE(take(game.pipe.toHost),
                 QByteArray("ARMYDATA: Castle\r\n\r\n000 001 \r\n  \r\n002 \r\n"));
        s.received(Messages::startDataMessage(QByteArray("000 \r\n").repeated(80)));
        QVERIFY(game.clientTmp.read("HostGame.tmp").startsWith("Valley\r\n"));
    }

    void clientTakesTheStartData()
    {
        Game game;
        ClientSession &s = game.client;
        game.host.received(Messages::armyMessage(ClientArmy));
        const QByteArray startData = take(game.pipe.toClient);
        // Before the map name the start data is kept until the map comes.
        s.received(startData);
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        s.received("MAP: Castle.map");
        QVERIFY(s.startEnabled());
        QCOMPARE(game.clientTmp.read("HostGame.tmp"),
                 "Castle\r\n" + game.host.startData() + "\r\n");
        // The client's own flags come back where its army file has them.
        const QList<QByteArray> save = lines(game.clientTmp, "ClientGame.sav");
        QCOMPARE(ArmyTexts::unmarked(save.mid(1, 40)), GameFolder::splitLines(ClientArmy).mid(1));
        // In pieces: the first two are shown, the last completes.
        const Pieces pieces = {startData.left(4000), startData.mid(4000, 4000),
                               startData.mid(8000)};
        QVERIFY(QFile::remove(game.clientTmp.file("ClientGame.sav")));
        s.received(pieces[0]);
        s.received(pieces[1]);
        QVERIFY(game.clientBox.text.endsWith(pieces[0] + "\r\n" + pieces[1] + "\r\n"));
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        s.received(pieces[2]);
        QCOMPARE(game.clientBox.text, QByteArray("Ready to Start\r\n"));
        QCOMPARE(lines(game.clientTmp, "ClientGame.sav"), save);
    }

    void tcpGameAndMovesMadeWhileTheConnectionIsDown()
    {
        Game game(Session::Transport::Tcp, true);
        game.playTcp();
        QCOMPARE(game.hostBox.text + game.clientBox.text,
                 QByteArray("Ready to Start\r\nReady to Start\r\n"));
        // Each save: the map name, the own army marked B as in its army file,
        // then the other army; the same board from opposite ends.
        const QList<QByteArray> hostSave = lines(game.hostTmp, "HostGame.sav");
        const QList<QByteArray> clientSave = lines(game.clientTmp, "ClientGame.sav");
        QCOMPARE(hostSave.size(), 81);
        QCOMPARE(ArmyTexts::unmarked(hostSave.mid(0, 41)), lines(game.hostTmp, "Castle_Guard.arm"));
        QCOMPARE(ArmyTexts::unmarked(clientSave.mid(0, 41)),
                 lines(game.clientTmp, "Castle_Siege.arm"));
        QCOMPARE(ArmyTexts::otherEnd(hostSave.mid(1)), clientSave.mid(1));
        const int count = int(hostSave.join().count('B') + hostSave.join().count('R'));
        QCOMPARE(int(game.host.objectCount()), count);

        // The host goes before the game: the client cannot connect again
        // until its game runs. Both engines move during the outage: each move
        // is kept, nothing is logged as sent yet.
        game.pipe.open = false;
        game.host.peerClosed();
        game.client.peerClosed();
        QVERIFY(!game.client.connectEnabled());
        game.host.gameStarted();
        game.client.gameStarted();
        QVERIFY(game.client.connectEnabled());
        const QByteArray hostMove = command("5003", 'E');
        const QByteArray clientMove = command("5010", 'N');
        QVERIFY(game.hostTmp.write("Send/AICommand.xml", hostMove + "\r\n"));
        QVERIFY(game.clientTmp.write("Send/AICommand.xml", clientMove + "\r\n"));
        QTRY_VERIFY(game.hostBox.text.endsWith("1 move waits for the connection.\r\n") &&
                    game.clientBox.text.endsWith("1 move waits for the connection.\r\n"));
        QVERIFY(!game.hostTmp.read("GameLog.txt").contains("SENT:"));

        // The client connects again: each kept move goes as it connects, and
        // each engine gets the other's move in its own view.
        game.pipe.open = true;
        game.client.connectClicked();
        game.host.connectionAccepted("127.0.0.1", 50001);
        game.client.connected("127.0.0.1", 3456);
        QCOMPARE(game.pipe.toClient, mirrored(hostMove, count));
        QCOMPARE(game.pipe.toHost, clientMove);
        game.client.received(take(game.pipe.toClient));
        game.host.received(take(game.pipe.toHost));
        QCOMPARE(game.clientTmp.read("Receive/AICommand.xml"), mirrored(hostMove, count) + "\r\n");
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), mirrored(clientMove, count) + "\r\n");
        QVERIFY(game.hostTmp.read("GameLog.txt").contains("SENT:" + hostMove + "\r\n"));
        QVERIFY(game.clientTmp.read("GameLog.txt").contains("SENT:" + clientMove + "\r\n"));
        game.host.gameStopped();
        game.client.gameStopped();
    }

    void bridgeGameMakesTheSameFiles()
    {
        const QList<QByteArray> overTcp = filesOfWholeMessages();
        Game game(Session::Transport::Bridge, true);
        // A stale top army of another spelling is never read.
        QVERIFY(game.hostTmp.write("TopARMY.tmp", "an earlier game\r\n"));
        QVERIFY(game.hostTmp.write("TopArmy.tmp", "\r\n" + QByteArray("012 ").repeated(40)));
        HostSession &host = game.host;
        ClientSession &client = game.client;
        QVERIFY(host.sendEnabled() && !host.chatEnabled() && !client.chatEnabled());
        host.registered();
        client.sessionIdTyped();
        client.mapFetchStarted();
        QCOMPARE(client.mapAnswer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(client.mapAnswer("MAP: ../../x.map"), Session::Poll::Done);
        QVERIFY(client.mapName().isEmpty() && !client.sendEnabled() && client.connectEnabled());
        QVERIFY(host.sendMap(game.chosen.mapFile));
        QCOMPARE(client.mapAnswer(take(game.pipe.toClient)), Session::Poll::Done);
        QVERIFY(client.sendArmy("Castle_Siege.arm"));
        QCOMPARE(host.answer("<html>Server error</html>"), Session::Poll::KeepPolling);
        QCOMPARE(host.answer(take(game.pipe.toHost)), Session::Poll::Done);
        QCOMPARE(client.answer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(client.answer(take(game.pipe.toClient)), Session::Poll::Done);
        QVERIFY(host.startEnabled() && client.startEnabled());
        QCOMPARE(game.files(), overTcp);

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
        const QByteArray converted = mirrored(command("5022", 'W'), host.objectCount());
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), converted + "\r\n");
        QCOMPARE(client.answer(BridgeCommand), Session::Poll::Done);
        QCOMPARE(game.clientTmp.read("Receive/AICommand.xml"), command("5022", 'W') + "\r\n");
        // Flag numbers outside the game's and long commands are refused.
        QVERIFY(QFile::remove(game.hostTmp.file("Receive/AICommand.xml")));
        QCOMPARE(host.answer(QByteArray(BridgeCommand).replace("5022", "0000")),
                 Session::Poll::KeepPolling);
        QCOMPARE(host.answer(BridgeCommand + QByteArray(1000, ' ')), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(game.hostTmp.file("Receive/AICommand.xml")));
        QCOMPARE(game.hostBox.text.count("A command from the other player was refused ("), 2);
        host.gameStopped();
        client.gameStopped();
    }

    void aCommandEndsAtItsRootEndOrWaitsBoundedForIt()
    {
        Game game;
        game.host.received(Messages::armyMessage(ClientArmy));
        game.host.gameStarted();
        const QString received = game.hostTmp.file("Receive/AICommand.xml");
        // The first "</Root>" ends the command; what follows is shown.
        game.host.received(command("5022", 'W') + "</Root>CLIENT: x");
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        QVERIFY(game.hostBox.text.endsWith("\r\n</Root>\r\nCLIENT: x\r\n"));
        // A command that ends otherwise waits for the rest, then goes as it
        // is, or as soon as the next message begins.
        const QByteArray other = command("5022", 'W').chopped(7);
        const QByteArray converted = command("5003", 'E').chopped(7) + "\r\n";
        QVERIFY(QFile::remove(received));
        game.host.received(other);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(received));
        QTRY_COMPARE_WITH_TIMEOUT(game.hostTmp.read("Receive/AICommand.xml"), converted, 10000);
        QVERIFY(QFile::remove(received));
        game.host.received(other);
        game.host.received("CLIENT: your move");
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), converted);
        QVERIFY(game.hostBox.text.endsWith("CLIENT: your move\r\n"));
        // Flag numbers outside the game's and commands of any size are refused.
        QVERIFY(QFile::remove(received));
        game.host.received(command("0000", 'N'));
        game.host.received("<Root><Command FlagID='5001' " + QByteArray(100000, 'x') + "</Root>");
        QVERIFY(!QFile::exists(received));
        QCOMPARE(game.hostBox.text.count("A command from the other player was refused ("), 2);
        game.host.gameStopped();
    }

    void shortArmiesAndStartDataComplete()
    {
        // An army of 30 rows completes once nothing more comes; so does the
        // start data of 70 rows, or at once when a chat line follows it.
        Game game;
        const QList<QByteArray> rows = GameFolder::splitLines(ClientArmy).mid(0, 31);
        game.host.received(Messages::armyMessage(rows.join("\r\n") + "\r\n"));
        QVERIFY(!game.host.startEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(game.host.startEnabled(), 10000);
        const QByteArray startData = take(game.pipe.toClient);
        QCOMPARE(lines(game.hostTmp, "HostGame.sav").size(), 71);
        game.client.received("MAP: Castle.map");
        game.client.received(startData + "SERVER: hi");
        QVERIFY(game.client.startEnabled());
        QCOMPARE(lines(game.clientTmp, "ClientGame.sav").size(), 71);
        Game other;
        other.client.received("MAP: Castle.map");
        other.client.received(startData);
        QVERIFY(!other.client.startEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(other.client.startEnabled(), 10000);
        QCOMPARE(other.clientTmp.read("ClientGame.sav"), game.clientTmp.read("ClientGame.sav"));
    }

    void armiesThatWouldWrapTheObjectCountAreRefused()
    {
        // 41 rows, over TCP/IP and through the bridge; then the host's own
        // army: long rows full of flags, more than the board holds.
        const QByteArray rows41 = ClientArmy + QByteArray("001 ").repeated(40) + "\r\n";
        for (const auto transport : {Session::Transport::Tcp, Session::Transport::Bridge}) {
            Game game(transport);
            const auto arrive = [&](const QByteArray &army) {
                if (transport == Session::Transport::Tcp)
                    game.host.received(Messages::armyMessage(army));
                else
                    game.host.answer(Messages::armyMessage(army));
                QVERIFY(!game.host.startEnabled() && game.pipe.toClient.isEmpty());
            };
            arrive(rows41);
            QVERIFY2(game.hostBox.text.contains("rows"), game.hostBox.text.constData());
            QVERIFY(game.hostTmp.write(
                "Castle_Guard.arm",
                "Castle\r\n" + (QByteArray("001 ").repeated(100) + "\r\n").repeated(40)));
            arrive(ClientArmy);
            QVERIFY2(game.hostBox.text.contains("4012 flags; a game has at most 3200"),
                     game.hostBox.text.constData());
        }
        // The client sends no army of more than 40 rows.
        Game game;
        QVERIFY(game.clientTmp.write("Big.arm", rows41));
        QString error;
        QVERIFY(!game.client.sendArmy("Big.arm", &error) && error.contains("41 rows"));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
