#include "mapfile.h"
#include "palette.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QTest>

namespace {

QByteArray row(const QByteArray &code)
{
    return (code + ' ').repeated(40);
}

/// A file the editor's way: 40 rows of one code, "[FLAGS]", the flag lines.
QByteArray uniformFile(const QByteArray &code, const QList<QByteArray> &flags,
                       const QByteArray &end = "\r\n")
{
    QByteArray bytes = (row(code) + end).repeated(40) + "[FLAGS]" + end;
    for (const QByteArray &flag : flags)
        bytes += flag + end;
    return bytes;
}

const QList<QByteArray> zeros(12, QByteArray("0"));

} // namespace

class TestMapFile : public QObject
{
    Q_OBJECT

private slots:
    void writtenMapReadsBackCellForCell()
    {
        TempGameFolder tmp;
        MapData map;
        const QList<QByteArray> codes = Palette::knownCodes();
        for (int k = 0; k < MapData::CellCount; ++k)
            map.cells[k] = codes.at((k * 7) % codes.size());
        map.setCell(40, 1, "q9\t"); // unknown, and a tab is no space
        map.flags = {" 3 ", "2", "", "  ", "12", "0", "x y", "1", "1", "1", "\t4", "9 "};
        QVERIFY(tmp.write(QStringLiteral("Fort.map"), "old contents that are replaced"));
        QString error;
        QVERIFY2(MapFile::write(tmp.path(), QStringLiteral("Fort.map"), map, &error),
                 qPrintable(error));

        QList<QByteArray> lines = tmp.read(QStringLiteral("Fort.map")).split('\n');
        QCOMPARE(lines.size(), 54);
        QCOMPARE(lines.takeLast(), QByteArray());
        for (const QByteArray &line : lines)
            QVERIFY(line.endsWith('\r'));
        QCOMPARE(lines.at(0).size(), 161);
        QVERIFY(lines.at(0).startsWith(map.cell(1, 1) + ' ' + map.cell(2, 1) + ' '));
        QVERIFY(lines.at(0).endsWith("q9\t \r"));
        QCOMPARE(lines.mid(40, 4), (QList<QByteArray>{"[FLAGS]\r", "3\r", "2\r", "\r"}));

        MapData back;
        QVERIFY(MapFile::read(tmp.path(), QStringLiteral("Fort.map"), &back, &error));
        QCOMPARE(back.cells, map.cells);
        QCOMPARE(back.flags, (QList<QByteArray>{"3", "2", "", "", "12", "0", "x y", "1", "1", "1",
                                                "\t4", "9"}));
        // A name in another letter case is the same map, not a twin beside it.
        QVERIFY(MapFile::write(tmp.path(), QStringLiteral("FORT.MAP"), back, &error));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Fort.map"});
        QVERIFY(MapFile::read(tmp.path(), QStringLiteral("fort.Map"), &back, &error));
        QCOMPARE(back.cells, map.cells);
    }

    void flagsSectionIsFoundOnlyByItsExactLine()
    {
        QList<QByteArray> flags;
        for (int i = 1; i <= 12; ++i)
            flags << QByteArray::number(i);
        // Spaces around the line are allowed; values are read untrimmed.
        MapData map =
            MapFile::parse(uniformFile("T05", {" 7 ", "2"}).replace("[FLAGS]", " [FLAGS] "));
        QCOMPARE(map.flags.mid(0, 3), (QList<QByteArray>{" 7 ", "2", "0"}));
        QCOMPARE(map.cells, QList<QByteArray>(1600, "T05"));
        // Another letter case is grid text behind the cells; the flags stay "0".
        map = MapFile::parse(uniformFile("T05", flags).replace("[FLAGS]", "[flags]"));
        QCOMPARE(map.flags, zeros);
        QCOMPARE(map.cells, QList<QByteArray>(1600, "T05"));
        // No flags line at all, or nothing after it.
        const QByteArray grid = (row("M03") + "\r\n").repeated(40);
        QCOMPARE(MapFile::parse(grid).flags, zeros);
        QCOMPARE(MapFile::parse(grid).cells.last(), QByteArray("M03"));
        QCOMPARE(MapFile::parse(grid + "[FLAGS]\r\n").flags, zeros);
        // Lines past the twelfth are ignored.
        QCOMPARE(MapFile::parse(uniformFile("T05", flags + QList<QByteArray>{"99"})).flags, flags);
    }

    void lineEndsAreCrLfOrLoneCr()
    {
        const QList<QByteArray> flags(12, "6");
        MapData map = MapFile::parse(uniformFile("W01", flags, "\r"));
        QCOMPARE(map.cells, QList<QByteArray>(1600, "W01"));
        QCOMPARE(map.flags, flags);
        // LF alone is an ordinary character: the file is one line, the cells
        // after the first row boundary are out of step and no flag is read.
        map = MapFile::parse(uniformFile("W01", flags, "\n"));
        QCOMPARE(map.cells.mid(39, 3), (QList<QByteArray>{"W01", "\nW0", " W0"}));
        QCOMPARE(map.flags, zeros);
    }

    void gridTextIsRebuiltFourCharactersACell()
    {
        // Blank lines, lines of spaces and spaces at the ends of rows do not
        // matter; the rows may break anywhere.
        QByteArray bytes = "\r\n   \r\n" + ("  " + row("X04").left(80) + "  \r\n").repeated(80);
        QCOMPARE(MapFile::parse(bytes).cells, QList<QByteArray>(1600, "X04"));

        // Two spaces between two codes shift every later cell by one.
        bytes = uniformFile("T01", zeros).replace(0, 7, "T03  T04");
        MapData map = MapFile::parse(bytes);
        QCOMPARE(map.cells.mid(0, 3), (QList<QByteArray>{"T03", " T0", " T0"}));
        QCOMPARE(map.cells.last(), QByteArray(" T0"));

        // A short grid: the cells after the last code are partial or empty.
        map = MapFile::parse("S01 S02 T1\r\n");
        QCOMPARE(map.cells.mid(0, 4), (QList<QByteArray>{"S01", "S02", "T1 ", ""}));
        QCOMPARE(map.cells.last(), QByteArray());
    }

    void defaultMapIsNeverWritten()
    {
        TempGameFolder tmp;
        const QByteArray base = uniformFile("T02", zeros);
        QVERIFY(tmp.write(QStringLiteral("Base.map"), base));
        const MapData map = MapFile::parse(uniformFile("M01", zeros));
        for (const char *name : {"Base.map", "base.map", "BASE.MAP", "./Base.map", ".\\bAsE.map"}) {
            QString error;
            QVERIFY2(!MapFile::write(tmp.path(), QLatin1String(name), map, &error), name);
            QCOMPARE(error, MapFile::refusalText());
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), QStringList{"Base.map"});
        QCOMPARE(tmp.read(QStringLiteral("Base.map")), base);
    }

    void mapsThatWouldNotReadBackAreRefused()
    {
        TempGameFolder tmp;
        // A short grid without a flags section leaves empty cells behind.
        const QByteArray grid = (row("T02") + "\r\n").repeated(40);
        MapData map = MapFile::parse(grid.left(grid.size() - 10));
        QString error;
        QVERIFY(!MapFile::write(tmp.path(), QStringLiteral("Short.map"), map, &error));
        QVERIFY2(error.contains(QLatin1String("2 cell(s)")) &&
                     error.contains(QLatin1String("X: 39  Y: 40")),
                 qPrintable(error));
        map = MapFile::parse(grid);
        for (const QByteArray &bad : {QByteArray("T020"), QByteArray("T 2"), QByteArray("T2\r")}) {
            MapData one = map;
            one.setCell(7, 9, bad);
            QVERIFY2(!MapFile::canWrite(one, &error), bad.constData());
            QVERIFY(error.contains(QLatin1String("X: 7  Y: 9")));
        }
        map.flags[4] = "1\r\n2";
        QVERIFY(!MapFile::write(tmp.path(), QStringLiteral("Flag.map"), map, &error));
        QVERIFY(error.contains(QLatin1String("Flag 5")));
        QVERIFY(QDir(tmp.path()).entryList(QDir::Files).isEmpty());
    }

    void failuresAreToldAndLeaveAnEmptyMap()
    {
        TempGameFolder tmp;
        MapData map = MapFile::parse(uniformFile("T07", QList<QByteArray>(12, "1")));
        QString error;
        QVERIFY(!MapFile::read(tmp.path(), QStringLiteral("Gone.map"), &map, &error));
        QVERIFY2(error.contains(QLatin1String("Gone.map")), qPrintable(error));
        QCOMPARE(map.cells, QList<QByteArray>(1600));
        QCOMPARE(map.flags, zeros);
        QVERIFY(QDir(tmp.path()).mkdir(QStringLiteral("Folder.map")));
        QVERIFY(!MapFile::read(tmp.path(), QStringLiteral("Folder.map"), &map, &error));

        const MapData good = MapFile::parse(uniformFile("T07", zeros));
        for (const char *name : {"Folder.map", "NoSuchFolder\\x.map", "", "   "}) {
            error.clear();
            QVERIFY2(!MapFile::write(tmp.path(), QLatin1String(name), good, &error), name);
            QVERIFY2(error.startsWith(QLatin1String("Not Saved!")), qPrintable(error));
        }
    }

    void sampleMapsKeepTheirLayout()
    {
        const QDir data(QStringLiteral(HVD_DATA_DIR));
        const QStringList maps = data.entryList({QStringLiteral("*.map")}, QDir::Files);
        if (maps.isEmpty())
            QSKIP("no sample maps");
        Palette palette;
        palette.loadsettings();
        for (const QString &name : maps) {
            MapData map;
            QString error;
            QVERIFY2(MapFile::read(data.path(), name, &map, &error), qPrintable(error));
            for (const QByteArray &code : std::as_const(map.cells))
                QVERIFY2(palette.isKnown(code), qPrintable(name + QLatin1Char(' ') + code));
            // Written back, a sample map is the same file byte for byte.
            QFile file(data.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(MapFile::serialize(map), file.readAll());
        }
    }
};

QTEST_GUILESS_MAIN(TestMapFile)
#include "tst_mapfile.moc"
