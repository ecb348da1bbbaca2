#include "bridgeanswers.h"
#include "bridgeserverprocess.h"
#include "redisserverprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Several HvdBridge processes sharing one real redis-server, as behind a
// load balancer: any request may reach any of them.
class TestBridgeRedis : public QObject
{
    Q_OBJECT

    using Answer = BridgeAnswer;

    QNetworkAccessManager m_net;
    std::unique_ptr<RedisServerProcess> m_redis;
    std::unique_ptr<BridgeServerProcess> m_servers[2];

    QNetworkReply *request(int server, const QByteArray &path, const QByteArray &form)
    {
        QNetworkRequest request(m_servers[server]->url().resolved(QUrl(path)));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        return form.isNull() ? m_net.get(request) : m_net.post(request, form);
    }

    Answer post(int server, const char *page, const QByteArray &form)
    {
        return bridgeAnswer(request(server, QByteArray("/Bridge/") + page, form));
    }

    QByteArray newSession(int server)
    {
        const Answer answer = post(server, "Connect.asp", "SessionName=Shared");
        return answer.status == 200 ? answer.body : QByteArray();
    }

    static QByteArray sendForm(const QByteArray &key, const QByteArray &owner,
                               const QByteArray &data)
    {
        return "SessionKey=" + key + "&DataOwner=" + owner + "&SessionData=" + data;
    }

    int send(int server, const QByteArray &key, const QByteArray &owner, const QByteArray &data)
    {
        return post(server, "SendData.asp", sendForm(key, owner, data)).status;
    }

    QByteArray get(int server, const QByteArray &key, const QByteArray &owner)
    {
        return post(server, "GetData.asp", "SessionKey=" + key + "&DataOwner=" + owner).body;
    }

    /// The next message, polling again while the one before is still
    /// being settled (a poll then answers "Wait" too); "Wait" after 5 s.
    QByteArray next(int server, const QByteArray &key, const QByteArray &owner)
    {
        QByteArray body;
        for (int attempt = 0; attempt < 50 && (body = get(server, key, owner)) == "Wait"; ++attempt)
            QTest::qWait(100);
        return body;
    }

    /// Whether the queue is empty once every take has been settled.
    bool drained(int server, const QByteArray &key, const QByteArray &owner)
    {
        QTest::qWait(500);
        return get(server, key, owner) == "Wait";
    }

    int health(int server) { return bridgeAnswer(request(server, "/health", QByteArray())).status; }

    bool startBoth(const QStringList &extra = {})
    {
        for (auto &server : m_servers) {
            server = std::make_unique<BridgeServerProcess>();
            if (!server->start(QStringList{QStringLiteral("--store"), m_redis->url()} + extra))
                return false;
        }
        return true;
    }

private slots:
    void init()
    {
        if (RedisServerProcess::program().isEmpty())
            QSKIP("redis-server is not installed");
        m_redis = std::make_unique<RedisServerProcess>();
        QVERIFY(m_redis->start());
    }

    void cleanup()
    {
        for (auto &server : m_servers)
            server.reset();
        m_redis.reset();
    }

    void gameGoesOnThroughTheOtherInstance()
    {
        QVERIFY(startBoth());
        const QByteArray key = newSession(0);
        QVERIFY(!key.isEmpty());
        // Posted to the first, polled from the second, in order.
        for (const char *move : {"m1", "m2", "m3"})
            QCOMPARE(send(0, key, "Client", move), 200);
        for (const char *expected : {"m1", "m2", "m3"})
            QCOMPARE(next(1, key, "Client"), QByteArray(expected));
        QVERIFY(drained(1, key, "Client"));
        // The client reads chat on one instance; the host learns it on the
        // other, and chat lines pass apart from the game's messages.
        QCOMPARE(send(0, key, "ClientChat", "SERVER:+MAP:+x.map"), 200);
        QCOMPARE(next(1, key, "ClientChat"), QByteArray("SERVER: MAP: x.map"));
        QNetworkReply *reply =
            request(0, "/Bridge/GetData.asp", "SessionKey=" + key + "&DataOwner=Host");
        QSignalSpy(reply, &QNetworkReply::finished).wait(5000);
        QVERIFY(reply->hasRawHeader("X-Bridge-Peer-Chat"));
        QCOMPARE(bridgeAnswer(reply).body, QByteArray("Wait"));
        QCOMPARE(send(1, key, "Host", "reply"), 200);
        QCOMPARE(send(1, key, "Host", "reply2"), 200);
        QCOMPARE(next(0, key, "Host"), QByteArray("reply"));
        // The first dies in the middle of the game (its last poll settled:
        // one it had not settled would be lent again only after a minute),
        // and the second carries the game on.
        QTest::qWait(300);
        m_servers[0]->kill();
        QCOMPARE(next(1, key, "Host"), QByteArray("reply2"));
        QCOMPARE(send(1, key, "Client", "m4"), 200);
        QCOMPARE(next(1, key, "Client"), QByteArray("m4"));
        QCOMPARE(health(1), 200);
        // The client has joined on either instance: the session is not listed.
        QVERIFY(!post(1, "Sessions.asp", QByteArray(1, '\0')).body.contains(key));
    }

    void redisRestartLosesNothingAcknowledged()
    {
        QVERIFY(startBoth());
        const QByteArray key = newSession(0);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(send(i % 2, key, "Host", "move" + QByteArray::number(i)), 200);
        QCOMPARE(next(1, key, "Host"), QByteArray("move0"));
        // Let the poller's close settle its take before Redis dies.
        QTest::qWait(300);
        m_redis->kill();
        for (int server : {0, 1}) {
            const Answer refused = post(server, "SendData.asp", sendForm(key, "Host", "lost"));
            QCOMPARE(refused.status, 503);
            QVERIFY(refused.body.contains("cannot reach its store"));
            QCOMPARE(post(server, "GetData.asp", "SessionKey=" + key + "&DataOwner=Host").status,
                     503);
            QCOMPARE(post(server, "Connect.asp", "SessionName=X").status, 503);
            QCOMPARE(health(server), 503);
        }
        QVERIFY(m_redis->start());
        QTRY_COMPARE_WITH_TIMEOUT(health(0), 200, 10000);
        for (int i = 1; i < 5; ++i)
            QCOMPARE(next(i % 2, key, "Host"), "move" + QByteArray::number(i));
        QVERIFY(drained(0, key, "Host"));
    }

    void capsHoldAcrossRacingInstances()
    {
        QVERIFY(startBoth({QStringLiteral("--max-waiting"), QStringLiteral("5"),
                           QStringLiteral("--max-sessions"), QStringLiteral("6"),
                           QStringLiteral("--max-sessions-per-address"), QStringLiteral("100")}));
        const QByteArray key = newSession(0);
        QVERIFY(!key.isEmpty());
        QList<QNetworkReply *> replies;
        for (int i = 0; i < 16; ++i)
            replies << request(i % 2, "/Bridge/SendData.asp",
                               sendForm(key, "Client", "p" + QByteArray::number(i)));
        int stored = 0;
        for (QNetworkReply *reply : replies) {
            const int status = bridgeAnswer(reply).status;
            QVERIFY2(status == 200 || status == 409, QByteArray::number(status));
            stored += status == 200;
        }
        QCOMPARE(stored, 5);
        replies.clear();
        for (int i = 0; i < 16; ++i)
            replies << request(i % 2, "/Bridge/Connect.asp", "SessionName=Race");
        int opened = 0;
        for (QNetworkReply *reply : replies) {
            const int status = bridgeAnswer(reply).status;
            QVERIFY2(status == 200 || status == 503, QByteArray::number(status));
            opened += status == 200;
        }
        QCOMPARE(opened, 5);
        // Each stored post is delivered once, from either instance.
        QSet<QByteArray> received;
        for (int i = 0; i < 5; ++i)
            received.insert(next(i % 2, key, "Client"));
        QCOMPARE(received.size(), 5);
        QVERIFY(!received.contains("Wait"));
        QVERIFY(drained(1, key, "Client"));
    }
};

QTEST_GUILESS_MAIN(TestBridgeRedis)
#include "tst_bridgeredis.moc"
