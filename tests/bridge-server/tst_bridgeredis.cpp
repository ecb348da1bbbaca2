#include "bridgeanswers.h"
#include "bridgeserverprocess.h"
#include "redisserverprocess.h"

#include <QNetworkAccessManager>
#include <QTest>

#include <functional>
#include <memory>

// Several HvdBridge processes sharing one real redis-server, as behind a
// load balancer: any request may reach any of them.
class TestBridgeRedis : public QObject
{
    Q_OBJECT

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

    BridgeAnswer post(int server, const QByteArray &path, const QByteArray &form)
    {
        return bridgeAnswer(request(server, path, form));
    }

    static QByteArray sendForm(const QByteArray &key, const QByteArray &owner,
                               const QByteArray &data)
    {
        return "SessionKey=" + key + "&DataOwner=" + owner + "&SessionData=" + data;
    }

    int send(int server, const QByteArray &key, const QByteArray &owner, const QByteArray &data)
    {
        return post(server, "/Bridge/SendData.asp", sendForm(key, owner, data)).status;
    }

    /// The next message, polling again while the one before is still
    /// being settled (a poll then answers "Wait" too); "Wait" after 5 s.
    QByteArray next(int server, const QByteArray &key, const QByteArray &owner, int tries = 50)
    {
        const QByteArray form = "SessionKey=" + key + "&DataOwner=" + owner;
        QByteArray body;
        while ((body = post(server, "/Bridge/GetData.asp", form).body) == "Wait" && --tries > 0)
            QTest::qWait(100);
        return body;
    }

    /// Whether the queue is empty once every take has been settled.
    bool drained(int server, const QByteArray &key, const QByteArray &owner)
    {
        QTest::qWait(500);
        return next(server, key, owner, 1) == "Wait";
    }

    QByteArray newSession(int server)
    {
        return post(server, "/Bridge/Connect.asp", "SessionName=Shared").body;
    }

    int health(int server) { return post(server, "/health", QByteArray()).status; }

    bool startBoth(const QStringList &extra = {})
    {
        for (auto &server : m_servers) {
            server = std::make_unique<BridgeServerProcess>();
            if (!server->start(QStringList{QStringLiteral("--store"), m_redis->url()} + extra))
                return false;
        }
        return true;
    }

    /// Sends 16 requests at once, alternating between the instances; how
    /// many were answered 200 (-1 when one got a status but 200 and `refusal`).
    int race(const QByteArray &path, const std::function<QByteArray(int)> &form, int refusal)
    {
        QList<QNetworkReply *> replies;
        for (int i = 0; i < 16; ++i)
            replies << request(i % 2, path, form(i));
        int ok = 0;
        for (QNetworkReply *reply : replies) {
            const int status = bridgeAnswer(reply).status;
            ok = status == 200 ? ok + (ok >= 0) : status == refusal ? ok : -100;
        }
        return ok;
    }

private slots:
    void init()
    {
        HVD_REQUIRE_REDIS_SERVER();
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
        QCOMPARE(key.size(), 12);
        // Posted to the first, polled from the second, in order.
        for (const char *move : {"m1", "m2", "m3"})
            QCOMPARE(send(0, key, "Client", move), 200);
        for (const char *expected : {"m1", "m2", "m3"})
            QCOMPARE(next(1, key, "Client"), QByteArray(expected));
        QVERIFY(drained(1, key, "Client"));
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
        // The client has joined on either instance: the session is not listed.
        QVERIFY(!post(1, "/Bridge/Sessions.asp", QByteArray(1, '\0')).body.contains(key));
    }

    void redisRestartLosesNothingAcknowledged()
    {
        QVERIFY(startBoth());
        const QByteArray key = newSession(0);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(send(i % 2, key, "Host", "move" + QByteArray::number(i)), 200);
        QCOMPARE(next(1, key, "Host"), QByteArray("move0"));
        // Redis dies right after the answers, before or after their settles.
        m_redis->kill();
        for (int server : {0, 1}) {
            const BridgeAnswer refused =
                post(server, "/Bridge/SendData.asp", sendForm(key, "Host", "lost"));
            QCOMPARE(refused.status, 503);
            QVERIFY(refused.body.contains("cannot reach its store"));
            QCOMPARE(
                post(server, "/Bridge/GetData.asp", "SessionKey=" + key + "&DataOwner=Host").status,
                503);
            QCOMPARE(post(server, "/Bridge/Connect.asp", "SessionName=X").status, 503);
            QCOMPARE(health(server), 503);
        }
        QVERIFY(m_redis->start());
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
        QCOMPARE(key.size(), 12);
        const auto sendP = [&](int i) {
            return sendForm(key, "Client", "p" + QByteArray::number(i));
        };
        QCOMPARE(race("/Bridge/SendData.asp", sendP, 409), 5);
        QCOMPARE(
            race(
                "/Bridge/Connect.asp", [](int) { return QByteArray("SessionName=Race"); }, 503),
            5);
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
