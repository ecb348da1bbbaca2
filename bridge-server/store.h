#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

/// The bridge's sessions and the messages waiting in them, kept in SQLite so
/// that a restart loses nothing. Each session holds one queue per role
/// ("Host", "Client"), delivered oldest first. The session table and the
/// number of waiting messages are mirrored in memory, so a poll that finds
/// nothing ("Wait") never touches the database. All methods are safe to call
/// from several threads at once.
class Store
{
public:
    enum class Role { Host = 0, Client = 1 };

    /// What a request on a session came to.
    enum class Result { Ok, Empty, UnknownSession, QueueFull, TooManySessions, Failed };

    struct SessionInfo
    {
        std::string id;
        std::string name;
        int64_t created = 0;
        int64_t lastSeen = 0;
        int64_t order = 0;
    };

    /// `idleSeconds`: a session without requests for this long expires.
    /// `maxWaiting`: the most messages one role's queue holds.
    /// `maxSessions`: the most sessions open at once.
    Store(int64_t idleSeconds, int maxWaiting, int maxSessions);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    /// Opens (creating if needed) the database file and loads the sessions.
    bool open(const std::string &path, std::string *error);

    /// Registers a session under `name` and gives its new random ID. When
    /// the most sessions are open, idle ones are dropped first; if none is,
    /// TooManySessions. Failed and `error` set on a database failure.
    Result createSession(const std::string &name, std::string *id, std::string *error);
    /// Queues `data` for `role` of session `id`.
    Result post(const std::string &id, Role role, const std::string &data);
    /// Takes the oldest message for `role` of session `id` (Empty: none).
    Result take(const std::string &id, Role role, std::string *data);
    /// The open sessions, oldest first.
    std::vector<SessionInfo> sessions();

    /// Drops sessions idle longer than the limit (with their messages) and
    /// writes the last-request times kept in memory. Returns how many expired.
    int sweep();
    /// Copies what the write-ahead log holds into the database file, on a
    /// connection of its own, so that requests never wait for the disk's
    /// flushes (they only append to the log). Called by one background thread.
    void checkpoint();

    /// Seconds since the epoch.
    int64_t now() const;

    /// Makes a session ID: 12 characters from an alphabet without look-alikes
    /// (no 0/O, 1/I/L), drawn from the system's random source: about 59 bits.
    static std::string newSessionId();
    /// The ID as looked up: blanks around it removed, letters in capitals.
    static std::string normalisedId(const std::string &id);

private:
    struct Session
    {
        std::string name;
        int64_t created = 0;
        int64_t lastSeen = 0;
        int64_t savedSeen = 0;
        int64_t order = 0; // the row number: the order of registration
        int waiting[2] = {0, 0};
    };

    bool exec(const char *sql, std::string *error = nullptr);
    sqlite3_stmt *prepare(const char *sql);
    void touch(Session &session);
    /// The session if it is open; an expired one is dropped on the way.
    Session *findOpen(const std::string &id, std::string *key);
    void drop(const std::string &id);
    /// Drops the sessions without requests since `limit`; returns how many.
    int dropIdle(int64_t limit);
    void close();

    std::mutex m_mutex;
    sqlite3 *m_db = nullptr;
    sqlite3 *m_checkpointDb = nullptr;
    std::string m_path;
    sqlite3_stmt *m_insertSession = nullptr;
    sqlite3_stmt *m_insertMessage = nullptr;
    sqlite3_stmt *m_oldestMessage = nullptr;
    sqlite3_stmt *m_deleteMessage = nullptr;
    sqlite3_stmt *m_updateSeen = nullptr;
    sqlite3_stmt *m_deleteSession = nullptr;
    sqlite3_stmt *m_deleteSessionMessages = nullptr;
    std::unordered_map<std::string, Session> m_sessions;
    int64_t m_idleSeconds;
    int m_maxWaiting;
    std::size_t m_maxSessions;
};
