#include "redisserverprocess.h"
#include "redisstore.h"
#include "sqlitestore.h"

#include <QTest>

#include <atomic>
#include <memory>

// One set of store tests, run on both stores: SQLite in a temporary file and
// Redis in a throwaway redis-server.
class TestStore : public QObject
{
    Q_OBJECT

    using Role = Store::Role;
    using Result = Store::Result;

    std::unique_ptr<RedisServerProcess> m_redis;
    QTemporaryDir m_dir;
    int m_files = 0;

    static bool onRedis()
    {
        QFETCH_GLOBAL(QString, kind);
        return kind == QLatin1String("redis");
    }

    std::unique_ptr<Store> make(const Store::Limits &limits = TestStore::limits())
    {
        if (onRedis()) {
            if (!m_redis && !(m_redis = std::make_unique<RedisServerProcess>())->start())
                return nullptr;
            m_redis->command("FLUSHALL");
            return std::make_unique<RedisStore>(limits, "127.0.0.1", m_redis->port(), 0);
        }
        auto store = std::make_unique<SqliteStore>(limits);
        std::string error;
        const QString file = m_dir.filePath(QString::number(++m_files));
        return store->open(file.toStdString(), &error) ? std::move(store) : nullptr;
    }

    static Store::Limits limits()
    {
        Store::Limits limits;
        limits.maxWaiting = limits.maxSessionsPerAddress = 3;
        limits.maxSessions = 4;
        return limits;
    }

    /// A new session's ID, empty when refused.
    static std::string session(Store &store, const std::string &address = "10.0.0.1")
    {
        std::string id;
        std::string error;
        return store.createSession("G", address, &id, &error) == Result::Ok ? id : std::string();
    }

    static void posted(Store &store, const std::string &id, Role role, const std::string &data,
                       bool delivered = true)
    {
        Store::Ticket ticket;
        if (store.post(id, role, data, &ticket) == Result::Ok)
            store.settle(ticket, delivered);
    }

    /// The next message for `role`, "Wait" when none is there; settled.
    static std::string taken(Store &store, const std::string &id, Role role, bool delivered = true)
    {
        std::string data;
        Store::Ticket ticket;
        const Result result = store.take(id, role, &data, &ticket);
        if (result == Result::Ok)
            store.settle(ticket, delivered);
        return result == Result::Ok ? data : result == Result::Empty ? "Wait" : "error";
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("redis") << QStringLiteral("redis");
    }

    void init()
    {
        if (onRedis())
            HVD_REQUIRE_REDIS_SERVER();
    }

    void queuesDeliverEachMessageOnceInOrder()
    {
        const auto store = make();
        QVERIFY(store);
        std::string id;
        std::string error;
        QCOMPARE(store->createSession("Game \x80<b>", "10.0.0.1", &id, &error), Result::Ok);
        // Bytes of any kind come back as posted, each role in its own queue.
        posted(*store, id, Role::Host, "one");
        posted(*store, id, Role::Host, std::string("t\0wo\xff", 5));
        posted(*store, id, Role::Client, "for client");
        // A post whose answer did not arrive is not kept.
        posted(*store, id, Role::Host, "given up", false);
        // The ID as a player types it.
        const std::string typed = " " + QByteArray::fromStdString(id).toLower().toStdString();
        QCOMPARE(taken(*store, typed, Role::Host), std::string("one"));
        // A take whose answer did not arrive leaves the message waiting; while
        // one is lent out no second poll gets past it.
        std::string data;
        Store::Ticket lent;
        QCOMPARE(store->take(id, Role::Host, &data, &lent), Result::Ok);
        QCOMPARE(taken(*store, id, Role::Host), std::string("Wait"));
        store->settle(lent, false);
        QCOMPARE(taken(*store, id, Role::Host), std::string("t\0wo\xff", 5));
        QCOMPARE(taken(*store, id, Role::Host), std::string("Wait"));

        // The client's first poll takes the session off the public list.
        std::vector<Store::SessionInfo> open;
        QCOMPARE(store->openToJoin(&open), Result::Ok);
        QCOMPARE(open.size(), size_t(1));
        QCOMPARE(open.front().name, std::string("Game \x80<b>"));
        QCOMPARE(taken(*store, id, Role::Client), std::string("for client"));
        QCOMPARE(store->openToJoin(&open), Result::Ok);
        QVERIFY(open.empty());
        QCOMPARE(store->post("NOSUCHSESSN2", Role::Host, "x", &lent), Result::UnknownSession);
        QCOMPARE(taken(*store, "", Role::Host), std::string("error"));
        QVERIFY(store->healthy(&error));
    }

    void capsHoldAndCountsAdd()
    {
        const auto store = make();
        QVERIFY(store);
        std::string ids[3] = {session(*store), session(*store), session(*store)};
        QCOMPARE(session(*store), std::string()); // the fourth from one address
        const std::string other = session(*store, "10.0.0.2");
        QVERIFY(!ids[0].empty() && !ids[2].empty() && !other.empty());
        QCOMPARE(session(*store, "10.0.0.3"), std::string()); // the fifth in all

        // Posts not settled yet count against the queue's cap.
        Store::Ticket open;
        QCOMPARE(store->post(ids[0], Role::Client, "a", &open), Result::Ok);
        posted(*store, ids[0], Role::Client, "b");
        posted(*store, ids[0], Role::Client, "c");
        Store::Ticket refused;
        QCOMPARE(store->post(ids[0], Role::Client, "d", &refused), Result::QueueFull);
        posted(*store, ids[0], Role::Host, "d");
        store->settle(open, true);
        // Settled late, posted first: it comes first.
        QCOMPARE(taken(*store, ids[0], Role::Client), std::string("a"));
        const Store::Counts counts = store->counts();
        QCOMPARE(counts.sessions, int64_t(4));
        QCOMPARE(counts.waiting, int64_t(3));
        QCOMPARE(counts.errors, int64_t(0));
    }

    void idleSessionsExpireAndMakeRoom()
    {
        Store::Limits short_ = limits();
        short_.unjoinedIdleSeconds = 1;
        short_.maxSessionsPerAddress = 4;
        const auto store = make(short_);
        QVERIFY(store);
        std::string id;
        for (int i = 0; i < 4; ++i)
            QVERIFY(!(id = session(*store)).empty());
        posted(*store, id, Role::Host, "lost with it");
        QTest::qWait(2500);
        QCOMPARE(taken(*store, id, Role::Host), std::string("error"));
        QVERIFY(!session(*store).empty());
        QCOMPARE(store->counts().sessions, int64_t(1));
    }

    void settlesWakeEveryStore()
    {
        const auto store = make();
        QVERIFY(store);
        // On Redis another server's store learns it through Redis.
        const auto other =
            onRedis() ? std::make_unique<RedisStore>(limits(), "127.0.0.1", m_redis->port(), 0)
                      : nullptr;
        Store &watcher = other ? *other : *store;
        const std::string id = session(*store);
        std::atomic<int> wakes{0};
        std::atomic<int> wrong{0};
        watcher.setWakeHandler([&](const std::string &woken, Role role) {
            ++(woken == id && role == Role::Client ? wakes : wrong);
        });
        // A held poll looks first; both stores listen.
        QCOMPARE(taken(watcher, id, Role::Client), std::string("Wait"));
        QTRY_VERIFY(!other || m_redis->command("PUBSUB NUMSUB hvd:wake:0").contains(":2\r\n"));
        // A post not delivered wakes nobody; one delivered wakes its role.
        posted(*store, id, Role::Client, "not kept", false);
        posted(*store, id, Role::Client, "m1");
        QTRY_COMPARE(wakes.load(), 1);
        // A message left waiting behind a lent one wakes once that is settled:
        // a poll held meanwhile found nothing to take.
        std::string data;
        Store::Ticket lent;
        QCOMPARE(store->take(id, Role::Client, &data, &lent), Result::Ok);
        posted(*store, id, Role::Client, "m2");
        store->settle(lent, true);
        QTRY_COMPARE(wakes.load(), 3);
        QCOMPARE(wrong.load(), 0);
    }

    void redisAwayFailsThenGetsMissedSettles()
    {
        if (!onRedis())
            QSKIP("only a store over the network can go away");
        const auto store = make();
        QVERIFY(store);
        const std::string id = session(*store);
        posted(*store, id, Role::Host, "taken");
        Store::Ticket post;
        Store::Ticket take;
        std::string data;
        QCOMPARE(store->post(id, Role::Host, "answered OK", &post), Result::Ok);
        QCOMPARE(store->take(id, Role::Host, &data, &take), Result::Ok);
        // Redis dies right after both were answered, before their settles.
        m_redis->kill();
        store->settle(post, true);
        store->settle(take, true);
        QCOMPARE(store->post(id, Role::Host, "x", &post), Result::Failed);
        QVERIFY(!store->healthy(&data));
        QVERIFY2(data.find("does not answer") != std::string::npos, data.c_str());
        QVERIFY(store->counts().errors >= 1);
        // The same folder: the append-only file brings back what was written,
        // and the missed settles follow at once, not settleSeconds later.
        QVERIFY(m_redis->start());
        std::string got;
        for (int i = 0; i < 50 && (got = taken(*store, id, Role::Host)) == "Wait"; ++i)
            QTest::qWait(100);
        QCOMPARE(got, std::string("answered OK"));
        QCOMPARE(taken(*store, id, Role::Host), std::string("Wait"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
