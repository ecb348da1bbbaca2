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
        const QList<QPair<double, int>> cases = {
            {0, 0},  {9, 0},    {10, 0},   {11, 1},   {19, 1},   {20, 2},  {30, 2},
            {31, 3}, {409, 40}, {410, 40}, {411, 41}, {-10, -2}, {15.5, 1}};
        for (const auto &[px, cell] : cases)
            QTest::addRow("px %g", px) << px << cell;
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
        // A pointer far outside the view is outside the grid, without overflow.
        const QPoint far = geometry.pointerToCell(QPointF(-1e12, 1e12));
        QVERIFY(far.x() < 0 && far.y() > 40);
    }
};

QTEST_GUILESS_MAIN(TestMapGeometry)
#include "tst_mapgeometry.moc"
