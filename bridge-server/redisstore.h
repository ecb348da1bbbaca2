#pragma once

#include "store.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

struct redisContext;
struct redisReply;

/// The store shared by any number of servers: everything lives in Redis, so
/// each server holds no state of its own. Every operation is one Lua script,
/// which Redis runs atomically, so the caps on sessions, on sessions per
/// address and on waiting messages hold across all servers together, and a
/// message is lent to one poll at a time. Sessions expire through Redis
/// key lifetimes.
///
/// Keys (all under the prefix "hvd:"): s:ID a hash with the session's name,
/// address, creation time, order, joined flag, message counter, the
/// messages lent out and the sides that read chat (chat2, chat3); q:ID:ROLE the visible queue (a
/// sorted set of message numbers); p:ID:ROLE the posts waiting for settle (number by time); d:ID
/// the messages' texts by number; "all" and a:ADDRESS the open sessions by the time they expire;
/// "open" the sessions waiting for their client.
///
/// Connections are pooled, one per worker at most; a connection that fails
/// is dropped, and the next request connects again (with a one-second
/// bound on connecting and on each command), so a Redis that went away and
/// came back is used again without a restart.
///
/// Waking: a settle that makes a message visible (a post delivered, or a
/// message left waiting once the one lent out is settled) publishes
/// "ID:ROLE:ORIGIN" on the channel "hvd:wake:DB". Each store keeps one
/// subscription on a connection and thread of its own (connecting again
/// every 100 ms while Redis is away) and passes every such message from
/// another store to the wake handler; its own settles wake it directly.
/// A wake-up lost while the subscription was down only makes a held poll
/// wait for the end of its time: it never loses a message.
///
/// A settle that Redis did not answer is kept (up to MaxPendingSettles,
/// the oldest given up first) and sent again by the subscription's thread
/// as soon as Redis answers, so a post answered OK just before Redis went
/// away becomes visible the moment it is back, not settleSeconds later;
/// that rule stays for the settles of a server that died.
class RedisStore final : public Store
{
public:
    RedisStore(const Limits &limits, std::string host, int port, int database);
    ~RedisStore() override;

    /// Parses "redis://HOST:PORT[/DB]"; false with a reason when malformed.
    static bool parseUrl(const std::string &url, std::string *host, int *port, int *database,
                         std::string *error);

    Result createSession(const std::string &name, const std::string &address, std::string *id,
                         std::string *error) override;
    Result post(const std::string &id, Role role, const std::string &data, Ticket *ticket) override;
    Result take(const std::string &id, Role role, std::string *data, Ticket *ticket) override;
    void settle(const Ticket &ticket, bool delivered) override;
    Result openToJoin(std::vector<SessionInfo> *list) override;
    int sweep() override;
    void checkpoint() override {}
    bool healthy(std::string *error) override;
    Counts counts() override;

    /// One of the Lua scripts that make up the operations.
    struct Script;

    /// The most settles kept for sending again while Redis does not answer.
    static constexpr std::size_t MaxPendingSettles = 65536;

private:
    class Reply;
    struct PendingSettle
    {
        Ticket ticket;
        bool delivered;
    };

    /// Runs `script` with the arguments after the limits; null (and the
    /// connection dropped) when Redis did not answer.
    Reply run(const Script &script, const std::vector<std::string> &args, std::string *error);
    redisContext *acquire(std::string *error);
    void release(redisContext *context, bool broken);
    /// Runs one settle and wakes for it; false when Redis did not answer.
    bool trySettle(const Ticket &ticket, bool delivered);
    /// Sends again the settles that Redis did not answer, in order, up to
    /// the first that fails again.
    void retrySettles();
    /// The subscription's thread: connects, subscribes, passes messages on
    /// and retries settles until the store is destroyed.
    void listen();
    /// Reads the subscription until its connection breaks or the store
    /// stops.
    void follow(redisContext *context);
    /// Wakes for one published "ID:ROLE:ORIGIN" unless it is our own.
    void onPublished(const std::string &payload);
    /// Wakes the listening thread early (to stop, or to retry a settle).
    void nudge();

    Limits m_limits;
    std::string m_host;
    int m_port;
    int m_database;
    std::mutex m_mutex;
    std::condition_variable m_free;
    std::vector<redisContext *> m_idle;
    int m_open = 0;
    std::atomic<int64_t> m_errors{0};

    const std::string m_channel;
    /// Marks this store's own publications, so they wake it only once.
    const std::string m_origin = newSessionId();
    /// Set by the first post or take: only then can a poll be held here, and
    /// the wake handler is known to be set (it is set before serving).
    std::atomic<bool> m_armed{false};
    std::atomic<bool> m_stopping{false};
    int m_nudge[2] = {-1, -1};
    std::mutex m_pendingMutex;
    std::deque<PendingSettle> m_pending;
    std::atomic<bool> m_hasPending{false};
    std::thread m_listener;
};
