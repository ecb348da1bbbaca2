#include "armytexts.h"
#include "command.h"
#include "completion.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QDir>
#include <QTest>

using ArmyTexts::command;

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

        // The client's save cannot be written: a folder holds its name.
        QVERIFY(QDir(tmp.path()).mkdir("ClientGame.sav"));
        QString error;
        QVERIFY(!clientCompletionFiles(folder, "Castle.map", host.startData, &error));
        QVERIFY(error.contains("ClientGame.sav"));
    }

    void commands_data()
    {
        // Plain commands turn round in every whole game; these are the odd
        // spellings.
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("converted"); // by AdjustCommand, 24 flags; or
        QTest::addColumn<QByteArray>("normal");    // by NormalizeCommand
        QTest::newRow("every occurrence")
            << command("5003", 'N', " Path='5003-5003' Side='S'")
            << command("5022", 'S', " Path='5022-5022' Side='N'") << QByteArray();
        QTest::newRow("other direction") << command("5010", 'X', " Other='N'")
                                         << command("5015", 'X', " Other='N'") << QByteArray();
        // 41 characters hold the number and direction (fewer: fuzz_command).
        QTest::newRow("41 characters")
            << command("5003", 'E').left(41) << command("5022", 'E').left(41) << QByteArray();
        QTest::newRow("reordered") << QByteArray("<ROOT><COMMAND SerpentJump='No' Direction=\"E\" "
                                                 "FlagID=\"5003\"></COMMAND></ROOT>\r\n")
                                   << QByteArray() << command("5003", 'E');
        const QList<QByteArray> notCommands =
            QByteArray("<ROOT><COMMAND Direction=\"E\" SerpentJump=\"No\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND FlagID=\"5003\" SerpentJump=\"No\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\"></COMMAND></ROOT>"
                       "|<ROOT><COMMAND flagid=\"5003\" Direction=\"E\" SerpentJump=\"No\"></ROOT>")
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
};

QTEST_GUILESS_MAIN(TestConversion)
#include "tst_conversion.moc"
