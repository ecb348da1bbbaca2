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
/// joined by an in-memory pipe (what one end sends waits, joined, until
/// delivered). The host plays "Castle_Guard.arm": the sample army, or one
/// flag of each kind.
struct Game
{
    explicit Game(Session::Transport transport = Session::Transport::Tcp, bool samples = false)
        : host(hostFolder, transport), client(clientFolder, transport)
    {
        QVERIFY(hostTmp.write("Castle_Guard.arm", samples ? sample("Castle_Guard.arm")
                                                          : army(ArmyTexts::oneOfEachKind(38))));
        QVERIFY(!samples || clientTmp.write("Castle_Siege.arm", sample("Castle_Siege.arm")));
        host.setSendFunction([this](const QByteArray &m) {
            toClient += m;
            return true;
        });
        host.setOutputBox(&hostBox);
        host.setSelectionProvider([this] { return chosen; });
        client.setSendFunction([this](const QByteArray &m) {
            toHost += m;
            return true;
        });
        client.setOutputBox(&clientBox);
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
    QByteArray toClient, toHost;
    TextOutputBox hostBox, clientBox;
    HostSelections chosen{"Castle.map", "Castle_Guard.arm", false};
    HostSession host;
    ClientSession client;
};

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void mapNamesThatLeaveTheGameFolderAreRefused()
    {
        for (const char *name : {"Castle.map", "Big Ch\xe2teau.map", "CASTLE.MAP"})
            QVERIFY2(Messages::mapNameProblem(name).isEmpty(), name);
        QList<QByteArray> refused =
            QByteArray("|../Castle.map|..\\Castle.map|..|Send/A.xml|/etc/passwd.map|C:Castle.map|"
                       "C:\\Castle.map|Cas\ttle.map|*.map|con.map|COM1.map|.map|Castle.arm")
                .split('|');
        refused << "Castle.map\r\nCLIENT: x" << QByteArray(300, 'a') + ".map";
        for (const QByteArray &name : refused)
            QVERIFY2(!Messages::mapNameProblem(name).isEmpty(), name.constData());
    }

    void hostTakesTheArmy()
    {
        Game game;
        HostSession &s = game.host;
        // An army past the cap is told once, its rest dropped unshown.
        for (const char *head : {"ARMYDATA: ", "", ""})
            s.received(head + QByteArray(40000, '0'));
        QCOMPARE(game.hostBox.text.count("larger than 65536 characters and was dropped.\r\n"), 1);
        // The own army is missing: nothing is sent until a later arrival finds it.
        game.chosen.randomArmy = true;
        s.received(Messages::armyMessage(ClientArmy));
        QVERIFY(game.hostBox.text.contains("The game files could not be made: "));
        QVERIFY(!s.startEnabled() && game.toClient.isEmpty());
        game.chosen.randomArmy = false;
        s.received("CLIENT: try again");
        QCOMPARE(game.hostTmp.read("ClientARMY.tmp"), ClientArmy + "\r\n");
        QVERIFY(take(game.toClient).startsWith("SAVEDATA1: "));
        // Once the game runs an army message is only shown.
        s.gameStarted();
        QVERIFY(QFile::remove(game.hostTmp.file("ClientARMY.tmp")));
        s.received(Messages::armyMessage(ClientArmy));
        QVERIFY(!QFile::exists(game.hostTmp.file("ClientARMY.tmp")) && game.toClient.isEmpty());
        s.gameStopped();
    }

    void clientMapArmyAndStartData()
    {
        Game game;
        ClientSession &s = game.client;
        game.host.received(Messages::armyMessage(ClientArmy));
        // Lower-case markers, markers inside a chat line and refused names
        // are no map message; start data before the map name waits for it.
        s.received("map: Castle.map");
        s.received("SERVER: shall we try MAP: Valley.map?");
        s.received("MAP: ../outside.map");
        QVERIFY(game.clientBox.text.contains("The map name from the host was refused ("));
        s.received(take(game.toClient));
        QVERIFY(s.mapName().isEmpty() && !s.sendEnabled());
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        s.received("MAP: Val");
        s.received("ley.map");
        QVERIFY(s.mapName() == "Valley.map" && s.startEnabled());
        QCOMPARE(game.clientTmp.read("HostGame.tmp"),
                 "Valley\r\n" + game.host.startData() + "\r\n");
        // The client's own flags come back where its army file has them.
        const QList<QByteArray> save = lines(game.clientTmp, "ClientGame.sav");
        QCOMPARE(ArmyTexts::unmarked(save.mid(1, 40)), GameFolder::splitLines(ClientArmy).mid(1));
        // Bare LF line ends and a last line without one go out as CR LF.
        QVERIFY(game.clientTmp.write("Castle_Guard.arm", "Castle\n\r\n000 001 \r\n  \n002 "));
        QString error;
        QVERIFY(!s.sendArmy("Missing.arm", &error) && error.contains("Missing.arm"));
        QVERIFY(s.sendArmy("castle_guard.ARM", &error));
        QCOMPARE(take(game.toHost),
                 QByteArray("ARMYDATA: Castle\r\n\r\n000 001 \r\n  \r\n002 \r\n"));
    }

    void bridgeGameMakesTheSameFiles()
    {
        // The same handshake over TCP/IP first.
        Game tcp(Session::Transport::Tcp, true);
        tcp.host.listening();
        tcp.client.connectClicked();
        tcp.host.connectionAccepted("127.0.0.1", 50000);
        tcp.client.connected("127.0.0.1", 3456);
        QVERIFY(tcp.host.sendMap(tcp.chosen.mapFile));
        tcp.client.received(take(tcp.toClient));
        QVERIFY(tcp.client.sendArmy("Castle_Siege.arm"));
        tcp.host.received(take(tcp.toHost));
        tcp.client.received(take(tcp.toClient));
        const QList<QByteArray> overTcp = tcp.files();
        Game game(Session::Transport::Bridge, true);
        // A stale top army of another spelling is never read.
        QVERIFY(game.hostTmp.write("TopARMY.tmp", "an earlier game\r\n"));
        QVERIFY(game.hostTmp.write("TopArmy.tmp", "\r\n" + QByteArray("012 ").repeated(40)));
        HostSession &host = game.host;
        ClientSession &client = game.client;
        host.registered();
        client.sessionIdTyped();
        client.mapFetchStarted();
        QCOMPARE(client.mapAnswer("MAP: ../../x.map"), Session::Poll::Done);
        QVERIFY(client.mapName().isEmpty() && client.connectEnabled());
        QVERIFY(host.sendMap(game.chosen.mapFile));
        QCOMPARE(client.mapAnswer(take(game.toClient)), Session::Poll::Done);
        QVERIFY(client.sendArmy("Castle_Siege.arm"));
        QCOMPARE(host.answer("<html>Server error</html>"), Session::Poll::KeepPolling);
        QCOMPARE(host.answer(take(game.toHost)), Session::Poll::Done);
        QCOMPARE(client.answer(take(game.toClient)), Session::Poll::Done);
        QCOMPARE(game.files(), overTcp);

        // During the game the start data is dropped, and the TCP/IP spelling
        // is no command; the bridge's spelling is rebuilt and handed over.
        host.gameStarted();
        client.gameStarted();
        QVERIFY(QFile::remove(game.clientTmp.file("ClientGame.sav")));
        QCOMPARE(client.answer(overTcp.last()), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        QCOMPARE(host.answer(command("5022", 'W')), Session::Poll::KeepPolling);
        QCOMPARE(host.answer(QByteArray(BridgeCommand).replace("5022", "0000")),
                 Session::Poll::KeepPolling);
        QCOMPARE(host.answer(BridgeCommand + QByteArray(1000, ' ')), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(game.hostTmp.file("Receive/AICommand.xml")));
        QCOMPARE(game.hostBox.text.count("A command from the other player was refused ("), 2);
        QCOMPARE(host.answer(BridgeCommand), Session::Poll::Done);
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"),
                 mirrored(command("5022", 'W'), host.objectCount()) + "\r\n");
        QCOMPARE(client.answer(BridgeCommand), Session::Poll::Done);
        QCOMPARE(game.clientTmp.read("Receive/AICommand.xml"), command("5022", 'W') + "\r\n");
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
        const QByteArray converted = command("5003", 'E').chopped(7) + "\r\n";
        for (const QByteArray &next : {QByteArray(), QByteArray("CLIENT: your move")}) {
            QVERIFY(QFile::remove(received));
            game.host.received(command("5022", 'W').chopped(7));
            QVERIFY(!QFile::exists(received));
            if (!next.isEmpty())
                game.host.received(next);
            QTRY_COMPARE_WITH_TIMEOUT(game.hostTmp.read("Receive/AICommand.xml"), converted, 10000);
        }
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
        const QByteArray startData = take(game.toClient);
        QCOMPARE(lines(game.hostTmp, "HostGame.sav").size(), 71);
        Game other;
        for (Game *g : {&game, &other})
            g->client.received("MAP: Castle.map");
        game.client.received(startData + "SERVER: hi");
        other.client.received(startData);
        QVERIFY(game.client.startEnabled() && !other.client.startEnabled());
        QCOMPARE(lines(game.clientTmp, "ClientGame.sav").size(), 71);
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
            for (const auto &[army, told] :
                 {std::pair(rows41, "more than 40"),
                  std::pair(ClientArmy, "4012 flags; a game has at most 3200")}) {
                if (transport == Session::Transport::Tcp)
                    game.host.received(Messages::armyMessage(army));
                else
                    game.host.answer(Messages::armyMessage(army));
                QVERIFY(!game.host.startEnabled() && game.toClient.isEmpty());
                QVERIFY2(game.hostBox.text.contains(told), game.hostBox.text.constData());
                QVERIFY(game.hostTmp.write(
                    "Castle_Guard.arm",
                    "Castle\r\n" + (QByteArray("001 ").repeated(100) + "\r\n").repeated(40)));
            }
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
