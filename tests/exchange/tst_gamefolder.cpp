#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QTest>

class TestGameFolder : public QObject
{
    Q_OBJECT

private slots:
    void namesMatchWithoutLetterCaseAndValuesEndInCrLf()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write("HostGame.sav", "x\r\n"));
        QVERIFY(folder.fileExists("HostGame.Sav"));
        QVERIFY(folder.writeValue("HOSTGAME.SAV", "new"));
        // One file: the existing spelling was reused, no twin was created.
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{"HostGame.sav"});
        QCOMPARE(tmp.read("HostGame.sav"), QByteArray("new\r\n"));
        // Folder parts and backslash names too.
        QVERIFY(folder.writeValue("\\SEND\\aicommand.XML", "cmd"));
        QCOMPARE(tmp.read("Send/aicommand.XML"), QByteArray("cmd\r\n"));
        for (const char *name : {"Castle.map", "castle_1.ARM", "MyCastle2.arm", "Valley.arm"})
            QVERIFY(tmp.write(name, "x"));
        QCOMPARE(folder.list("*Castle*.arm"), (QStringList{"castle_1.ARM", "MyCastle2.arm"}));
        QVERIFY(folder.writeValue("a.txt", "one\r\n"));
        QVERIFY(folder.appendValue("A.TXT", "two"));
        // A value that ends in CR LF leaves an empty line behind it.
        QCOMPARE(tmp.read("a.txt"), QByteArray("one\r\n\r\ntwo\r\n"));
        QList<QByteArray> lines;
        QVERIFY(folder.readLines("a.txt", &lines));
        QCOMPARE(lines, (QList<QByteArray>{"one", "", "two"}));
        QCOMPARE(GameFolder::splitLines("a\rb\r\n"), (QList<QByteArray>{"a\rb"}));
        // Bytes above 127 survive the round trip unchanged.
        const QByteArray high("\xe9\xff\x80", 3);
        QVERIFY(folder.writeBytes("b.txt", high));
        QByteArray back;
        QVERIFY(folder.readAll("b.txt", &back));
        QCOMPARE(back, high);
        QCOMPARE(GameFolder::fromDisplay(GameFolder::toDisplay(high)), high);
    }
};

QTEST_GUILESS_MAIN(TestGameFolder)
#include "tst_gamefolder.moc"
