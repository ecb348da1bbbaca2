#include "armyflip.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QTest>

namespace {

/// A row of 40 cells "c00 " .. "c39 " whose codes tell the cell's column.
QByteArray numberedRow(int cells = 40)
{
    QByteArray row;
    for (int i = 0; i < cells; ++i)
        row += 'c' + QByteArray::number(i).rightJustified(2, '0') + ' ';
    return row;
}

} // namespace

class TestArmyFlip : public QObject
{
    Q_OBJECT

private slots:
    void halfTurnReversesCellsWithoutPadding()
    {
        const QByteArray turned = halfTurnRow(numberedRow());
        QCOMPARE(turned.size(), 160);
        QVERIFY(turned.startsWith("c39 c38 "));
        QVERIFY(turned.endsWith("c01 c00 "));
        QCOMPARE(halfTurnRow(turned), numberedRow());

        // A row of 30 cells gives those 30 reversed, nothing added.
        const QByteArray shortRow = halfTurnRow(numberedRow(30));
        QCOMPARE(shortRow.size(), 120);
        QVERIFY(shortRow.startsWith("c29 "));
        QVERIFY(shortRow.endsWith("c00 "));
        // A cut cell keeps what it has; characters past the 160th are dropped.
        QCOMPARE(halfTurnRow("001 00"), QByteArray("00001 "));
        QCOMPARE(halfTurnRow(numberedRow() + "EXTRA"), halfTurnRow(numberedRow()));
        QCOMPARE(halfTurnRow(QByteArray()), QByteArray());
    }

    void sideLettersHitOnlyFlagCodes()
    {
        QCOMPARE(markSide("001 012 013 000 010 ", 'B'), QByteArray("B01 B12 013 000 B10 "));
        QCOMPARE(markSide("005 005 011 ", 'R'), QByteArray("R05 R05 R11 "));
        QCOMPARE(markSide("000 100 ", 'R'), QByteArray("000 100 "));
    }

    void flipArmySaveDropsHeaderAndStartsWithEmptyLine()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        // Two rows and a blank line between them, as a file ending in CR LF
        // CR LF like the one the host writes from the army buffer.
        QVERIFY(tmp.write("In.arm", "Header\r\n001 002 \r\n\r\n003 \r\n\r\n"));
        QString error;
        QVERIFY(FlipArmySave(folder, "IN.ARM", "Out.tmp", &error));
        // Rows reversed, blank lines kept as blank rows, the header dropped.
        QCOMPARE(tmp.read("Out.tmp"), QByteArray("\r\n\r\n003 \r\n\r\n002 001 \r\n"));
    }

    void flipSaveKeepsFirstLineAndSkipsBlankLines()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write("HostGame.tmp", "Castle\r\nB01 000 \r\n   \r\n\r\nR02 R03 \n"));
        QString error;
        QVERIFY(FlipSave(folder, "HostGame.tmp", "ClientGame.sav", &error));
        QCOMPARE(tmp.read("ClientGame.sav"), QByteArray("Castle\r\nR03 R02 \r\n000 B01 \r\n"));

        // A full army goes back to itself when half-turned twice.
        QByteArray body = "Map\r\n";
        for (int r = 0; r < 40; ++r)
            body += numberedRow().replace("c0", "r" + QByteArray::number(r % 10)) + "\r\n";
        QVERIFY(tmp.write("Twice.tmp", body));
        QVERIFY(FlipSave(folder, "Twice.tmp", "Once.tmp", &error));
        QVERIFY(tmp.read("Once.tmp") != body);
        QVERIFY(FlipSave(folder, "Once.tmp", "Back.tmp", &error));
        QCOMPARE(tmp.read("Back.tmp"), body);
    }

    void failuresReportErrorText()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QString error;
        QVERIFY(!FlipArmySave(folder, "Missing.arm", "Out.tmp", &error));
        QVERIFY(error.contains("Missing.arm"));
        QVERIFY(!QFile::exists(tmp.file("Out.tmp")));

        QVERIFY(tmp.write("Empty.tmp", ""));
        error.clear();
        QVERIFY(!FlipSave(folder, "Empty.tmp", "Out.tmp", &error));
        QVERIFY(!error.isEmpty());

        // The output name is taken by a folder: the write fails.
        QVERIFY(tmp.write("In.tmp", "Map\r\n001 \r\n"));
        QVERIFY(QDir(tmp.path()).mkdir("Taken.sav"));
        error.clear();
        QVERIFY(!FlipSave(folder, "In.tmp", "Taken.sav", &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!FlipArmySave(folder, "In.tmp", "Taken.sav", nullptr));
    }

    void objectCountAndNumbers()
    {
        QCOMPARE(maxCount("B01 R02 b03 r04 000 \r\nB12 "), qint16(3));
        QCOMPARE(maxCount(QByteArray()), qint16(0));
        // More side letters than 16 bits hold wrap instead of overflowing.
        QCOMPARE(maxCount(QByteArray(40000, 'R')), qint16(40000 - 65536));
        QCOMPARE(maxCount(QByteArray(65536, 'B')), qint16(0));

        QCOMPARE(flipObjectID(24, 5001), qint16(5024));
        QCOMPARE(flipObjectID(24, 5024), qint16(5001));
        QCOMPARE(flipObjectID(24, 5003), qint16(5022));
        QCOMPARE(flipObjectID(43, 5001), qint16(5043));
        QCOMPARE(flipObjectID(43, 5022), qint16(5022)); // the middle flag of an odd count
        // Every number maps back, also where the 16-bit sum wraps.
        for (const qint16 count :
             {qint16(0), qint16(24), qint16(30000), qint16(32767), qint16(-5)}) {
            for (const qint16 id :
                 {qint16(5001), qint16(5012), qint16(-32768), qint16(32767), qint16(0)})
                QCOMPARE(flipObjectID(count, flipObjectID(count, id)), id);
        }
        QCOMPARE(flipObjectID(32767, 5001), qint16(32767 + 5000 - 65536));
    }
};

QTEST_GUILESS_MAIN(TestArmyFlip)
#include "tst_armyflip.moc"
