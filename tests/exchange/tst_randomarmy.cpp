#include "armytexts.h"
#include "gamefolder.h"
#include "randomarmy.h"
#include "tempgamefolder.h"

#include <QDir>
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
        // cell and equal seeds: fuzz_random_army_map.)
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
        QTest::newRow("column 1") << QPoint(20, 1) << four << false << QList<int>{10, 10, 10, -1};
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

    void faultsAreReportedAndWriteNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        TestMap map;
        map.cell[10][10] = "X00";
        QTest::newRow("one X") << "Castle.map" << map.bytes()
                               << "map Castle.map has no second flag placement cell (X)";
        map.rect(11, 5, 11, 24, "X00");
        QTest::newRow("21 X") << "Many.map" << map.bytes() << "21 flag placement cells";
        map.rect(11, 5, 11, 24, "T02");
        map.cell[20][20] = "X00";
        for (const char *text : {"3.5", "40000", ""}) {
            map.counts[4] = text;
            QTest::addRow("count \"%s\"", text)
                << "Count.map" << map.bytes() << "line 46: the count of flag 5";
        }
        map.counts[4] = "32767";
        QTest::newRow("too many flags") << "Count.map" << map.bytes() << "free grass cells";
        const QByteArray shortMap = GameFolder::splitLines(map.bytes()).mid(0, 45).join("\r\n");
        QTest::newRow("short file") << "Short.map" << shortMap << "ends after line 45";
        QTest::newRow("missing") << "Nowhere.map" << QByteArray() << "not in the game folder";
        for (const char *name : {"../Castle.map", "sub\\Castle.map"})
            QTest::addRow("name \"%s\"", name)
                << name << QByteArray() << "is not the name of a map";
        QTest::newRow("Random.arm a folder") << "Base.map" << QByteArray() << "Random.arm";
    }
    void faultsAreReportedAndWriteNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        TempGameFolder tmp;
        TestMap good;
        good.cell[10][10] = good.cell[20][20] = "X00";
        QVERIFY(QDir(tmp.path()).mkpath("sub"));
        QVERIFY(tmp.write("sub/Castle.map", good.bytes()));
        if (!bytes.isEmpty())
            QVERIFY(tmp.write(name, bytes));
        if (name == "Base.map")
            QVERIFY(tmp.write(name, good.bytes()) && QDir(tmp.path()).mkpath("Random.arm"));
        else
            QVERIFY(tmp.write("Random.arm", "old army\r\n"));
        QString error;
        QVERIFY(!Module1::CreateRandomArmy(GameFolder(tmp.path()), name, 1, &error));
        QVERIFY2(error.startsWith("Random army: ") && error.contains(message), qPrintable(error));
        if (name != "Base.map")
            QCOMPARE(tmp.read("Random.arm"), QByteArray("old army\r\n"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files).size(), bytes.isEmpty() ? 1 : 2);
    }
};

QTEST_GUILESS_MAIN(TestRandomArmy)
#include "tst_randomarmy.moc"
