#include "armyflip.h"
#include "clientsession.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "memorypipe.h"
#include "messages.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTest>
#include <functional>
#include <memory>

namespace {

using Splitter = std::function<QList<QByteArray>(const QByteArray &)>;

const QStringList HostFiles = {QStringLiteral("ClientARMY.tmp"), QStringLiteral("TopARMY.tmp"),
                               QStringLiteral("HostGame.sav")};
const QStringList ClientFiles = {QStringLiteral("HostGame.tmp"), QStringLiteral("ClientGame.sav")};

QList<QByteArray> whole(const QByteArray &bytes)
{
    return {bytes};
}

/// The two game folders of one computer each, with the sample maps and
/// armies: the host plays Castle_Guard.arm, the client Castle_Siege.arm.
struct Folders
{
    Folders()
    {
        QVERIFY(hostTmp.copySamples());
        QVERIFY(clientTmp.copySamples());
    }
    TempGameFolder hostTmp;
    TempGameFolder clientTmp;
};

/// One game: a host and a client session joined by an in-memory pipe.
struct Game
{
    Game(const Folders &folders, Session::Transport transport)
        : hostFolder(folders.hostTmp.path()), clientFolder(folders.clientTmp.path()),
          host(hostFolder, transport), client(clientFolder, transport)
    {
        // Every game writes its files afresh.
        for (const QString &name : HostFiles)
            hostFolder.removeFile(name);
        for (const QString &name : ClientFiles)
            clientFolder.removeFile(name);
        host.setSendFunction(pipe.hostEnd());
        host.setOutputBox(&hostBox);
        host.setSelectionProvider([this] { return chosen; });
        client.setSendFunction(pipe.clientEnd());
        client.setOutputBox(&clientBox);
    }

    /// The TCP/IP handshake up to both sides being ready, with the army and
    /// the start data delivered in the pieces that the splitters make. With
    /// chat, each side sends a chat line just before and just after its large
    /// message, so that they may arrive joined to its pieces.
    void playTcp(const Splitter &armyPieces, const Splitter &startPieces, bool chat)
    {
        host.listening();
        client.connectClicked();
        host.connectionAccepted("127.0.0.1", 50000);
        client.connected("127.0.0.1", 3456);
        QVERIFY(host.sendMap(chosen.mapFile));
        client.received(pipe.takeToClient());
        if (chat)
            client.chatEntered("ready");
        QVERIFY(client.sendArmy(QStringLiteral("Castle_Siege.arm")));
        if (chat) {
            client.chatEntered("over");
            host.chatEntered("go");
        }
        MemoryPipe::deliver(armyPieces(pipe.takeToHost()),
                            [this](const QByteArray &piece) { host.received(piece); });
        if (chat)
            host.chatEntered("bye");
        MemoryPipe::deliver(startPieces(pipe.takeToClient()),
                            [this](const QByteArray &piece) { client.received(piece); });
    }

    /// The game files of both sides and the start data message as sent.
    QMap<QString, QByteArray> files() const
    {
        QMap<QString, QByteArray> files;
        QByteArray bytes;
        for (const QString &name : HostFiles)
            files.insert("host " + name, hostFolder.readAll(name, &bytes) ? bytes : "(missing)");
        for (const QString &name : ClientFiles)
            files.insert("client " + name,
                         clientFolder.readAll(name, &bytes) ? bytes : "(missing)");
        files.insert(QStringLiteral("start data message"),
                     Messages::startDataMessage(host.startData()));
        return files;
    }

    GameFolder hostFolder;
    GameFolder clientFolder;
    MemoryPipe pipe;
    TextOutputBox hostBox;
    TextOutputBox clientBox;
    HostSelections chosen{QStringLiteral("Castle.map"), QStringLiteral("Castle_Guard.arm"), false};
    HostSession host;
    ClientSession client;
};

/// Compares the files of a game with those of the game whose messages came
/// whole, naming the first file and byte that differ.
void compareFiles(const QMap<QString, QByteArray> &got, const QMap<QString, QByteArray> &expected,
                  const QString &what)
{
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QByteArray file = got.value(it.key());
        if (file == it.value())
            continue;
        int at = 0;
        while (at < file.size() && at < it.value().size() && file[at] == it.value()[at])
            ++at;
        QFAIL(qPrintable(QStringLiteral("%1: %2 differs at byte %3").arg(what, it.key()).arg(at)));
    }
}

QList<QByteArray> lines(const QByteArray &file)
{
    return GameFolder::splitLines(file);
}

} // namespace

class TestHandshake : public QObject
{
    Q_OBJECT

private slots:
    void tcpHandshakeAndCommandsBothWays()
    {
        Folders folders;
        Game game(folders, Session::Transport::Tcp);
        HostSession &host = game.host;
        ClientSession &client = game.client;
        game.playTcp(whole, whole, false);

        QCOMPARE(client.mapName(), QByteArray("Castle.map"));
        QCOMPARE(client.armyPattern(), QStringLiteral("*Castle*.arm"));
        QVERIFY(!client.randomArmySuggested());
        QVERIFY(host.startEnabled() && client.startEnabled());
        QVERIFY(!host.sendEnabled() && !client.sendEnabled());
        QCOMPARE(game.hostBox.text(), QByteArray("Ready to Start\r\n"));
        QCOMPARE(game.clientBox.text(), QByteArray("Ready to Start\r\n"));

        // Both save files: map name, own army marked B as in its army file,
        // the other army half-turned and marked R.
        QList<QByteArray> guard;
        QList<QByteArray> siege;
        QVERIFY(game.hostFolder.readLines(QStringLiteral("Castle_Guard.arm"), &guard));
        QVERIFY(game.clientFolder.readLines(QStringLiteral("Castle_Siege.arm"), &siege));
        guard.removeFirst();
        siege.removeFirst();
        QByteArray hostFile;
        QByteArray clientFile;
        QVERIFY(game.hostFolder.readAll(QStringLiteral("HostGame.sav"), &hostFile));
        QVERIFY(game.clientFolder.readAll(QStringLiteral("ClientGame.sav"), &clientFile));
        const QList<QByteArray> hostSave = lines(hostFile);
        const QList<QByteArray> clientSave = lines(clientFile);
        QCOMPARE(hostSave.size(), 81);
        QCOMPARE(clientSave.size(), 81);
        QCOMPARE(hostSave[0], QByteArray("Castle"));
        QCOMPARE(clientSave[0], QByteArray("Castle"));
        for (int row = 0; row < 40; ++row) {
            QCOMPARE(hostSave[1 + row], markSide(guard[row], 'B'));
            QCOMPARE(hostSave[41 + row], markSide(halfTurnRow(siege[39 - row]), 'R'));
            QCOMPARE(clientSave[1 + row], markSide(siege[row], 'B'));
            QCOMPARE(clientSave[41 + row], markSide(halfTurnRow(guard[39 - row]), 'R'));
        }
        QCOMPARE(host.objectCount(), maxCount(host.startData()));

        // The game: the host's engine moves; the client's engine gets the
        // command in its own view and answers it with the same text, which
        // reaches the host's engine as the host's engine wrote it.
        host.gameStarted();
        client.gameStarted();
        // Chat is shown once the game runs.
        client.chatEntered("good luck");
        host.received(game.pipe.takeToHost());
        QVERIFY(game.hostBox.text().endsWith("CLIENT: good luck\r\n"));
        const QByteArray hostMove =
            "<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>";
        QVERIFY(game.hostFolder.writeValue(QStringLiteral("\\Send\\AICommand.xml"), hostMove));
        QTRY_VERIFY(!game.pipe.toClient().isEmpty());
        const QByteArray sent = game.pipe.takeToClient();
        QVERIFY(sent != hostMove);
        QVERIFY(sent.contains("Direction='W'"));
        QCOMPARE(game.hostBox.text(), "SENT: \r\n" + sent + "\r\n");
        client.received(sent);
        QByteArray forClient;
        QVERIFY(game.clientFolder.readAll(QStringLiteral("\\Receive\\AICommand.xml"), &forClient));
        QCOMPARE(forClient, sent + "\r\n");
        QCOMPARE(game.clientBox.text(), "RECEIVED:\r\n" + sent + "\r\n");

        QVERIFY(game.clientFolder.writeValue(QStringLiteral("\\Send\\AICommand.xml"), sent));
        QTRY_VERIFY(!game.pipe.toHost().isEmpty());
        QCOMPARE(game.pipe.toHost(), sent);
        host.received(game.pipe.takeToHost());
        QByteArray forHost;
        QVERIFY(game.hostFolder.readAll(QStringLiteral("\\Receive\\AICommand.xml"), &forHost));
        QCOMPARE(forHost, hostMove + "\r\n");
        QByteArray log;
        QVERIFY(game.hostFolder.readAll(QStringLiteral("GameLog.txt"), &log));
        QVERIFY(log.contains("SENT:" + hostMove + "\r\n"));
        QVERIFY(log.contains("RCVD:" + hostMove + "\r\n"));
        host.gameStopped();
        client.gameStopped();
    }

    void bridgeHandshakeMakesTheSameFiles()
    {
        Folders folders;
        QMap<QString, QByteArray> overTcp;
        {
            Game game(folders, Session::Transport::Tcp);
            game.playTcp(whole, whole, false);
            overTcp = game.files();
        }
        Game game(folders, Session::Transport::Bridge);
        HostSession &host = game.host;
        ClientSession &client = game.client;
        client.sessionIdTyped();
        client.mapFetchStarted();
        QVERIFY(host.sendMap(game.chosen.mapFile));
        QCOMPARE(client.mapAnswer(game.pipe.takeToClient()), Session::Poll::Done);
        QVERIFY(client.sendArmy(QStringLiteral("Castle_Siege.arm")));
        QCOMPARE(host.answer(game.pipe.takeToHost()), Session::Poll::Done);
        QCOMPARE(client.answer(game.pipe.takeToClient()), Session::Poll::Done);
        QVERIFY(host.startEnabled() && client.startEnabled());
        compareFiles(game.files(), overTcp, QStringLiteral("bridge"));
    }

    void namedSplitsGiveTheFilesOfWholeMessages()
    {
        Folders folders;
        QMap<QString, QByteArray> expected;
        {
            Game game(folders, Session::Transport::Tcp);
            game.playTcp(whole, whole, false);
            expected = game.files();
            QCOMPARE(expected.value(QStringLiteral("start data message")).size(), 12971);
        }
        const QList<std::pair<QString, Splitter>> splits = {
            {QStringLiteral("4000, 4000, 4971"),
             [](const QByteArray &b) {
                 return MemoryPipe::sized(b, {4000, 4000});
             }},
            {QStringLiteral("after each marker's colon"),
             [](const QByteArray &b) {
                 const int at = int(b.indexOf(':')) + 1;
                 return MemoryPipe::cut(b, {at});
             }},
            {QStringLiteral("between the last CR and LF"),
             [](const QByteArray &b) { return MemoryPipe::cut(b, {int(b.size()) - 1}); }},
            {QStringLiteral("right after a cell's blank"),
             [](const QByteArray &b) {
                 return MemoryPipe::cut(b, {int(b.indexOf("0 ", 300)) + 2});
             }},
            {QStringLiteral("inside the marker"),
             [](const QByteArray &b) {
                 return MemoryPipe::cut(b, {3, 5});
             }},
        };
        for (const auto &[name, split] : splits) {
            for (const bool chat : {false, true}) {
                Game game(folders, Session::Transport::Tcp);
                game.playTcp(split, split, chat);
                QVERIFY(game.host.startEnabled() && game.client.startEnabled());
                compareFiles(game.files(), expected, name + (chat ? " with chat" : ""));
            }
        }
    }

    void randomSplitsGiveTheFilesOfWholeMessages()
    {
        Folders folders;
        QMap<QString, QByteArray> expected;
        {
            Game game(folders, Session::Transport::Tcp);
            game.playTcp(whole, whole, false);
            expected = game.files();
        }
        const QList<int> pieceCounts = {2, 3, 5, 9, 40, 250, 100000};
        for (quint32 seed = 1; seed <= 24; ++seed) {
            for (const int count : pieceCounts) {
                // One character a piece, twice: once with chat, once without.
                if (count > 1000 && seed > 2)
                    continue;
                QRandomGenerator random(seed * 7919 + quint32(count));
                const Splitter split = [&random, count](const QByteArray &bytes) {
                    return MemoryPipe::random(bytes, count, random);
                };
                const bool chat = (seed + quint32(count)) % 2 == 0;
                Game game(folders, Session::Transport::Tcp);
                game.playTcp(split, split, chat);
                const QString what = QStringLiteral("seed %1, %2 pieces%3")
                                         .arg(seed)
                                         .arg(count)
                                         .arg(chat ? QStringLiteral(", chat") : QString());
                QVERIFY2(game.host.startEnabled() && game.client.startEnabled(), qPrintable(what));
                compareFiles(game.files(), expected, what);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestHandshake)
#include "tst_handshake.moc"
