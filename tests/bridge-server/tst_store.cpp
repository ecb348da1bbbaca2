#include "redisserverprocess.h"
#include "redisstore.h"
#include "sqlitestore.h"

#include <QTest>

#include <memory>

// One set of store tests, run on both stores: SQLite in a temporary file and
// Redis in a throwaway redis-server.
class TestStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<RedisServerProcess> m_redis;
    QTemporaryDir m_dir;
    int m_files = 0;

    std::unique_ptr<Store> make(const Store::Limits &limits)
    {
        QFETCH_GLOBAL(QString, kind);
        if (kind == QLatin1String("sqlite")) {
            auto store = std::make_unique<SqliteStore>(limits);
            std::string error;
            const QString file = m_dir.filePath(QStringLiteral("s%1.db").arg(++m_files));
            return store->open(file.toStdString(), &error) ? std::move(store) : nullptr;
        }
        if (!m_redis) {
            if (RedisServerProcess::program().isEmpty())
                return nullptr;
            m_redis = std::make_unique<RedisServerProcess>();
            if (!m_redis->start())
                return nullptr;
        }
        m_redis->command("FLUSHALL");
        return std::make_unique<RedisStore>(limits, "127.0.0.1", m_redis->port(), 0);
    }

    static Store::Limits limits()
    {
        Store::Limits limits;
        limits.maxWaiting = 3;
        limits.maxSessions = 4;
        limits.maxSessionsPerAddress = 3;
        return limits;
    }

    static Store::Ticket posted(Store &store, const std::string &id, Store::Role role,
                                const std::string &data, bool delivered = true)
    {
        Store::Ticket ticket;
        if (store.post(id, role, data, &ticket) == Store::Result::Ok)
            store.settle(ticket, delivered);
        return ticket;
    }

    /// The next message for `role`, "Wait" when none is there; settled.
    static std::string taken(Store &store, const std::string &id, Store::Role role,
                             bool delivered = true)
    {
        std::string data;
        Store::Ticket ticket;
        const Store::Result result = store.take(id, role, &data, &ticket);
        if (result == Store::Result::Empty)
            return "Wait";
        if (result != Store::Result::Ok)
            return "error";
        store.settle(ticket, delivered);
        return data;
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
        QFETCH_GLOBAL(QString, kind);
        if (kind == QLatin1String("redis") && RedisServerProcess::program().isEmpty())
            QSKIP("redis-server is not installed");
    }

    void queuesDeliverEachMessageOnceInOrder()
    {
        const auto store = make(limits());
        QVERIFY(store);
        using Role = Store::Role;
        std::string id;
        std::string error;
        QCOMPARE(store->createSession("Game \x80<b>", "10.0.0.1", &id, &error), Store::Result::Ok);
        QCOMPARE(id.size(), size_t(12));
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
        QCOMPARE(store->take(id, Role::Host, &data, &lent), Store::Result::Ok);
        Store::Ticket second;
        QCOMPARE(store->take(id, Role::Host, &data, &second), Store::Result::Empty);
        store->settle(lent, false);
        QCOMPARE(taken(*store, id, Role::Host), std::string("t\0wo\xff", 5));
        QCOMPARE(taken(*store, id, Role::Host), std::string("Wait"));

        // The client's first poll takes the session off the public list.
        std::vector<Store::SessionInfo> open;
        QCOMPARE(store->openToJoin(&open), Store::Result::Ok);
        QCOMPARE(open.size(), size_t(1));
        QCOMPARE(open.front().name, std::string("Game \x80<b>"));
        QCOMPARE(taken(*store, id, Role::Client), std::string("for client"));
        QCOMPARE(store->openToJoin(&open), Store::Result::Ok);
        QVERIFY(open.empty());
        QCOMPARE(store->post("NOSUCHSESSN2", Role::Host, "x", &second),
                 Store::Result::UnknownSession);
        QCOMPARE(store->take("", Role::Host, &data, &second), Store::Result::UnknownSession);
        std::string why;
        QVERIFY(store->healthy(&why));
    }

    void chatQueuesStandApartAndTellWhoReads()
    {
        const auto store = make(limits());
        QVERIFY(store);
        using Role = Store::Role;
        std::string id, error, data;
        QCOMPARE(store->createSession("G", "10.0.0.1", &id, &error), Store::Result::Ok);
        // Posting marks no reader; the cap counts per chat queue.
        QCOMPARE(posted(*store, id, Role::HostChat, "CLIENT: MAP: x").chatReaders, 0);
        posted(*store, id, Role::HostChat, "CLIENT: 2");
        posted(*store, id, Role::HostChat, "CLIENT: 3");
        Store::Ticket ticket;
        QCOMPARE(store->post(id, Role::HostChat, "4", &ticket), Store::Result::QueueFull);
        QCOMPARE(posted(*store, id, Role::Host, "ARMYDATA: x").chatReaders, 0);
        // The client's chat poll marks it as a reader and joins.
        QCOMPARE(store->take(id, Role::ClientChat, &data, &ticket), Store::Result::Empty);
        QCOMPARE(ticket.chatReaders, Store::chatBit(1));
        std::vector<Store::SessionInfo> open;
        QCOMPARE(store->openToJoin(&open), Store::Result::Ok);
        QVERIFY(open.empty());
        QCOMPARE(taken(*store, id, Role::Host), std::string("ARMYDATA: x"));
        QCOMPARE(taken(*store, id, Role::Host), std::string("Wait"));
        for (const char *line : {"CLIENT: MAP: x", "CLIENT: 2", "CLIENT: 3", "Wait"})
            QCOMPARE(taken(*store, id, Role::HostChat), std::string(line));
        QCOMPARE(posted(*store, id, Role::Client, "m").chatReaders, 3);
        QCOMPARE(taken(*store, id, Role::ClientChat), std::string("Wait"));
    }

    void capsHoldAndCountsAdd()
    {
        const auto store = make(limits());
        QVERIFY(store);
        std::string ids[4];
        std::string error;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(store->createSession("G", "10.0.0.1", &ids[i], &error), Store::Result::Ok);
        std::string spare;
        QCOMPARE(store->createSession("G", "10.0.0.1", &spare, &error),
                 Store::Result::TooManyFromAddress);
        QCOMPARE(store->createSession("G", "10.0.0.2", &ids[3], &error), Store::Result::Ok);
        QCOMPARE(store->createSession("G", "10.0.0.3", &spare, &error),
                 Store::Result::TooManySessions);

        // Posts not settled yet count against the queue's cap.
        Store::Ticket open;
        QCOMPARE(store->post(ids[0], Store::Role::Client, "a", &open), Store::Result::Ok);
        posted(*store, ids[0], Store::Role::Client, "b");
        posted(*store, ids[0], Store::Role::Client, "c");
        Store::Ticket refused;
        QCOMPARE(store->post(ids[0], Store::Role::Client, "d", &refused), Store::Result::QueueFull);
        QCOMPARE(store->post(ids[0], Store::Role::Host, "d", &refused), Store::Result::Ok);
        store->settle(refused, true);
        store->settle(open, true);
        // Settled late, posted first: it comes first.
        QCOMPARE(taken(*store, ids[0], Store::Role::Client), std::string("a"));
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
        std::string error;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(store->createSession("G", "10.0.0.1", &id, &error), Store::Result::Ok);
        posted(*store, id, Store::Role::Host, "lost with it");
        posted(*store, id, Store::Role::ClientChat, "and the chat");
        QTest::qWait(2500);
        QCOMPARE(taken(*store, id, Store::Role::Host), std::string("error"));
        QFETCH_GLOBAL(QString, kind);
        if (kind == QLatin1String("redis"))
            QCOMPARE(m_redis->command("EXISTS hvd:q:" + QByteArray::fromStdString(id) + ":3"),
                     QByteArray(":0\r\n"));
        std::string fresh;
        QCOMPARE(store->createSession("G", "10.0.0.1", &fresh, &error), Store::Result::Ok);
        QCOMPARE(store->counts().sessions, int64_t(1));
    }

    void unreachableStoreFailsAndRecovers()
    {
        QFETCH_GLOBAL(QString, kind);
        if (kind != QLatin1String("redis"))
            QSKIP("only a store over the network can go away");
        const auto store = make(limits());
        QVERIFY(store);
        std::string id;
        std::string error;
        QCOMPARE(store->createSession("G", "10.0.0.1", &id, &error), Store::Result::Ok);
        posted(*store, id, Store::Role::Host, "kept");
        m_redis->kill();
        Store::Ticket ticket;
        QCOMPARE(store->post(id, Store::Role::Host, "x", &ticket), Store::Result::Failed);
        QVERIFY(!store->healthy(&error));
        QVERIFY2(error.find("does not answer") != std::string::npos, error.c_str());
        QVERIFY(store->counts().errors >= 1);
        // The same folder: the append-only file brings back what was written.
        QVERIFY(m_redis->start());
        QVERIFY(store->healthy(&error));
        QCOMPARE(taken(*store, id, Store::Role::Host), std::string("kept"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
