#include "armies.h"
#include "enginecommand.h"
#include "enginefolder.h"
#include "tempgamefolder.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

namespace {

/// Stands in for the two connectors: moves a command that one engine wrote
/// into the other engine's Receive folder, converted to the other view
/// (object number reversed, N/S and E/W exchanged).
void carry(const TempGameFolder &from, const TempGameFolder &to, int count, QList<QByteArray> *sent)
{
    const QString source = from.file(QStringLiteral("Send/AICommand.xml"));
    const QString target = to.file(QStringLiteral("Receive/AICommand.xml"));
    if (!QFile::exists(source) || QFile::exists(target))
        return;
    QByteArray command = from.read(QStringLiteral("Send/AICommand.xml"));
    QVERIFY(QFile::remove(source) && command.endsWith("\r\n"));
    sent->append(command.chopped(2));
    command.replace(23, 4, QByteArray::number((count + 5000) - command.mid(23, 4).toInt() + 5001));
    command[40] = QByteArray("SNWE").at(QByteArray("NSEW").indexOf(command.at(40)));
    QVERIFY(to.write(QStringLiteral("Receive/AICommand.tmp"), command));
    QVERIFY(QFile::rename(to.file(QStringLiteral("Receive/AICommand.tmp")), target));
}

/// Starts the engine in a game folder, after writing its control file (the
/// role "Host" or "Client"), save file and script unless they are empty.
std::unique_ptr<QProcess> startEngine(const TempGameFolder &folder, const QByteArray &role = {},
                                      const QByteArray &save = {}, const QByteArray &script = {})
{
    [&] {
        if (!QFile::exists(folder.file(QStringLiteral("HvdAIS2p.EXE"))))
            QVERIFY(folder.installEngine());
        if (!role.isEmpty())
            QVERIFY(folder.write(QStringLiteral("Control.ini"),
                                 "Castle.map\r\n" + role + "Game.sav\r\n0\r\n" + role + "\r\n"));
        // The engine matches names without regard to letter case.
        if (!save.isEmpty())
            QVERIFY(folder.write(QString::fromLatin1(role.toUpper() + "GAME.SAV"), save));
        if (!script.isEmpty())
            QVERIFY(folder.write(QStringLiteral("EngineScript.txt"), script));
    }();
    auto process = std::make_unique<QProcess>();
    process->setProgram(folder.file(QStringLiteral("HvdAIS2p.EXE")));
    process->setWorkingDirectory(folder.path());
    process->start();
    return process;
}

QList<QByteArray> logLines(const TempGameFolder &folder, const char *prefix)
{
    QList<QByteArray> lines;
    for (const QByteArray &line : Armies::lines(folder.read(QStringLiteral("EngineLog.txt")))) {
        if (line.startsWith(prefix))
            lines.append(line.mid(int(qstrlen(prefix))));
    }
    return lines;
}

} // namespace

class TestEngineGame : public QObject
{
    Q_OBJECT

private slots:
    // Two random armies that share cells play out whole games through the
    // connectors (e2e/tst_tcpgame); here scripted moves meet stacked flags
    // and a capture.
    void twoEnginesPlayListedStackedAndCapturingMoves()
    {
        // In the host's view, by number: client flags 5001 on 0,9 and 5002 on
        // 20,5; host flag 5003 on 21,5; host 5004 and client 5005 both on
        // 25,10; host 5006 and client 5007 both on 30,30; host 5008 on 38,0.
        const Armies::Rows hostArmy =
            Armies::army({{21, 5, 4}, {25, 10, 7}, {30, 30, 9}, {38, 0, 1}});
        const Armies::Rows clientArmy =
            Armies::army({{39, 30, 1}, {19, 34, 6}, {14, 29, 8}, {9, 9, 10}});
        const QByteArray hostSave = Armies::save(hostArmy, clientArmy);

        TempGameFolder host;
        TempGameFolder client;
        QList<QByteArray> hostSent;
        QList<QByteArray> clientSent;
        QTimer relay;
        connect(&relay, &QTimer::timeout, this, [&] {
            carry(host, client, Armies::objectCount(hostSave), &hostSent);
            carry(client, host, Armies::objectCount(hostSave), &clientSent);
        });
        relay.start(5);
        // Both flags of 25,10 move away; the host's 5003 takes the client's
        // 5002, whose listed move the client then skips (its 5007 there).
        auto hostEngine = startEngine(
            host, "Host", hostSave,
            "move 5004 E\r\nmove 5003 N\r\nmove 5003 W\r\nidle-exit 20\r\nwindow hidden\r\n");
        auto clientEngine = startEngine(client, "Client", Armies::save(clientArmy, hostArmy),
                                        "move 5004 N\r\nmove 5007 N\r\nmove 5004 W\r\nmove 5008 "
                                        "N\r\nidle-exit 20\r\nwindow hidden\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(hostEngine->state() == QProcess::NotRunning &&
                                     clientEngine->state() == QProcess::NotRunning,
                                 20000);
        QCOMPARE(hostEngine->exitCode(), 0);
        QCOMPARE(clientEngine->exitCode(), 0);

        // Strictly in turns, the host first; every command arrived in the
        // other engine's numbering and could be made there.
        QCOMPARE(hostSent.size(), 3);
        QCOMPARE(clientSent.size(), 3);
        QCOMPARE(logLines(host, "SENT:"), hostSent);
        QCOMPARE(logLines(client, "SENT:"), clientSent);
        const Armies::Rows hostLog = Armies::lines(host.read(QStringLiteral("EngineLog.txt")));
        QVERIFY(hostLog.at(0).startsWith("SENT:") && hostLog.at(1).startsWith("RCVD:"));
        QVERIFY(logLines(host, "SKIP:").isEmpty());
        QCOMPARE(logLines(client, "SKIP:"),
                 QList<QByteArray>{EngineCommand::format({5007, 'N'}) + " (flag already taken)"});

        const Armies::Rows hostBoard = Armies::lines(host.read(QStringLiteral("EngineBoard.txt")));
        const Armies::Rows clientBoard =
            Armies::lines(client.read(QStringLiteral("EngineBoard.txt")));
        QCOMPARE(hostBoard.size(), 41);
        QCOMPARE(hostBoard.first(), QByteArray("Host"));
        QCOMPARE(clientBoard.first(), QByteArray("Client"));
        QCOMPARE(Armies::halfTurn(hostBoard.mid(1), true), clientBoard.mid(1));
        const auto at = [&hostBoard](int row, int column) {
            return hostBoard.at(1 + row).mid(column * 4, 4);
        };
        QCOMPARE(at(20, 4) + at(20, 5) + at(25, 10) + at(25, 11) + at(26, 11) + at(30, 30),
                 QByteArray("B04 000 000 B07 R08 B09 "));
    }

    void unusableFilesEndTheEngine()
    {
        TempGameFolder folder;
        auto engine =
            startEngine(folder, "Host", "Castle\r\n000 000 \r\n", "moves 3 1\r\nwindow hidden\r\n");
        QVERIFY(engine->waitForFinished(10000));
        QCOMPARE(engine->exitCode(), 1);
        QVERIFY(folder.read(QStringLiteral("EngineLog.txt")).startsWith("ERROR: "));
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("Send/AICommand.xml"))));
        // A save file too large to be a game file is not read.
        QVERIFY(folder.write(QStringLiteral("HostGame.sav"),
                             QByteArray(EngineFolder::MaxFileBytes + 1, '0')));
        engine = startEngine(folder);
        QVERIFY(engine->waitForFinished(10000));
        QCOMPARE(engine->exitCode(), 1);
        QVERIFY(folder.read(QStringLiteral("EngineLog.txt")).contains("larger than"));
        QVERIFY(QFile::remove(folder.file(QStringLiteral("Control.ini"))));
        engine = startEngine(folder);
        QVERIFY(engine->waitForFinished(10000));
        QCOMPARE(engine->exitCode(), 1);
    }
};

QTEST_GUILESS_MAIN(TestEngineGame)
#include "tst_enginegame.moc"
