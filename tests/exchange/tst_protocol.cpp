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

namespace {

const QByteArray ClientArmy = army(ArmyTexts::oneOfEachKind(37));
const QByteArray BridgeCommand =
    "<ROOT><COMMAND FlagID=\"5022\" Direction=\"W\" SerpentJump=\"No\"></COMMAND></ROOT>";

QByteArray take(QByteArray &queue)
{
    return std::exchange(queue, QByteArray());
}

/// One game: a host and a client session, each in a game folder of its own,
/// joined by an in-memory pipe (what one end sends waits, joined, until
/// delivered). The host plays "Castle_Guard.arm", one flag of each kind.
struct Game
{
    explicit Game(Session::Transport transport = Session::Transport::Tcp)
        : host(hostFolder, transport), client(clientFolder, transport)
    {
        QVERIFY(hostTmp.write("Castle_Guard.arm", army(ArmyTexts::oneOfEachKind(38))));
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
        QVERIFY(game.hostBox.text.contains("The game files could not be made: ") &&
                game.hostBox.text.contains("Random.arm"));
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
        // Bare LF line ends and a last line without one go out as CR LF.
        QVERIFY(game.clientTmp.write("Castle_Guard.arm", "Castle\n\r\n000 001 \r\n  \n002 "));
        QString error;
        QVERIFY(!s.sendArmy("Missing.arm", &error) && error.contains("Missing.arm"));
        QVERIFY(s.sendArmy("castle_guard.ARM", &error));
        QCOMPARE(take(game.toHost),
                 QByteArray("ARMYDATA: Castle\r\n\r\n000 001 \r\n  \r\n002 \r\n"));
    }

    void bridgeAnswersAreCheckedBeforeAndDuringTheGame()
    {
        // A whole bridge game's files: tst_httpgame; here the answers it never gets.
        Game game(Session::Transport::Bridge);
        HostSession &host = game.host;
        ClientSession &client = game.client;
        host.registered();
        client.sessionIdTyped();
        client.mapFetchStarted();
        QCOMPARE(client.mapAnswer("MAP: ../../x.map"), Session::Poll::Done);
        QVERIFY(client.mapName().isEmpty() && client.connectEnabled());
        QVERIFY(host.sendMap(game.chosen.mapFile));
        QCOMPARE(client.mapAnswer(take(game.toClient)), Session::Poll::Done);
        QCOMPARE(host.answer("<html>Server error</html>"), Session::Poll::KeepPolling);
        QCOMPARE(host.answer(Messages::armyMessage(ClientArmy)), Session::Poll::Done);
        const QByteArray startData = take(game.toClient);
        QCOMPARE(client.answer(startData), Session::Poll::Done);

        // During the game the start data is dropped, and the TCP/IP spelling
        // is no command; the bridge's spelling is rebuilt and handed over.
        host.gameStarted();
        client.gameStarted();
        QVERIFY(QFile::remove(game.clientTmp.file("ClientGame.sav")));
        QCOMPARE(client.answer(startData), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(game.clientTmp.file("ClientGame.sav")));
        QCOMPARE(host.answer(command("5022", 'W')), Session::Poll::KeepPolling);
        QVERIFY(!QFile::exists(game.hostTmp.file("Receive/AICommand.xml")));
        QCOMPARE(host.answer(BridgeCommand), Session::Poll::Done);
        QCOMPARE(game.hostTmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
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
        game.host.gameStopped();
    }

    void armiesThatWouldWrapTheObjectCountAreRefused()
    {
        // The host's own army, long rows full of flags: more than the board
        // holds. (More than 40 rows from the client: fuzz_host_receive.)
        Game game;
        QVERIFY(game.hostTmp.write("Castle_Guard.arm",
                                   "Castle\r\n" +
                                       (QByteArray("001 ").repeated(100) + "\r\n").repeated(40)));
        game.host.received(Messages::armyMessage(ClientArmy));
        QVERIFY(!game.host.startEnabled() && game.toClient.isEmpty());
        QVERIFY2(game.hostBox.text.contains("4012 flags; a game has at most 3200"),
                 game.hostBox.text.constData());
        // The client sends no army of more than 40 rows.
        QVERIFY(game.clientTmp.write("Big.arm", ClientArmy + QByteArray("001 ").repeated(40)));
        QString error;
        QVERIFY(!game.client.sendArmy("Big.arm", &error) && error.contains("41 rows"));
    }
};

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
