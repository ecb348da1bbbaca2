#include "armyflip.h"
#include "armytexts.h"
#include "command.h"
#include "completion.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using ArmyTexts::army;
using ArmyTexts::command;
using ArmyTexts::oneOfEachKind;

namespace {

constexpr int Size = 40;

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

} // namespace

class TestConversion : public QObject
{
    Q_OBJECT

private slots:
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

    void commands_data()
    {
        // Flag numbers count from the other end and directions turn round on
        // every move of the random game below; these are the odd spellings.
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("converted"); // by AdjustCommand, 24 flags; or
        QTest::addColumn<QByteArray>("normal");    // by NormalizeCommand
        QTest::newRow("every occurrence")
            << command("5003", 'N', " Path='5003-5003' Side='S'")
            << command("5022", 'S', " Path='5022-5022' Side='N'") << QByteArray();
        QTest::newRow("other direction") << command("5010", 'X', " Other='N'")
                                         << command("5015", 'X', " Other='N'") << QByteArray();
        // 41 characters hold the number and direction; 40 are too few.
        QTest::newRow("41 characters")
            << command("5003", 'E').left(41) << command("5022", 'E').left(41) << QByteArray();
        for (const QByteArray &text : {command("5003", 'E').left(40), command("-503", 'E')})
            QTest::addRow("unchanged %s", text.constData()) << text << text << QByteArray();
        QTest::newRow("reordered") << QByteArray("<ROOT><COMMAND SerpentJump='No' Direction=\"E\" "
                                                 "FlagID=\"5003\"></COMMAND></ROOT>\r\n")
                                   << QByteArray() << command("5003", 'E');
        const QList<QByteArray> notCommands =
            QByteArray("<ROOT><COMMAND Direction=\"E\" SerpentJump=\"No\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND FlagID=\"5003\" SerpentJump=\"No\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND flagid=\"5003\" Direction=\"E\" SerpentJump=\"No\"></ROOT>"
                       "|SerpentJump=\"No\" Direction=\"E\" FlagID=\"50")
                .split('|');
        for (const QByteArray &text : notCommands)
            QTest::newRow(text.constData()) << text << QByteArray() << QByteArray();
    }
    void commands()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, converted);
        QFETCH(QByteArray, normal);
        QByteArray msg = text;
        if (converted.isEmpty())
            QCOMPARE(NormalizeCommand(text), normal);
        else
            QCOMPARE(AdjustCommand(msg, 24), converted);
    }

    void randomArmiesAndCommandsKeepTheirMeaning()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        const ArmyTexts::SeedTeller tell{seed};
        for (int round = 0; round < 25; ++round) {
            TempGameFolder hostTmp;
            TempGameFolder clientTmp;
            const GameFolder clientFolder(clientTmp.path());
            const int hostFlags = random.bounded(0, 60);
            const int clientFlags = random.bounded(0, 60);
            QVERIFY(hostTmp.write("Own.arm", randomArmy(random, hostFlags)));
            const QByteArray clientArmy = randomArmy(random, clientFlags);
            const HostCompletion host = hostCompletionFiles(GameFolder(hostTmp.path()), clientArmy,
                                                            "Castle.map", "Own.arm");
            QVERIFY(host.ok);
            QCOMPARE(int(host.objectCount), hostFlags + clientFlags);
            QVERIFY(clientCompletionFiles(clientFolder, "Castle.map", host.startData, nullptr));

            // The client's save: its own rows as in its army file, marked B,
            // then the host's; the host's board from the other end.
            const QByteArray hostSave = hostTmp.read("HostGame.sav");
            const QList<QByteArray> clientSave =
                GameFolder::splitLines(clientTmp.read("ClientGame.sav"));
            QCOMPARE(ArmyTexts::unmarked(clientSave.mid(1, Size)),
                     GameFolder::splitLines(clientArmy).mid(1));
            QCOMPARE(ArmyTexts::otherEnd(GameFolder::splitLines(hostSave).mid(1)),
                     clientSave.mid(1));
            // A move converts to the other player's view and back.
            for (int move = 0; move < 20 && host.objectCount > 0; ++move) {
                const QByteArray written =
                    command(QByteArray::number(5001 + random.bounded(int(host.objectCount))),
                            "NSEW"[random.bounded(4)]);
                QByteArray wire = written;
                QCOMPARE(AdjustCommand(wire, host.objectCount),
                         ArmyTexts::mirrored(written, host.objectCount));
                QCOMPARE(AdjustCommand(wire, host.objectCount), written);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
