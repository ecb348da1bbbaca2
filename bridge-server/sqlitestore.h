#pragma once

#include "store.h"

#include <atomic>
#include <mutex>
#include <set>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

/// The store of one server, kept in SQLite so that a restart loses nothing.
/// The session table and the queue's message numbers are mirrored in
/// memory, so a poll that finds nothing ("Wait") never touches the database.
class SqliteStore final : public Store
{
public:
    explicit SqliteStore(const Limits &limits);
    ~SqliteStore() override;

    /// Opens (creating if needed) the database file, checks that it is whole
    /// and writable, and loads the sessions.
    bool open(const std::string &path, std::string *error);

    Result createSession(const std::string &name, const std::string &address, std::string *id,
                         std::string *error) override;
    Result post(const std::string &id, Role role, const std::string &data, Ticket *ticket) override;
    Result take(const std::string &id, Role role, std::string *data, Ticket *ticket) override;
    void settle(const Ticket &ticket, bool delivered) override;
    Result openToJoin(std::vector<SessionInfo> *list) override;
    /// Also writes the last-request times kept in memory.
    int sweep() override;
    /// Copies what the write-ahead log holds into the database file, on a
    /// connection of its own, so that requests rarely wait for the disk.
    void checkpoint() override;
    bool healthy(std::string *error) override;
    Counts counts() override;

private:
    struct Queue
    {
        std::set<int64_t> ready; // visible to polls, oldest first
        int pending = 0;         // posted, not yet settled
        int64_t lent = 0;        // taken, not yet settled
    };

    struct Session
    {
        std::string name;
        std::string address;
        int64_t created = 0;
        int64_t lastSeen = 0;
        int64_t savedSeen = 0;
        int64_t order = 0; // the row number: the order of registration
        bool joined = false;
        int chatReaders = 0; // kept in memory: the readers poll again soon
        Queue queues[RoleCount];
    };

    using Sessions = std::unordered_map<std::string, Session>;

    bool exec(const char *sql, std::string *error = nullptr);
    sqlite3_stmt *prepare(const char *sql);
    bool expired(const Session &session, int64_t now) const;
    /// The session if it is open; an expired one is dropped on the way.
    Session *findOpen(const std::string &id, std::string *key);
    Sessions::iterator drop(Sessions::iterator session);
    /// Drops the sessions idle past their limit; returns how many.
    int dropIdle();
    bool removeMessage(int64_t seq);
    Result failed();
    static int onWal(void *store, sqlite3 *db, const char *name, int pages);
    void close();

    std::mutex m_mutex;
    sqlite3 *m_db = nullptr;
    sqlite3 *m_checkpointDb = nullptr;
    std::string m_path;
    sqlite3_stmt *m_insertSession = nullptr;
    sqlite3_stmt *m_insertMessage = nullptr;
    sqlite3_stmt *m_messageData = nullptr;
    sqlite3_stmt *m_deleteMessage = nullptr;
    sqlite3_stmt *m_updateSeen = nullptr;
    sqlite3_stmt *m_updateJoined = nullptr;
    sqlite3_stmt *m_deleteSession = nullptr;
    sqlite3_stmt *m_deleteSessionMessages = nullptr;
    Sessions m_sessions;
    std::unordered_map<std::string, int> m_perAddress;
    Limits m_limits;
    int m_pageSize = 4096;
    std::atomic<int64_t> m_errors{0};
};
