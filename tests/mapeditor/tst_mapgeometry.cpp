#include "mapgeometry.h"

#include <QTest>

class TestMapGeometry : public QObject
{
    Q_OBJECT

private slots:
    void pointerToCell_data()
    {
        QTest::addColumn<double>("px");
        QTest::addColumn<int>("cell");
        // Halfway quotients (px = 10k) go to the even whole number.
        QTest::newRow("band start") << 0.0 << 0;
        QTest::newRow("band") << 9.0 << 0;
        QTest::newRow("10 is outside") << 10.0 << 0;
        QTest::newRow("11") << 11.0 << 1;
        QTest::newRow("19") << 19.0 << 1;
        QTest::newRow("20 goes to 2") << 20.0 << 2;
        QTest::newRow("30 goes to 2") << 30.0 << 2;
        QTest::newRow("31") << 31.0 << 3;
        QTest::newRow("409") << 409.0 << 40;
        QTest::newRow("410 goes to 40") << 410.0 << 40;
        QTest::newRow("411") << 411.0 << 41;
        QTest::newRow("left of the view") << -7.0 << -1;
        QTest::newRow("fraction") << 15.5 << 1;
    }

    void pointerToCell()
    {
        QFETCH(double, px);
        QFETCH(int, cell);
        const MapGeometry geometry;
        QCOMPARE(geometry.pointerToCell(QPointF(px, 25)), QPoint(cell, 2));
        QCOMPARE(geometry.pointerToCell(QPointF(25, px)), QPoint(2, cell));
    }

    void cellsLieAtTenTimesTheirNumber()
    {
        const MapGeometry geometry;
        QCOMPARE(geometry.cellRect(1, 1), QRect(10, 10, 10, 10));
        QCOMPARE(geometry.cellRect(40, 40), QRect(400, 400, 10, 10));
        QVERIFY(QRect(QPoint(0, 0), MapGeometry::viewSize()).contains(geometry.cellRect(40, 40)));
        // Every pixel inside a cell (not on its even-numbered halfway column)
        // maps back to that cell.
        for (int x = 1; x <= 40; ++x) {
            const QRect r = geometry.cellRect(x, 1);
            for (int px = r.left() + 1; px <= r.right(); ++px)
                QCOMPARE(geometry.pointerToCell(QPointF(px, 15)).x(), x);
        }
        // A pointer far outside the view is outside the grid, without overflow.
        const QPoint far = geometry.pointerToCell(QPointF(-1e12, 1e12));
        QVERIFY(far.x() < 0 && far.y() > 40);
        QCOMPARE(MapGeometry::roundHalfEven(-0.5), 0);
        QCOMPARE(MapGeometry::roundHalfEven(-1.5), -2);
        QCOMPARE(MapGeometry::roundHalfEven(2.5), 2);
        QCOMPARE(MapGeometry::roundHalfEven(3.5), 4);
    }
};

QTEST_GUILESS_MAIN(TestMapGeometry)
#include "tst_mapgeometry.moc"
