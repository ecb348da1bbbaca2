#include "command.h"

#include <QTest>

namespace {

QByteArray command(const char *flag, char direction, const char *rest = " SerpentJump='No'")
{
    return QByteArray("<Root><Command FlagID='") + flag + "' Direction='" + direction + "'" + rest +
           "/></Root>";
}

} // namespace

class TestCommand : public QObject
{
    Q_OBJECT

private slots:
    void adjustConvertsBetweenTheTwoViews()
    {
        QByteArray msg = command("5003", 'E');
        QCOMPARE(msg.at(23), '5');
        QCOMPARE(msg.at(40), 'E');
        const QByteArray converted = AdjustCommand(msg, 24);
        QCOMPARE(converted, command("5022", 'W'));
        QCOMPARE(msg, converted);
        QCOMPARE(AdjustCommand(msg, 24), command("5003", 'E'));

        QByteArray north = command("5001", 'N');
        QCOMPARE(AdjustCommand(north, 43), command("5043", 'S'));
        QByteArray south = command("5043", 'S');
        QCOMPARE(AdjustCommand(south, 43), command("5001", 'N'));
    }

    void adjustConvertsEveryOccurrence()
    {
        QByteArray msg = command("5003", 'N', " SerpentJump='No' Path='5003-5003' Side='S'");
        QCOMPARE(AdjustCommand(msg, 24),
                 command("5022", 'S', " SerpentJump='No' Path='5022-5022' Side='N'"));
        // The converted forms that were already there turn back, so converting
        // twice gives the command back.
        QCOMPARE(AdjustCommand(msg, 24),
                 command("5003", 'N', " SerpentJump='No' Path='5003-5003' Side='S'"));
        QByteArray both = command("5003", 'W', " Target='5022' Turn='E'");
        const QByteArray original = both;
        AdjustCommand(both, 24);
        QCOMPARE(both, command("5022", 'E', " Target='5003' Turn='W'"));
        QCOMPARE(AdjustCommand(both, 24), original);
    }

    void otherDirectionLettersOnlyConvertTheNumber()
    {
        for (const char letter : {'X', 'n', 'e', '5', ' '}) {
            QByteArray msg = command("5010", letter, " Other='N' More='E'");
            QByteArray expected = command("5015", letter, " Other='N' More='E'");
            QCOMPARE(AdjustCommand(msg, 24), expected);
        }
    }

    void garbageIsLeftUnchanged()
    {
        const QList<QByteArray> garbage = {
            QByteArray(),
            "<Root><Command FlagID='5003' Dir", // shorter than 41
            command("50x3", 'E'),               // not a number
            command(" 503", 'E'),
            command("-503", 'E'),
            QByteArray("ARMYDATA: 001 002 003 004 005 006 007 008 009 010 011 012 "),
            QByteArray(60, '\0'),
        };
        for (const QByteArray &text : garbage) {
            QByteArray msg = text;
            QCOMPARE(AdjustCommand(msg, 24), text);
            QCOMPARE(msg, text);
        }
        // A 41-character text is long enough for the number; the direction
        // has no closing quote there, so it stays. 40 characters are too few.
        QByteArray exact = command("5003", 'E').left(41);
        QCOMPARE(AdjustCommand(exact, 24), QByteArray("<Root><Command FlagID='5022' Direction='E"));
        QByteArray cut = command("5003", 'E').left(40);
        QCOMPARE(AdjustCommand(cut, 24), command("5003", 'E').left(40));
    }

    void normalizeRebuildsBridgeCommands()
    {
        const QByteArray expected = command("5003", 'E');
        QCOMPARE(NormalizeCommand(expected), expected);
        QCOMPARE(NormalizeCommand(
                     "<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No\"></COMMAND>"
                     "</ROOT>"),
                 expected);
        QCOMPARE(NormalizeCommand("<ROOT><COMMAND SerpentJump='No' Direction=\"E\" "
                                  "FlagID=\"5003\"></COMMAND></ROOT>\r\n"),
                 expected);
        QByteArray normalized = NormalizeCommand(
            "<ROOT><COMMAND FlagID=\"5022\" Direction=\"W\" SerpentJump=\"No\"></COMMAND></ROOT>");
        QCOMPARE(AdjustCommand(normalized, 24), expected);
    }

    void normalizeRejectsWhatIsNoCommand()
    {
        const QList<QByteArray> notCommands = {
            QByteArray(),
            "Wait",
            "<ROOT><COMMAND Direction=\"E\" SerpentJump=\"No\"></COMMAND></ROOT>",
            "<ROOT><COMMAND FlagID=\"5003\" SerpentJump=\"No\"></COMMAND></ROOT>",
            "<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\"></COMMAND></ROOT>",
            "<ROOT><COMMAND flagid=\"5003\" Direction=\"E\" SerpentJump=\"No\"></ROOT>",
            // Each attribute present but the last piece runs past the end.
            "FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No",
            "SerpentJump=\"No\" Direction=\"E\" FlagID=\"50",
        };
        for (const QByteArray &text : notCommands)
            QVERIFY2(NormalizeCommand(text).isEmpty(), text.constData());
        // Just long enough is a command.
        QVERIFY(!NormalizeCommand("FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No\"").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCommand)
#include "tst_command.moc"
