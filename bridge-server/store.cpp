#include "store.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <random>

namespace {

class Statement
{
public:
    explicit Statement(sqlite3_stmt *statement) : m_statement(statement) {}
    ~Statement()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    sqlite3_stmt *get() const { return m_statement; }

private:
    sqlite3_stmt *m_statement;
};

void bindId(sqlite3_stmt *statement, int index, const std::string &id)
{
    sqlite3_bind_text(statement, index, id.data(), int(id.size()), SQLITE_TRANSIENT);
}

// Names and messages are bytes, one per character, not necessarily UTF-8.
void bindText(sqlite3_stmt *statement, int index, const std::string &text)
{
    sqlite3_bind_blob(statement, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

std::string columnBytes(sqlite3_stmt *statement, int column)
{
    const auto *data = static_cast<const char *>(sqlite3_column_blob(statement, column));
    return data ? std::string(data, size_t(sqlite3_column_bytes(statement, column)))
                : std::string();
}

} // namespace

Store::Store(int64_t idleSeconds, int maxWaiting, int maxSessions)
    : m_idleSeconds(idleSeconds), m_maxWaiting(maxWaiting), m_maxSessions(std::size_t(maxSessions))
{
}

Store::~Store()
{
    sweep();
    close();
}

void Store::close()
{
    for (sqlite3_stmt *statement :
         {m_insertSession, m_insertMessage, m_oldestMessage, m_deleteMessage, m_updateSeen,
          m_deleteSession, m_deleteSessionMessages})
        sqlite3_finalize(statement);
    if (m_checkpointDb)
        sqlite3_close(m_checkpointDb);
    m_checkpointDb = nullptr;
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
}

int64_t Store::now() const
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool Store::exec(const char *sql, std::string *error)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = message ? message : sqlite3_errmsg(m_db);
    sqlite3_free(message);
    return false;
}

sqlite3_stmt *Store::prepare(const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return statement;
}

bool Store::open(const std::string &path, std::string *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
        *error = "cannot open the database " + path + ": " + sqlite3_errmsg(m_db);
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 5000);
    m_path = path;
    // WAL with NORMAL sync: a committed message survives a crash of the
    // server process; only a power loss may cost the last moments.
    // The log is copied into the database by checkpoint(), not by the
    // request that happens to fill it.
    if (!exec("PRAGMA journal_mode=WAL", error) || !exec("PRAGMA synchronous=NORMAL", error) ||
        !exec("PRAGMA wal_autocheckpoint=0", error) ||
        !exec("PRAGMA journal_size_limit=33554432", error) ||
        !exec("CREATE TABLE IF NOT EXISTS sessions ("
              " id TEXT PRIMARY KEY, name BLOB NOT NULL,"
              " created INTEGER NOT NULL, last_seen INTEGER NOT NULL)",
              error) ||
        !exec("CREATE TABLE IF NOT EXISTS messages ("
              " seq INTEGER PRIMARY KEY AUTOINCREMENT, session TEXT NOT NULL,"
              " role INTEGER NOT NULL, data BLOB NOT NULL)",
              error) ||
        !exec("CREATE INDEX IF NOT EXISTS messages_queue ON messages(session, role, seq)", error)) {
        *error = "cannot prepare the database " + path + ": " + *error;
        close();
        return false;
    }
    m_insertSession =
        prepare("INSERT INTO sessions(id, name, created, last_seen) VALUES(?, ?, ?, ?)");
    m_insertMessage = prepare("INSERT INTO messages(session, role, data) VALUES(?, ?, ?)");
    m_oldestMessage = prepare(
        "SELECT seq, data FROM messages WHERE session = ? AND role = ? ORDER BY seq LIMIT 1");
    m_deleteMessage = prepare("DELETE FROM messages WHERE seq = ?");
    m_updateSeen = prepare("UPDATE sessions SET last_seen = ? WHERE id = ?");
    m_deleteSession = prepare("DELETE FROM sessions WHERE id = ?");
    m_deleteSessionMessages = prepare("DELETE FROM messages WHERE session = ?");
    if (!m_insertSession || !m_insertMessage || !m_oldestMessage || !m_deleteMessage ||
        !m_updateSeen || !m_deleteSession || !m_deleteSessionMessages) {
        *error = "cannot prepare the database " + path + ": " + sqlite3_errmsg(m_db);
        close();
        return false;
    }

    sqlite3_stmt *all = prepare("SELECT id, name, created, last_seen, rowid FROM sessions");
    while (sqlite3_step(all) == SQLITE_ROW) {
        Session session;
        session.name = columnBytes(all, 1);
        session.created = sqlite3_column_int64(all, 2);
        session.lastSeen = session.savedSeen = sqlite3_column_int64(all, 3);
        session.order = sqlite3_column_int64(all, 4);
        m_sessions.emplace(columnBytes(all, 0), std::move(session));
    }
    sqlite3_finalize(all);
    sqlite3_stmt *counts =
        prepare("SELECT session, role, COUNT(*) FROM messages GROUP BY session, role");
    while (sqlite3_step(counts) == SQLITE_ROW) {
        const auto found = m_sessions.find(columnBytes(counts, 0));
        const int role = sqlite3_column_int(counts, 1);
        if (found != m_sessions.end() && (role == 0 || role == 1))
            found->second.waiting[role] = sqlite3_column_int(counts, 2);
    }
    sqlite3_finalize(counts);
    return true;
}

void Store::checkpoint()
{
    if (!m_checkpointDb) {
        if (sqlite3_open(m_path.c_str(), &m_checkpointDb) != SQLITE_OK) {
            sqlite3_close(m_checkpointDb);
            m_checkpointDb = nullptr;
            return;
        }
        sqlite3_busy_timeout(m_checkpointDb, 1000);
        // A fresh connection learns the journal mode only from a first read.
        sqlite3_exec(m_checkpointDb, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    }
    // PASSIVE: copies what it can without holding up readers or writers.
    sqlite3_wal_checkpoint_v2(m_checkpointDb, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

std::string Store::newSessionId()
{
    static const char alphabet[] = "23456789ABCDEFGHJKMNPQRSTUVWXYZ";
    constexpr unsigned size = sizeof(alphabet) - 1;
    thread_local std::random_device source;
    std::string id;
    while (id.size() < 12) {
        const unsigned value = source();
        // Reject the top of the range so each character is equally likely.
        if (value >= (0xFFFFFFFFu / size) * size)
            continue;
        id += alphabet[value % size];
    }
    return id;
}

std::string Store::normalisedId(const std::string &id)
{
    const auto first = id.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const auto last = id.find_last_not_of(" \t\r\n");
    std::string out = id.substr(first, last - first + 1);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
    return out;
}

Store::Session *Store::findOpen(const std::string &id, std::string *key)
{
    *key = normalisedId(id);
    const auto found = m_sessions.find(*key);
    if (found == m_sessions.end())
        return nullptr;
    if (found->second.lastSeen < now() - m_idleSeconds) {
        drop(*key);
        m_sessions.erase(found);
        return nullptr;
    }
    return &found->second;
}

void Store::drop(const std::string &id)
{
    for (sqlite3_stmt *statement : {m_deleteSessionMessages, m_deleteSession}) {
        Statement remove(statement);
        bindId(remove.get(), 1, id);
        sqlite3_step(remove.get());
    }
}

void Store::touch(Session &session)
{
    session.lastSeen = now();
}

Store::Result Store::createSession(const std::string &name, std::string *id, std::string *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Anyone may register, so the sessions are bounded; idle ones make room.
    if (m_sessions.size() >= m_maxSessions && dropIdle(now() - m_idleSeconds) == 0)
        return Result::TooManySessions;
    std::string newId;
    do {
        newId = newSessionId();
    } while (m_sessions.count(newId));
    Session session;
    session.name = name;
    session.created = session.lastSeen = session.savedSeen = now();
    Statement insert(m_insertSession);
    bindId(insert.get(), 1, newId);
    bindText(insert.get(), 2, name);
    sqlite3_bind_int64(insert.get(), 3, session.created);
    sqlite3_bind_int64(insert.get(), 4, session.lastSeen);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) {
        *error = sqlite3_errmsg(m_db);
        return Result::Failed;
    }
    session.order = sqlite3_last_insert_rowid(m_db);
    m_sessions.emplace(newId, std::move(session));
    *id = newId;
    return Result::Ok;
}

Store::Result Store::post(const std::string &id, Role role, const std::string &data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string key;
    Session *open = findOpen(id, &key);
    if (!open)
        return Result::UnknownSession;
    Session &session = *open;
    touch(session);
    if (session.waiting[int(role)] >= m_maxWaiting)
        return Result::QueueFull;
    Statement insert(m_insertMessage);
    bindId(insert.get(), 1, key);
    sqlite3_bind_int(insert.get(), 2, int(role));
    bindText(insert.get(), 3, data);
    if (sqlite3_step(insert.get()) != SQLITE_DONE)
        return Result::Failed;
    ++session.waiting[int(role)];
    return Result::Ok;
}

Store::Result Store::take(const std::string &id, Role role, std::string *data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string key;
    Session *open = findOpen(id, &key);
    if (!open)
        return Result::UnknownSession;
    Session &session = *open;
    touch(session);
    if (session.waiting[int(role)] == 0)
        return Result::Empty;
    int64_t seq = 0;
    {
        Statement oldest(m_oldestMessage);
        bindId(oldest.get(), 1, key);
        sqlite3_bind_int(oldest.get(), 2, int(role));
        const int step = sqlite3_step(oldest.get());
        if (step == SQLITE_DONE) {
            session.waiting[int(role)] = 0;
            return Result::Empty;
        }
        if (step != SQLITE_ROW)
            return Result::Failed;
        seq = sqlite3_column_int64(oldest.get(), 0);
        *data = columnBytes(oldest.get(), 1);
    }
    Statement remove(m_deleteMessage);
    sqlite3_bind_int64(remove.get(), 1, seq);
    if (sqlite3_step(remove.get()) != SQLITE_DONE)
        return Result::Failed;
    --session.waiting[int(role)];
    return Result::Ok;
}

std::vector<Store::SessionInfo> Store::sessions()
{
    std::vector<SessionInfo> list;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int64_t limit = now() - m_idleSeconds;
        for (const auto &[id, session] : m_sessions) {
            if (session.lastSeen >= limit)
                list.push_back(
                    {id, session.name, session.created, session.lastSeen, session.order});
        }
    }
    std::sort(list.begin(), list.end(),
              [](const SessionInfo &a, const SessionInfo &b) { return a.order < b.order; });
    return list;
}

int Store::dropIdle(int64_t limit)
{
    int expired = 0;
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (it->second.lastSeen < limit) {
            drop(it->first);
            it = m_sessions.erase(it);
            ++expired;
        } else {
            ++it;
        }
    }
    return expired;
}

int Store::sweep()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_db)
        return 0;
    exec("BEGIN");
    const int expired = dropIdle(now() - m_idleSeconds);
    for (auto &[id, session] : m_sessions) {
        if (session.lastSeen > session.savedSeen) {
            Statement update(m_updateSeen);
            sqlite3_bind_int64(update.get(), 1, session.lastSeen);
            bindId(update.get(), 2, id);
            if (sqlite3_step(update.get()) == SQLITE_DONE)
                session.savedSeen = session.lastSeen;
        }
    }
    exec("COMMIT");
    return expired;
}
