#include "mapterrain.h"
#include "palette.h"
#include "terrainpalette.h"

#include <QTest>

// The engine keeps its own copy of the map editor's colours; both must give
// every cell the same colour.
class TestTerrainPalette : public QObject
{
    Q_OBJECT

private slots:
    void sameColoursAsTheEditor()
    {
        Palette editor;
        editor.loadsettings();
        const QList<QByteArray> codes = Palette::knownCodes();
        QCOMPARE(codes.size(), 59);
        for (const QByteArray &code : codes) {
            QVERIFY2(TerrainPalette::isKnown(code), code.constData());
            QCOMPARE(TerrainPalette::colour(code), quint32(editor.colour(code) & 0xffffff));
        }
        for (const char *unknown : {"S00", "W06", "T11", "t02", "T2", "T020", "", "X-1"})
            QVERIFY2(!TerrainPalette::isKnown(unknown), unknown);
    }

    void unknownCodesTakeTheColourBefore()
    {
        // In reading order of the file, as the editor draws it; a short last
        // line leaves empty codes.
        QList<QByteArray> map(40, QByteArray("T00 ").repeated(40));
        map[0].replace(0, 3, "Q01");
        map[0].replace(4, 3, "W05");
        map[0].replace(8, 3, "w05");
        map[39] = "M10 ";
        const MapTerrain terrain = MapTerrain::fromMapLines(map);
        QCOMPARE(terrain.colour(0, 0), quint32(0));
        QCOMPARE(terrain.colour(0, 1), quint32(0x0000ff));
        QCOMPARE(terrain.colour(0, 2), quint32(0x0000ff));
        QVERIFY(terrain.isPassable(0, 2) && !terrain.isPassable(0, 1));
        QCOMPARE(terrain.colour(39, 39), quint32(0xe0e0e0));
        QCOMPARE(terrain.code(39, 39), QByteArray());
        // Seen from the other end the resolved colours turn with the cells.
        QCOMPARE(terrain.halfTurned().colour(39, 38), quint32(0x0000ff));
        QCOMPARE(terrain.halfTurned().code(39, 38), QByteArray("W05"));
    }
};

QTEST_GUILESS_MAIN(TestTerrainPalette)
#include "tst_terrainpalette.moc"
