#include "mapfile.h"
#include "palette.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QTest>

using Lines = QList<QByteArray>;

namespace {

QByteArray row(const QByteArray &code)
{
    return (code + ' ').repeated(40);
}

/// A file the editor's way: 40 rows of one code, "[FLAGS]", the flag lines.
QByteArray uniformFile(const QByteArray &code, const Lines &flags, const QByteArray &end = "\r\n")
{
    QByteArray bytes = (row(code) + end).repeated(40) + "[FLAGS]" + end;
    for (const QByteArray &flag : flags)
        bytes += flag + end;
    return bytes;
}

const Lines zeros(12, "0");
const Lines oneToTwelve = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"};

} // namespace

class TestMapFile : public QObject
{
    Q_OBJECT

private slots:
    void writtenMapReadsBackCellForCell()
    {
        TempGameFolder tmp;
        MapData map;
        const Lines codes = Palette::knownCodes();
        for (int k = 0; k < MapData::CellCount; ++k)
            map.cells[k] = codes.at((k * 7) % codes.size());
        map.setCell(40, 1, "q9\t"); // unknown, and a tab is no space
        map.flags = {" 3 ", "2", "", "  ", "12", "0", "x y", "1", "1", "1", "\t4", "9 "};
        QVERIFY(tmp.write(QStringLiteral("Fort.map"), "old contents that are replaced"));
        QString error;
        QVERIFY2(MapFile::write(tmp.path(), QStringLiteral("Fort.map"), map, &error),
                 qPrintable(error));

        // Flags are written trimmed (the layout is checked on the sample maps).
        QVERIFY(tmp.read(QStringLiteral("Fort.map")).contains("\r\n[FLAGS]\r\n3\r\n2\r\n\r\n"));

        MapData back;
        QVERIFY(MapFile::read(tmp.path(), QStringLiteral("Fort.map"), &back, &error));
        QCOMPARE(back.cells, map.cells);
        QCOMPARE(back.flags,
                 (Lines{"3", "2", "", "", "12", "0", "x y", "1", "1", "1", "\t4", "9"}));
        // A name in another letter case is the same map, not a twin beside it.
        QVERIFY(MapFile::write(tmp.path(), QStringLiteral("FORT.MAP"), back, &error));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Fort.map"});
    }

    void readerRebuildsTheGridAndFindsTheFlags_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Lines>("cells"); // the first cells
        QTest::addColumn<QByteArray>("last");
        QTest::addColumn<Lines>("flags");
        const QByteArray grid = (row("M03") + "\r\n").repeated(40);
        // The flags line may have spaces around it; the values are untrimmed.
        QTest::newRow("spaced [FLAGS]")
            << uniformFile("T05", {" 7 ", "2"}).replace("[FLAGS]", " [FLAGS] ") << Lines{"T05"}
            << QByteArray("T05") << Lines{" 7 ", "2"} + Lines(10, "0");
        // Another letter case is grid text behind the cells; the flags stay "0".
        QTest::newRow("[flags]") << uniformFile("T05", oneToTwelve).replace("[FLAGS]", "[flags]")
                                 << Lines{"T05"} << QByteArray("T05") << zeros;
        QTest::newRow("no [FLAGS]") << grid << Lines{"M03"} << QByteArray("M03") << zeros;
        QTest::newRow("thirteen flag lines") << uniformFile("T05", oneToTwelve + Lines{"99"})
                                             << Lines{"T05"} << QByteArray("T05") << oneToTwelve;
        QTest::newRow("lone CR") << uniformFile("W01", Lines(12, "6"), "\r") << Lines{"W01"}
                                 << QByteArray("W01") << Lines(12, "6");
        // LF alone is an ordinary character: the file is one line, the cells
        // after the first row boundary are out of step and no flag is read.
        QTest::newRow("LF only") << uniformFile("W01", Lines(12, "6"), "\n")
                                 << Lines(40, "W01") + Lines{"\nW0", " W0"} << QByteArray("01 ")
                                 << zeros;
        // Blank lines, lines of spaces and spaces at the ends of rows do not
        // matter; the rows may break anywhere.
        QTest::newRow("rows broken anywhere")
            << "\r\n   \r\n" + ("  " + row("X04").left(80) + "  \r\n").repeated(80) << Lines{"X04"}
            << QByteArray("X04") << zeros;
        QTest::newRow("two spaces shift every later cell")
            << uniformFile("T01", zeros).replace(0, 7, "T03  T04") << Lines{"T03", " T0", " T0"}
            << QByteArray(" T0") << zeros;
        QTest::newRow("short grid") << QByteArray("S01 S02 T1\r\n")
                                    << Lines{"S01", "S02", "T1 ", ""} << QByteArray() << zeros;
    }

    void readerRebuildsTheGridAndFindsTheFlags()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Lines, cells);
        QFETCH(QByteArray, last);
        QFETCH(Lines, flags);
        const MapData map = MapFile::parse(bytes);
        QCOMPARE(map.cells.size(), MapData::CellCount);
        QCOMPARE(map.cells.mid(0, cells.size()), cells);
        QCOMPARE(map.cells.last(), last);
        QCOMPARE(map.flags, flags);
    }

    void refusalsAndFailuresAreTold()
    {
        TempGameFolder tmp;
        const QByteArray base = uniformFile("T02", zeros);
        QVERIFY(tmp.write(QStringLiteral("Base.map"), base));
        const MapData good = MapFile::parse(uniformFile("M01", zeros));
        QString error;
        for (const char *name : {"Base.map", "base.map", "BASE.MAP", "./Base.map", ".\\bAsE.map"}) {
            QVERIFY2(!MapFile::write(tmp.path(), QLatin1String(name), good, &error), name);
            QCOMPARE(error, MapFile::refusalText());
        }

        // Maps that would not read back: empty cells, codes of another length
        // or with a space or line break, a flag with a line break.
        const QByteArray grid = (row("T02") + "\r\n").repeated(40);
        MapData map = MapFile::parse(grid.left(grid.size() - 10));
        QVERIFY(!MapFile::write(tmp.path(), QStringLiteral("Short.map"), map, &error));
        QVERIFY2(error.contains(QLatin1String("2 cell(s)")) &&
                     error.contains(QLatin1String("X: 39  Y: 40")),
                 qPrintable(error));
        for (const QByteArray &bad : {QByteArray("T020"), QByteArray("T 2"), QByteArray("T2\r")}) {
            map = good;
            map.setCell(7, 9, bad);
            QVERIFY2(!MapFile::write(tmp.path(), QStringLiteral("Bad.map"), map, &error),
                     bad.constData());
            QVERIFY(error.contains(QLatin1String("X: 7  Y: 9")));
        }
        map = good;
        map.flags[4] = "1\r\n2";
        QVERIFY(!MapFile::write(tmp.path(), QStringLiteral("Flag.map"), map, &error));
        QVERIFY(error.contains(QLatin1String("Flag 5")));

        // Files that cannot be written or read.
        QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("Folder.map")));
        for (const char *name : {"Folder.map", "NoSuchFolder\\x.map", "", "   "}) {
            QVERIFY2(!MapFile::write(tmp.path(), QLatin1String(name), good, &error), name);
            QVERIFY2(error.startsWith(QLatin1String("Not Saved!")), qPrintable(error));
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Base.map"});
        QCOMPARE(tmp.read(QStringLiteral("Base.map")), base);
        map = good;
        QVERIFY(!MapFile::read(tmp.path(), QStringLiteral("Gone.map"), &map, &error));
        QVERIFY2(error.contains(QLatin1String("Gone.map")), qPrintable(error));
        QCOMPARE(map.cells, Lines(1600));
        QCOMPARE(map.flags, zeros);
        QVERIFY(!MapFile::read(tmp.path(), QStringLiteral("Folder.map"), &map, &error));
    }

    void sampleMapsReadAndWriteBackByteForByte()
    {
        const QDir data(QStringLiteral(HVD_DATA_DIR));
        for (const QString &name : data.entryList({QStringLiteral("*.map")}, QDir::Files)) {
            MapData map;
            QVERIFY(MapFile::read(data.path(), name, &map));
            QFile file(data.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(MapFile::serialize(map), file.readAll());
        }
    }
};

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
