// The picture of the map: the palette and the kept canvas.

#include "mapcanvas.h"
#include "mapdata.h"
#include "mapgeometry.h"
#include "palette.h"

#include <QTest>

class TestMapCanvas : public QObject
{
    Q_OBJECT

private slots:
    void unknownCodesTakeTheColourDrawnBefore()
    {
        Palette palette;
        palette.loadsettings();
        // The last solids leave the step of 17; the comparison is exact.
        QList<QRgb> solids;
        for (const char *code : {"S13", "S14", "S15", "S19", "W05", "X10"})
            solids << palette.colour(code);
        QCOMPARE(solids, (QList<QRgb>{qRgb(34, 0, 0), qRgb(32, 0, 0), qRgb(24, 0, 0),
                                      qRgb(16, 0, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)}));
        for (const char *code : {"", "t02", "T2", "S00", "W06", "T11", " T0"})
            QVERIFY2(!palette.isKnown(code), code);
        // The picker offers every known code but "X00", in order.
        const QList<QByteArray> picker = Palette::pickerCodes();
        QCOMPARE((QList<QByteArray>{picker.at(0), picker.at(22), picker.at(42), picker.at(48),
                                    picker.last(), QByteArray::number(picker.size())}),
                 (QList<QByteArray>{"T00", "S01", "W00", "X01", "X10", "58"}));

        QList<QByteArray> codes(MapData::CellCount, "T02");
        codes[MapData::index(1, 1)] = "t02"; // unknown first: black
        codes[MapData::index(3, 1)] = "S01";
        codes[MapData::index(4, 1)] = ""; // takes magenta
        codes[MapData::index(40, 1)] = "M00";
        codes[MapData::index(1, 2)] = "XYZ"; // carries over the row's end
        MapCanvas canvas;
        canvas.drawMap(codes, palette);
        const QImage &image = canvas.image();
        QCOMPARE(image.size(), QSize(427, 419));
        const QList<QRgb> row1 = {image.pixel(15, 15), image.pixel(49, 19), image.pixel(50, 10),
                                  image.pixel(15, 25)};
        QCOMPARE(row1, (QList<QRgb>{qRgb(0, 0, 0), qRgb(238, 0, 238), qRgb(0, 119, 0),
                                    qRgb(64, 64, 64)}));
        // The band before the first cell and the border after the last stay black.
        for (const QPoint p : {QPoint(9, 9), QPoint(200, 5), QPoint(410, 409), QPoint(426, 418)})
            QCOMPARE(image.pixel(p), qRgb(0, 0, 0));
        // Pointer to cell: a quotient halfway between two cells goes to the even one.
        QList<int> cells;
        for (const int px : {10, 11, 20, 30, 31, 409, 410, 411})
            cells << canvas.geometry().pointerToCell(QPointF(px, 15)).x();
        QCOMPARE(cells, (QList<int>{0, 1, 2, 2, 3, 40, 40, 41}));
    }
};

QTEST_GUILESS_MAIN(TestMapCanvas)
#include "tst_mapcanvas.moc"
