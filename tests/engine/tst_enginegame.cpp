#include "armies.h"
#include "tempgamefolder.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

/// A test-side stand-in for the two connectors: moves each command that one
/// engine writes into the other engine's Receive folder, converted to the
/// other view (object number reversed, N/S and E/W exchanged).
class Relay : public QObject
{
public:
    Relay(const TempGameFolder &host, const TempGameFolder &client, int objectCount)
        : m_host(host), m_client(client), m_count(objectCount)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            carry(m_host, m_client, &hostSent);
            carry(m_client, m_host, &clientSent);
        });
        m_timer.start(5);
    }

    QList<QByteArray> hostSent;
    QList<QByteArray> clientSent;

private:
    void carry(const TempGameFolder &from, const TempGameFolder &to, QList<QByteArray> *sent)
    {
        const QString source = from.file(QStringLiteral("Send/AICommand.xml"));
        const QString target = to.file(QStringLiteral("Receive/AICommand.xml"));
        if (!QFile::exists(source) || QFile::exists(target))
            return;
        QByteArray command = from.read(QStringLiteral("Send/AICommand.xml"));
        QVERIFY(QFile::remove(source));
        QVERIFY(command.endsWith("\r\n"));
        command.chop(2);
        sent->append(command);
        const int id = command.mid(23, 4).toInt();
        command.replace(23, 4, QByteArray::number((m_count + 5000) - id + 5001));
        static const QByteArray turn = "SNWE";
        command[40] = turn.at(QByteArray("NSEW").indexOf(command.at(40)));
        QVERIFY(to.write(QStringLiteral("Receive/AICommand.tmp"), command + "\r\n"));
        QVERIFY(QFile::rename(to.file(QStringLiteral("Receive/AICommand.tmp")), target));
    }

    const TempGameFolder &m_host;
    const TempGameFolder &m_client;
    int m_count;
    QTimer m_timer;
};

void prepare(const TempGameFolder &folder, bool host, const QByteArray &save,
             const QByteArray &script)
{
    QVERIFY(folder.installEngine());
    const QByteArray saveName = host ? "HostGame.sav" : "ClientGame.sav";
    QVERIFY(folder.write(QStringLiteral("Control.ini"), "Castle.map\r\n" + saveName + "\r\n0\r\n" +
                                                            (host ? "Host" : "Client") + "\r\n"));
    // The engine matches names without regard to letter case.
    QVERIFY(folder.write(QString::fromLatin1(saveName.toUpper()), save));
    if (!script.isEmpty())
        QVERIFY(folder.write(QStringLiteral("EngineScript.txt"), script));
}

std::unique_ptr<QProcess> startEngine(const TempGameFolder &folder)
{
    auto process = std::make_unique<QProcess>();
    process->setProgram(folder.file(QStringLiteral("HvdAIS2p.EXE")));
    process->setWorkingDirectory(folder.path());
    process->start();
    return process;
}

Armies::Rows boardRows(const QByteArray &dump)
{
    Armies::Rows rows;
    for (const QByteArray &line : dump.split('\n'))
        rows.append(line.endsWith('\r') ? line.chopped(1) : line);
    return rows;
}

QList<QByteArray> logLines(const TempGameFolder &folder, const char *prefix)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : folder.read(QStringLiteral("EngineLog.txt")).split('\n')) {
        if (line.startsWith(prefix))
            lines.append(line.mid(int(qstrlen(prefix))).chopped(1));
    }
    return lines;
}

} // namespace

class TestEngineGame : public QObject
{
    Q_OBJECT

private slots:
    void twoEnginesPlayOneGame_data()
    {
        QTest::addColumn<QByteArray>("hostScript");
        QTest::addColumn<QByteArray>("clientScript");
        QTest::addColumn<int>("moves");
        QTest::newRow("random") << QByteArray("moves 30 7\r\nidle-exit 20\r\n")
                                << QByteArray("moves 30 11\r\nidle-exit 20\r\n") << 30;
        // The host's flag 5005 takes the client's flag right above it, which
        // the client then can no longer move: that listed move is skipped,
        // not sent, and the next one is played in its place.
        QTest::newRow("listed with a capture")
            << QByteArray("move 5005 N\r\nmove 5005 W\r\nmove 5006 E\r\nidle-exit 20\r\n")
            << QByteArray("move 5022 N\r\nmove 5025 N\r\nmove 5023 E\r\n"
                          "move 5024 S\r\nidle-exit 20\r\n")
            << 3;
    }

    void twoEnginesPlayOneGame()
    {
        QFETCH(QByteArray, hostScript);
        QFETCH(QByteArray, clientScript);
        QFETCH(int, moves);
        Armies::Rows hostArmy = Armies::standard(20, 0);
        Armies::Rows clientArmy = Armies::standard(3, 30);
        // In the host's view: the client's flags on rows 0 to 2 (5001 to
        // 5003), its flag of kind 6 on 20,5 (5004) right above the host's
        // flag of kind 4 on 21,5 (5005), the host's army on rows 36 to 39.
        Armies::put(&hostArmy, 21, 5, "004");
        Armies::put(&clientArmy, 19, 34, "006");
        const int count = 25;

        TempGameFolder host;
        TempGameFolder client;
        prepare(host, true, Armies::save(hostArmy, clientArmy), hostScript);
        prepare(client, false, Armies::save(clientArmy, hostArmy), clientScript);
        Relay relay(host, client, count);
        auto hostEngine = startEngine(host);
        auto clientEngine = startEngine(client);
        QSignalSpy hostDone(hostEngine.get(), &QProcess::finished);
        QSignalSpy clientDone(clientEngine.get(), &QProcess::finished);
        QTRY_VERIFY_WITH_TIMEOUT(hostDone.size() == 1 && clientDone.size() == 1, 20000);
        QCOMPARE(hostEngine->exitCode(), 0);
        QCOMPARE(clientEngine->exitCode(), 0);

        // Every command went out in the engine's own numbering and arrived in
        // the other's, strictly in turns.
        QCOMPARE(relay.hostSent.size(), moves);
        QCOMPARE(relay.clientSent.size(), moves);
        QCOMPARE(logLines(host, "SENT:"), relay.hostSent);
        QCOMPARE(logLines(client, "SENT:"), relay.clientSent);
        QCOMPARE(logLines(host, "RCVD:").size(), moves);
        QCOMPARE(logLines(client, "RCVD:").size(), moves);
        const QList<QByteArray> hostLog = boardRows(host.read(QStringLiteral("EngineLog.txt")));
        QVERIFY(hostLog.first().startsWith("SENT:"));
        QVERIFY(hostLog.at(1).startsWith("RCVD:"));
        QVERIFY(
            boardRows(client.read(QStringLiteral("EngineLog.txt"))).first().startsWith("RCVD:"));

        const Armies::Rows hostBoard = boardRows(host.read(QStringLiteral("EngineBoard.txt")));
        const Armies::Rows clientBoard = boardRows(client.read(QStringLiteral("EngineBoard.txt")));
        QCOMPARE(hostBoard.size(), 42); // role line, 40 rows, nothing after the last CR LF
        QCOMPARE(hostBoard.first(), QByteArray("Host"));
        QCOMPARE(clientBoard.first(), QByteArray("Client"));
        QCOMPARE(Armies::mirrored(hostBoard.mid(1, 40)), clientBoard.mid(1, 40));
        // The flags really moved.
        QVERIFY(hostBoard.mid(1, 40) != Armies::mark(hostArmy, 'B'));

        if (moves == 3) {
            QCOMPARE(hostBoard.at(1 + 20).mid(5 * 4, 4), QByteArray("000 "));
            QCOMPARE(hostBoard.at(1 + 20).mid(4 * 4, 4), QByteArray("B04 "));
            QVERIFY(!host.read(QStringLiteral("EngineBoard.txt")).contains("R06"));
            QCOMPARE(logLines(client, "SKIP:").size(), 1);
            QVERIFY(logLines(client, "SKIP:").first().contains("taken"));
            QVERIFY(logLines(host, "SKIP:").isEmpty());
        }
    }

    void commandWaitingAtStartIsTaken()
    {
        // The host's first move can reach the client's folder before the
        // client's engine runs; nobody answers, so the engine ends idle.
        TempGameFolder client;
        const Armies::Rows army = Armies::standard(12, 0);
        prepare(client, false, Armies::save(army, army), "moves 2 1\r\nidle-exit 1\r\n");
        QVERIFY(client.write(QStringLiteral("Receive/AICommand.xml"),
                             "<Root><Command FlagID='5001' Direction='S' "
                             "SerpentJump='No'/></Root>\r\n"));
        auto engine = startEngine(client);
        QVERIFY(engine->waitForFinished(10000));
        QCOMPARE(engine->exitCode(), 2);
        QVERIFY(!QFile::exists(client.file(QStringLiteral("Receive/AICommand.xml"))));
        QCOMPARE(logLines(client, "RCVD:").size(), 1);
        QCOMPARE(logLines(client, "SENT:").size(), 1);
        QVERIFY(QFile::exists(client.file(QStringLiteral("Send/AICommand.xml"))));
        const Armies::Rows board = boardRows(client.read(QStringLiteral("EngineBoard.txt")));
        QCOMPARE(board.first(), QByteArray("Client"));
        // 5001, the first flag in reading order, moved S from row 0.
        QCOMPARE(board.at(1 + 0).mid(33 * 4, 4), QByteArray("000 "));
        QCOMPARE(board.at(1 + 1).mid(33 * 4, 4), QByteArray("R09 "));
    }

    void unusableFilesEndTheEngine()
    {
        TempGameFolder folder;
        QVERIFY(folder.installEngine());
        auto engine = startEngine(folder);
        QVERIFY(engine->waitForFinished(10000));
        QCOMPARE(engine->exitCode(), 1);
        QVERIFY(folder.read(QStringLiteral("EngineLog.txt")).startsWith("ERROR: "));

        QVERIFY(folder.write(QStringLiteral("Control.ini"),
                             "Castle.map\r\nHostGame.sav\r\n0\r\nHost\r\n"));
        QVERIFY(folder.write(QStringLiteral("HostGame.sav"), "Castle\r\n000 000 \r\n"));
        engine = startEngine(folder);
        QVERIFY(engine->waitForFinished(10000));
        QCOMPARE(engine->exitCode(), 1);
        QVERIFY(folder.read(QStringLiteral("EngineLog.txt")).contains("board rows"));
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("Send/AICommand.xml"))));
    }
};

QTEST_GUILESS_MAIN(TestEngineGame)
#include "tst_enginegame.moc"
