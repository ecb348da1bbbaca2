#include "armytexts.h"
#include "gamefolder.h"
#include "randomarmy.h"
#include "tempgamefolder.h"

#include <QPoint>
#include <QTest>

using ArmyTexts::TestMap;

namespace {

/// Runs the generator and returns the lines of "Random.arm".
QList<QByteArray> generate(const TempGameFolder &tmp, const QString &map, quint32 seed)
{
    QString error;
    if (!Module1::CreateRandomArmy(GameFolder(tmp.path()), map, seed, &error))
        return {error.toLatin1()};
    return GameFolder::splitLines(tmp.read(QStringLiteral("Random.arm")));
}

int at(const QList<QByteArray> &army, int r, int c)
{
    return army.value(r).mid(4 * c - 4, 3).toInt();
}

QList<int> kinds(const QList<QByteArray> &army)
{
    QList<int> n(13, 0);
    for (int r = 1; r <= 40; ++r)
        for (int c = 1; c <= 40; ++c)
            ++n[at(army, r, c)];
    return n;
}

} // namespace

class TestRandomArmy : public QObject
{
    Q_OBJECT

private slots:
    void flagsPreferTheWindowAroundTheHome()
    {
        // The 13 by 25 window around the home is a third of the flag area, yet
        // with the preference for it most flags lie there. (Counts, the home
        // cell, equal seeds and refused maps: fuzz_random_army_map.)
        TempGameFolder tmp;
        TestMap map;
        map.cell[2][2] = "X01";
        map.cell[20][20] = "X03";
        map.counts = {"0", "0", "3", "1", "0", "0", "0", "0", "0", "0", "2", "0"};
        QVERIFY(tmp.write("Two.map", map.bytes()));
        int nearHome = 0;
        quint32 seed = 0;
        const ArmyTexts::SeedTeller tell{seed};
        for (; seed < 30; ++seed) {
            const QList<QByteArray> army = generate(tmp, "Two.map", seed);
            for (int r = 14; r <= 26; ++r)
                for (int c = 8; c <= 32; ++c)
                    nearHome += at(army, r, c) != 0;
        }
        QVERIFY2(nearHome - 30 > 30 * 6 * 7 / 10, qPrintable(QString::number(nearHome)));
        QVERIFY(generate(tmp, "Two.map", 8) != generate(tmp, "Two.map", 7));
    }

    void guardsStandBelowAboveRightLeft_data()
    {
        QTest::addColumn<QPoint>("home"); // row, column
        QTest::addColumn<QByteArray>("count10");
        QTest::addColumn<bool>("waterBelow");
        QTest::addColumn<QList<int>>("sides"); // below, above, right, left; -1: off the board
        const QPoint middle(15, 15);
        QTest::newRow("one") << middle << QByteArray("1") << false << QList<int>{10, 0, 0, 0};
        QTest::newRow("six") << middle << QByteArray("6") << false << QList<int>{10, 10, 10, 10};
        QTest::newRow("water below")
            << middle << QByteArray("2") << true << QList<int>{0, 10, 10, 0};
        // Outside the board reads as class 0: the guards stand on the sides
        // that lie on it, the rest of kind 10 goes elsewhere.
        const QByteArray four = "4";
        QTest::newRow("row 1") << QPoint(1, 20) << four << false << QList<int>{10, -1, 10, 10};
        QTest::newRow("corner") << QPoint(40, 40) << four << false << QList<int>{-1, 10, -1, 10};
    }
    void guardsStandBelowAboveRightLeft()
    {
        QFETCH(QPoint, home);
        QFETCH(QByteArray, count10);
        QFETCH(bool, waterBelow);
        QFETCH(QList<int>, sides);
        const int row = home.x();
        const int column = home.y();
        TempGameFolder tmp;
        TestMap map;
        map.cell[1][2] = "X00"; // slot 1, never the home
        map.cell[row][column] = "X00";
        if (waterBelow)
            map.cell[row + 1][column] = "W01";
        map.counts = {"3", "3", "3", "0", "0", "0", "0", "0", "0", count10, "0", "1"};
        QVERIFY(tmp.write("Guard.map", map.bytes()));
        quint32 seed = 0;
        const ArmyTexts::SeedTeller tell{seed};
        for (; seed < 10; ++seed) {
            const QList<QByteArray> army = generate(tmp, "Guard.map", seed);
            QCOMPARE(at(army, row, column), 12);
            const int got[] = {at(army, row + 1, column), at(army, row - 1, column),
                               at(army, row, column + 1), at(army, row, column - 1)};
            // A side without a guard may still draw another kind.
            for (int i = 0; i < 4; ++i)
                QVERIFY(sides[i] < 0 || (sides[i] == 10 ? got[i] == 10 : got[i] != 10));
            QCOMPARE(kinds(army)[10], count10.toInt());
            QCOMPARE(kinds(army)[1], 3);
        }
    }
};

QTEST_GUILESS_MAIN(TestRandomArmy)
#include "tst_randomarmy.moc"
