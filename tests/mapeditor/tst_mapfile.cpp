// The map file's reader and writer, and the map check on maps built here,
// read as the connector reads them.

#include "mapcheck.h"
#include "mapfile.h"
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

/// All rock, placement cells at (1, 1) and (2, 2), outside the flag area,
/// with no grass around the second, and four grass cells in the flag area.
MapData smallRoom()
{
    MapData map;
    map.cells.fill("M00");
    map.setCell(1, 1, "X00");
    map.setCell(2, 2, "X05");
    for (const QPoint cell : {QPoint(10, 10), QPoint(11, 10), QPoint(10, 11), QPoint(11, 11)})
        map.setCell(cell.x(), cell.y(), "T03");
    map.flags.fill("0");
    return map;
}

/// The map check's problems, one a line.
QString told(const MapData &map)
{
    return MapCheck(map).problems().join('\n');
}

} // namespace

class TestMapFile : public QObject
{
    Q_OBJECT

private slots:
    void readerRebuildsTheGridAndFindsTheFlags_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Lines>("cells"); // the first three and the last
        QTest::addColumn<Lines>("flags");
        const Lines t05(4, "T05"), w01(4, "W01"), sixes(12, "6");
        // The flags line may have spaces around it; the values are untrimmed.
        QTest::newRow("spaced [FLAGS]")
            << uniformFile("T05", {" 7 ", "2"}).replace("[FLAGS]", " [FLAGS] ") << t05
            << Lines{" 7 ", "2"} + Lines(10, "0");
        // Another letter case is grid text behind the cells; the flags stay "0".
        QTest::newRow("[flags]") << uniformFile("T05", oneToTwelve).replace("[FLAGS]", "[flags]")
                                 << t05 << zeros;
        QTest::newRow("lone CR") << uniformFile("W01", sixes, "\r") << w01 << sixes;
        // LF alone is an ordinary character: the file is one line, the cells
        // after the first row boundary are out of step and no flag is read.
        QTest::newRow("LF only") << uniformFile("W01", sixes, "\n")
                                 << Lines{"W01", "W01", "W01", "01 "} << zeros;
        // Blank lines, lines of spaces and spaces at the ends of rows do not
        // matter; the rows may break anywhere.
        QTest::newRow("rows broken anywhere")
            << "\r\n   \r\n" + ("  " + row("X04").left(80) + "  \r\n").repeated(80)
            << Lines(4, "X04") << zeros;
        QTest::newRow("two spaces shift every later cell")
            << uniformFile("T01", zeros).replace(0, 7, "T03  T04")
            << Lines{"T03", " T0", " T0", " T0"} << zeros;
        QTest::newRow("short grid")
            << QByteArray("S01 S02 T1\r\n") << Lines{"S01", "S02", "T1 ", ""} << zeros;
    }

    void readerRebuildsTheGridAndFindsTheFlags()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Lines, cells);
        QFETCH(Lines, flags);
        const MapData map = MapFile::parse(bytes);
        QCOMPARE(map.cells.size(), MapData::CellCount);
        QCOMPARE(map.cells.mid(0, 3) + Lines{map.cells.last()}, cells);
        QCOMPARE(map.flags, flags);
    }

    void refusalsAndFailuresAreTold_data()
    {
        // Maps that would not read back are refused by canWrite, which the
        // fuzz target (fuzz_map_file) holds to the round trip.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        for (const char *name : {"Base.map", "BASE.MAP", "./Base.map", ".\\bAsE.map"})
            QTest::addRow("name '%s'", name) << name << MapFile::refusalText();
        for (const char *name : {"Folder.map", "NoSuchFolder\\x.map", "", "   "})
            QTest::addRow("name '%s'", name) << name << "Not Saved!";
    }

    void refusalsAndFailuresAreTold()
    {
        QFETCH(QString, name);
        QFETCH(QString, error);
        TempGameFolder tmp;
        const QByteArray base = uniformFile("T02", zeros);
        QVERIFY(tmp.write(QStringLiteral("Base.map"), base));
        QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("Folder.map")));
        QString told;
        QVERIFY(
            !MapFile::write(tmp.path(), name, MapFile::parse(uniformFile("M01", zeros)), &told));
        QVERIFY2(told.contains(error), qPrintable(told));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Base.map"});
        QCOMPARE(tmp.read(QStringLiteral("Base.map")), base);
    }

    void sampleMapsReadAndWriteBackByteForByte()
    {
        // Reading and writing back through files; the round trip on any
        // bytes is the fuzz target's (fuzz_map_file).
        TempGameFolder tmp;
        const QDir data(QStringLiteral(HVD_DATA_DIR));
        for (const QString &name : data.entryList({QStringLiteral("*.map")}, QDir::Files)) {
            // A name in another letter case is the same map, not a twin beside it.
            MapData map;
            QVERIFY(MapFile::read(data.path(), name, &map) &&
                    MapFile::write(tmp.path(), QStringLiteral("Fort.map"), map) &&
                    MapFile::write(tmp.path(), QStringLiteral("FORT.MAP"), map));
            QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Fort.map"});
            QFile file(data.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(tmp.read(QStringLiteral("Fort.map")), file.readAll());
        }
    }

    void findsWhatMakesAMapUnfit()
    {
        // Room: four grass cells take four flags, not five; kind 12 and
        // negative counts need none.
        MapData map = smallRoom();
        map.flags[0] = "5";
        QVERIFY(told(map).contains(
            "need 5 free grass cells in rows 4 to 30 and columns 4 to 38, which hold only 4"));
        // An unknown code reads as the cell before it, here grass: room for five.
        map.setCell(12, 10, "t02");
        QCOMPARE(told(map), "1 cell(s) hold an unknown code, the first at X: 12  Y: 10 (\"t02\").");
        // Placement cells: two at least, twenty at most.
        map = smallRoom();
        map.setCell(2, 2, "M00");
        QVERIFY(told(map).contains("1 flag placement cell(s) (X): a random army needs two"));
        for (int x = 1; x <= 20; ++x)
            map.setCell(x, 40, "X01");
        QVERIFY(told(map).contains("21 flag placement cells (X): the connector refuses"));
        // Counts that are no 16-bit whole number; empty cells.
        map = smallRoom();
        map.flags = {"1.5", "", "40000", "-32768", "0", "0", "0", "0", "0", "0", "0", "x"};
        map.setCell(40, 40, "");
        map.setCell(39, 40, "");
        const QStringList bad = MapCheck(map).problems();
        QCOMPARE(bad.size(), 5);
        for (const char *text :
             {"Flag 1 (\"1.5\") is not a whole number", "Flag 2 (\"\")", "Flag 3 (\"40000\")",
              "Flag 12 (\"x\")", "2 cell(s) hold no code, the first at X: 39  Y: 40."})
            QVERIFY2(bad.join('\n').contains(QLatin1String(text)), text);
        // Spaces around a count, a negative count and kind 12 ask no room.
        map = smallRoom();
        map.flags = {"4", "-3", " 0 ", "\t0", "0", "0", "0", "0", "0", "0", "0", "999"};
        QCOMPARE(told(map), QString());
        QCOMPARE(MapCheck(map).terrainCounts().first(), QStringLiteral("Grass (T): 4"));
    }
};

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
