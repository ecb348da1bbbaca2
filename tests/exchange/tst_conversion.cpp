#include "armyflip.h"
#include "armytexts.h"
#include "command.h"
#include "completion.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QPoint>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using ArmyTexts::army;
using ArmyTexts::command;
using ArmyTexts::oneOfEachKind;

namespace {

constexpr int Size = 40;

QByteArray cell(const QByteArray &row, int column)
{
    return row.mid(column * 4, 3);
}

/// The flag codes of the rows, in reading order.
QByteArray codesOf(const QList<QByteArray> &rows)
{
    QByteArray codes;
    for (const QByteArray &code : rows.join(' ').split(' '))
        codes += code.startsWith('B') || code.startsWith('R') ? code + ' ' : QByteArray();
    return codes;
}

/// Swaps the side letters: the save of one player as the other's data.
QByteArray swapSides(QByteArray text)
{
    return text.replace('B', 'x').replace('R', 'B').replace('x', 'R');
}

/// An army of random flags on the rows near the own end of the board (rows 20
/// to 39), so that the two armies never share a cell on one board.
QByteArray randomArmy(QRandomGenerator &random, int count)
{
    QList<ArmyTexts::Flag> flags;
    QSet<int> taken;
    while (flags.size() < count) {
        const int row = random.bounded(20, Size);
        const int column = random.bounded(Size);
        if (!taken.contains(row * Size + column)) {
            taken.insert(row * Size + column);
            flags << ArmyTexts::Flag{row, column, random.bounded(1, 13)};
        }
    }
    return army(flags);
}

/// The board as one engine sees it, modelled apart from the connector: the own
/// and the opponent's rows of a save file laid over each other, the flags
/// numbered from 5001 in reading order.
struct Board
{
    QList<QPoint> cells;
    QList<QByteArray> codes;

    explicit Board(const QByteArray &save)
    {
        const QList<QByteArray> lines = GameFolder::splitLines(save);
        for (int row = 0; row < Size; ++row) {
            for (int column = 0; column < Size; ++column) {
                for (const int layer : {1, 1 + Size}) {
                    const QByteArray code = cell(lines.value(layer + row), column);
                    if (code.startsWith('B') || code.startsWith('R')) {
                        cells << QPoint(column, row);
                        codes << code;
                    }
                }
            }
        }
    }

    /// The command's flag and its move in this view, or as the other player
    /// sees them.
    QString move(const QByteArray &command, bool asOtherSees) const
    {
        const int index = command.mid(23, 4).toInt() - 5001;
        if (index < 0 || index >= cells.size())
            return QStringLiteral("no flag");
        const QList<QPoint> steps = {{0, -1}, {0, 1}, {1, 0}, {-1, 0}};
        QPoint from = cells[index];
        QPoint to = from + steps.value(QByteArray("NSEW").indexOf(command.at(40)));
        if (asOtherSees) {
            from = QPoint(Size - 1, Size - 1) - from;
            to = QPoint(Size - 1, Size - 1) - to;
        }
        return QString::asprintf("%s %d,%d > %d,%d",
                                 (asOtherSees ? swapSides(codes[index]) : codes[index]).constData(),
                                 from.x(), from.y(), to.x(), to.y());
    }
};

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private slots:
    void startDataForTheExampleArmies()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write("Castle_Guard.arm", army(oneOfEachKind(38))));
        const QByteArray clientArmy = army(oneOfEachKind(37), "Client header");
        const HostCompletion host =
            hostCompletionFiles(folder, clientArmy, "Castle.map", "castle_guard.ARM");
        QVERIFY2(host.ok, qPrintable(host.error));
        QCOMPARE(host.objectCount, qint16(24));
        QCOMPARE(tmp.read("ClientARMY.tmp"), clientArmy + "\r\n");
        const QList<QByteArray> save = GameFolder::splitLines(tmp.read("HostGame.sav"));
        QCOMPARE(save.size(), 81);
        QCOMPARE(codesOf(save.mid(1, 40)),
                 QByteArray("B02 B04 B06 B08 B10 B12 B01 B03 B05 B07 B09 B11 "));
        // The client's rows 38 and 37 come second and third, half-turned.
        QCOMPARE(codesOf(save.mid(42, 1)), QByteArray("R11 R09 R07 R05 R03 R01 "));
        QCOMPARE(codesOf(save.mid(41)),
                 QByteArray("R11 R09 R07 R05 R03 R01 R12 R10 R08 R06 R04 R02 "));
        QCOMPARE(host.startData, swapSides(save.mid(1).join("\r\n") + "\r\n"));
    }

    void cellTravelsToTheOtherEndAndBack()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        QVERIFY(tmp.write("Random.arm", army({{39, 5, 7}})));
        const HostCompletion host =
            hostCompletionFiles(folder, army({{0, 0, 3}, {39, 1, 12}}), "Castle.map", "Random.arm");
        QVERIFY(host.ok);
        QCOMPARE(host.objectCount, qint16(3));
        const QList<QByteArray> save = GameFolder::splitLines(tmp.read("HostGame.sav"));
        QCOMPARE(save.first(), QByteArray("Castle"));
        QCOMPARE(cell(save.at(40), 5), QByteArray("B07"));
        QCOMPARE(cell(save.at(80), 39), QByteArray("R03"));
        QCOMPARE(cell(save.at(41), 38), QByteArray("R12"));

        QString error;
        QVERIFY(clientCompletionFiles(folder, "Castle.map", host.startData, &error));
        QCOMPARE(tmp.read("HostGame.tmp"), "Castle\r\n" + host.startData + "\r\n");
        const QList<QByteArray> client = GameFolder::splitLines(tmp.read("ClientGame.sav"));
        QCOMPARE(client.size(), 81);
        QCOMPARE(client.first(), QByteArray("Castle"));
        QCOMPARE(cell(client.at(1), 0), QByteArray("B03"));
        QCOMPARE(cell(client.at(40), 1), QByteArray("B12"));
        QCOMPARE(cell(client.at(41), 34), QByteArray("R07"));
    }

    void unevenArmiesAndFailures()
    {
        TempGameFolder tmp;
        const GameFolder folder(tmp.path());
        // Blank lines and short rows: nothing is padded, blank lines vanish.
        QVERIFY(tmp.write("Own.arm", "Hdr\r\n\r\n001 000 \r\n   \r\n002 \r\n"));
        const HostCompletion host =
            hostCompletionFiles(folder, "Top\r\n000 004 \r\n\r\n005 ", "Base.map", "Own.arm");
        QVERIFY(host.ok);
        QCOMPARE(tmp.read("HostGame.sav"),
                 QByteArray("Base\r\nB01 000 \r\nB02 \r\nR05 \r\nR04 000 \r\n"));
        QCOMPARE(host.startData, QByteArray("R01 000 \r\nR02 \r\nB05 \r\nB04 000 \r\n"));
        QCOMPARE(host.objectCount, qint16(4));

        // "Create Random Army" ticked without a Random.arm ever made.
        QVERIFY(hostCompletionFiles(folder, "", "Castle.map", "Random.arm")
                    .error.contains("Random.arm"));
        // The client's save cannot be written: a folder holds its name.
        QVERIFY(QDir(tmp.path()).mkdir("ClientGame.sav"));
        QString error;
        QVERIFY(!clientCompletionFiles(folder, "Castle.map", host.startData, &error));
        QVERIFY(error.contains("ClientGame.sav"));
    }

    void flipPrimitives()
    {
        // Both ends (more in the commands below) and the middle flag of an odd count.
        QCOMPARE(flipObjectID(24, 5001), qint16(5024));
        QCOMPARE(flipObjectID(43, 5022), qint16(5022));
        // Every number maps back, also where the 16-bit sum wraps.
        for (const qint16 count : {qint16(0), qint16(24), qint16(32767), qint16(-5)}) {
            for (const qint16 id : {qint16(5001), qint16(-32768), qint16(32767), qint16(0)})
                QCOMPARE(flipObjectID(count, flipObjectID(count, id)), id);
        }
        QCOMPARE(markSide("001 012 013 000 010 100 ", 'B'), QByteArray("B01 B12 013 000 B10 100 "));
        // Characters past a row's 160th are dropped.
        const QByteArray row = QByteArray("001 ") + QByteArray("000 ").repeated(39);
        QCOMPARE(halfTurnRow(row + "EXTRA"), QByteArray("000 ").repeated(39) + "001 ");
    }

    void adjustCommand_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("converted");
        QTest::newRow("east") << command("5003", 'E') << 24 << command("5022", 'W');
        QTest::newRow("north") << command("5001", 'N') << 43 << command("5043", 'S');
        QTest::newRow("every occurrence")
            << command("5003", 'N', " Path='5003-5003' Side='S'") << 24
            << command("5022", 'S', " Path='5022-5022' Side='N'");
        QTest::newRow("both numbers") << command("5003", 'W', " Target='5022' Turn='E'") << 24
                                      << command("5022", 'E', " Target='5003' Turn='W'");
        for (const char letter : {'X', 'n', '5', ' '})
            QTest::addRow("direction '%c'", letter) << command("5010", letter, " Other='N'") << 24
                                                    << command("5015", letter, " Other='N'");
        // 41 characters hold the number and direction; 40 are too few.
        QTest::newRow("41 characters") << command("5003", 'E').left(41) << 24
                                       << QByteArray("<Root><Command FlagID='5022' Direction='E");
        // Too short, or no number where the flag's number stands.
        QList<QByteArray> garbage = {
            QByteArray(),         QByteArray(60, '\0'), command("5003", 'E').left(40),
            command("50x3", 'E'), command(" 503", 'E'), command("-503", 'E')};
        garbage << "ARMYDATA: 001 002 003 004 005 006 007 008 009 010 011 012 ";
        for (const QByteArray &text : garbage)
            QTest::addRow("unchanged %d", int(text.size())) << text << 24 << text;
    }
    void adjustCommand()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        QFETCH(QByteArray, converted);
        QByteArray msg = text;
        QCOMPARE(AdjustCommand(msg, qint16(count)), converted);
        QCOMPARE(msg, converted);
        QCOMPARE(AdjustCommand(msg, qint16(count)), text);
    }

    void normalizeCommand_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray ok = command("5003", 'E');
        QTest::newRow("engine's") << ok << ok;
        QTest::newRow("bridge's") << QByteArray("<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\" "
                                                "SerpentJump=\"No\"></COMMAND></ROOT>")
                                  << ok;
        QTest::newRow("reordered") << QByteArray("<ROOT><COMMAND SerpentJump='No' Direction=\"E\" "
                                                 "FlagID=\"5003\"></COMMAND></ROOT>\r\n")
                                   << ok;
        QTest::newRow("just long enough")
            << QByteArray("FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No\"") << ok;
        // Each of the three attributes missing, misspelt or cut short.
        const QList<QByteArray> notCommands =
            QByteArray("|Wait|<ROOT><COMMAND Direction=\"E\" SerpentJump=\"No\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND FlagID=\"5003\" SerpentJump=\"No\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND flagid=\"5003\" Direction=\"E\" SerpentJump=\"No\"></ROOT>"
                       "|FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No"
                       "|SerpentJump=\"No\" Direction=\"E\" FlagID=\"50")
                .split('|');
        for (const QByteArray &text : notCommands)
            QTest::newRow(text.constData()) << text << QByteArray();
    }
    void normalizeCommand()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(NormalizeCommand(text), expected);
    }

    void randomArmiesAndCommandsKeepTheirMeaning()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (int round = 0; round < 25; ++round) {
            const QByteArray context =
                "seed " + QByteArray::number(seed) + " round " + QByteArray::number(round);
            TempGameFolder hostTmp;
            TempGameFolder clientTmp;
            const GameFolder clientFolder(clientTmp.path());
            const int hostFlags = random.bounded(0, 60);
            const int clientFlags = random.bounded(0, 60);
            QVERIFY(hostTmp.write("Own.arm", randomArmy(random, hostFlags)));
            const QByteArray clientArmy = randomArmy(random, clientFlags);
            const HostCompletion host = hostCompletionFiles(GameFolder(hostTmp.path()), clientArmy,
                                                            "Castle.map", "Own.arm");
            QVERIFY2(host.ok, context);
            QCOMPARE(int(host.objectCount), hostFlags + clientFlags);
            QVERIFY(clientCompletionFiles(clientFolder, "Castle.map", host.startData, nullptr));

            const QByteArray hostSave = hostTmp.read("HostGame.sav");
            const QByteArray clientSave = clientTmp.read("ClientGame.sav");
            // Host view -> client view -> host view gives the original back.
            QVERIFY(clientTmp.write("Back.tmp", swapSides(clientSave)));
            QVERIFY(FlipSave(clientFolder, "Back.tmp", "Host.tmp", nullptr));
            QVERIFY2(clientTmp.read("Host.tmp") == hostSave, context);
            // The client's own rows are its army file's rows, marked B.
            const QList<QByteArray> armyRows = GameFolder::splitLines(clientArmy);
            const QList<QByteArray> clientRows = GameFolder::splitLines(clientSave);
            for (int row = 1; row <= Size; ++row)
                QVERIFY2(clientRows.at(row) == markSide(armyRows.at(row), 'B'), context);
            const Board hostBoard(hostSave);
            const Board clientBoard(clientSave);
            QCOMPARE(hostBoard.cells.size(), int(host.objectCount));
            QCOMPARE(clientBoard.cells.size(), int(host.objectCount));

            // A move of the host's engine is the same move for the client's
            // engine once converted, and converts back to what was written.
            for (int move = 0; move < 20 && host.objectCount > 0; ++move) {
                const QByteArray written =
                    command(QByteArray::number(5001 + random.bounded(int(host.objectCount))),
                            "NSEW"[random.bounded(4)]);
                QByteArray wire = written;
                AdjustCommand(wire, host.objectCount);
                QCOMPARE(clientBoard.move(wire, true), hostBoard.move(written, false));
                QCOMPARE(AdjustCommand(wire, host.objectCount), written);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
