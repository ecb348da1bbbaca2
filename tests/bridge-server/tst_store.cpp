#include "redisserverprocess.h"
#include "redisstore.h"
#include "sqlitestore.h"

#include <QTest>

#include <atomic>
#include <memory>

// One set of store tests, run on both stores: SQLite in a temporary file and
// Redis in a throwaway redis-server. Each test starts with an empty store
// holding one session.
class TestStore : public QObject
{
    Q_OBJECT

    using Role = Store::Role;
    using Result = Store::Result;

    std::unique_ptr<RedisServerProcess> m_redis;
    QTemporaryDir m_dir;
    int m_files = 0;
    bool m_onRedis = false;
    std::unique_ptr<Store> m_store;
    std::string m_id;

    std::unique_ptr<Store> make(int64_t unjoinedIdleSeconds = 600)
    {
        Store::Limits limits;
        limits.maxWaiting = limits.maxSessionsPerAddress = 3;
        limits.maxSessions = 4;
        limits.unjoinedIdleSeconds = unjoinedIdleSeconds;
        if (m_onRedis) {
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

    /// A new session's ID, empty when refused.
    std::string session(const std::string &address = "10.0.0.1")
    {
        std::string id, error;
        return m_store->createSession("Game \x80<b>", address, &id, &error) == Result::Ok ? id : "";
    }

    void posted(const std::string &data, Role role = Role::Host, bool delivered = true)
    {
        Store::Ticket ticket;
        if (m_store->post(m_id, role, data, &ticket) == Result::Ok)
            m_store->settle(ticket, delivered);
    }

    /// The next message for `role`, "Wait" when none is there; settled.
    std::string taken(Role role = Role::Host, Store *store = nullptr, std::string id = {})
    {
        std::string data;
        Store::Ticket ticket;
        store = store ? store : m_store.get();
        const Result result = store->take(id.empty() ? m_id : id, role, &data, &ticket);
        if (result == Result::Ok)
            store->settle(ticket, true);
        return result == Result::Ok ? data : result == Result::Empty ? "Wait" : "error";
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("redis");
        QTest::newRow("sqlite") << false;
        QTest::newRow("redis") << true;
    }

    void init()
    {
        QFETCH_GLOBAL(bool, redis);
        if ((m_onRedis = redis))
            HVD_REQUIRE_REDIS_SERVER();
        QVERIFY(m_store = make());
        m_id = session();
    }

    void queuesDeliverEachMessageOnceInOrder()
    {
        // Bytes of any kind come back as posted, each role in its own queue.
        posted("one");
        posted(std::string("t\0wo\xff", 5));
        posted("for client", Role::Client);
        // A post whose answer did not arrive is not kept.
        posted("given up", Role::Host, false);
        // The ID as a player types it.
        const std::string typed = " " + QByteArray::fromStdString(m_id).toLower().toStdString();
        QCOMPARE(taken(Role::Host, nullptr, typed), std::string("one"));
        // A take whose answer did not arrive leaves the message waiting; while
        // one is lent out no second poll gets past it.
        std::string data;
        Store::Ticket lent;
        QCOMPARE(m_store->take(m_id, Role::Host, &data, &lent), Result::Ok);
        QCOMPARE(taken(), std::string("Wait"));
        m_store->settle(lent, false);
        QCOMPARE(taken(), std::string("t\0wo\xff", 5));
        QCOMPARE(taken(), std::string("Wait"));

        // The client's first poll takes the session off the public list.
        std::vector<Store::SessionInfo> open;
        QCOMPARE(m_store->openToJoin(&open), Result::Ok);
        QVERIFY(open.size() == 1 && open.front().name == "Game \x80<b>");
        QCOMPARE(taken(Role::Client), std::string("for client"));
        QCOMPARE(m_store->openToJoin(&open), Result::Ok);
        QVERIFY(open.empty());
        QCOMPARE(m_store->post("NOSUCHSESSN2", Role::Host, "x", &lent), Result::UnknownSession);
        QCOMPARE(taken(Role::Host, nullptr, " "), std::string("error"));
        QVERIFY(m_store->healthy(&data));
    }

    void chatQueuesStandApartAndTellWhoReads()
    {
        // Posting marks no reader; the cap counts per chat queue.
        Store::Ticket ticket;
        QCOMPARE(m_store->post(m_id, Role::HostChat, "CLIENT: MAP: x", &ticket), Result::Ok);
        QCOMPARE(ticket.chatReaders, 0);
        m_store->settle(ticket, true);
        posted("CLIENT: 2", Role::HostChat);
        posted("CLIENT: 3", Role::HostChat);
        QCOMPARE(m_store->post(m_id, Role::HostChat, "4", &ticket), Result::QueueFull);
        posted("ARMYDATA: x");
        // The client's chat poll marks it as a reader and joins.
        std::string data;
        QCOMPARE(m_store->take(m_id, Role::ClientChat, &data, &ticket), Result::Empty);
        QCOMPARE(ticket.chatReaders, Store::chatBit(1));
        std::vector<Store::SessionInfo> open;
        QCOMPARE(m_store->openToJoin(&open), Result::Ok);
        QVERIFY(open.empty());
        for (const char *line : {"ARMYDATA: x", "Wait"})
            QCOMPARE(taken(), std::string(line));
        for (const char *line : {"CLIENT: MAP: x", "CLIENT: 2", "CLIENT: 3", "Wait"})
            QCOMPARE(taken(Role::HostChat), std::string(line));
        QCOMPARE(m_store->post(m_id, Role::Client, "m", &ticket), Result::Ok);
        QCOMPARE(ticket.chatReaders, Store::chatBit(0) | Store::chatBit(1));
        m_store->settle(ticket, true);
    }

    void capsHoldAndCountsAdd()
    {
        QVERIFY(!session().empty() && !session().empty());
        QCOMPARE(session(), std::string()); // the fourth from one address
        QVERIFY(!session("10.0.0.2").empty());
        QCOMPARE(session("10.0.0.3"), std::string()); // the fifth in all

        // Posts not settled yet count against the queue's cap.
        Store::Ticket open, refused;
        QCOMPARE(m_store->post(m_id, Role::Client, "a", &open), Result::Ok);
        posted("b", Role::Client);
        posted("c", Role::Client);
        QCOMPARE(m_store->post(m_id, Role::Client, "d", &refused), Result::QueueFull);
        posted("d");
        m_store->settle(open, true);
        // Settled late, posted first: it comes first.
        QCOMPARE(taken(Role::Client), std::string("a"));
        const Store::Counts counts = m_store->counts();
        QVERIFY(counts.sessions == 4 && counts.waiting == 3 && counts.errors == 0);
    }

    void idleSessionsExpireAndMakeRoom()
    {
        QVERIFY(m_store = make(1));
        m_id = session();
        posted("lost with it");
        posted("and the chat", Role::ClientChat);
        QVERIFY(!session().empty() && !session().empty() && !session("10.0.0.2").empty());
        QTest::qWait(2500);
        QCOMPARE(taken(), std::string("error"));
        if (m_onRedis)
            QVERIFY(m_redis->command("EXISTS hvd:q:" + QByteArray::fromStdString(m_id) + ":3")
                        .startsWith(":0\r\n"));
        QVERIFY(!session().empty());
        QCOMPARE(m_store->counts().sessions, int64_t(1));
    }

    void settlesWakeEveryStore()
    {
        // On Redis another server's store learns it through Redis.
        const auto other = m_onRedis ? std::make_unique<RedisStore>(Store::Limits(), "127.0.0.1",
                                                                    m_redis->port(), 0)
                                     : nullptr;
        Store &watcher = other ? *other : *m_store;
        std::atomic<int> wakes{0}; // a wake of another session or role counts 100
        watcher.setWakeHandler([&](const std::string &woken, Role role) {
            wakes += woken == m_id && role == Role::Client ? 1 : 100;
        });
        // A held poll looks first; both stores listen.
        QCOMPARE(taken(Role::Client, &watcher), std::string("Wait"));
        QTRY_VERIFY(!other || m_redis->command("PUBSUB NUMSUB hvd:wake:0").contains(":2\r\n"));
        // A post not delivered wakes nobody; one delivered wakes its role.
        posted("not kept", Role::Client, false);
        posted("m1", Role::Client);
        QTRY_COMPARE(wakes.load(), 1);
        // A message left waiting behind a lent one wakes once that is settled:
        // a poll held meanwhile found nothing to take.
        std::string data;
        Store::Ticket lent;
        QCOMPARE(m_store->take(m_id, Role::Client, &data, &lent), Result::Ok);
        posted("m2", Role::Client);
        m_store->settle(lent, true);
        QTRY_COMPARE(wakes.load(), 3);
    }

    void redisAwayFailsThenGetsMissedSettles()
    {
        if (!m_onRedis)
            QSKIP("only a store over the network can go away");
        posted("taken");
        Store::Ticket post, take;
        std::string data;
        QCOMPARE(m_store->post(m_id, Role::Host, "answered OK", &post), Result::Ok);
        QCOMPARE(m_store->take(m_id, Role::Host, &data, &take), Result::Ok);
        // Redis dies right after both were answered, before their settles.
        m_redis->kill();
        m_store->settle(post, true);
        m_store->settle(take, true);
        QCOMPARE(m_store->post(m_id, Role::Host, "x", &post), Result::Failed);
        QVERIFY(!m_store->healthy(&data));
        QVERIFY(m_store->counts().errors >= 1);
        // The same folder: the append-only file brings back what was written,
        // and the missed settles follow at once, not settleSeconds later.
        QVERIFY(m_redis->start());
        for (int i = 0; i < 50 && (data = taken()) == "Wait"; ++i)
            QTest::qWait(100);
        QCOMPARE(data, std::string("answered OK"));
        QCOMPARE(taken(), std::string("Wait"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
