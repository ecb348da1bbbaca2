#include "mapcanvas.h"
#include "mapdata.h"
#include "palette.h"

#include <QTest>

namespace {

QRgb pixelOfCell(const QImage &image, int x, int y)
{
    return image.pixel(10 * x + 5, 10 * y + 5);
}

} // namespace

class TestMapCanvas : public QObject
{
    Q_OBJECT

private slots:
    void unknownCodesTakeTheColourDrawnBefore()
    {
        Palette palette;
        palette.loadsettings();
        QList<QByteArray> codes(MapData::CellCount, "T02");
        codes[MapData::index(1, 1)] = "t02"; // unknown first: black
        codes[MapData::index(2, 1)] = "";    // still black
        codes[MapData::index(3, 1)] = "S01";
        codes[MapData::index(4, 1)] = "T2";   // takes magenta
        codes[MapData::index(40, 1)] = "M00"; // end of a row ...
        codes[MapData::index(1, 2)] = "XYZ";  // ... carries into the next
        codes[MapData::index(40, 40)] = "S20";
        MapCanvas canvas;
        QCOMPARE(canvas.image().size(), QSize(427, 419));
        QCOMPARE(canvas.drawMap(codes, palette), qRgb(8, 0, 0));
        const QImage &image = canvas.image();
        QCOMPARE(pixelOfCell(image, 1, 1), qRgb(0, 0, 0));
        QCOMPARE(pixelOfCell(image, 2, 1), qRgb(0, 0, 0));
        QCOMPARE(pixelOfCell(image, 3, 1), qRgb(238, 0, 238));
        QCOMPARE(pixelOfCell(image, 4, 1), qRgb(238, 0, 238));
        QCOMPARE(pixelOfCell(image, 5, 1), qRgb(0, 119, 0));
        QCOMPARE(pixelOfCell(image, 1, 2), qRgb(64, 64, 64));
        QCOMPARE(pixelOfCell(image, 40, 40), qRgb(8, 0, 0));
        // Exact cell edges, and the band and the border that no cell covers.
        QCOMPARE(image.pixel(409, 409), qRgb(8, 0, 0));
        QCOMPARE(image.pixel(39, 10), qRgb(238, 0, 238));
        QCOMPARE(image.pixel(40, 10), qRgb(238, 0, 238));
        QCOMPARE(image.pixel(50, 10), qRgb(0, 119, 0));
        for (const QPoint p : {QPoint(9, 9), QPoint(200, 5), QPoint(5, 200), QPoint(410, 409),
                               QPoint(409, 410), QPoint(426, 418)})
            QCOMPARE(image.pixel(p), qRgb(0, 0, 0));

        // A new draw starts black again: nothing carries over from before.
        QList<QByteArray> unknown(MapData::CellCount, "???");
        canvas.drawMap(unknown, palette);
        QCOMPARE(pixelOfCell(canvas.image(), 40, 40), qRgb(0, 0, 0));
    }

    void stampChangesOneCellOnly()
    {
        Palette palette;
        palette.loadsettings();
        MapCanvas canvas;
        canvas.drawMap(QList<QByteArray>(MapData::CellCount, "W00"), palette);
        const QImage before = canvas.image().copy();
        QCOMPARE(canvas.stamp(7, 3, qRgb(1, 2, 3)), QRect(70, 30, 10, 10));
        int changed = 0;
        for (int y = 0; y < before.height(); ++y) {
            for (int x = 0; x < before.width(); ++x) {
                if (before.pixel(x, y) != canvas.image().pixel(x, y)) {
                    QVERIFY(QRect(70, 30, 10, 10).contains(x, y));
                    ++changed;
                }
            }
        }
        QCOMPARE(changed, 100);
    }
};

QTEST_GUILESS_MAIN(TestMapCanvas)
#include "tst_mapcanvas.moc"
