#include "bridgeanswers.h"
#include "bridgeserverprocess.h"
#include "redisserverprocess.h"

#include <QTest>

#include <memory>

// Several HvdBridge processes sharing one real redis-server, as behind a
// load balancer: any request may reach any of them.
class TestBridgeRedis : public QObject
{
    Q_OBJECT

    std::unique_ptr<RedisServerProcess> m_redis;
    BridgeServerProcess m_servers[2];
    BridgeRequests m_on[2];

    /// The next message, polling again while the one before is still
    /// being settled (a poll then answers "Wait" too); "Wait" after 5 s.
    QByteArray next(int server, const QByteArray &key, const QByteArray &owner, int tries = 50)
    {
        QByteArray body;
        while ((body = m_on[server].poll(key, owner)) == "Wait" && --tries > 0)
            QTest::qWait(100);
        return body;
    }

    /// Posts `form` and a number to `page` 16 times at once, alternating
    /// between the instances; how many were answered 200 (-1 when one got a
    /// status but 200 and `refusal`).
    int race(const char *page, const QByteArray &form, int refusal)
    {
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 16; ++i)
            sockets.push_back(rawRequest(m_on[i % 2].port,
                                         BridgeRequests::post(page, form + QByteArray::number(i))));
        int ok = 0;
        for (const auto &socket : sockets) {
            const int status = parsedAnswer(rawAnswer(socket.get())).status;
            ok = status == 200 && ok >= 0 ? ok + 1 : status == refusal ? ok : -1;
        }
        return ok;
    }

private slots:
    /// Two instances with small caps on a new redis-server.
    void init()
    {
        HVD_REQUIRE_REDIS_SERVER();
        m_redis = std::make_unique<RedisServerProcess>();
        QVERIFY(m_redis->start());
        for (int i : {0, 1}) {
            QVERIFY(m_servers[i].start(QStringLiteral("--store %1 --max-waiting 5 --max-sessions 6 "
                                                      "--max-sessions-per-address 100")
                                           .arg(m_redis->url())
                                           .split(' ')));
            m_on[i].port = m_servers[i].port();
        }
    }

    void instancesShareSessionsAndWakeEachOther()
    {
        const QByteArray key = m_on[0].newSession();
        QCOMPARE(m_on[1].poll(key, "Client"), QByteArray("Wait"));
        // Posted to the first, polled from the second, in order.
        for (const char *move : {"m1", "m2"})
            QCOMPARE(m_on[0].send(key, "Client", move), 200);
        for (const char *expected : {"m1", "m2"})
            QCOMPARE(next(1, key, "Client"), QByteArray(expected));
        // A poll held on the second is answered by a post to the first at
        // once, not at the end of its time (rawAnswer gives up after 10 s).
        const auto held =
            rawRequest(m_on[1].port, BridgeRequests::getData(key, "Client", "&WaitSeconds=20"));
        QTest::qWait(200);
        QCOMPARE(m_on[0].send(key, "Client", "m3"), 200);
        QCOMPARE(parsedAnswer(rawAnswer(held.get())).body, QByteArray("m3"));
        // A chat poll held on the second is woken by a chat line posted to
        // the first; the host then learns there that the client reads chat.
        const auto chat =
            rawRequest(m_on[1].port, BridgeRequests::getData(key, "ClientChat", "&WaitSeconds=20"));
        QTest::qWait(200);
        QCOMPARE(m_on[0].send(key, "ClientChat", "SERVER:+MAP:+x.map"), 200);
        QCOMPARE(parsedAnswer(rawAnswer(chat.get())).body, QByteArray("SERVER: MAP: x.map"));
        const BridgeAnswer host = m_on[0].exchange(BridgeRequests::getData(key, "Host"));
        QVERIFY(host.head.contains("\r\nX-Bridge-Peer-Chat: 1"));
        QCOMPARE(host.body, QByteArray("Wait"));
        // The client has joined on either instance: the session is not listed.
        const QByteArray list = BridgeRequests::post("Sessions.asp", QByteArray(1, '\0'));
        QVERIFY(!m_on[0].exchange(list).body.contains(key));
    }

    void redisRestartLosesNothingAcknowledged()
    {
        const QByteArray key = m_on[0].newSession();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(m_on[i % 2].send(key, "Host", "move" + QByteArray::number(i)), 200);
        QCOMPARE(next(1, key, "Host"), QByteArray("move0"));
        // Redis dies right after the answers, before or after their settles.
        m_redis->kill();
        // Both instances run the same code: one of them answers for both.
        for (const QByteArray &request :
             {BridgeRequests::post("SendData.asp",
                                   "SessionKey=" + key + "&DataOwner=Host&SessionData=l"),
              BridgeRequests::getData(key, "Host"),
              BridgeRequests::post("Connect.asp", "SessionName=X")}) {
            const BridgeAnswer refused = m_on[1].exchange(request);
            QCOMPARE(refused.status, 503);
            QVERIFY(refused.body.contains("cannot reach its store"));
        }
        QCOMPARE(m_on[1].exchange("GET /health HTTP/1.1\r\n\r\n").status, 503);
        QVERIFY(m_redis->start());
        for (int i = 1; i < 5; ++i)
            QCOMPARE(next(i % 2, key, "Host"), "move" + QByteArray::number(i));
        QTest::qWait(500);
        QCOMPARE(m_on[0].poll(key, "Host"), QByteArray("Wait"));
    }

    void capsHoldAcrossRacingInstances()
    {
        const QByteArray key = m_on[0].newSession();
        QCOMPARE(race("SendData.asp", "SessionKey=" + key + "&DataOwner=Client&SessionData=p", 409),
                 5);
        QCOMPARE(race("Connect.asp", "SessionName=R", 503), 5);
        // Each stored post is delivered once, from either instance.
        QSet<QByteArray> received;
        for (int i = 0; i < 5; ++i)
            received.insert(next(i % 2, key, "Client"));
        QCOMPARE(received.size(), 5);
        QVERIFY(!received.contains("Wait"));
        QTest::qWait(500);
        QCOMPARE(m_on[1].poll(key, "Client"), QByteArray("Wait"));
    }
};

QTEST_GUILESS_MAIN(TestBridgeRedis)
#include "tst_bridgeredis.moc"
