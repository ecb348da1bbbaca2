// The map check on maps built here, read as the connector reads them.

#include "mapcheck.h"

#include <QTest>

namespace {

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

bool mentions(const MapCheck &check, const char *text)
{
    for (const QString &problem : check.problems())
        if (problem.contains(QLatin1String(text)))
            return true;
    return false;
}

} // namespace

class TestMapCheck : public QObject
{
    Q_OBJECT

private slots:
    void findsWhatMakesAMapUnfit()
    {
        // Room: four grass cells take four flags, not five; kind 12 and
        // negative counts need none.
        MapData map = smallRoom();
        map.flags[0] = "5";
        QVERIFY(mentions(MapCheck(map), "need 5 free grass cells in rows 4 to 30 and columns 4 "
                                        "to 38, which hold only 4"));
        // An unknown code reads as the cell before it, here grass: room for five.
        map.setCell(12, 10, "t02");
        MapCheck unknown(map);
        QCOMPARE(unknown.problems().size(), 1);
        QVERIFY(mentions(unknown, "1 cell(s) hold an unknown code, the first at X: 12  Y: 10"));
        QCOMPARE(unknown.unknownCount(), 1);
        // Kind 10 guards stand beside the home and need no room of their own.
        map = smallRoom();
        map.setCell(2, 3, "T00");
        map.setCell(3, 2, "T00");
        map.flags[0] = "4";
        map.flags[9] = "2";
        QVERIFY(MapCheck(map).isFit());
        map.flags[9] = "3";
        QVERIFY(mentions(MapCheck(map), "need 5 free"));

        // Placement cells: two at least, twenty at most.
        map = smallRoom();
        map.setCell(2, 2, "M00");
        QVERIFY(mentions(MapCheck(map), "1 flag placement cell(s) (X): a random army needs two"));
        map = smallRoom();
        for (int x = 1; x <= 19; ++x)
            map.setCell(x, 40, "X01");
        QCOMPARE(MapCheck(map).placementCount(), 21);
        QVERIFY(mentions(MapCheck(map), "21 flag placement cells (X): the connector refuses"));

        // Counts that are no 16-bit whole number; empty cells.
        map = smallRoom();
        map.flags = {"1.5", "", "40000", "-32768", "0", "0", "0", "0", "0", "0", "0", "x"};
        map.setCell(40, 40, "");
        map.setCell(39, 40, "");
        const MapCheck bad(map);
        QVERIFY(mentions(bad, "Flag 1 (\"1.5\") is not a whole number"));
        QVERIFY(mentions(bad, "Flag 2 (\"\")"));
        QVERIFY(mentions(bad, "Flag 3 (\"40000\")"));
        QVERIFY(mentions(bad, "Flag 12 (\"x\")"));
        QVERIFY(!mentions(bad, "Flag 4"));
        QVERIFY(mentions(bad, "2 cell(s) hold no code, the first at X: 39  Y: 40."));
        QCOMPARE(bad.problems().size(), 5);
        // Spaces around a count, a negative count and kind 12 ask no room.
        map = smallRoom();
        map.flags = {"4", "-3", " 0 ", "\t0", "0", "0", "0", "0", "0", "0", "0", "999"};
        const MapCheck fit(map);
        QVERIFY2(fit.isFit(), qPrintable(fit.problems().join('\n')));
        QCOMPARE(fit.terrainCounts().first() + fit.terrainCounts().last(),
                 QStringLiteral("Grass (T): 4Unknown or empty: 0"));
        QCOMPARE(fit.terrainCount('M') + fit.terrainCount('X'), 1594 + 2);
    }
};

QTEST_GUILESS_MAIN(TestMapCheck)
#include "tst_mapcheck.moc"
