#include "../engine/armies.h"
#include "gamefolder.h"
#include "startsequence.h"
#include "tempgamefolder.h"

#include <QTest>

// The start sequence of the session windows with the stand-in engine in the
// game folder: the engine must find Control.ini and the save file named there
// and play from the side that Control.ini gives (the client side is played
// in the engine's own tests).
class TestEngineStart : public QObject
{
    Q_OBJECT

private slots:
    void startedEnginePlaysItsRole()
    {
        TempGameFolder tmp;
        QVERIFY(tmp.installEngine());
        // A save file with one flag of each kind on the host's last row and
        // the opponent's twelve on the row beyond it.
        QList<std::array<int, 3>> flags;
        for (int kind = 1; kind <= 12; ++kind)
            flags.append({39, kind * 3, kind});
        const Armies::Rows army = Armies::army(flags);
        QVERIFY(tmp.write(QStringLiteral("HostGame.sav"), Armies::save(army, army)));
        QVERIFY(tmp.write(QStringLiteral("EngineScript.txt"), "moves 1 3\r\nidle-exit 1\r\n"));
        const GameFolder folder(tmp.path());

        QString error;
        QVERIFY2(StartSequence::run(folder, Role::Host, "Castle.map", false, &error),
                 qPrintable(error));
        // The host moves first, without waiting for anybody.
        QTRY_VERIFY_WITH_TIMEOUT(folder.fileExists(QStringLiteral("\\Send\\AICommand.xml")), 10000);
        QByteArray command;
        QVERIFY(folder.readFirstLine(QStringLiteral("\\Send\\AICommand.xml"), &command));
        QVERIFY(command.startsWith("<Root><Command FlagID='50"));
        // With no answer it gives up and leaves its board, seen from the host.
        QTRY_VERIFY_WITH_TIMEOUT(folder.fileExists(QStringLiteral("EngineBoard.txt")), 10000);
        QList<QByteArray> board;
        QVERIFY(folder.readLines(QStringLiteral("EngineBoard.txt"), &board));
        QCOMPARE(board.first(), QByteArray("Host"));
        QList<QByteArray> log;
        QVERIFY(folder.readLines(QStringLiteral("EngineLog.txt"), &log));
        QCOMPARE(log, QList<QByteArray>{"SENT:" + command});
    }
};

QTEST_GUILESS_MAIN(TestEngineStart)
#include "tst_enginestart.moc"
