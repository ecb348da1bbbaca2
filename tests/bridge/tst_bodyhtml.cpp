#include "bodyhtml.h"

#include <QTest>

// What the serialiser must give is what a browser's document reports for the
// body: element names in capitals, attribute names as written.
class TestBodyHtml : public QObject
{
    Q_OBJECT

    static QByteArray page(const QByteArray &body)
    {
        return "<html><head><title>t</title></head><body>" + body + "</body></html>";
    }

private slots:
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
};

QTEST_MAIN(TestBodyHtml)
#include "tst_bodyhtml.moc"
