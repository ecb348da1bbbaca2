// The picture of the map: the palette's colours and the kept canvas.

#include "mapcanvas.h"
#include "mapdata.h"
#include "palette.h"

#include <QTest>

class TestMapCanvas : public QObject
{
    Q_OBJECT

private slots:
    void knownCodesHaveTheirColours()
    {
        Palette palette;
        palette.loadsettings();
        QCOMPARE(palette.size(), 59);
        // The ends of each family and solid's uneven steps (more in the window test).
        const QList<QPair<const char *, QRgb>> expected = {
            {"T00", qRgb(0, 85, 0)},    {"T10", qRgb(0, 255, 0)},     {"X00", qRgb(85, 85, 0)},
            {"X10", qRgb(255, 255, 0)}, {"M10", qRgb(224, 224, 224)}, {"W00", qRgb(0, 0, 170)},
            {"W05", qRgb(0, 0, 255)},   {"S02", qRgb(221, 0, 0)},     {"S14", qRgb(32, 0, 0)},
            {"S15", qRgb(24, 0, 0)},    {"S19", qRgb(16, 0, 0)}};
        for (const auto &[code, colour] : expected)
            QCOMPARE(palette.colour(code), colour);
        // The comparison is exact and case-sensitive.
        for (const char *code : {"", "t02", "T2", "T002", "S00", "W06", "T11", "X11", " T0"})
            QVERIFY2(!palette.isKnown(code), code);
        // The picker offers every known code but "X00", in order.
        const QList<QByteArray> picker = Palette::pickerCodes();
        QCOMPARE(picker.size(), 58);
        QCOMPARE((QList<QByteArray>{picker.at(0), picker.at(11), picker.at(22), picker.at(41),
                                    picker.at(42), picker.at(48), picker.last()}),
                 (QList<QByteArray>{"T00", "M00", "S01", "S20", "W00", "X01", "X10"}));
    }

    void unknownCodesTakeTheColourDrawnBefore()
    {
        Palette palette;
        palette.loadsettings();
        QList<QByteArray> codes(MapData::CellCount, "T02");
        codes[MapData::index(1, 1)] = "t02"; // unknown first: black
        codes[MapData::index(2, 1)] = "";
        codes[MapData::index(3, 1)] = "S01";
        codes[MapData::index(4, 1)] = "T2"; // takes magenta
        codes[MapData::index(40, 1)] = "M00";
        codes[MapData::index(1, 2)] = "XYZ"; // carries over the row's end
        MapCanvas canvas;
        canvas.drawMap(codes, palette);
        const QImage &image = canvas.image();
        QCOMPARE(image.size(), QSize(427, 419));
        const QList<QRgb> row1 = {image.pixel(15, 15), image.pixel(25, 15), image.pixel(30, 10),
                                  image.pixel(49, 19), image.pixel(50, 10), image.pixel(15, 25)};
        QCOMPARE(row1, (QList<QRgb>{qRgb(0, 0, 0), qRgb(0, 0, 0), qRgb(238, 0, 238),
                                    qRgb(238, 0, 238), qRgb(0, 119, 0), qRgb(64, 64, 64)}));
        // The band before the first cell and the border after the last stay black.
        for (const QPoint p : {QPoint(9, 9), QPoint(200, 5), QPoint(5, 200), QPoint(410, 409),
                               QPoint(409, 410), QPoint(426, 418)})
            QCOMPARE(image.pixel(p), qRgb(0, 0, 0));
    }
};

QTEST_GUILESS_MAIN(TestMapCanvas)
#include "tst_mapcanvas.moc"
