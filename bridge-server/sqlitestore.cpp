#include "sqlitestore.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

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

SqliteStore::SqliteStore(const Limits &limits) : m_limits(limits) {}

SqliteStore::~SqliteStore()
{
    sweep();
    close();
}

void SqliteStore::close()
{
    for (sqlite3_stmt *statement :
         {m_insertSession, m_insertMessage, m_messageData, m_deleteMessage, m_updateSeen,
          m_updateJoined, m_deleteSession, m_deleteSessionMessages})
        sqlite3_finalize(statement);
    m_insertSession = m_insertMessage = m_messageData = m_deleteMessage = m_updateSeen =
        m_updateJoined = m_deleteSession = m_deleteSessionMessages = nullptr;
    if (m_checkpointDb)
        sqlite3_close(m_checkpointDb);
    m_checkpointDb = nullptr;
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
}

bool SqliteStore::exec(const char *sql, std::string *error)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = message ? message : sqlite3_errmsg(m_db);
    sqlite3_free(message);
    return false;
}

sqlite3_stmt *SqliteStore::prepare(const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return statement;
}

bool SqliteStore::open(const std::string &path, std::string *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto fail = [&](const std::string &why) {
        *error = "the database " + path + " " + why;
        close();
        return false;
    };
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK)
        return fail(std::string("cannot be opened: ") + sqlite3_errmsg(m_db));
    sqlite3_busy_timeout(m_db, 5000);
    m_path = path;
    if (sqlite3_db_readonly(m_db, "main") == 1)
        return fail("is read-only; the server must be able to write it and its folder");

    // A damaged file must not start as an empty bridge: check every page.
    std::string problem;
    sqlite3_stmt *check = prepare("PRAGMA integrity_check");
    // A whole file in a folder the server cannot write (no room for the
    // write-ahead log) is not damaged: say so, lest someone moves it away.
    const auto readOnlyFolder = [&] {
        return (sqlite3_extended_errcode(m_db) & 0xff) == SQLITE_READONLY;
    };
    if (!check && readOnlyFolder())
        return fail("is read-only (" + std::string(sqlite3_errmsg(m_db)) +
                    "); the server must be able to write it and its folder");
    if (!check)
        return fail(std::string("is damaged or no database: ") + sqlite3_errmsg(m_db) +
                    "; restore it from a backup or move it away to start empty");
    if (sqlite3_step(check) == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(check, 0));
        problem = text ? text : "";
    } else {
        problem = sqlite3_errmsg(m_db);
    }
    sqlite3_finalize(check);
    if (problem != "ok")
        return fail("is damaged (" + problem.substr(0, 200) +
                    "); restore it from a backup or move it away to start empty");

    // WAL with NORMAL sync: a committed message survives a crash of the
    // server process; only a power loss may cost the last moments.
    // The log is copied into the database by checkpoint(), beside the
    // requests, and only when that falls behind by the commit that finds it
    // past the limit (onWal). Each time the log starts over, its file is cut
    // back to the limit.
    std::string why;
    if (!exec("BEGIN IMMEDIATE; COMMIT", &why))
        return fail("cannot be written: " + why);
    const std::string sizeLimit =
        "PRAGMA journal_size_limit=" + std::to_string(m_limits.walLimitBytes);
    if (!exec("PRAGMA journal_mode=WAL", &why) || !exec("PRAGMA synchronous=NORMAL", &why) ||
        !exec("PRAGMA wal_autocheckpoint=0", &why) || !exec(sizeLimit.c_str(), &why) ||
        !exec("CREATE TABLE IF NOT EXISTS sessions ("
              " id TEXT PRIMARY KEY, name BLOB NOT NULL,"
              " created INTEGER NOT NULL, last_seen INTEGER NOT NULL,"
              " joined INTEGER NOT NULL DEFAULT 0, address TEXT NOT NULL DEFAULT '')",
              &why) ||
        !exec("CREATE TABLE IF NOT EXISTS messages ("
              " seq INTEGER PRIMARY KEY, session TEXT NOT NULL,"
              " role INTEGER NOT NULL, data BLOB NOT NULL)",
              &why) ||
        !exec("CREATE INDEX IF NOT EXISTS messages_queue ON messages(session, role, seq)", &why))
        return fail("cannot be prepared: " + why);
    // Files of earlier versions lack the columns for joining and addresses.
    bool hasJoined = false;
    sqlite3_stmt *columns = prepare("PRAGMA table_info(sessions)");
    while (columns && sqlite3_step(columns) == SQLITE_ROW) {
        const auto *name = reinterpret_cast<const char *>(sqlite3_column_text(columns, 1));
        hasJoined = hasJoined || (name && std::string(name) == "joined");
    }
    sqlite3_finalize(columns);
    if (!hasJoined &&
        (!exec("ALTER TABLE sessions ADD COLUMN joined INTEGER NOT NULL DEFAULT 0", &why) ||
         !exec("ALTER TABLE sessions ADD COLUMN address TEXT NOT NULL DEFAULT ''", &why)))
        return fail("cannot be brought up to date: " + why);

    sqlite3_stmt *pageSize = prepare("PRAGMA page_size");
    if (pageSize && sqlite3_step(pageSize) == SQLITE_ROW)
        m_pageSize = sqlite3_column_int(pageSize, 0);
    sqlite3_finalize(pageSize);
    sqlite3_wal_hook(m_db, &SqliteStore::onWal, this);

    m_insertSession = prepare(
        "INSERT INTO sessions(id, name, created, last_seen, address) VALUES(?, ?, ?, ?, ?)");
    m_insertMessage = prepare("INSERT INTO messages(session, role, data) VALUES(?, ?, ?)");
    m_messageData = prepare("SELECT data FROM messages WHERE seq = ?");
    m_deleteMessage = prepare("DELETE FROM messages WHERE seq = ?");
    m_updateSeen = prepare("UPDATE sessions SET last_seen = ? WHERE id = ?");
    m_updateJoined = prepare("UPDATE sessions SET joined = 1 WHERE id = ?");
    m_deleteSession = prepare("DELETE FROM sessions WHERE id = ?");
    m_deleteSessionMessages = prepare("DELETE FROM messages WHERE session = ?");
    if (!m_insertSession || !m_insertMessage || !m_messageData || !m_deleteMessage ||
        !m_updateSeen || !m_updateJoined || !m_deleteSession || !m_deleteSessionMessages)
        return fail(std::string("cannot be prepared: ") + sqlite3_errmsg(m_db));

    sqlite3_stmt *all =
        prepare("SELECT id, name, created, last_seen, rowid, joined, address FROM sessions");
    while (sqlite3_step(all) == SQLITE_ROW) {
        Session session;
        session.name = columnBytes(all, 1);
        session.created = sqlite3_column_int64(all, 2);
        session.lastSeen = session.savedSeen = sqlite3_column_int64(all, 3);
        session.order = sqlite3_column_int64(all, 4);
        session.joined = sqlite3_column_int(all, 5) != 0;
        session.address = columnBytes(all, 6);
        ++m_perAddress[session.address];
        m_sessions.emplace(columnBytes(all, 0), std::move(session));
    }
    sqlite3_finalize(all);
    sqlite3_stmt *messages = prepare("SELECT session, role, seq FROM messages");
    while (sqlite3_step(messages) == SQLITE_ROW) {
        const auto found = m_sessions.find(columnBytes(messages, 0));
        const int role = sqlite3_column_int(messages, 1);
        if (found != m_sessions.end() && role >= 0 && role < RoleCount)
            found->second.queues[role].ready.insert(sqlite3_column_int64(messages, 2));
    }
    sqlite3_finalize(messages);
    return true;
}

int SqliteStore::onWal(void *store, sqlite3 *db, const char *name, int pages)
{
    // Called after each commit, under the store's lock. Normally
    // checkpoint() has copied the log back already and the next commit
    // starts it over, so it never comes near the limit. Should the copy
    // beside the requests fall behind (it may never catch up with a steady
    // stream of commits), this one copies the rest and restarts the log:
    // with no other request inside, it always reaches the log's end. Little
    // is left to copy then, so the requests wait only briefly. If
    // checkpoint() is copying at that moment, this gives way at once and a
    // later commit tries again; only an eighth past the limit does it wait
    // for that copy (nearly done by then), so the log stays bounded.
    auto *self = static_cast<SqliteStore *>(store);
    const int64_t bytes = int64_t(pages) * self->m_pageSize;
    const int64_t limit = self->m_limits.walLimitBytes;
    if (bytes < limit)
        return SQLITE_OK;
    int result = sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
    for (int waited = 0; result == SQLITE_BUSY && bytes >= limit + limit / 8 && waited < 5000;
         ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        result = sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
    }
    return SQLITE_OK;
}

void SqliteStore::checkpoint()
{
    if (!m_checkpointDb) {
        if (sqlite3_open_v2(m_path.c_str(), &m_checkpointDb, SQLITE_OPEN_READWRITE, nullptr) !=
            SQLITE_OK) {
            sqlite3_close(m_checkpointDb);
            m_checkpointDb = nullptr;
            return;
        }
        // PASSIVE never waits; the copy under the lock must not wait for
        // this connection either, so no busy handler here.
        // A fresh connection learns the journal mode only from a first read.
        sqlite3_exec(m_checkpointDb, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    }
    // PASSIVE: copies what the log holds without holding up the requests
    // (they keep reading and committing meanwhile). Once all of it is
    // copied, the next commit starts the log over from its beginning.
    sqlite3_wal_checkpoint_v2(m_checkpointDb, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

bool SqliteStore::expired(const Session &session, int64_t now) const
{
    return session.lastSeen <
           now - (session.joined ? m_limits.idleSeconds : m_limits.unjoinedIdleSeconds);
}

SqliteStore::Session *SqliteStore::findOpen(const std::string &id, std::string *key)
{
    *key = normalisedId(id);
    const auto found = m_sessions.find(*key);
    if (found == m_sessions.end())
        return nullptr;
    if (expired(found->second, now())) {
        drop(found);
        return nullptr;
    }
    return &found->second;
}

SqliteStore::Sessions::iterator SqliteStore::drop(Sessions::iterator session)
{
    for (sqlite3_stmt *statement : {m_deleteSessionMessages, m_deleteSession}) {
        Statement remove(statement);
        bindId(remove.get(), 1, session->first);
        sqlite3_step(remove.get());
    }
    const auto address = m_perAddress.find(session->second.address);
    if (address != m_perAddress.end() && --address->second <= 0)
        m_perAddress.erase(address);
    return m_sessions.erase(session);
}

Store::Result SqliteStore::createSession(const std::string &name, const std::string &address,
                                         std::string *id, std::string *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // One address cannot hold the whole table: its own idle ones make room.
    const auto fromAddress = [&] {
        const auto found = m_perAddress.find(address);
        return found == m_perAddress.end() ? 0 : found->second;
    };
    if (fromAddress() >= m_limits.maxSessionsPerAddress &&
        (dropIdle(), fromAddress() >= m_limits.maxSessionsPerAddress))
        return Result::TooManyFromAddress;
    // Anyone may register, so the sessions are bounded; idle ones make room.
    if (m_sessions.size() >= std::size_t(m_limits.maxSessions) && dropIdle() == 0)
        return Result::TooManySessions;
    std::string newId;
    do {
        newId = newSessionId();
    } while (m_sessions.count(newId));
    Session session;
    session.name = name;
    session.address = address;
    session.created = session.lastSeen = session.savedSeen = now();
    Statement insert(m_insertSession);
    bindId(insert.get(), 1, newId);
    bindText(insert.get(), 2, name);
    sqlite3_bind_int64(insert.get(), 3, session.created);
    sqlite3_bind_int64(insert.get(), 4, session.lastSeen);
    bindId(insert.get(), 5, address);
    if (sqlite3_step(insert.get()) != SQLITE_DONE) {
        *error = sqlite3_errmsg(m_db);
        return failed();
    }
    session.order = sqlite3_last_insert_rowid(m_db);
    m_sessions.emplace(newId, std::move(session));
    ++m_perAddress[address];
    *id = newId;
    return Result::Ok;
}

Store::Result SqliteStore::post(const std::string &id, Role role, const std::string &data,
                                Ticket *ticket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string key;
    Session *session = findOpen(id, &key);
    if (!session)
        return Result::UnknownSession;
    session->lastSeen = now();
    ticket->chatReaders = session->chatReaders;
    Queue &queue = session->queues[int(role)];
    if (int(queue.ready.size()) + queue.pending >= m_limits.maxWaiting)
        return Result::QueueFull;
    Statement insert(m_insertMessage);
    bindId(insert.get(), 1, key);
    sqlite3_bind_int(insert.get(), 2, int(role));
    bindText(insert.get(), 3, data);
    if (sqlite3_step(insert.get()) != SQLITE_DONE)
        return failed();
    ++queue.pending;
    *ticket = Ticket{key, role, sqlite3_last_insert_rowid(m_db), true, session->chatReaders};
    return Result::Ok;
}

Store::Result SqliteStore::take(const std::string &id, Role role, std::string *data, Ticket *ticket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string key;
    Session *session = findOpen(id, &key);
    if (!session)
        return Result::UnknownSession;
    session->lastSeen = now();
    if (isChat(role))
        session->chatReaders |= chatBit(sideOf(role));
    ticket->chatReaders = session->chatReaders;
    if (sideOf(role) == 1 && !session->joined) {
        // The client has joined: the session leaves the public list.
        session->joined = true;
        Statement update(m_updateJoined);
        bindId(update.get(), 1, key);
        sqlite3_step(update.get());
    }
    Queue &queue = session->queues[int(role)];
    // One message is out at a time, so a second poll cannot overtake it.
    if (queue.ready.empty() || queue.lent != 0)
        return Result::Empty;
    const int64_t seq = *queue.ready.begin();
    Statement read(m_messageData);
    sqlite3_bind_int64(read.get(), 1, seq);
    const int step = sqlite3_step(read.get());
    if (step == SQLITE_DONE) {
        queue.ready.erase(seq);
        return Result::Empty;
    }
    if (step != SQLITE_ROW)
        return failed();
    *data = columnBytes(read.get(), 0);
    queue.lent = seq;
    *ticket = Ticket{key, role, seq, false, session->chatReaders};
    return Result::Ok;
}

bool SqliteStore::removeMessage(int64_t seq)
{
    Statement remove(m_deleteMessage);
    sqlite3_bind_int64(remove.get(), 1, seq);
    return sqlite3_step(remove.get()) == SQLITE_DONE;
}

void SqliteStore::settle(const Ticket &ticket, bool delivered)
{
    // A post made visible, or a taken message given back, may be what a
    // held poll waits for: told once the lock is released.
    bool visible = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_sessions.find(ticket.session);
        if (found == m_sessions.end()) {
            // Expired meanwhile: its messages went with it.
            return;
        }
        Queue &queue = found->second.queues[int(ticket.role)];
        if (ticket.post) {
            --queue.pending;
            if (delivered)
                queue.ready.insert(ticket.seq);
            else
                removeMessage(ticket.seq);
            visible = delivered;
        } else {
            if (queue.lent == ticket.seq)
                queue.lent = 0;
            if (delivered && removeMessage(ticket.seq))
                queue.ready.erase(ticket.seq);
            visible = !delivered || !queue.ready.empty();
        }
    }
    if (visible)
        wake(ticket.session, ticket.role);
}

Store::Result SqliteStore::openToJoin(std::vector<SessionInfo> *list)
{
    list->clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int64_t time = now();
        for (const auto &[id, session] : m_sessions) {
            if (!session.joined && !expired(session, time))
                list->push_back({id, session.name, session.created, session.order});
        }
    }
    std::sort(list->begin(), list->end(),
              [](const SessionInfo &a, const SessionInfo &b) { return a.order < b.order; });
    return Result::Ok;
}

int SqliteStore::dropIdle()
{
    int count = 0;
    const int64_t time = now();
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (expired(it->second, time)) {
            it = drop(it);
            ++count;
        } else {
            ++it;
        }
    }
    return count;
}

int SqliteStore::sweep()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_db)
        return 0;
    exec("BEGIN");
    const int count = dropIdle();
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
    return count;
}

Store::Result SqliteStore::failed()
{
    ++m_errors;
    return Result::Failed;
}

bool SqliteStore::healthy(std::string *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_db) {
        *error = "the database is not open";
        return false;
    }
    return exec("SELECT 1", error);
}

Store::Counts SqliteStore::counts()
{
    Counts counts;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int64_t time = now();
    for (const auto &entry : m_sessions) {
        if (expired(entry.second, time))
            continue;
        ++counts.sessions;
        for (const Queue &queue : entry.second.queues)
            counts.waiting += int64_t(queue.ready.size());
    }
    counts.errors = m_errors;
    return counts;
}
