#include "randomarmy.h"

#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

namespace {

/// A map file built in the test: every cell "T02" unless changed.
struct TestMap
{
    QByteArray cell[41][41];
    QList<QByteArray> counts{"2", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "1"};

    explicit TestMap(const QByteArray &fill = "T02")
    {
        for (auto &row : cell)
            for (auto &code : row)
                code = fill;
    }
    void rect(int r0, int c0, int r1, int c1, const QByteArray &code)
    {
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                cell[r][c] = code;
    }
    QByteArray bytes() const
    {
        QByteArray out;
        for (int r = 1; r <= 40; ++r) {
            for (int c = 1; c <= 40; ++c)
                out += cell[r][c] + ' ';
            out += "\r\n";
        }
        out += "[FLAGS]\r\n";
        for (const QByteArray &count : counts)
            out += count + "\r\n";
        return out;
    }
};

/// The flag kind of each cell of "Random.arm" (rows and columns from 1).
struct Army
{
    QList<QByteArray> lines;
    int at(int r, int c) const { return lines.at(r).mid(4 * (c - 1), 3).toInt(); }
    QList<int> kinds() const
    {
        QList<int> n(13, 0);
        for (int r = 1; r <= 40; ++r)
            for (int c = 1; c <= 40; ++c)
                ++n[at(r, c)];
        return n;
    }
};

QByteArray firstLines(const QByteArray &bytes, int n)
{
    return GameFolder::splitLines(bytes).mid(0, n).join("\r\n") + "\r\n";
}

Army generate(const TempGameFolder &tmp, const QString &map, quint32 seed, QString *error)
{
    error->clear();
    Module1::CreateRandomArmy(GameFolder(tmp.path()), map, seed, error);
    return Army{GameFolder::splitLines(tmp.read(QStringLiteral("Random.arm")))};
}

} // namespace

class TestRandomArmy : public QObject
{
    Q_OBJECT

private slots:
    void sampleMapsGiveTheirAllotment()
    {
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        const QRegularExpression row(QStringLiteral("^(0(0[0-9]|1[0-2]) ){40}$"));
        const QStringList maps = GameFolder(tmp.path()).list(QStringLiteral("*.map"));
        QVERIFY(maps.size() >= 4);
        for (const QString &map : maps) {
            const QList<QByteArray> mapLines = GameFolder::splitLines(tmp.read(map));
            for (quint32 seed = 1; seed <= 20; ++seed) {
                QString error;
                const Army army = generate(tmp, map, seed, &error);
                QVERIFY2(error.isEmpty(), qPrintable(error));
                const QByteArray bytes = tmp.read(QStringLiteral("Random.arm"));
                QCOMPARE(bytes.count("\r\n"), 41);
                QVERIFY(bytes.endsWith(" \r\n"));
                QCOMPARE(army.lines.size(), 41);
                QCOMPARE(army.lines.first(), map.chopped(4).toLatin1());
                for (int r = 1; r <= 40; ++r) {
                    QVERIFY(row.match(QString::fromLatin1(army.lines.at(r))).hasMatch());
                    for (int c = 1; c <= 40; ++c) {
                        const char letter = mapLines.at(r - 1).at(4 * (c - 1));
                        if (army.at(r, c))
                            QVERIFY(letter == 'T' || letter == 'X');
                        if (army.at(r, c) == 12)
                            QCOMPARE(letter, 'X');
                    }
                }
                const QList<int> kinds = army.kinds();
                for (int kind = 1; kind <= 11; ++kind)
                    QCOMPARE(kinds[kind], mapLines.at(40 + kind).toInt());
                QCOMPARE(kinds[12], 1);
            }
        }
        QString error;
        const QByteArray first = (generate(tmp, "Valley.map", 7, &error), tmp.read("Random.arm"));
        QCOMPARE(first.left(8), QByteArray("Valley\r\n"));
        QCOMPARE((generate(tmp, "Valley.map", 7, &error), tmp.read("Random.arm")), first);
        QVERIFY((generate(tmp, "Valley.map", 8, &error), tmp.read("Random.arm")) != first);
    }

    void homeIsAnXCellButNeverTheFirst()
    {
        TempGameFolder tmp;
        TestMap map;
        map.cell[2][2] = "X01"; // slot 1, on the edge: never the home, so allowed
        map.cell[20][20] = "X03";
        // Counts of 0 or below place nothing; count(12) never matters.
        map.counts = {"0", "-4", " 3 ", "+1", "0", "0", "0", "0", "0", "0", "2", "-7"};
        QVERIFY(tmp.write("Two.map", map.bytes()));
        int nearHome = 0;
        for (quint32 seed = 0; seed < 30; ++seed) {
            QString error;
            const Army army = generate(tmp, "Two.map", seed, &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(army.at(20, 20), 12);
            QCOMPARE(army.kinds(), (QList<int>{1600 - 7, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0, 2, 1}));
            for (int r = 14; r <= 26; ++r)
                for (int c = 8; c <= 32; ++c)
                    nearHome += army.at(r, c) != 0;
        }
        // The 13 by 25 window around the home is a third of the flag area;
        // with the preference for it, far more than a third of the flags lie there.
        QVERIFY2(nearHome - 30 > 30 * 6 * 7 / 10, qPrintable(QString::number(nearHome)));
    }

    void guardsStandBelowAboveRightLeft_data()
    {
        QTest::addColumn<QByteArray>("count10");
        QTest::addColumn<bool>("waterBelow");
        QTest::addColumn<QList<int>>("sides"); // below, above, right, left
        QTest::newRow("one") << QByteArray("1") << false << QList<int>{10, 0, 0, 0};
        QTest::newRow("two") << QByteArray("2") << false << QList<int>{10, 10, 0, 0};
        QTest::newRow("six") << QByteArray("6") << false << QList<int>{10, 10, 10, 10};
        QTest::newRow("water below") << QByteArray("2") << true << QList<int>{0, 10, 10, 0};
        QTest::newRow("none") << QByteArray("0") << false << QList<int>{0, 0, 0, 0};
    }
    void guardsStandBelowAboveRightLeft()
    {
        QFETCH(QByteArray, count10);
        QFETCH(bool, waterBelow);
        QFETCH(QList<int>, sides);
        TempGameFolder tmp;
        TestMap map;
        map.cell[5][5] = "X00";
        map.cell[15][15] = "X00";
        if (waterBelow)
            map.cell[16][15] = "W01";
        map.counts = {"3", "3", "3", "0", "0", "0", "0", "0", "0", count10, "0", "1"};
        QVERIFY(tmp.write("Guard.map", map.bytes()));
        for (quint32 seed = 0; seed < 10; ++seed) {
            QString error;
            const Army army = generate(tmp, "Guard.map", seed, &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            const int got[] = {army.at(16, 15), army.at(14, 15), army.at(15, 16), army.at(15, 14)};
            for (int i = 0; i < 4; ++i) {
                // A side without a guard may still draw another kind.
                if (sides[i] == 10)
                    QCOMPARE(got[i], 10);
                else
                    QVERIFY(got[i] != 10);
            }
            QCOMPARE(army.kinds()[10], count10.toInt());
        }
    }

    void flagsOnlyOnGrassOfTheFlagArea()
    {
        TempGameFolder tmp;
        TestMap map("W01");
        map.rect(1, 1, 40, 40, "T02"); // grass all round the flag area...
        map.rect(4, 4, 30, 38, "M03"); // ...but inside it only row 15 and 17
        map.rect(15, 1, 15, 3, "T02");
        map.rect(15, 4, 15, 38, "t02"); // after grass: grass
        map.rect(16, 1, 16, 38, "W01");
        map.rect(16, 4, 16, 38, "t02"); // after water: water
        map.cell[2][2] = "X00";
        map.cell[15][20] = "X00"; // the home: guards right and left only
        map.counts = {"10", "5", "5", "0", "0", "0", "0", "0", "0", "2", "0", "1"};
        // Row 17 stops after three cells: the rest take the class of its last.
        const QByteArray bytes = map.bytes().replace(16 * 162, 160, "T02 T02 T05");
        QVERIFY(tmp.write("Strip.map", bytes));
        for (quint32 seed = 0; seed < 20; ++seed) {
            QString error;
            const Army army = generate(tmp, "Strip.map", seed, &error);
            QVERIFY2(error.isEmpty(), qPrintable(error));
            for (int r = 1; r <= 40; ++r) {
                for (int c = 1; c <= 40; ++c) {
                    if (!army.at(r, c) || (r == 15 && c >= 19 && c <= 21))
                        continue; // home and its guards
                    QVERIFY2((r == 15 || r == 17) && c >= 4 && c <= 38,
                             qPrintable(QStringLiteral("flag at %1,%2").arg(r).arg(c)));
                }
            }
        }
    }

    void fullFlagAreaFillsUpExactly()
    {
        TempGameFolder tmp;
        TestMap map("W01");
        map.rect(10, 4, 10, 38, "T02"); // 35 grass cells, two of them X
        map.cell[10][4] = "X00";
        map.cell[10][20] = "X00";
        // Home and two guards take 3 cells; 32 flags fill the rest.
        map.counts = {"10", "10", "10", "0", "0", "0", "0", "0", "0", "2", "2", "5"};
        QVERIFY(tmp.write("Full.map", map.bytes()));
        QString error;
        const Army army = generate(tmp, "Full.map", 3, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        for (int c = 4; c <= 38; ++c)
            QVERIFY(army.at(10, c) != 0);
        map.counts[0] = "11";
        QVERIFY(tmp.write("Full.map", map.bytes()));
        generate(tmp, "Full.map", 3, &error);
        QVERIFY(error.contains("33 more flags than the 32 free grass cells"));
    }

    void faultyMapsAreRefusedAndWriteNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        TestMap one;
        one.cell[10][10] = "X00";
        QTest::newRow("one X") << "Castle.map" << one.bytes()
                               << "map Castle.map has no second flag placement cell (X)";
        TestMap many;
        for (int c = 5; c <= 25; ++c)
            many.cell[10][c] = "X00";
        QTest::newRow("21 X") << "Many.map" << many.bytes() << "21 flag placement cells";
        TestMap edge = one;
        edge.cell[12][40] = "X00";
        QTest::newRow("X in column 40") << "Edge.map" << edge.bytes() << "(row 12, column 40)";
        edge.cell[12][40] = "T02";
        edge.cell[40][12] = "X00";
        QTest::newRow("X in row 40") << "Edge.map" << edge.bytes() << "(row 40, column 12)";
        TestMap counts = one;
        counts.cell[20][20] = "X00";
        const char *bad[] = {"abc", "3.5", "40000", "-32769", ""};
        for (const char *text : bad) {
            counts.counts[4] = text;
            QTest::newRow(qPrintable(QStringLiteral("count \"%1\"").arg(text)))
                << "Count.map" << counts.bytes() << "line 46: the count of flag 5";
        }
        counts.counts[4] = "32767";
        QTest::newRow("too many flags") << "Count.map" << counts.bytes() << "free grass cells";
        QTest::newRow("short file")
            << "Short.map" << firstLines(one.bytes(), 45) << "ends after line 45";
        QTest::newRow("missing") << "Nowhere.map" << QByteArray() << "not in the game folder";
        for (const char *name : {"../Castle.map", "sub/Castle.map", "sub\\Castle.map", ""})
            QTest::newRow(name) << name << QByteArray() << "is not the name of a map";
    }
    void faultyMapsAreRefusedAndWriteNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        TempGameFolder tmp;
        QVERIFY(QDir(tmp.path()).mkpath("sub"));
        TestMap good;
        good.cell[10][10] = good.cell[20][20] = "X00";
        QVERIFY(tmp.write("sub/Castle.map", good.bytes()));
        if (!bytes.isEmpty())
            QVERIFY(tmp.write(name, bytes));
        QVERIFY(tmp.write("Random.arm", "old army\r\n"));
        QElapsedTimer timer;
        timer.start();
        QString error;
        QVERIFY(!Module1::CreateRandomArmy(GameFolder(tmp.path()), name, 1, &error));
        QVERIFY(timer.elapsed() < 5000); // a hang would never get here
        QVERIFY2(error.startsWith("Random army: ") && error.contains(message), qPrintable(error));
        QCOMPARE(tmp.read("Random.arm"), QByteArray("old army\r\n"));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files).size(), bytes.isEmpty() ? 1 : 2);
    }

    void unwritableRandomArmIsReported()
    {
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        QVERIFY(QDir(tmp.path()).mkpath("Random.arm"));
        QString error;
        QVERIFY(!Module1::CreateRandomArmy(GameFolder(tmp.path()), "Base.map", 1, &error));
        QVERIFY2(error.contains("Random.arm"), qPrintable(error));
    }

    void randomIntCoversItsRangeInclusive()
    {
        RandomArmy run(42);
        QList<int> seen(8, 0);
        for (int i = 0; i < 2000; ++i) {
            const int v = run.RandomInt(3, 6);
            QVERIFY(v >= 3 && v <= 6);
            ++seen[v];
        }
        for (int v = 3; v <= 6; ++v)
            QVERIFY(seen[v] > 400);
        QCOMPARE(run.RandomInt(5, 5), 5);
    }
};

QTEST_GUILESS_MAIN(TestRandomArmy)
#include "tst_randomarmy.moc"
