#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

/// The bridge's sessions and the messages waiting in them, kept in SQLite so
/// that a restart loses nothing. Each session holds one queue per role
/// ("Host", "Client"), delivered oldest first. The session table and the
/// queue's message numbers are mirrored in memory, so a poll that finds
/// nothing ("Wait") never touches the database. All methods are safe to call
/// from several threads at once.
///
/// Posting and taking are two steps, so that nothing is lost or doubled when
/// a client goes away: post() stores a message that no poll sees yet, take()
/// lends the oldest one out; settle() then either makes the post visible
/// (or removes the taken message) once its answer has arrived, or undoes it.
class Store
{
public:
    enum class Role { Host = 0, Client = 1 };

    /// What a request on a session came to.
    enum class Result {
        Ok,
        Empty,
        UnknownSession,
        QueueFull,
        TooManySessions,
        TooManyFromAddress,
        Failed
    };

    struct Limits
    {
        /// A session that a client has joined expires after this long
        /// without requests; one that no client joined, after the shorter
        /// `unjoinedIdleSeconds`.
        int64_t idleSeconds = 120 * 60;
        int64_t unjoinedIdleSeconds = 10 * 60;
        int maxWaiting = 500;
        int maxSessions = 1000;
        int maxSessionsPerAddress = 20;
        /// The write-ahead log is copied back and restarted once it holds
        /// this much.
        int64_t walLimitBytes = 4 * 1024 * 1024;
    };

    struct SessionInfo
    {
        std::string id;
        std::string name;
        int64_t created = 0;
        int64_t order = 0;
    };

    /// A post or a take waiting for settle().
    struct Ticket
    {
        std::string session;
        Role role = Role::Host;
        int64_t seq = 0;
        bool post = false;
    };

    explicit Store(const Limits &limits);
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    /// Opens (creating if needed) the database file, checks that it is whole
    /// and writable, and loads the sessions.
    bool open(const std::string &path, std::string *error);

    /// Registers a session under `name` for a client at `address` and gives
    /// its new random ID. When the most sessions are open, idle ones are
    /// dropped first; if none is, TooManySessions.
    Result createSession(const std::string &name, const std::string &address, std::string *id,
                         std::string *error);
    /// Stores `data` for `role` of session `id`, held back until settled.
    Result post(const std::string &id, Role role, const std::string &data, Ticket *ticket);
    /// Lends out the oldest message for `role` of session `id` (Empty: none,
    /// also while another poll holds the oldest). A take for the Client
    /// joins the session: it leaves the public list.
    Result take(const std::string &id, Role role, std::string *data, Ticket *ticket);
    /// Ends a post or take: `delivered` keeps the post (removes the taken
    /// message), otherwise the post is removed (the message stays waiting).
    void settle(const Ticket &ticket, bool delivered);
    /// The sessions that no client has joined yet, oldest first.
    std::vector<SessionInfo> openToJoin();

    /// Drops sessions idle longer than their limit (with their messages)
    /// and writes the last-request times kept in memory. Returns how many
    /// expired.
    int sweep();
    /// Copies what the write-ahead log holds into the database file, on a
    /// connection of its own, so that requests rarely wait for the disk.
    /// Called by one background thread.
    void checkpoint();

    /// Seconds since the epoch.
    int64_t now() const;

    /// Makes a session ID: 12 characters from an alphabet without look-alikes
    /// (no 0/O, 1/I/L), drawn from the system's random source: about 59 bits.
    static std::string newSessionId();
    /// The ID as looked up: blanks around it removed, letters in capitals.
    static std::string normalisedId(const std::string &id);

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
        Queue queues[2];
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
};
