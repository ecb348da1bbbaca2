#include "commandrelay.h"
#include "gamefolder.h"
#include "outputbox.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace {

/// The output box as a window shows it.
class TextBox : public OutputBox
{
public:
    void replace(const QByteArray &text, bool) override { m_text = text; }
    void append(const QByteArray &text) override { m_text += text + "\r\n"; }
    QByteArray m_text;
};

QByteArray command(const char *flag, char direction)
{
    return QByteArray("<Root><Command FlagID='") + flag + "' Direction='" + direction +
           "' SerpentJump='No'/></Root>";
}

QList<QByteArray> logLines(const TempGameFolder &tmp)
{
    return GameFolder::splitLines(tmp.read("GameLog.txt"));
}

} // namespace

class TestCommandRelay : public QObject
{
    Q_OBJECT

private slots:
    void hostSendsConvertedAndLogsAsRead()
    {
        TempGameFolder tmp;
        CommandRelay relay(GameFolder(tmp.path()), Role::Host);
        relay.setObjectCount(24);
        TextBox box;
        relay.setOutputBox(&box);
        QList<QByteArray> wire;
        relay.setSendFunction([&wire](const QByteArray &c) {
            wire << c;
            return true;
        });
        QSignalSpy sent(&relay, &CommandRelay::commandSent);
        QVERIFY(tmp.write("Send/AICommand.xml", command("5003", 'E') + "\r\nsecond line\r\n"));
        relay.start();
        QVERIFY(sent.wait(2000));
        QCOMPARE(wire, QList<QByteArray>{command("5022", 'W')});
        QCOMPARE(sent.first().at(1).toByteArray(), command("5003", 'E'));
        QCOMPARE(box.m_text, "SENT: \r\n" + command("5022", 'W') + "\r\n");
        QCOMPARE(logLines(tmp), QList<QByteArray>{"SENT:" + command("5003", 'E')});
        QVERIFY(!QFile::exists(tmp.file("Send/AICommand.xml")));

        // The next command, written while the relay runs, is taken as well.
        QVERIFY(tmp.write("Send/AICommand.xml", command("5024", 'N') + "\n"));
        QVERIFY(sent.wait(2000));
        QCOMPARE(wire.last(), command("5001", 'S'));
        QCOMPARE(sent.size(), 2);
    }

    void clientSendsUnchangedAndReportsFailures()
    {
        TempGameFolder tmp;
        CommandRelay relay(GameFolder(tmp.path()), Role::Client);
        relay.setObjectCount(24);
        TextBox box;
        relay.setOutputBox(&box);
        bool connected = true;
        relay.setSendFunction([&connected](const QByteArray &) { return connected; });
        QSignalSpy sent(&relay, &CommandRelay::commandSent);
        QSignalSpy failed(&relay, &CommandRelay::sendFailed);
        relay.start();
        QVERIFY(tmp.write("Send/AICommand.xml", command("5003", 'E') + "\r\n"));
        QVERIFY(sent.wait(2000));
        QCOMPARE(sent.first().at(0).toByteArray(), command("5003", 'E'));

        connected = false;
        QVERIFY(tmp.write("Send/AICommand.xml", "garbage\r\n"));
        QVERIFY(failed.wait(2000));
        QCOMPARE(failed.first().at(0).toByteArray(), QByteArray("garbage"));
        QCOMPARE(box.m_text,
                 QByteArray("SENT: \r\ngarbage\r\nNOT SENT (no connection): garbage\r\n"));
        QCOMPARE(logLines(tmp).last(), QByteArray("SENT:garbage"));
        QCOMPARE(sent.size(), 1);
    }

    void halfWrittenCommandIsNotTaken()
    {
        TempGameFolder tmp;
        CommandRelay relay(GameFolder(tmp.path()), Role::Client);
        QList<QByteArray> wire;
        relay.setSendFunction([&wire](const QByteArray &c) {
            wire << c;
            return true;
        });
        QSignalSpy sent(&relay, &CommandRelay::commandSent);
        relay.start();

        // The engine has written part of its line: nothing is taken, however
        // long it waits, while the file keeps growing.
        QFile file(tmp.file("Send/AICommand.xml"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray full = command("5003", 'E');
        for (int part = 0; part < 4; ++part) {
            file.write(full.mid(part * 10, 10));
            QTest::qWait(60);
            QVERIFY(wire.isEmpty());
            QVERIFY(file.exists());
        }
        file.write(full.mid(40) + "\r");
        QTest::qWait(30);
        QVERIFY(wire.isEmpty());
        file.write("\n");
        file.close();
        QVERIFY(sent.wait(2000));
        QCOMPARE(wire, QList<QByteArray>{full});

        // A line without a line end is taken once the file stops changing.
        QVERIFY(tmp.write("Send/AICommand.xml", command("5010", 'S')));
        QVERIFY(sent.wait(2000));
        QCOMPARE(wire.last(), command("5010", 'S'));

        // An empty file is no command: it waits for the engine to write.
        QVERIFY(tmp.write("Send/AICommand.xml", ""));
        QTest::qWait(400);
        QCOMPARE(wire.size(), 2);
        QVERIFY(QFile::exists(tmp.file("Send/AICommand.xml")));
    }

    void takingFollowsStartStopAndTurns()
    {
        TempGameFolder tmp;
        CommandRelay relay(GameFolder(tmp.path()), Role::Client);
        relay.setSendFunction([](const QByteArray &) { return true; });
        QSignalSpy sent(&relay, &CommandRelay::commandSent);
        QVERIFY(tmp.write("Send/AICommand.xml", command("5003", 'E') + "\r\n"));
        QTest::qWait(300);
        QVERIFY(sent.isEmpty()); // not started yet
        relay.setTakingEnabled(false);
        relay.start();
        QVERIFY(relay.isRunning());
        QTest::qWait(300);
        QVERIFY(sent.isEmpty()); // not this side's turn
        relay.setTakingEnabled(true);
        QVERIFY(sent.wait(2000));
        relay.stop();
        QVERIFY(!relay.isRunning());
        QVERIFY(tmp.write("Send/AICommand.xml", command("5004", 'E') + "\r\n"));
        QTest::qWait(300);
        QCOMPARE(sent.size(), 1);
        QVERIFY(QFile::exists(tmp.file("Send/AICommand.xml")));
    }

    void handOverConvertsOnTheHostOnly()
    {
        TempGameFolder tmp;
        CommandRelay host(GameFolder(tmp.path()), Role::Host);
        host.setObjectCount(24);
        TextBox box;
        host.setOutputBox(&box);
        // The hand-over does not wait for the relay to run.
        QCOMPARE(host.handOver(command("5022", 'W')), command("5003", 'E'));
        QCOMPARE(tmp.read("Receive/AICommand.xml"), command("5003", 'E') + "\r\n");
        QVERIFY(!QFile::exists(tmp.file("Receive/AICommand.tmp")));
        QCOMPARE(box.m_text, QByteArray("RECEIVED:\r\n"));
        QCOMPARE(logLines(tmp), QList<QByteArray>{"RCVD:" + command("5003", 'E')});

        TempGameFolder other;
        CommandRelay client(GameFolder(other.path()), Role::Client);
        client.setObjectCount(24);
        QCOMPARE(client.handOver("not a command at all"), QByteArray("not a command at all"));
        QCOMPARE(other.read("Receive/AICommand.xml"), QByteArray("not a command at all\r\n"));
    }

    void handOversWaitUntilTheEngineTookThePrevious()
    {
        TempGameFolder tmp;
        CommandRelay relay(GameFolder(tmp.path()), Role::Client);
        QSignalSpy handed(&relay, &CommandRelay::commandHandedOver);
        relay.handOver(command("5001", 'N'));
        relay.handOver(command("5002", 'S'));
        relay.handOver(command("5003", 'E'));
        QCOMPARE(relay.pendingHandOvers(), 2);
        QCOMPARE(handed.size(), 1);
        QCOMPARE(tmp.read("Receive/AICommand.xml"), command("5001", 'N') + "\r\n");

        // The engine takes each file away; the next one appears whole.
        for (const char *flag : {"5002", "5003"}) {
            QVERIFY(QFile::remove(tmp.file("Receive/AICommand.xml")));
            QVERIFY(handed.wait(2000));
            QCOMPARE(tmp.read("Receive/AICommand.xml"),
                     command(flag, flag[3] == '2' ? 'S' : 'E') + "\r\n");
        }
        QCOMPARE(relay.pendingHandOvers(), 0);
        QCOMPARE(logLines(tmp),
                 (QList<QByteArray>{"RCVD:" + command("5001", 'N'), "RCVD:" + command("5002", 'S'),
                                    "RCVD:" + command("5003", 'E')}));
    }

    void handOverWithoutReceiveFolderIsReported()
    {
        TempGameFolder tmp;
        QVERIFY(QDir(tmp.file("Receive")).removeRecursively());
        CommandRelay relay(GameFolder(tmp.path()), Role::Client);
        TextBox box;
        relay.setOutputBox(&box);
        QSignalSpy failed(&relay, &CommandRelay::handOverFailed);
        relay.handOver(command("5001", 'N'));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(relay.pendingHandOvers(), 0);
        QVERIFY(box.m_text.startsWith("RECEIVED:\r\nNOT HANDED OVER ("));
        QVERIFY(!QFile::exists(tmp.file("GameLog.txt")));
    }
};

QTEST_GUILESS_MAIN(TestCommandRelay)
#include "tst_commandrelay.moc"
