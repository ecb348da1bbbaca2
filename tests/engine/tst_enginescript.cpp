#include "enginescript.h"

#include <QTest>

class TestEngineScript : public QObject
{
    Q_OBJECT

private slots:
    void directives()
    {
        QStringList warnings;
        EngineScript script = EngineScript::parse(
            {"moves 7 3", "# a comment", "PLAYER Person", "window hidden", "snapshot 12 shot.png",
             "player nobody", "window half", "snapshot many shot.png", "delay 5"},
            &warnings);
        QVERIFY(script.person && script.windowHidden);
        QCOMPARE(script.snapshotMoves, 12);
        QCOMPARE(script.snapshotFile, QByteArray("shot.png"));
        QCOMPARE(script.delayMs, 5);
        // A person may take as long as they like unless the script says.
        QCOMPARE(script.idleExitSeconds, 0);
        QCOMPARE(warnings.size(), 3);

        script = EngineScript::parse({"player person", "idle-exit 30"}, &warnings);
        QCOMPARE(script.idleExitSeconds, 30);
        // The old scripts keep their meaning: the script plays, in a window.
        script = EngineScript::parse({"moves 4"}, nullptr);
        QVERIFY(!script.person && !script.windowHidden);
        QCOMPARE(script.idleExitSeconds, 120);
        QCOMPARE(script.snapshotMoves, -1);
        // Without a script file a person plays.
        QVERIFY(EngineScript::personal().person);
    }
};

QTEST_GUILESS_MAIN(TestEngineScript)
#include "tst_enginescript.moc"
