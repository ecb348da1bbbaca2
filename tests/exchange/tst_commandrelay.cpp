#include "armytexts.h"
#include "commandrelay.h"
#include "gamefolder.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QSignalSpy>
#include <QTest>

using ArmyTexts::command;

namespace {

/// A relay in a game folder of its own that sends into a list, or fails.
struct Relay
{
    explicit Relay(Role role) : relay(GameFolder(tmp.path()), role)
    {
        relay.setObjectCount(24);
        relay.setOutputBox(&box);
        relay.setSendFunction([this](const QByteArray &c) {
            if (connected)
                wire << c;
            return connected;
        });
    }
    QList<QByteArray> log() const { return GameFolder::splitLines(tmp.read("GameLog.txt")); }

    TempGameFolder tmp;
    CommandRelay relay;
    TextOutputBox box;
    QList<QByteArray> wire;
    bool connected = true;
};

} // namespace

class TestCommandRelay : public QObject
{
    Q_OBJECT

private slots:
    void ownEnginesBadCommandsAreNotSent()
    {
        // Good ones go converted and logged in every whole game (tests/e2e).
        Relay host(Role::Host);
        host.relay.start();
        QSignalSpy failed(&host.relay, &CommandRelay::sendFailed);
        // A flag number outside the game's is not converted into another
        // flag's: the host's own engine's command is not sent.
        for (const QByteArray &bad : {QByteArray("garbage"), command("0000", 'N'),
                                      command("5025", 'N'), command("50x1", 'N')}) {
            QVERIFY(host.tmp.write("Send/AICommand.xml", bad + "\n"));
            QVERIFY(failed.wait(2000));
            QVERIFY2(host.box.text.startsWith("NOT SENT ("), host.box.text.constData());
        }
        QVERIFY(host.wire.isEmpty() && !QFile::exists(host.tmp.file("GameLog.txt")));
    }

    void movesWaitInOrderForTheConnection()
    {
        Relay client(Role::Client);
        client.connected = false;
        client.relay.start();
        QSignalSpy failed(&client.relay, &CommandRelay::sendFailed);
        // More moves than are kept: the one past the bound stays in its file.
        const int bound = CommandRelay::MaxUnsentCommands;
        QList<QByteArray> moves;
        for (int i = 0; i <= bound; ++i)
            moves << command(QByteArray::number(5001 + i % 24), "NSEW"[i % 4]);
        for (int i = 0; i < bound; ++i) {
            QVERIFY(client.tmp.write("Send/AICommand.xml", moves.at(i) + "\r\n"));
            QTRY_COMPARE_WITH_TIMEOUT(failed.size(), i + 1, 5000);
        }
        QVERIFY(client.box.text.endsWith(QByteArray::number(bound) +
                                         " moves wait for the connection.\r\n"));
        QVERIFY(client.tmp.write("Send/AICommand.xml", moves.at(bound) + "\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(client.box.text.contains("next move stays in"), 5000);
        QVERIFY(QFile::exists(client.tmp.file("Send/AICommand.xml")));
        QVERIFY(client.wire.isEmpty() && !QFile::exists(client.tmp.file("GameLog.txt")));
        // Still no connection: nothing goes, nothing is lost.
        QCOMPARE(client.relay.sendWaiting(), 0);

        // The connection is back: the kept moves go in order, then the one
        // that stayed in its file; each is logged once, as it goes.
        client.connected = true;
        QCOMPARE(client.relay.sendWaiting(), bound);
        QTRY_COMPARE_WITH_TIMEOUT(client.wire.size(), bound + 1, 5000);
        QCOMPARE(client.wire, moves);
        QCOMPARE(client.log().size(), bound + 1);
        QCOMPARE(client.log().last(), "SENT:" + moves.last());

        // A later outage keeps again; unloading the window ends what waits.
        client.connected = false;
        QVERIFY(client.tmp.write("Send/AICommand.xml", moves.first() + "\r\n"));
        QTRY_VERIFY_WITH_TIMEOUT(client.box.text.endsWith("1 move waits for the connection.\r\n"),
                                 5000);
        client.relay.stop();
        client.connected = true;
        QCOMPARE(client.relay.sendWaiting(), 0);
        QCOMPARE(client.wire.size(), bound + 1);
    }

    void hostileCommandsAreRefused()
    {
        Relay host(Role::Host);
        QSignalSpy refused(&host.relay, &CommandRelay::handOverFailed);
        // Flag numbers outside 5001 to 5024, no number, too long: refused and
        // told, nothing written or logged.
        QList<QByteArray> bad = {"<Root><Command FlagID=",
                                 command("5001", 'N', QByteArray(600, ' ') + "x='1'")};
        for (const char *flag : {"0000", "5025", "50 1"})
            bad << command(flag, 'N');
        for (const QByteArray &command : bad)
            QVERIFY(host.relay.handOver(command).isEmpty());
        QCOMPARE(refused.size(), bad.size());
        QCOMPARE(host.box.text.count("A command from the other player was refused ("), bad.size());
        QVERIFY(host.box.text.contains("(its flag number 0000 is not one of 5001 to 5024)"));
        QVERIFY(host.box.text.contains("(it is longer than 512 characters)"));
        QVERIFY(!QFile::exists(host.tmp.file("Receive/AICommand.xml")));
        QVERIFY(!QFile::exists(host.tmp.file("GameLog.txt")));
        // More than a handful waiting for the engine (the first was taken
        // at once): the tenth is refused.
        for (int i = 1; i <= 10; ++i)
            host.relay.handOver(command(QByteArray::number(5000 + i), 'N'));
        QCOMPARE(refused.size(), bad.size() + 1);
        QVERIFY(host.box.text.endsWith("): " + command("5010", 'N') + "\r\n"));
        QVERIFY(host.box.text.contains("(8 commands already wait for the engine)"));
        // The waiting ones go in order, each once the engine took the one
        // before, and are logged as they go (converted: 5002 N is 5023 S).
        QSignalSpy handed(&host.relay, &CommandRelay::commandHandedOver);
        QVERIFY(QFile::remove(host.tmp.file("Receive/AICommand.xml")));
        QVERIFY(handed.wait(2000));
        QCOMPARE(host.tmp.read("Receive/AICommand.xml"), command("5023", 'S') + "\r\n");
        QCOMPARE(host.log(), (QList<QByteArray>{"RCVD:" + command("5024", 'S'),
                                                "RCVD:" + command("5023", 'S')}));
        // Before the start data the game's flags are not known: all refused.
        Relay early(Role::Client);
        early.relay.setObjectCount(0);
        QVERIFY(early.relay.handOver(command("5001", 'N')).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommandRelay)
#include "tst_commandrelay.moc"
