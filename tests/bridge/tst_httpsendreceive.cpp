// The bridge requests against a stand-in bridge on 127.0.0.1: the forms go
// out byte for byte, answers are the body as a browser reports it (element
// names in capitals, attribute names as written), failures
// are reported and never taken as answers, hostile pages are refused quickly
// with a reason, and a released browser object
// silences its requests.

#include "bodyhtml.h"
#include "httpsendreceive.h"
#include "standinbridge.h"

#include <QPointer>
#include <QSignalSpy>

using namespace HTTPSendReceive;

namespace {

QByteArray filled(const QByteArray &piece, int bytes)
{
    return piece.repeated(bytes / int(piece.size()));
}

QByteArray page(const QByteArray &body)
{
    return "<html><head><title>t</title></head><body>" + body + "</body></html>";
}

/// A whole answer of the server with `body` in its page.
QByteArray served(const QByteArray &body)
{
    const QByteArray html = page(body);
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           QByteArray::number(html.size()) + "\r\nConnection: close\r\n\r\n" + html;
}

} // namespace

class TestHttpSendReceive : public QObject
{
    Q_OBJECT

    StandInBridge m_bridge;
    StandInBridge::Reply m_reply;
    BridgeBrowser m_browser;

private slots:
    void init()
    {
        m_reply = {};
        m_bridge.answerWith(&m_reply);
        m_bridge.requests.clear();
        m_browser.setBaseUrl(m_bridge.url());
    }

    void formsGoOutByteForByteAndAnswersAreTheBodyAsABrowserReportsIt()
    {
        QVERIFY(!BridgeGetData(nullptr, "1", "Host"));
        m_reply.body = "12<BR>";
        QCOMPARE(await(BridgeConnect(&m_browser, "PC: My Game")).answer, QByteArray("12\r\n"));
        QVERIFY(await(BridgeSendData(&m_browser, "12", "Client",
                                     "MAP: Old Fort.map\r\nA+B & C=%20\r\n"))
                    .ok);
        m_reply.body = "Wait";
        QCOMPARE(await(BridgeGetData(&m_browser, "12", "Host")).answer, QByteArray("Wait"));
        QVERIFY(await(BridgeGetData(&m_browser, "12", "Host", 3)).ok);
        QVERIFY(await(BridgeGetData(&m_browser, "12", "Host", 100)).ok);
        QVERIFY(!m_browser.isVisible());
        QVERIFY(await(BridgeSessions(&m_browser)).ok);
        QVERIFY(m_browser.isVisible());

        const QList<QPair<QByteArray, QByteArray>> expected = {
            {"/Bridge/Connect.asp", "SessionName=PC:+My+Game"},
            {"/Bridge/SendData.asp",
             "SessionKey=12&DataOwner=Client&SessionData=MAP:+Old+Fort.map<br>A+B+&+C=%20<br>"},
            {"/Bridge/GetData.asp", "SessionKey=12&DataOwner=Host"},
            // A held poll asks for its hold, never more than 25 seconds.
            {"/Bridge/GetData.asp", "SessionKey=12&DataOwner=Host&WaitSeconds=3"},
            {"/Bridge/GetData.asp", "SessionKey=12&DataOwner=Host&WaitSeconds=25"},
            // The empty form goes out as one zero byte.
            {"/Bridge/Sessions.asp", QByteArray(1, '\0')},
        };
        QCOMPARE(m_bridge.requests.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QByteArray &head = m_bridge.requests.at(i).head;
            QVERIFY(head.startsWith("POST " + expected.at(i).first + " HTTP/1.1\r\n"));
            QCOMPARE(m_bridge.requests.at(i).body, expected.at(i).second);
            QCOMPARE(head.toLower().count("\r\ncontent-type:"), 1);
            QVERIFY(head.contains("\r\nContent-Type: application/x-www-form-urlencoded"));
        }
        // Only the capital "<BR>" of the reported text becomes CR LF.
        QCOMPARE(lineBreaksToCrLf("12<BR>a<br>b<Br>"), QByteArray("12\r\na<br>b<Br>"));
    }

    void serialisesLikeABrowser_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("inner");

        QTest::newRow("plain text") << page("Wait") << QByteArray("Wait");
        QTest::newRow("no body tags") << QByteArray("12") << QByteArray("12");
        QTest::newRow("line breaks")
            << page("A<br>B<br/>C</br>D") << QByteArray("A<BR>B<BR>C<BR>D");
        // The game command: unknown elements in capitals, attributes as
        // written, the self-closing mark ignored so Command wraps nothing.
        QTest::newRow("command")
            << page("<Root><Command FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No\"/></Root>")
            << QByteArray("<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\" "
                          "SerpentJump=\"No\"></COMMAND></ROOT>");
        QTest::newRow("unquoted and single-quoted attributes")
            << page("<Command FlagID=5001 Direction='N'></Command>")
            << QByteArray("<COMMAND FlagID=\"5001\" Direction=\"N\"></COMMAND>");
        QTest::newRow("known elements")
            << page("<p class=x>a <b>b</b></p><hr><img src=\"i.png\">")
            << QByteArray("<P class=\"x\">a <B>b</B></P><HR><IMG src=\"i.png\">");
        // Text is reported escaped again; nothing is left decoded.
        QTest::newRow("entities") << page("a &amp; b &lt; c &gt; d &quot;e&quot; &nbsp;")
                                  << QByteArray("a &amp; b &lt; c &gt; d \"e\" &nbsp;");
        QTest::newRow("bare ampersand and less-than")
            << page("A&B < C") << QByteArray("A&amp;B &lt; C");
        QTest::newRow("attribute quotes")
            << page("<x a='say \"hi\" &amp; go'></x>")
            << QByteArray("<X a=\"say &quot;hi&quot; &amp; go\"></X>");
        QTest::newRow("bytes above 127 are one character each")
            << page("Caf\xe9 \xff") << QByteArray("Caf\xe9 \xff");
        // Whitespace around the page does not land in the answer, except what
        // a parser moves into the body.
        QTest::newRow("whitespace before body")
            << QByteArray("<html>\n<head></head>\n<body>Wait</body></html>") << QByteArray("Wait");
        QTest::newRow("empty body") << page("") << QByteArray();
        QTest::newRow("no body") << QByteArray("<html><head></head><frameset></frameset></html>")
                                 << QByteArray();
        QTest::newRow("nothing") << QByteArray() << QByteArray();
    }

    void serialisesLikeABrowser()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, inner);
        QCOMPARE(BodyHtml::innerHtml(page), inner);
    }

    void failuresAndHostilePagesAreReportedNotTakenAsAnswers_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("error");
        QTest::newRow("server error")
            << QByteArray("HTTP/1.1 503 Busy\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            << QStringLiteral("HTTP status 503");
        // A moved server: reported, not followed or taken as the answer.
        QTest::newRow("redirect") << QByteArray("HTTP/1.1 302 Found\r\nLocation: "
                                                "http://127.0.0.1:1/\r\nContent-Length: "
                                                "0\r\nConnection: close\r\n\r\n")
                                  << QStringLiteral("302");
        // A page without end is cut off, not held in memory.
        QTest::newRow("endless page") << "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                                             QByteArray(BridgeReply::MaxAnswerBytes + 1024, 'x')
                                      << QStringLiteral("it is larger than 32 KiB");
        // Hostile pages are refused quickly with the reason, before the parser
        // could take the connector down or hold it up.
        const QString larger = QStringLiteral("it is larger than 32 KiB");
        const QString deep = QStringLiteral("it nests elements more than 64 deep");
        QTest::newRow("1 MiB of nested tags") << served(filled("<div>", 1 << 20)) << larger;
        QTest::newRow("128 KiB of table cells")
            << served(filled("<table><td>", 128 << 10)) << larger;
        QTest::newRow("table cells within the size")
            << served(filled("<table><td>", 30 << 10)) << deep;
        // End tags that close nothing do not make a page shallower.
        QTest::newRow("misnested end tags") << served(filled("<div></b>", 30 << 10)) << deep;
        QTest::newRow("tags alone")
            << served(filled("<br>", 30 << 10)) << QStringLiteral("it has more than 4096 tags");
        // Few tags, shallow, but every paragraph reopens the 60 formatting
        // elements that the first one left open.
        QByteArray reopened = "<p>";
        for (int i = 0; i < 60; ++i)
            reopened += "<b class=" + QByteArray::number(i) + ">";
        reopened += "x</p>" + QByteArray("<p>x</p>").repeated(2000);
        QTest::newRow("reopened formatting")
            << served(reopened) << QStringLiteral("its body would be longer than 256 KiB");
    }

    void failuresAndHostilePagesAreReportedNotTakenAsAnswers()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, error);
        m_reply = {StandInBridge::Reply::Kind::Raw, raw, 0};
        QElapsedTimer clock;
        clock.start();
        const Outcome outcome = await(BridgeGetData(&m_browser, "12", "Host"), 60000);
        QVERIFY(outcome.finished && !outcome.ok && outcome.answer.isEmpty());
        QVERIFY2(outcome.error.contains(error) &&
                     outcome.error.contains(QStringLiteral("127.0.0.1")),
                 qPrintable(outcome.error));
        // Generous for a loaded machine and the sanitizers; before the bounds
        // the 128 KiB page alone took half a minute.
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        // The answer of a post is read by nobody: past the bounds or not, a
        // post that the server answered stays taken.
        QCOMPARE(await(BridgeSendData(&m_browser, "17", "Client", "MAP: Castle.map"), 60000).ok,
                 error.startsWith(QStringLiteral("it")));
    }

    void releasedBrowserSilencesItsRequests()
    {
        // The server takes the request and never answers; the window that
        // made it closes: nothing may call back into it.
        m_reply.kind = StandInBridge::Reply::Kind::Silent;
        QPointer<BridgeBrowser> browser = new BridgeBrowser;
        browser->setBaseUrl(m_bridge.url());
        QPointer<BridgeReply> reply = BridgeGetData(browser, "12", "Host");
        QSignalSpy finished(reply.data(), &BridgeReply::finished);
        QTRY_COMPARE(m_bridge.requests.size(), 1);
        BridgeBrowser::release(browser);
        QVERIFY(!browser);
        QTRY_VERIFY(reply.isNull());
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_MAIN(TestHttpSendReceive)
#include "tst_httpsendreceive.moc"
