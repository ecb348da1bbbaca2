#include "mapcanvas.h"
#include "mapdata.h"
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

        // A stamp changes that one cell and nothing else; a new draw starts black again.
        const QImage before = image.copy();
        QCOMPARE(canvas.stamp(7, 3, qRgb(1, 2, 3)), QRect(70, 30, 10, 10));
        QImage expected = before;
        for (int y = 30; y < 40; ++y)
            for (int x = 70; x < 80; ++x)
                expected.setPixel(x, y, qRgb(1, 2, 3));
        QCOMPARE(canvas.image(), expected);
        canvas.drawMap(QList<QByteArray>(MapData::CellCount, "???"), palette);
        QCOMPARE(canvas.image().pixel(405, 405), qRgb(0, 0, 0));
    }
};

QTEST_GUILESS_MAIN(TestMapCanvas)
#include "tst_mapcanvas.moc"
