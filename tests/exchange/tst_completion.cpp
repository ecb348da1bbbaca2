#include "completion.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QTest>

namespace {

struct Flag
{
    int row;
    int column;
    int kind;
};

/// An army file: a header line and 40 rows of 40 cells, "000" but for the
/// flags given, each line ended by CR LF.
QByteArray armyFile(const QList<Flag> &flags, const QByteArray &header = "Castle")
{
    QList<QByteArray> rows(40, QByteArray("000 ").repeated(40));
    for (const Flag &flag : flags)
        rows[flag.row].replace(flag.column * 4, 3,
                               QByteArray::number(flag.kind).rightJustified(3, '0'));
    QByteArray text = header + "\r\n";
    for (const QByteArray &row : rows)
        text += row + "\r\n";
    return text;
}

QList<Flag> oneOfEachKind(int row)
{
    QList<Flag> flags;
    for (int kind = 1; kind <= 12; ++kind)
        flags << Flag{row, kind * 2, kind};
    return flags;
}

QList<Flag> manyFlags(int count)
{
    QList<Flag> flags;
    for (int i = 0; i < count; ++i)
        flags << Flag{36 + i / 20, i * 2 % 40, i % 12 + 1};
    return flags;
}

QByteArray cell(const QByteArray &row, int column)
{
    return row.mid(column * 4, 3);
}

QByteArray codesOf(const QList<QByteArray> &rows)
{
    QByteArray codes;
    for (const QByteArray &row : rows) {
        for (const QByteArray &c : row.split(' ')) {
            if (!c.isEmpty() && c != "000")
                codes += c + ' ';
        }
    }
    return codes;
}

} // namespace

class TestCompletion : public QObject
{
    Q_OBJECT

private slots:
    void oneFlagOfEachKindOnEachSide()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write("Castle_Guard.arm", armyFile(oneOfEachKind(39))));
        const QByteArray clientArmy = armyFile(oneOfEachKind(38), "Client header");

        const HostCompletion host =
            hostCompletionFiles(folder, clientArmy, "Castle.map", "castle_guard.ARM");
        QVERIFY2(host.ok, qPrintable(host.error));
        QCOMPARE(host.objectCount, qint16(24));
        // The army buffer went to ClientARMY.tmp with one extra CR LF, and the
        // half-turn starts with empty lines.
        QCOMPARE(tmp.read("ClientARMY.tmp"), clientArmy + "\r\n");
        QVERIFY(tmp.read("TopARMY.tmp").startsWith("\r\n\r\n"));

        const QList<QByteArray> save = GameFolder::splitLines(tmp.read("HostGame.sav"));
        QCOMPARE(save.size(), 81);
        QCOMPARE(save.first(), QByteArray("Castle"));
        QVERIFY(!tmp.read("HostGame.sav").contains("header"));
        QCOMPARE(codesOf(save.mid(1, 40)),
                 QByteArray("B01 B02 B03 B04 B05 B06 B07 B08 B09 B10 B11 B12 "));
        // The client's row 38 is the second client row after the half-turn,
        // its flags in reverse order.
        QCOMPARE(codesOf(save.mid(41)),
                 QByteArray("R12 R11 R10 R09 R08 R07 R06 R05 R04 R03 R02 R01 "));
        QCOMPARE(codesOf(save.mid(42, 1)), codesOf(save.mid(41)));

        // The start data holds the save file's rows with the letters swapped.
        QByteArray swapped = save.mid(1).join("\r\n") + "\r\n";
        swapped.replace('B', 'x').replace('R', 'B').replace('x', 'R');
        QCOMPARE(host.startData, swapped);

        // Running the step again with the same inputs gives the same result.
        const HostCompletion again =
            hostCompletionFiles(folder, clientArmy, "Castle.map", "Castle_Guard.arm");
        QCOMPARE(again.startData, host.startData);
        QCOMPARE(again.objectCount, host.objectCount);
    }

    void flagCountsAddUp()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write("Own.arm", armyFile(manyFlags(20))));
        const HostCompletion host =
            hostCompletionFiles(folder, armyFile(manyFlags(23)), "Valley.map", "Own.arm");
        QVERIFY(host.ok);
        QCOMPARE(host.objectCount, qint16(43));
    }

    void cellTravelsToTheOtherEndAndBack()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write("Random.arm", armyFile({{39, 5, 7}})));
        QVERIFY(tmp.write("Chosen.arm", armyFile({{39, 6, 1}})));
        const HostCompletion host = hostCompletionFiles(folder, armyFile({{0, 0, 3}, {39, 1, 12}}),
                                                        "Castle.map", "Random.arm");
        QVERIFY(host.ok);
        QCOMPARE(host.objectCount, qint16(3));

        const QList<QByteArray> save = GameFolder::splitLines(tmp.read("HostGame.sav"));
        QCOMPARE(save.size(), 81);
        QCOMPARE(cell(save.at(40), 5), QByteArray("B07")); // Random.arm, not Chosen.arm
        QCOMPARE(cell(save.at(80), 39), QByteArray("R03"));
        QCOMPARE(cell(save.at(41), 38), QByteArray("R12"));

        QString error;
        QVERIFY(clientCompletionFiles(folder, "Castle.map", host.startData, &error));
        QCOMPARE(GameFolder::splitLines(tmp.read("HostGame.tmp")).first(), QByteArray("Castle"));
        const QList<QByteArray> client = GameFolder::splitLines(tmp.read("ClientGame.sav"));
        QCOMPARE(client.size(), 81);
        QCOMPARE(client.first(), QByteArray("Castle"));
        // The client's own rows are back in its army file's orientation...
        QCOMPARE(cell(client.at(1), 0), QByteArray("B03"));
        QCOMPARE(cell(client.at(40), 1), QByteArray("B12"));
        // ...and the host's rows half-turned, marked R.
        QCOMPARE(cell(client.at(41), 34), QByteArray("R07"));
        QVERIFY(!tmp.read("ClientGame.sav").contains("\r\n\r\n"));
    }

    void blankLinesAndShortArmies()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        // The host's army has blank lines and a short row; none of them pads.
        QVERIFY(tmp.write("Own.arm", "Hdr\r\n\r\n001 000 \r\n   \r\n002 \r\n"));
        const HostCompletion host =
            hostCompletionFiles(folder, "Top\r\n000 004 \r\n\r\n005 ", "Base.map", "Own.arm");
        QVERIFY(host.ok);
        QCOMPARE(tmp.read("HostGame.sav"),
                 QByteArray("Base\r\nB01 000 \r\nB02 \r\nR05 \r\nR04 000 \r\n"));
        QCOMPARE(host.startData, QByteArray("R01 000 \r\nR02 \r\nB05 \r\nB04 000 \r\n"));
        QCOMPARE(host.objectCount, qint16(4));
    }

    void missingFilesAreReportedAndTheRestIsDone()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        // "Create Random Army" ticked without a Random.arm ever made.
        const HostCompletion host =
            hostCompletionFiles(folder, armyFile({{0, 0, 1}}), "Castle.map", "Random.arm");
        QVERIFY(!host.ok);
        QVERIFY(host.error.contains("Random.arm"));
        QCOMPARE(host.objectCount, qint16(1));
        QCOMPARE(GameFolder::splitLines(tmp.read("HostGame.sav")).size(), 41);

        // The client's save cannot be written: a folder holds its name.
        QVERIFY(QDir(tmp.path()).mkdir("ClientGame.sav"));
        QString error;
        QVERIFY(!clientCompletionFiles(folder, "Castle.map", host.startData, &error));
        QVERIFY(error.contains("ClientGame.sav"));
    }
};

QTEST_GUILESS_MAIN(TestCompletion)
#include "tst_completion.moc"
