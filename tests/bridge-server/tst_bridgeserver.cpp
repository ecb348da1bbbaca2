#include "bridgeserverprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

// The server as the connector meets it: real process, real sockets on
// 127.0.0.1, forms written the way the connector writes them.
class TestBridgeServer : public QObject
{
    Q_OBJECT

    struct Answer
    {
        int status = 0;
        QByteArray body;
        QByteArray page;
    };

    QNetworkAccessManager m_net;

    Answer post(const BridgeServerProcess &server, const QString &page, const QByteArray &form,
                bool get = false)
    {
        QUrl url = server.url();
        url.setPath(QStringLiteral("/Bridge/") + page);
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        QNetworkReply *reply = get ? m_net.get(request) : m_net.post(request, form);
        QSignalSpy done(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            done.wait(10000);
        Answer answer;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.page = reply->readAll();
        // The body's content exactly as the server wrote it.
        const int open = answer.page.indexOf("<body>");
        const int close = answer.page.lastIndexOf("</body>");
        answer.body =
            open >= 0 && close > open ? answer.page.mid(open + 6, close - open - 6) : answer.page;
        reply->deleteLater();
        return answer;
    }

    QByteArray connect(const BridgeServerProcess &server, const QByteArray &name)
    {
        QByteArray form = "SessionName=" + name;
        form.replace(' ', '+');
        const Answer answer = post(server, QStringLiteral("Connect.asp"), form);
        return answer.status == 200 ? answer.body : QByteArray();
    }

    Answer send(const BridgeServerProcess &server, const QByteArray &key, const QByteArray &owner,
                const QByteArray &data)
    {
        return post(server, QStringLiteral("SendData.asp"),
                    "SessionKey=" + key + "&DataOwner=" + owner + "&SessionData=" + data);
    }

    Answer get(const BridgeServerProcess &server, const QByteArray &key, const QByteArray &owner)
    {
        return post(server, QStringLiteral("GetData.asp"),
                    "SessionKey=" + key + "&DataOwner=" + owner);
    }

private slots:
    void formIsReadAsTheConnectorWritesIt()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        const QByteArray key = connect(server, "PC: Bob's Game");
        QVERIFY(!key.isEmpty());
        // The Connect page's body is the Session ID and nothing else.
        QVERIFY(QRegularExpression(QStringLiteral("^[2-9A-HJKMNP-Z]{12}$"))
                    .match(QString::fromLatin1(key))
                    .hasMatch());

        // "&", "=" and "%" inside SessionData are data; "+" is a blank;
        // "<br>" stays a line-break tag in the page.
        QCOMPARE(send(server, key, "Client", "A<br>B+x=1&y=%41+").status, 200);
        QCOMPARE(get(server, key, "Client").body, QByteArray("A<br>B x=1&y=%41 "));
        // The key as a player types it: blanks around it, small letters.
        QCOMPARE(send(server, "++" + key.toLower() + "+", "Host", "hi").status, 200);
        QCOMPARE(get(server, key, "Host").body, QByteArray("hi"));
    }

    void eachRoleHasItsOwnQueueInPostedOrder()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        const QByteArray key = connect(server, "Queue");
        // Two posts before a poll: the second is not lost and not first.
        send(server, key, "Client", "one");
        send(server, key, "Client", "two");
        send(server, key, "Host", "back");
        QCOMPARE(get(server, key, "Client").body, QByteArray("one"));
        QCOMPARE(get(server, key, "Client").body, QByteArray("two"));
        QCOMPARE(get(server, key, "Client").body, QByteArray("Wait"));
        QCOMPARE(get(server, key, "Host").body, QByteArray("back"));
        QCOMPARE(get(server, key, "Host").body, QByteArray("Wait"));

        // Concurrent posts from many connections: every one arrives once.
        QList<QNetworkReply *> replies;
        QUrl url = server.url();
        url.setPath(QStringLiteral("/Bridge/SendData.asp"));
        for (int i = 0; i < 40; ++i) {
            QNetworkRequest request(url);
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              QByteArrayLiteral("application/x-www-form-urlencoded"));
            replies << m_net.post(request, "SessionKey=" + key + "&DataOwner=Host&SessionData=m" +
                                               QByteArray::number(i));
        }
        for (QNetworkReply *reply : replies) {
            if (!reply->isFinished())
                QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(10000));
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
            reply->deleteLater();
        }
        QSet<QByteArray> received;
        for (int i = 0; i < 40; ++i)
            received.insert(get(server, key, "Host").body);
        QCOMPARE(received.size(), 40);
        QVERIFY(received.contains("m0") && received.contains("m39"));
        QCOMPARE(get(server, key, "Host").body, QByteArray("Wait"));
    }

    void badRequestsGetClearAnswers()
    {
        BridgeServerProcess server;
        QVERIFY(server.start({QStringLiteral("--max-waiting"), QStringLiteral("2")}));
        const QByteArray key = connect(server, "Strict");
        const struct
        {
            const char *page;
            QByteArray form;
            int status;
            const char *says;
        } cases[] = {
            {"SendData.asp", "SessionKey=" + key + "&DataOwner=Client", 400, "SessionData"},
            {"GetData.asp", "DataOwner=Client", 400, "SessionKey"},
            {"Connect.asp", QByteArray(1, '\0'), 400, "SessionName"},
            {"GetData.asp", "SessionKey=NOSUCHKEY&DataOwner=Host", 404, "NOSUCHKEY"},
            {"GetData.asp", "SessionKey=" + key + "&DataOwner=host", 400, "Host or Client"},
            {"SendData.asp", "SessionKey=" + key + "&DataOwner=Both&SessionData=x", 400,
             "Host or Client"},
            {"SendData.asp",
             "SessionKey=" + key + "&DataOwner=Host&SessionData=" + QByteArray(70000, 'a'), 413,
             "larger than"},
            {"Missing.asp", "x=1", 404, "Missing.asp"},
        };
        for (const auto &c : cases) {
            const Answer answer = post(server, QString::fromLatin1(c.page), c.form);
            QCOMPARE(answer.status, c.status);
            QVERIFY2(answer.body.contains(c.says), answer.body.constData());
        }
        // A role's queue is bounded; the refusal says why.
        QCOMPARE(send(server, key, "Host", "1").status, 200);
        QCOMPARE(send(server, key, "Host", "2").status, 200);
        const Answer full = send(server, key, "Host", "3");
        QCOMPARE(full.status, 409);
        QVERIFY(full.body.contains("waiting"));
        // None of that hurt the server or the session.
        QVERIFY(server.isRunning());
        QCOMPARE(get(server, key, "Host").body, QByteArray("1"));
    }

    void secondServerOnTheSamePortIsRefused()
    {
        BridgeServerProcess first;
        QVERIFY(first.start());
        QTemporaryDir dir;
        QProcess second;
        second.start(QStringLiteral(HVD_BRIDGE_SERVER_PATH),
                     {QStringLiteral("--port"), QString::number(first.port()),
                      QStringLiteral("--db"), dir.filePath(QStringLiteral("other.db"))});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("cannot listen"));
        // Bad options are refused with the usage line, not guessed at.
        second.start(QStringLiteral(HVD_BRIDGE_SERVER_PATH),
                     {QStringLiteral("--port"), QStringLiteral("eighty")});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 2);
        QVERIFY(second.readAllStandardError().contains("usage: HvdBridge"));
        QVERIFY(first.isRunning());
    }

    void sessionsPageListsNamesEscaped()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        const QByteArray first = connect(server, "Alpha");
        const QByteArray second = connect(server, "<b>Bold</b> & \"Co\"");
        QVERIFY(!first.isEmpty() && !second.isEmpty() && first != second);
        // The connector's empty form (one zero byte) and a browser's GET.
        for (const bool viaGet : {false, true}) {
            const Answer list =
                post(server, QStringLiteral("Sessions.asp"), QByteArray(1, '\0'), viaGet);
            QCOMPARE(list.status, 200);
            QVERIFY(list.body.contains("Alpha"));
            QVERIFY(list.body.contains(first) && list.body.contains(second));
            QVERIFY(list.body.contains("&lt;b&gt;Bold&lt;/b&gt; &amp; &quot;Co&quot;"));
            QVERIFY(!list.body.contains("<b>"));
            QVERIFY(list.body.indexOf("Alpha") < list.body.indexOf("Bold"));
        }
    }

    void restartLosesNothing()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        const QByteArray key = connect(server, "Survivor");
        send(server, key, "Client", "first");
        send(server, key, "Client", "second");
        send(server, key, "Host", "for host");
        QCOMPARE(get(server, key, "Client").body, QByteArray("first"));
        // A crash, not a clean stop: only what was committed can be there.
        server.kill();
        QVERIFY(server.start());
        const Answer list = post(server, QStringLiteral("Sessions.asp"), QByteArray(1, '\0'));
        QVERIFY(list.body.contains("Survivor") && list.body.contains(key));
        QCOMPARE(get(server, key, "Client").body, QByteArray("second"));
        QCOMPARE(get(server, key, "Client").body, QByteArray("Wait"));
        send(server, key, "Client", "after");
        // A clean stop works too and is reported as such.
        QVERIFY(server.stop());
        QVERIFY(server.start());
        QCOMPARE(get(server, key, "Host").body, QByteArray("for host"));
        QCOMPARE(get(server, key, "Client").body, QByteArray("after"));
    }

    void idleSessionsExpire()
    {
        BridgeServerProcess server;
        QVERIFY(server.start({QStringLiteral("--idle-seconds"), QStringLiteral("2")}));
        const QByteArray idle = connect(server, "Idle");
        const QByteArray busy = connect(server, "Busy");
        send(server, idle, "Client", "never fetched");
        for (int i = 0; i < 4; ++i) {
            QTest::qWait(900);
            QCOMPARE(get(server, busy, "Host").body, QByteArray("Wait"));
        }
        const Answer gone = get(server, idle, "Client");
        QCOMPARE(gone.status, 404);
        const Answer list = post(server, QStringLiteral("Sessions.asp"), QByteArray(1, '\0'));
        QVERIFY(!list.body.contains("Idle"));
        QVERIFY(list.body.contains("Busy"));
    }
};

QTEST_MAIN(TestBridgeServer)
#include "tst_bridgeserver.moc"
