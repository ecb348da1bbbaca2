#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

/// Where the bridge keeps its sessions and the messages waiting in them.
/// Each session holds one queue per role ("Host", "Client", and the chat
/// lines to each side, "HostChat", "ClientChat"), delivered oldest first. The pages talk to this
/// interface only; SqliteStore keeps everything in one file for one server, RedisStore in Redis,
/// shared by any number of servers. All methods are safe to call from several threads at once.
///
/// Posting and taking are two steps, so that nothing is lost or doubled when
/// a client goes away: post() stores a message that no poll sees yet, take()
/// lends the oldest one out; settle() then either makes the post visible
/// (or removes the taken message) once its answer has arrived, or undoes it.
class Store
{
public:
    enum class Role { Host = 0, Client = 1, HostChat = 2, ClientChat = 3 };
    static constexpr int RoleCount = 4;

    /// The side that polls `role`'s queue: 0 the host, 1 the client.
    static int sideOf(Role role) { return int(role) % 2; }
    static bool isChat(Role role) { return int(role) >= 2; }
    /// Ticket::chatReaders: the bit of the side that has polled its chat queue.
    static int chatBit(int side) { return 1 << side; }

    /// What a request on a session came to. Failed: the store could not be
    /// reached or could not write.
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
        /// A post or take shared between servers that is not settled within
        /// this long belonged to a server that went away: its post becomes
        /// visible, its taken message is lent out again.
        int64_t settleSeconds = 60;
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
        /// The sides (chatBit()) that have polled their chat queue in this
        /// session; filled by post() and take() whenever the session exists.
        int chatReaders = 0;
    };

    /// What the store holds, for monitoring: open sessions, messages waiting
    /// and how many operations failed in the store since the start.
    struct Counts
    {
        int64_t sessions = 0;
        int64_t waiting = 0;
        int64_t errors = 0;
    };

    Store() = default;
    virtual ~Store() = default;
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    /// Registers a session under `name` for a client at `address` and gives
    /// its new random ID. When the most sessions are open, idle ones are
    /// dropped first; if none is, TooManySessions.
    virtual Result createSession(const std::string &name, const std::string &address,
                                 std::string *id, std::string *error) = 0;
    /// Stores `data` for `role` of session `id`, held back until settled.
    virtual Result post(const std::string &id, Role role, const std::string &data,
                        Ticket *ticket) = 0;
    /// Lends out the oldest message for `role` of session `id` (Empty: none,
    /// also while another poll holds the oldest). A take for the Client (or
    /// its chat) joins the session: it leaves the public list. A take for a
    /// chat queue marks its side as one that reads chat.
    virtual Result take(const std::string &id, Role role, std::string *data, Ticket *ticket) = 0;
    /// Ends a post or take: `delivered` keeps the post (removes the taken
    /// message), otherwise the post is removed (the message stays waiting).
    virtual void settle(const Ticket &ticket, bool delivered) = 0;
    /// The sessions that no client has joined yet, oldest first (Ok or
    /// Failed).
    virtual Result openToJoin(std::vector<SessionInfo> *list) = 0;

    /// Drops sessions idle longer than their limit (with their messages)
    /// and saves what is kept in memory only. Returns how many expired.
    virtual int sweep() = 0;
    /// Lets the store write back in the background (called every second by
    /// one thread); may do nothing.
    virtual void checkpoint() = 0;
    /// Whether the store answers now; if not, why.
    virtual bool healthy(std::string *error) = 0;
    virtual Counts counts() = 0;

    /// Told that a message became visible to polls of `role` in session
    /// `id`: a post settled as delivered, on this server or, for a store
    /// shared between servers, on any of them. Called on any thread, never
    /// under a lock of the store.
    using WakeHandler = std::function<void(const std::string &id, Role role)>;
    /// Set once, before the server starts serving.
    void setWakeHandler(WakeHandler handler) { m_wakeHandler = std::move(handler); }

    /// Seconds since the epoch.
    static int64_t now()
    {
        using namespace std::chrono;
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    }

    /// Makes a session ID: 12 characters from an alphabet without look-alikes
    /// (no 0/O, 1/I/L), drawn from the system's random source: about 59 bits.
    static std::string newSessionId()
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

    /// The ID as looked up: blanks around it removed, letters in capitals.
    static std::string normalisedId(const std::string &id)
    {
        const auto first = id.find_first_not_of(" \t\r\n");
        if (first == std::string::npos)
            return std::string();
        const auto last = id.find_last_not_of(" \t\r\n");
        std::string out = id.substr(first, last - first + 1);
        std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
            return char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        });
        return out;
    }

protected:
    /// For the stores: tells the wake handler, if any.
    void wake(const std::string &id, Role role) const
    {
        if (m_wakeHandler)
            m_wakeHandler(id, role);
    }

private:
    WakeHandler m_wakeHandler;
};
