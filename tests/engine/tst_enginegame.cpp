// The engine's game on a real game folder: its script, listed moves and the
// files it leaves; and the program itself on files it cannot use.

#include "armies.h"
#include "enginecommand.h"
#include "enginefolder.h"
#include "enginegame.h"

#include <QProcess>
#include <QTest>

class TestEngineGame : public QObject
{
    Q_OBJECT

private slots:
    void scriptDirectives()
    {
        QStringList warnings;
        const EngineScript script = EngineScript::parse(
            {"# a comment", "PLAYER Person", "window hidden", "snapshot 12 shot.png",
             "player nobody", "snapshot many shot.png", "delay 5"},
            &warnings);
        QVERIFY(script.person && script.windowHidden && warnings.size() == 2);
        QCOMPARE(script.snapshotFile + QByteArray::number(script.snapshotMoves) +
                     QByteArray::number(script.delayMs),
                 QByteArray("shot.png125"));
        // A person may take as long as they like; a script gives up after 120 s.
        QCOMPARE(script.idleExitSeconds, 0);
        QCOMPARE(EngineScript::parse({"moves 4"}, nullptr).idleExitSeconds, 120);
    }

    void listedMovesSkipWhatCannotBeMade()
    {
        TempGameFolder folder;
        QVERIFY(setUpHost(folder, "move 5004 N\r\nmove 5002 E\r\nwindow hidden\r\n"));
        EngineGame game(folder.path());
        QString error;
        QVERIFY2(game.start(&error), qPrintable(error));
        QTRY_VERIFY(QFile::exists(folder.file(QStringLiteral("Send/AICommand.xml"))));
        exchange(folder, ArmyTexts::command("5001", 'S'));
        QTRY_VERIFY(game.isOver());
        QCOMPARE(game.exitCode(), int(EngineGame::Finished));
        const QList<QByteArray> log =
            GameFolder::splitLines(folder.read(QStringLiteral("EngineLog.txt")));
        QCOMPARE(log, (QList<QByteArray>{"SKIP:" + ArmyTexts::command("5004", 'N') +
                                             " (target is water)",
                                         "SENT:" + ArmyTexts::command("5002", 'E'),
                                         "RCVD:" + ArmyTexts::command("5001", 'S')}));
        const QList<QByteArray> board =
            GameFolder::splitLines(folder.read(QStringLiteral("EngineBoard.txt")));
        QCOMPARE(QByteArray::number(board.size()) + board.at(0) + board.at(21).mid(31 * 4, 4) +
                     board.at(7).mid(20, 4),
                 QByteArray("41HostB01 R02 "));
    }

    void unusableFilesEndTheProgram_data()
    {
        QTest::addColumn<QByteArray>("save");
        QTest::addColumn<QByteArray>("logged");
        QTest::newRow("short save")
            << QByteArray("Castle\r\n000 000 \r\n") << QByteArray("ERROR: ");
        QTest::newRow("save too large")
            << QByteArray(EngineFolder::MaxFileBytes + 1, '0') << QByteArray("larger than");
        QTest::newRow("no Control.ini") << QByteArray() << QByteArray();
    }

    void unusableFilesEndTheProgram()
    {
        QFETCH(QByteArray, save);
        QFETCH(QByteArray, logged);
        TempGameFolder folder;
        QVERIFY(folder.installEngine());
        if (!save.isEmpty()) {
            // The engine matches names without regard to letter case.
            QVERIFY(setUpHost(folder, "moves 3 1\r\nwindow hidden\r\n"));
            QVERIFY(QFile::remove(folder.file(QStringLiteral("HostGame.sav"))));
            QVERIFY(folder.write(QStringLiteral("HOSTGAME.SAV"), save));
        }
        QProcess engine;
        engine.setWorkingDirectory(folder.path());
        engine.start(folder.file(QStringLiteral("HvdAIS2p.EXE")));
        QVERIFY(engine.waitForFinished(10000));
        QCOMPARE(engine.exitCode(), 1);
        QVERIFY(folder.read(QStringLiteral("EngineLog.txt")).contains(logged));
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("Send/AICommand.xml"))));
    }
};

QTEST_GUILESS_MAIN(TestEngineGame)
#include "tst_enginegame.moc"
