#include "armytexts.h"
#include "commandrelay.h"
#include "gamefolder.h"
#include "tempgamefolder.h"
#include "textoutputbox.h"

#include <QDir>
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
    QSignalSpy sent{&relay, &CommandRelay::commandSent};
};

} // namespace

class TestCommandRelay : public QObject
{
    Q_OBJECT

private slots:
    void sendsConvertedLogsAsReadAndTellsFailures()
    {
        Relay host(Role::Host);
        QVERIFY(host.tmp.write("Send/AICommand.xml", command("5003", 'E') + "\r\nsecond line\r\n"));
        host.relay.start();
        QVERIFY(host.sent.wait(2000));
        QCOMPARE(host.wire, QList<QByteArray>{command("5022", 'W')});
        QCOMPARE(host.sent.first().at(1).toByteArray(), command("5003", 'E'));
        QCOMPARE(host.box.text, "SENT: \r\n" + command("5022", 'W') + "\r\n");
        QCOMPARE(host.log(), QList<QByteArray>{"SENT:" + command("5003", 'E')});
        QVERIFY(!QFile::exists(host.tmp.file("Send/AICommand.xml")));

        // The next command, written while the relay runs, finds no connection.
        QSignalSpy failed(&host.relay, &CommandRelay::sendFailed);
        host.connected = false;
        QVERIFY(host.tmp.write("Send/AICommand.xml", "garbage\n"));
        QVERIFY(failed.wait(2000));
        QCOMPARE(failed.first().at(0).toByteArray(), QByteArray("garbage"));
        QVERIFY(
            host.box.text.endsWith("SENT: \r\ngarbage\r\nNOT SENT (no connection): garbage\r\n"));
        QCOMPARE(host.log().last(), QByteArray("SENT:garbage"));
        QCOMPARE(host.sent.size(), 1);
    }

    void halfWrittenCommandIsNotTaken()
    {
        Relay client(Role::Client);
        client.relay.start();
        // The engine has written part of its line: nothing is taken while the
        // file keeps growing.
        QFile file(client.tmp.file("Send/AICommand.xml"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray full = command("5003", 'E');
        for (int part = 0; part < 4; ++part) {
            file.write(full.mid(part * 10, 10));
            QTest::qWait(60);
            QVERIFY(client.wire.isEmpty());
        }
        file.write(full.mid(40) + "\r");
        QTest::qWait(30);
        QVERIFY(client.wire.isEmpty());
        file.write("\n");
        file.close();
        QVERIFY(client.sent.wait(2000));
        QCOMPARE(client.wire, QList<QByteArray>{full}); // unchanged on the client

        // A line without a line end is taken once the file stops changing.
        QVERIFY(client.tmp.write("Send/AICommand.xml", command("5010", 'S')));
        QVERIFY(client.sent.wait(2000));
        QCOMPARE(client.wire.last(), command("5010", 'S'));
        // An empty file is no command: it waits for the engine to write.
        QVERIFY(client.tmp.write("Send/AICommand.xml", ""));
        QTest::qWait(300);
        QCOMPARE(client.wire.size(), 2);
        QVERIFY(QFile::exists(client.tmp.file("Send/AICommand.xml")));
    }

    void handOversAreConvertedLoggedAndWaitForTheEngine()
    {
        Relay host(Role::Host);
        QSignalSpy handed(&host.relay, &CommandRelay::commandHandedOver);
        // The hand-over does not wait for the relay to run.
        QCOMPARE(host.relay.handOver(command("5022", 'W')), command("5003", 'E'));
        QCOMPARE(host.tmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        QCOMPARE(host.box.text, QByteArray("RECEIVED:\r\n"));
        // Two more arrive before the engine took the first: each is published
        // whole once the engine took the one before.
        host.relay.handOver(command("5023", 'S'));
        host.relay.handOver(command("5024", 'E'));
        QCOMPARE(host.relay.pendingHandOvers(), 2);
        QCOMPARE(host.tmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        for (const QByteArray &next : {command("5002", 'N'), command("5001", 'W')}) {
            QVERIFY(QFile::remove(host.tmp.file("Receive/AICommand.xml")));
            QVERIFY(handed.wait(2000));
            QCOMPARE(host.tmp.read("Receive/AICommand.xml"), next + "\r\n");
        }
        QCOMPARE(host.relay.pendingHandOvers(), 0);
        QVERIFY(!QFile::exists(host.tmp.file("Receive/AICommand.tmp")));
        QCOMPARE(host.log(),
                 (QList<QByteArray>{"RCVD:" + command("5003", 'E'), "RCVD:" + command("5002", 'N'),
                                    "RCVD:" + command("5001", 'W')}));

        // No Receive folder: told, and nothing logged.
        Relay client(Role::Client);
        QVERIFY(QDir(client.tmp.file("Receive")).removeRecursively());
        QSignalSpy failed(&client.relay, &CommandRelay::handOverFailed);
        client.relay.handOver(command("5001", 'N'));
        QCOMPARE(failed.size(), 1);
        QVERIFY(client.box.text.startsWith("RECEIVED:\r\nNOT HANDED OVER ("));
        QVERIFY(!QFile::exists(client.tmp.file("GameLog.txt")));
    }
};

QTEST_GUILESS_MAIN(TestCommandRelay)
#include "tst_commandrelay.moc"
