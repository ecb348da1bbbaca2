// Hostile answer pages, built in the test and served by a stand-in bridge on
// 127.0.0.1: each is refused quickly with a reason, before the parser could
// take the connector down or hold it up; real answers still pass whole.

#include "answerlimits.h"
#include "bodyhtml.h"
#include "bridgeoutcome.h"
#include "httpsendreceive.h"
#include "standinbridge.h"

#include <QElapsedTimer>

using namespace HTTPSendReceive;

namespace {

QByteArray filled(const QByteArray &piece, int bytes)
{
    return piece.repeated(bytes / int(piece.size()));
}

QByteArray page(const QByteArray &body)
{
    return "<html><head></head><body>" + body + "</body></html>";
}

// The start data message as a GetData page gives it: 80 rows of 40 cells.
QByteArray startDataBody()
{
    QByteArray body = "SAVEDATA1: ";
    for (int row = 0; row < 80; ++row)
        body += QByteArray(row < 40 ? "000 " : "B01 ").repeated(40) + "<br>";
    return body;
}

} // namespace

class TestAnswerLimits : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { releaseBridgeBrowser(); }

    void hostilePagesAreRefusedQuickly_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");

        const QString larger = QStringLiteral("it is larger than 32 KiB");
        const QString deep = QStringLiteral("it nests elements more than 64 deep");
        QTest::newRow("1 MiB of nested tags") << filled("<div>", 1 << 20) << larger;
        QTest::newRow("64 KiB of table cells") << filled("<table><td>", 64 << 10) << larger;
        QTest::newRow("128 KiB of table cells") << filled("<table><td>", 128 << 10) << larger;
        QTest::newRow("table cells within the size") << filled("<table><td>", 30 << 10) << deep;
        // End tags that close nothing do not make a page shallower.
        QTest::newRow("misnested end tags") << filled("<div></b>", 30 << 10) << deep;
        QTest::newRow("tags alone")
            << filled("<br>", 30 << 10) << QStringLiteral("it has more than 4096 tags");
        // Few tags, shallow, but every paragraph reopens the 60 formatting
        // elements that the first one left open.
        QByteArray reopened = "<p>";
        for (int i = 0; i < 60; ++i)
            reopened += "<b class=" + QByteArray::number(i) + ">";
        reopened += "x</p>" + QByteArray("<p>x</p>").repeated(2000);
        QTest::newRow("reopened formatting")
            << reopened << QStringLiteral("its body would be longer than 256 KiB");
    }

    void hostilePagesAreRefusedQuickly()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);

        QString why;
        QVERIFY(BodyHtml::innerHtml(page(body), &why).isEmpty());
        QCOMPARE(why, reason);

        StandInBridge bridge;
        StandInBridge::Reply reply;
        reply.body = body;
        bridge.answerWith(&reply);
        createBridgeBrowser()->setBaseUrl(bridge.url());
        QElapsedTimer clock;
        clock.start();
        const Outcome polled = await(BridgeGetData("17", "Host"), 60000);
        QVERIFY(polled.finished && !polled.ok);
        QVERIFY2(
            polled.error.contains(QStringLiteral("sent an answer that was refused: ") + reason),
            qPrintable(polled.error));
        // Generous for a loaded machine and the sanitizers; before the bounds
        // the 128 KiB page alone took half a minute.
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        // The answer of a post is read by nobody: a post stays taken.
        QVERIFY(await(BridgeSendData("17", "Client", "MAP: Castle.map"), 60000).ok);
    }

    void realAnswersPassWhole()
    {
        StandInBridge bridge;
        StandInBridge::Reply reply;
        QByteArray &served = reply.body;
        bridge.answerWith(&reply);
        createBridgeBrowser()->setBaseUrl(bridge.url());

        served = startDataBody();
        QVERIFY(page(served).size() > 13000);
        QByteArray expected = served;
        expected.replace("<br>", "\r\n");
        const Outcome start = await(BridgeGetData("17", "Client"));
        QVERIFY2(start.ok, qPrintable(start.error));
        QCOMPARE(start.answer, expected);

        // Up to each bound a page is taken: 62 levels in the body, with html
        // and body 64; exactly the largest size.
        served = QByteArray("<div>").repeated(62) + "x";
        QCOMPARE(await(BridgeGetData("17", "Client")).answer,
                 QByteArray("<DIV>").repeated(62) + "x" + QByteArray("</DIV>").repeated(62));
        served = "x";
        served = QByteArray(AnswerLimits::MaxBytes - int(page(served).size()) + 1, 'y');
        QVERIFY(await(BridgeGetData("17", "Client")).ok);
        served += 'y';
        QVERIFY(!await(BridgeGetData("17", "Client")).ok);
    }
};

QTEST_MAIN(TestAnswerLimits)
#include "tst_answerlimits.moc"
