#include "gamefolder.h"
#include "memorypipe.h"
#include "messages.h"
#include "reassembly.h"

#include <QTest>

namespace {

/// An army text: a header line and 40 rows of 40 cells with a few flags, so
/// that a character lost or shifted anywhere changes the text.
QByteArray armyText()
{
    QByteArray text = "Castle\r\n";
    for (int row = 0; row < 40; ++row) {
        for (int column = 0; column < 40; ++column)
            text += (row + column) % 13 == 0
                        ? QByteArray::number(100 + (row % 12) + 1).right(3) + ' '
                        : QByteArray("000 ");
        text += "\r\n";
    }
    return text;
}

using Step = Reassembly::Step;

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void textsAsSentAndPayloadsAsTaken()
    {
        QCOMPARE(Messages::mapMessage("Castle.map"), QByteArray("MAP: Castle.map"));
        QCOMPARE(Messages::armyText({"Castle", "000 001 ", ""}),
                 QByteArray("Castle\r\n000 001 \r\n\r\n"));
        QCOMPARE(Messages::armyMessage("a\r\n"), QByteArray("ARMYDATA: a\r\n"));
        QCOMPARE(Messages::startDataMessage("R01 \r\n"), QByteArray("SAVEDATA1: R01 \r\n"));
        QCOMPARE(Messages::chatMessage(Role::Host, "hi"), QByteArray("SERVER: hi"));
        QCOMPARE(Messages::chatMessage(Role::Client, ""), QByteArray("CLIENT: "));

        // The map name is trimmed of blanks only; the army text is not trimmed.
        QCOMPARE(Messages::mapPayload("MAP:   Castle.map  "), QByteArray("Castle.map"));
        QCOMPARE(Messages::mapPayload("MAP: Castle.map\r\n"), QByteArray("Castle.map\r\n"));
        QCOMPARE(Messages::armyPayload("ARMYDATA:  000 \r\n "), QByteArray(" 000 \r\n "));
        QCOMPARE(Messages::startDataPayload("SAVEDATA1:  B01 \r\n  "), QByteArray("B01 \r\n"));
        // A marker behind other text: the payload still follows the marker.
        QCOMPARE(Messages::armyPayload("CLIENT: hiARMYDATA: 000 "), QByteArray("000 "));

        // Markers match exactly, anywhere in the text.
        QVERIFY(Messages::hasMap("SERVER: the MAP: is"));
        QVERIFY(!Messages::hasMap("map: Castle.map"));
        QVERIFY(!Messages::hasMap("Map: Castle.map"));
        QVERIFY(!Messages::hasArmy("ARMYDATA : x"));
        QVERIFY(!Messages::hasStartData("SAVEDATA: x"));
        const QByteArray command = "<Root><Command FlagID='5003' Direction='E' />";
        QVERIFY(Messages::isCommand(command));
        QVERIFY(!Messages::isBridgeCommand(command));
        QVERIFY(Messages::isBridgeCommand("<ROOT><COMMAND FlagID=\"5003\">"));
        QVERIFY(!Messages::isCommand("<ROOT><COMMAND FlagID=\"5003\">"));

        QCOMPARE(Messages::armyPattern("Castle.map"), QStringLiteral("*Castle*.arm"));
        QCOMPARE(Messages::mapBaseName("Base.map"), QByteArray("Base"));
    }

    void mapNamesThatLeaveTheGameFolderAreRefused_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << QByteArray("Castle.map") << true;
        QTest::newRow("blank inside") << QByteArray("Big Castle.map") << true;
        QTest::newRow("8-bit") << QByteArray("Ch\xe2teau.map") << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("parent") << QByteArray("../Castle.map") << false;
        QTest::newRow("parent backslash") << QByteArray("..\\Castle.map") << false;
        QTest::newRow("dots only") << QByteArray("..") << false;
        QTest::newRow("sub folder") << QByteArray("Send/AICommand.xml") << false;
        QTest::newRow("absolute") << QByteArray("/etc/passwd.map") << false;
        QTest::newRow("drive") << QByteArray("C:Castle.map") << false;
        QTest::newRow("drive root") << QByteArray("C:\\Castle.map") << false;
        QTest::newRow("control") << QByteArray("Cas\ttle.map") << false;
        QTest::newRow("line end") << QByteArray("Castle.map\r\nCLIENT: x") << false;
        QTest::newRow("wildcard") << QByteArray("*.map") << false;
        QTest::newRow("device") << QByteArray("con.map") << false;
        QTest::newRow("port device") << QByteArray("COM1.map") << false;
        QTest::newRow("like a device") << QByteArray("Console.map") << true;
        QTest::newRow("extension only") << QByteArray(".map") << false;
        QTest::newRow("too long") << QByteArray(300, 'a') + ".map" << false;
    }
    void mapNamesThatLeaveTheGameFolderAreRefused()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, accepted);
        QCOMPARE(Messages::mapNameProblem(name).isEmpty(), accepted);
    }

    void everyTwoPieceSplitGivesTheWholePayload()
    {
        const QByteArray text = armyText();
        const QByteArray message = Messages::armyMessage(text);
        for (int at = 1; at < message.size(); ++at) {
            Reassembly army(Messages::ArmyMarker, Messages::ArmyLineEnds, Messages::ArmyLimit);
            const QList<QByteArray> pieces = MemoryPipe::cut(message, {at});
            const Step first = army.take(pieces[0]);
            // The first piece never completes: the last line end is missing.
            QVERIFY2(first == Step::Started || first == Step::None,
                     qPrintable(QString::number(at)));
            QCOMPARE(army.take(pieces[1]), Step::Completed);
            QVERIFY2(army.payload() == text, qPrintable(QString::number(at)));
        }
    }

    void oneCharacterPiecesAndJoinedText()
    {
        const QByteArray text = armyText();
        Reassembly army(Messages::ArmyMarker, Messages::ArmyLineEnds, Messages::ArmyLimit);
        int completed = 0;
        for (const char c : Messages::armyMessage(text))
            completed += army.take(QByteArray(1, c)) == Step::Completed;
        QCOMPARE(completed, 1);
        QCOMPARE(army.payload(), text);

        // Complete, it stays complete: further text is not added.
        QCOMPARE(army.take("CLIENT: hello"), Step::AlreadyComplete);
        QCOMPARE(army.payload(), text);

        // A chat line joined in front of a new army message is handed back.
        QByteArray before;
        QCOMPARE(army.take("CLIENT: againARMYDATA: " + text, &before), Step::Completed);
        QCOMPARE(before, QByteArray("CLIENT: again"));
        QCOMPARE(army.payload(), text);

        // Text joined behind the last line end is handed back, also when
        // that line end was split; empty lines stay with the army.
        QByteArray after;
        const QByteArray message = Messages::armyMessage(text);
        QCOMPARE(army.take(message.chopped(1)), Step::Started);
        QCOMPARE(army.take("\nCLIENT: bye", nullptr, &after), Step::Completed);
        QCOMPARE(after, QByteArray("CLIENT: bye"));
        QCOMPARE(army.payload(), text);
        after.clear();
        QCOMPARE(army.take(message + "\r\n \r\n", nullptr, &after), Step::Completed);
        QVERIFY(after.isEmpty());
        QCOMPARE(army.payload(), text + "\r\n \r\n");
    }

    void anOversizedMessageIsDroppedUntilTheNextMarker()
    {
        Reassembly army(Messages::ArmyMarker, Messages::ArmyLineEnds, 1000);
        QCOMPARE(army.take("ARMYDATA: " + QByteArray(600, '0')), Step::Started);
        QCOMPARE(army.take(QByteArray(600, '0')), Step::Overflowed);
        QVERIFY(army.payload().isEmpty());
        QVERIFY(!army.isFilling());
        QCOMPARE(army.take(QByteArray(5000, '0')), Step::Dropped);
        QCOMPARE(army.take("ARMYDATA: " + QByteArray(2000, '1')), Step::Overflowed);
        // A message within the limit is taken again.
        const QByteArray small = QByteArray("0\r\n").repeated(41);
        QCOMPARE(army.take("ARMYDATA: " + small), Step::Completed);
        QCOMPARE(army.payload(), small);
        QVERIFY(!army.takeWhole(QByteArray(1001, '0')));
        QVERIFY(!army.isComplete());
        QVERIFY(army.takeWhole("x"));
        QVERIFY(army.isComplete());
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
