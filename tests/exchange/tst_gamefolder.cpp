#include "gamefolder.h"
#include "startsequence.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QTest>

class TestGameFolder : public QObject
{
    Q_OBJECT

private slots:
    void namesMatchWithoutLetterCase()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write(QStringLiteral("HostGame.sav"), "x\r\n"));
        QVERIFY(folder.fileExists(QStringLiteral("HostGame.Sav")));
        QVERIFY(folder.writeValue(QStringLiteral("HOSTGAME.SAV"), "new"));
        // One file: the existing spelling was reused, no twin was created.
        QCOMPARE(QDir(tmp.path())
                     .entryList({QStringLiteral("*.sav")}, QDir::Files, QDir::IgnoreCase)
                     .size(),
                 1);
        QCOMPARE(tmp.read(QStringLiteral("HostGame.sav")), QByteArray("new\r\n"));
        // Folder parts and backslash names too.
        QVERIFY(folder.writeValue(QStringLiteral("\\SEND\\aicommand.XML"), "cmd"));
        QCOMPARE(tmp.read(QStringLiteral("Send/aicommand.XML")), QByteArray("cmd\r\n"));
        QVERIFY(folder.fileExists(QStringLiteral("\\Send\\AICommand.xml")));
    }

    void valuesAndLines()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(folder.writeValue(QStringLiteral("a.txt"), "one\r\n"));
        QVERIFY(folder.appendValue(QStringLiteral("A.TXT"), "two"));
        // A value that ends in CR LF leaves an empty line behind it.
        QCOMPARE(tmp.read(QStringLiteral("a.txt")), QByteArray("one\r\n\r\ntwo\r\n"));
        QList<QByteArray> lines;
        QVERIFY(folder.readLines(QStringLiteral("a.txt"), &lines));
        QCOMPARE(lines, (QList<QByteArray>{"one", "", "two"}));
        QCOMPARE(GameFolder::splitLines("a\nb\r\nc"), (QList<QByteArray>{"a", "b", "c"}));
        QCOMPARE(GameFolder::splitLines("a\rb\r\n"), (QList<QByteArray>{"a\rb"}));
        // Bytes above 127 survive the round trip unchanged.
        const QByteArray high("\xe9\xff\x80", 3);
        QVERIFY(folder.writeBytes(QStringLiteral("b.txt"), high));
        QByteArray back;
        QVERIFY(folder.readAll(QStringLiteral("b.txt"), &back));
        QCOMPARE(back, high);
        QCOMPARE(GameFolder::fromDisplay(GameFolder::toDisplay(high)), high);
        QString error;
        QVERIFY(!folder.readAll(QStringLiteral("missing.txt"), &back, &error));
        QVERIFY(error.contains(QStringLiteral("missing.txt")));
    }

    void staleCommandsAreClearedButFoldersKept()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), "<Root>old</Root>\r\n"));
        QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("Receive/AICommand.xml")));
        folder.clearStaleCommands();
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Send/AICommand.xml"))));
        QVERIFY(QFileInfo(tmp.file(QStringLiteral("Receive/AICommand.xml"))).isDir());
        QVERIFY(!folder.fileExists(QStringLiteral("\\Receive\\AICommand.xml")));
    }

    void listMatchesPatternsWithoutCase()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        for (const char *name : {"Castle.map", "castle_1.ARM", "MyCastle2.arm", "Valley.arm"})
            QVERIFY(tmp.write(QLatin1String(name), "x"));
        QCOMPARE(folder.list(QStringLiteral("*Castle*.arm")),
                 (QStringList{"castle_1.ARM", "MyCastle2.arm"}));
        QCOMPARE(folder.list(QStringLiteral("*.map")), QStringList{"Castle.map"});
        QVERIFY(folder.list(QStringLiteral("nothing.nothing")).isEmpty());
    }

    void controlIniAndGameLogForBothRoles()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        const QDateTime when(QDate(2026, 12, 5), QTime(19, 49, 24));
        QString error;
        // No engine in the folder: the files are written, the start is refused
        // with a message that names the program.
        QVERIFY(!StartSequence::run(folder, Role::Host, "Castle.map", true, &error, when));
        QVERIFY(error.contains(QStringLiteral("HvdAIS2p.EXE")));
        QCOMPARE(tmp.read(QStringLiteral("Control.ini")),
                 QByteArray("Castle.map\r\nHostGame.sav\r\n1\r\nHost\r\n"));
        QCOMPARE(tmp.read(QStringLiteral("GameLog.txt")),
                 QByteArray("GameLog: 12-05-2026 19:49:24\r\n"));
        QVERIFY(folder.appendValue(QStringLiteral("GameLog.txt"), "SENT:x"));
        StartSequence::run(folder, Role::Client, "Castle.map", false, &error,
                           QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
        QCOMPARE(tmp.read(QStringLiteral("Control.ini")),
                 QByteArray("Castle.map\r\nClientGame.sav\r\n0\r\nClient\r\n"));
        // A second game starts a new log.
        QCOMPARE(tmp.read(QStringLiteral("GameLog.txt")),
                 QByteArray("GameLog: 01-02-2027 03:04:05\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestGameFolder)
#include "tst_gamefolder.moc"
