#pragma once

#include "store.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
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

private:
    class Reply;

    /// Runs `script` with the arguments after the limits; null (and the
    /// connection dropped) when Redis did not answer.
    Reply run(const Script &script, const std::vector<std::string> &args, std::string *error);
    redisContext *acquire(std::string *error);
    void release(redisContext *context, bool broken);

    Limits m_limits;
    std::string m_host;
    int m_port;
    int m_database;
    std::mutex m_mutex;
    std::condition_variable m_free;
    std::vector<redisContext *> m_idle;
    int m_open = 0;
    std::atomic<int64_t> m_errors{0};
};
