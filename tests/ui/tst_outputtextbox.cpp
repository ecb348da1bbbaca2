// The Chat/Status box keeps a history: the moves of a game no longer wipe
// the conversation.

#include "outputtextbox.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

class TestOutputTextBox : public QObject
{
    Q_OBJECT

private slots:
    void chatStaysVisibleWhileMovesComeAndGo()
    {
        OutputTextBox box;
        box.resize(400, 600);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.replace("Ready to Start\r\n", true);
        box.append("CLIENT: good luck");
        for (int move = 1; move <= 10; ++move) {
            const QByteArray command = "<Root><Command FlagID='500" + QByteArray::number(move % 10);
            box.replace(move % 2 ? "SENT: \r\n" + command + "\r\n" : QByteArray("RECEIVED:\r\n"),
                        true);
        }
        // The core's text is the last move's; the box shows the whole road.
        QVERIFY(box.text() == "RECEIVED:\r\n" && box.caretAtEnd());
        const QStringList shown = box.shownText().split('\n');
        QCOMPARE(shown.mid(0, 4), (QStringList{"Ready to Start", "CLIENT: good luck",
                                               "SENT: ", "<Root><Command FlagID='5001"}));
        QCOMPARE(shown.mid(shown.size() - 2), (QStringList{"RECEIVED:", ""}));
        // Readable in the window: the chat line lies inside the box's view.
        QTextCursor chat = box.document()->find(QStringLiteral("CLIENT: good luck"));
        QVERIFY(box.viewport()->rect().contains(box.cursorRect(chat).center()));
    }

    void historyIsBounded()
    {
        OutputTextBox box;
        box.append("SERVER: first");
        for (int line = 0; line < 2 * OutputTextBox::MaxLines; ++line)
            box.replace("SENT: " + QByteArray::number(line) + "\r\n", true);
        box.append(QByteArray(OutputTextBox::MaxBytes, 'x'));
        QVERIFY(box.document()->blockCount() <= OutputTextBox::MaxLines &&
                box.document()->characterCount() <= 2 * OutputTextBox::MaxBytes);
        QVERIFY(!box.shownText().contains(QLatin1String("SERVER: first")) &&
                box.shownText().endsWith(QLatin1String("xxx\n")));
        QVERIFY(box.text().size() <= OutputTextBox::MaxBytes);
    }
};

QTEST_MAIN(TestOutputTextBox)
#include "tst_outputtextbox.moc"
