#include "armyflip.h"
#include "armytexts.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "memorypipe.h"
#include "messages.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

const QByteArray ClientArmy = ArmyTexts::army(ArmyTexts::oneOfEachKind(37), "Castle");

/// A host session over an in-memory pipe, in a game folder holding the map's
/// name, the host's army "Castle_Guard.arm" and the client's army text.
struct Host
{
    explicit Host(Session::Transport transport = Session::Transport::Tcp)
    {
        tmp.write(QStringLiteral("Castle_Guard.arm"),
                  ArmyTexts::army(ArmyTexts::oneOfEachKind(38)));
        session = std::make_unique<HostSession>(folder, transport);
        session->setSendFunction(pipe.hostEnd());
        session->setOutputBox(&box);
        session->setSelectionProvider([this] { return chosen; });
    }

    TempGameFolder tmp;
    GameFolder folder{tmp.path()};
    MemoryPipe pipe;
    TextOutputBox box;
    HostSelections chosen{QStringLiteral("Castle.map"), QStringLiteral("Castle_Guard.arm"), false};
    std::unique_ptr<HostSession> session;
};

} // namespace

class TestHostSession : public QObject
{
    Q_OBJECT

private slots:
    void connectionStatesAndStatusLines()
    {
        Host host;
        HostSession &s = *host.session;
        QVERIFY(!s.sendEnabled() && !s.startEnabled() && !s.chatEnabled() && !s.gameRunning());
        s.listening();
        QCOMPARE(host.box.text(), QByteArray("Waiting For Remote Client...\r\n"));
        QVERIFY(!host.box.caretAtEnd());

        QSignalSpy changed(&s, &Session::controlsChanged);
        s.connectionAccepted("127.0.0.1", 50123);
        QVERIFY(s.chatEnabled() && s.sendEnabled() && !s.startEnabled());
        QVERIFY(!changed.isEmpty());
        QCOMPARE(host.box.text(), QByteArray("127.0.0.1:50123 connected\r\n\r\n"));
        QVERIFY(!host.box.caretAtEnd());

        s.chatEntered("hello");
        QCOMPARE(host.pipe.takeToClient(), QByteArray("SERVER: hello"));
        QVERIFY(host.box.text().endsWith("connected\r\n\r\nSERVER: hello\r\n"));

        // A send that fails keeps the button for another try.
        host.pipe.setOpen(false);
        QVERIFY(!s.sendMap(QStringLiteral("Castle.map")));
        QVERIFY(s.sendEnabled());
        host.pipe.setOpen(true);
        QVERIFY(s.sendMap(QStringLiteral("Castle.map")));
        QCOMPARE(host.pipe.takeToClient(), QByteArray("MAP: Castle.map"));
        QVERIFY(!s.sendEnabled());

        // The client goes; the next one is accepted and may get the map again.
        s.peerClosed();
        QVERIFY(!s.chatEnabled() && !s.sendEnabled());
        QCOMPARE(host.box.text(), QByteArray("Client closed connection\r\n\r\n"));
        QVERIFY(host.box.caretAtEnd());
        s.connectionAccepted("127.0.0.1", 50124);
        QVERIFY(s.chatEnabled() && s.sendEnabled());
    }

    void selectionChecksBeforeTheMapGoesOut()
    {
        QCOMPARE(HostSession::selectionProblem({}), QStringLiteral("Please select Map!"));
        QCOMPARE(HostSession::selectionProblem({QStringLiteral("Castle.map"), {}, false}),
                 QStringLiteral("Please select Army!"));
        const HostSelections random{QStringLiteral("Castle.map"), {}, true};
        QVERIFY(HostSession::selectionProblem(random).isEmpty());
        QVERIFY(HostSession::needsRandomArmy(random));
        QVERIFY(!HostSession::needsRandomArmy(
            {QStringLiteral("Castle.map"), QStringLiteral("Castle_Guard.arm"), true}));
    }

    void theArmyCompletesByItsContentNotItsSize()
    {
        Host host;
        HostSession &s = *host.session;
        const QByteArray message = Messages::armyMessage(ClientArmy);
        // 3000 and 3400 payload characters: shown, not complete.
        const QList<QByteArray> pieces = MemoryPipe::sized(message, {3010, 3400, 80});
        s.received(pieces[0]);
        s.received(pieces[1]);
        QCOMPARE(host.box.text(), pieces[0] + "\r\n" + pieces[1] + "\r\n");
        // Past 6399 characters, but the last rows are still on the way.
        s.received(pieces[2]);
        QVERIFY(s.armyBuffer().size() > 6399);
        QVERIFY(!s.armyComplete() && !s.startEnabled());
        QVERIFY(host.pipe.toClient().isEmpty());
        QVERIFY(!host.tmp.read(QStringLiteral("ClientARMY.tmp")).size());

        QSignalSpy completed(&s, &HostSession::completed);
        s.received(pieces[3]);
        QCOMPARE(completed.size(), 1);
        QCOMPARE(host.tmp.read(QStringLiteral("ClientARMY.tmp")), ClientArmy + "\r\n");
        QCOMPARE(host.box.text(), QByteArray("Ready to Start\r\n"));
        QVERIFY(host.box.caretAtEnd());
        QVERIFY(s.startEnabled());
        QCOMPARE(host.pipe.takeToClient(), Messages::startDataMessage(s.startData()));
        QCOMPARE(Messages::lineEnds(s.startData()), 80);
        QCOMPARE(s.objectCount(), qint16(24));
        // The host's own flags are R, the client's B, in the start data.
        QCOMPARE(s.startData().count("R01"), 1);
        QCOMPARE(s.startData().count("B01"), 1);
        QVERIFY(host.tmp.read(QStringLiteral("HostGame.sav")).startsWith("Castle\r\n"));
    }

    void chatAfterCompletionSendsTheStartDataAgain()
    {
        Host host;
        HostSession &s = *host.session;
        // A chat line joined in front of the army: kept apart and shown.
        s.received("CLIENT: here it comes" + Messages::armyMessage(ClientArmy));
        QCOMPARE(host.box.text(), QByteArray("Ready to Start\r\nCLIENT: here it comes\r\n"));
        QCOMPARE(host.tmp.read(QStringLiteral("ClientARMY.tmp")), ClientArmy + "\r\n");
        const QByteArray first = host.pipe.takeToClient();
        QVERIFY(first.startsWith("SAVEDATA1: "));

        host.tmp.write(QStringLiteral("HostGame.sav"), "stale");
        s.received("CLIENT: ready?");
        QCOMPARE(host.box.text(), QByteArray("Ready to Start\r\n"));
        QCOMPARE(host.pipe.takeToClient(), first);
        QVERIFY(host.tmp.read(QStringLiteral("HostGame.sav")).startsWith("Castle\r\n"));
    }

    void commandsBeforeAndDuringTheGame()
    {
        Host host;
        HostSession &s = *host.session;
        s.received(Messages::armyMessage(ClientArmy));
        QCOMPARE(s.objectCount(), qint16(24));
        host.pipe.takeToClient();

        // Before "Start": handed over at once (converted), then taken like any
        // text before the game, which runs the completion step again.
        const QByteArray fromClient =
            "<Root><Command FlagID='5022' Direction='W' SerpentJump='No'/></Root>";
        const QByteArray forEngine =
            "<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>";
        s.received(fromClient);
        QCOMPARE(host.tmp.read(QStringLiteral("Receive/AICommand.xml")), forEngine + "\r\n");
        QVERIFY(host.pipe.takeToClient().startsWith("SAVEDATA1: "));

        s.gameStarted();
        QVERIFY(s.gameRunning() && !s.startEnabled());
        QVERIFY(QFile::remove(host.tmp.file(QStringLiteral("Receive/AICommand.xml"))));
        s.received(fromClient);
        QCOMPARE(host.box.text(), "RECEIVED:\r\n" + forEngine + "\r\n");
        QCOMPARE(host.tmp.read(QStringLiteral("Receive/AICommand.xml")), forEngine + "\r\n");

        // Once the game runs an army message is only shown.
        QVERIFY(QFile::remove(host.tmp.file(QStringLiteral("ClientARMY.tmp"))));
        s.received(Messages::armyMessage(ClientArmy));
        QVERIFY(!QFile::exists(host.tmp.file(QStringLiteral("ClientARMY.tmp"))));
        QVERIFY(host.box.text().endsWith(Messages::armyMessage(ClientArmy) + "\r\n"));
        QVERIFY(host.pipe.toClient().isEmpty());
        s.gameStopped();
        QVERIFY(!s.gameRunning());
    }

    void anOversizedArmyIsDroppedAndTheHostTold()
    {
        Host host;
        HostSession &s = *host.session;
        s.received("ARMYDATA: " + QByteArray(40000, '0'));
        s.received(QByteArray(40000, '0'));
        QVERIFY(host.box.text().endsWith("larger than 65536 characters and was dropped.\r\n"));
        QVERIFY(s.armyBuffer().isEmpty());
        const QByteArray told = host.box.text();
        // The rest of that message is dropped, not shown.
        s.received(QByteArray(40000, '0'));
        QCOMPARE(host.box.text(), told);
        // A proper army afterwards is taken.
        s.received(Messages::armyMessage(ClientArmy));
        QVERIFY(s.startEnabled());
    }

    void aMissingOwnArmySendsNothing()
    {
        Host host;
        HostSession &s = *host.session;
        host.chosen.randomArmy = true; // but no Random.arm was ever made
        s.received(Messages::armyMessage(ClientArmy));
        QVERIFY(host.box.text().startsWith("The game files could not be made: "));
        QVERIFY(host.box.text().contains("Random.arm"));
        QVERIFY(!s.startEnabled());
        QVERIFY(host.pipe.toClient().isEmpty());
        // With the army chosen, the next arrival completes.
        host.chosen.randomArmy = false;
        s.received("CLIENT: try again");
        QVERIFY(s.startEnabled());
        QVERIFY(host.pipe.toClient().startsWith("SAVEDATA1: "));
    }

    void theBridgeTakesWholeMessagesAndNeverSendsChat()
    {
        Host host(Session::Transport::Bridge);
        HostSession &s = *host.session;
        QVERIFY(s.sendEnabled() && !s.chatEnabled());
        s.registered();
        QVERIFY(host.box.text().startsWith("Give the Session ID to other player.\r\n"));
        s.chatEntered("hello");
        QCOMPARE(host.pipe.sends(), 0);
        QVERIFY(host.box.text().endsWith("SERVER: hello\r\n"));

        QVERIFY(s.sendMap(QStringLiteral("Castle.map")));
        QCOMPARE(host.pipe.takeToClient(), QByteArray("MAP: Castle.map"));
        QCOMPARE(s.answer("Wait"), Session::Poll::KeepPolling);
        QCOMPARE(s.answer("<html>Server error</html>"), Session::Poll::KeepPolling);
        QCOMPARE(s.answer(Messages::armyMessage(ClientArmy)), Session::Poll::Done);
        QCOMPARE(host.tmp.read(QStringLiteral("ClientARMY.tmp")), ClientArmy + "\r\n");
        QVERIFY(host.pipe.takeToClient().startsWith("SAVEDATA1: "));
        QVERIFY(s.startEnabled());

        s.gameStarted();
        // The TCP/IP spelling is no command here; answers other than commands
        // are dropped while the game runs.
        QCOMPARE(s.answer("<Root><Command FlagID='5022' Direction='W'/>"),
                 Session::Poll::KeepPolling);
        QVERIFY(!host.folder.fileExists(QStringLiteral("Receive\\AICommand.xml")));
        QCOMPARE(s.answer("<ROOT><COMMAND FlagID=\"5022\" Direction=\"W\" SerpentJump=\"No\">"
                          "</COMMAND></ROOT>"),
                 Session::Poll::Done);
        const QByteArray forEngine =
            "<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>";
        QCOMPARE(host.tmp.read(QStringLiteral("Receive/AICommand.xml")), forEngine + "\r\n");
        QCOMPARE(host.box.text(), "RECEIVED:\r\n" + forEngine + "\r\n");
        s.gameStopped();
    }
};

QTEST_GUILESS_MAIN(TestHostSession)
#include "tst_hostsession.moc"
