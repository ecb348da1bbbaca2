#include "redisstore.h"

#include <hiredis/hiredis.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Every connection waits at most this long to connect and for each answer.
constexpr timeval Timeout{1, 0};
// At most this many connections at once; more requests wait for one.
constexpr int MaxConnections = 16;
// The subscription connects again this often while Redis is away, and
// retries settles this often while some wait.
constexpr int RetryMs = 100;
// A subscription quiet this long is asked for a PING; one that does not
// answer within as long again is taken for dead and made anew.
constexpr auto QuietBeforePing = std::chrono::seconds(5);

// Shared by every script. ARGV[1..3]: the idle time of a joined session, of
// one not joined, and the time a post or take may wait for its settle.
const char *const Prelude = R"lua(
local P = 'hvd:'
local idle, unjoined, settleSec = tonumber(ARGV[1]), tonumber(ARGV[2]), tonumber(ARGV[3])
local function clock() return tonumber(redis.call('TIME')[1]) end
local function keys(id)
  return P..'s:'..id, P..'q:'..id..':0', P..'q:'..id..':1', P..'p:'..id..':0',
         P..'p:'..id..':1', P..'d:'..id,
         P..'q:'..id..':2', P..'q:'..id..':3', P..'p:'..id..':2', P..'p:'..id..':3'
end
-- The sides that have polled their chat queue: 1 the host, 2 the client.
local function chatReaders(s)
  local c = redis.call('HMGET', s, 'chat2', 'chat3')
  return (c[1] and 1 or 0) + (c[2] and 2 or 0)
end
-- Each key of the session lives as long as the session may stay idle; the
-- session's deadline in "all" and in its address's set moves with it. A
-- session touched in the last ten seconds is left as it is, so that most
-- polls cost one look-up; `force` after a key was made or the session joined.
local function touch(id, t, force)
  local v = redis.call('HMGET', P..'s:'..id, 'joined', 'address', 'seen')
  if not force and v[3] and tonumber(v[3]) + 10 > t then return end
  redis.call('HSET', P..'s:'..id, 'seen', t)
  local ttl = unjoined
  if v[1] == '1' then ttl = idle end
  for _, k in ipairs({keys(id)}) do redis.call('EXPIRE', k, ttl) end
  redis.call('ZADD', P..'all', t + ttl, id)
  local a = P..'a:'..(v[2] or '')
  redis.call('ZADD', a, t + ttl, id)
  redis.call('EXPIRE', a, math.max(idle, unjoined))
end
-- Posts that their server never settled (it went away after answering)
-- become visible: the poster was told OK.
local function recover(id, role, t)
  local p = P..'p:'..id..':'..role
  local moved = false
  for _, seq in ipairs(redis.call('ZRANGEBYSCORE', p, '-inf', t - settleSec)) do
    redis.call('ZADD', P..'q:'..id..':'..role, seq, seq)
    redis.call('ZREM', p, seq)
    moved = true
  end
  return moved
end
)lua";

} // namespace

struct RedisStore::Script
{
    int index;
    const char *body;
};

namespace {

// ARGV[4] the most sessions, [5] the most per address, [6] the new ID,
// [7] the name, [8] the address.
const char *const CreateBody = R"lua(
local t = clock()
local id, addr = ARGV[6], ARGV[8]
local all, a = P..'all', P..'a:'..addr
redis.call('ZREMRANGEBYSCORE', all, '-inf', '(' .. t)
redis.call('ZREMRANGEBYSCORE', a, '-inf', '(' .. t)
if redis.call('ZCARD', a) >= tonumber(ARGV[5]) then return 'address' end
if redis.call('ZCARD', all) >= tonumber(ARGV[4]) then return 'sessions' end
local s = P..'s:'..id
if redis.call('EXISTS', s) == 1 then return 'taken' end
local order = redis.call('INCR', P..'order')
redis.call('HSET', s, 'name', ARGV[7], 'address', addr, 'created', t, 'order', order,
           'joined', '0', 'seq', 0)
redis.call('ZADD', P..'open', order, id)
touch(id, t, true)
return 'ok'
)lua";

// ARGV[4] the most waiting, [5] the ID, [6] the role, [7] the message.
const char *const PostBody = R"lua(
local id, role = ARGV[5], ARGV[6]
local s = P..'s:'..id
if redis.call('EXISTS', s) == 0 then return {'unknown'} end
local t = clock()
local moved = recover(id, role, t)
local q, p = P..'q:'..id..':'..role, P..'p:'..id..':'..role
if redis.call('ZCARD', q) + redis.call('ZCARD', p) >= tonumber(ARGV[4]) then
  touch(id, t, moved)
  return {'full', chatReaders(s)}
end
local seq = redis.call('HINCRBY', s, 'seq', 1)
redis.call('HSET', P..'d:'..id, seq, ARGV[7])
redis.call('ZADD', p, t, seq)
touch(id, t, true)
return {'ok', seq, chatReaders(s)}
)lua";

// ARGV[4] the ID, [5] the role. One message is out at a time, so a second
// poll cannot overtake it.
const char *const TakeBody = R"lua(
local id, role = ARGV[4], ARGV[5]
local s = P..'s:'..id
if redis.call('EXISTS', s) == 0 then return {'unknown'} end
local t = clock()
local joins = (role == '1' or role == '3') and redis.call('HGET', s, 'joined') ~= '1'
if role == '2' or role == '3' then redis.call('HSETNX', s, 'chat'..role, '1') end
local chat = chatReaders(s)
if joins then
  redis.call('HSET', s, 'joined', '1')
  redis.call('ZREM', P..'open', id)
end
touch(id, t, recover(id, role, t) or joins)
local lent = redis.call('HMGET', s, 'lent'..role, 'lentAt'..role)
if lent[1] and tonumber(lent[2]) > t - settleSec then return {'empty', chat} end
local q = P..'q:'..id..':'..role
local first = redis.call('ZRANGE', q, 0, 0)
if #first == 0 then return {'empty', chat} end
local data = redis.call('HGET', P..'d:'..id, first[1])
if not data then
  redis.call('ZREM', q, first[1])
  return {'empty', chat}
end
redis.call('HSET', s, 'lent'..role, first[1], 'lentAt'..role, t)
return {'ok', first[1], data, chat}
)lua";

// ARGV[4] the ID, [5] the role, [6] the message number, [7] 1 for a post,
// [8] 1 when the answer arrived, [9] the wake channel, [10] the caller's
// mark. Returns 2 when a message is now there for a poll of that role: a
// post made visible, or messages still waiting once the lent one is
// settled (a poll that came meanwhile found none, as one was out).
const char *const SettleBody = R"lua(
local id, role, seq = ARGV[4], ARGV[5], ARGV[6]
local s = P..'s:'..id
if redis.call('EXISTS', s) == 0 then return 0 end
local q, d = P..'q:'..id..':'..role, P..'d:'..id
local wake = false
if ARGV[7] == '1' then
  if redis.call('ZREM', P..'p:'..id..':'..role, seq) == 1 then
    if ARGV[8] == '1' then
      redis.call('ZADD', q, seq, seq)
      wake = true
    else
      redis.call('HDEL', d, seq)
    end
  end
else
  local released = redis.call('HGET', s, 'lent'..role) == seq
  if released then redis.call('HDEL', s, 'lent'..role, 'lentAt'..role) end
  if ARGV[8] == '1' and redis.call('ZREM', q, seq) == 1 then redis.call('HDEL', d, seq) end
  wake = released and redis.call('ZCARD', q) > 0
end
-- A post made visible may have made the queue's key.
touch(id, clock(), ARGV[7] == '1' and ARGV[8] == '1')
if not wake then return 1 end
redis.call('PUBLISH', ARGV[9], id..':'..role..':'..ARGV[10])
return 2
)lua";

// The sessions not joined yet: ID, name, creation time, order, in order.
const char *const ListBody = R"lua(
local out = {}
local ids = redis.call('ZRANGE', P..'open', 0, -1, 'WITHSCORES')
for i = 1, #ids, 2 do
  local v = redis.call('HMGET', P..'s:'..ids[i], 'name', 'created')
  if v[1] then
    table.insert(out, ids[i])
    table.insert(out, v[1])
    table.insert(out, v[2])
    table.insert(out, ids[i + 1])
  else
    redis.call('ZREM', P..'open', ids[i])
  end
end
return out
)lua";

const char *const SweepBody = R"lua(
return redis.call('ZREMRANGEBYSCORE', P..'all', '-inf', '(' .. clock())
)lua";

const char *const CountBody = R"lua(
redis.call('ZREMRANGEBYSCORE', P..'all', '-inf', '(' .. clock())
local ids = redis.call('ZRANGE', P..'all', 0, -1)
local waiting = 0
for _, id in ipairs(ids) do
  for role = 0, 3 do waiting = waiting + redis.call('ZCARD', P..'q:'..id..':'..role) end
end
return {#ids, waiting}
)lua";

constexpr int ScriptCount = 7;

std::string scriptText(const char *body)
{
    return std::string(Prelude) + body;
}

std::string text(const redisReply *reply)
{
    return reply && (reply->type == REDIS_REPLY_STRING || reply->type == REDIS_REPLY_STATUS ||
                     reply->type == REDIS_REPLY_ERROR)
               ? std::string(reply->str, reply->len)
               : std::string();
}

int64_t integer(const redisReply *reply)
{
    if (!reply)
        return 0;
    if (reply->type == REDIS_REPLY_INTEGER)
        return reply->integer;
    return std::strtoll(text(reply).c_str(), nullptr, 10);
}

// Only what newSessionId() makes can name a session: nothing a client sends
// becomes part of another key.
bool plausibleId(const std::string &key)
{
    return key.size() == 12 &&
           key.find_first_not_of("23456789ABCDEFGHJKMNPQRSTUVWXYZ") == std::string::npos;
}

const char *roleArg(Store::Role role)
{
    static const char *const args[Store::RoleCount] = {"0", "1", "2", "3"};
    return args[int(role)];
}

// The last element of a post's or take's reply: who reads chat.
int chatReadersOf(const redisReply *reply)
{
    return reply && reply->type == REDIS_REPLY_ARRAY && reply->elements > 1
               ? int(integer(reply->element[reply->elements - 1]))
               : 0;
}

} // namespace

/// Owns one reply; empty when Redis did not answer.
class RedisStore::Reply
{
public:
    explicit Reply(redisReply *reply = nullptr) : m_reply(reply) {}
    Reply(Reply &&other) noexcept : m_reply(other.m_reply) { other.m_reply = nullptr; }
    Reply &operator=(Reply &&other) noexcept
    {
        std::swap(m_reply, other.m_reply);
        return *this;
    }
    ~Reply()
    {
        if (m_reply)
            freeReplyObject(m_reply);
    }
    explicit operator bool() const { return m_reply != nullptr; }
    const redisReply *get() const { return m_reply; }
    /// Element `i` of an array reply, or null.
    const redisReply *at(std::size_t i) const
    {
        return m_reply && m_reply->type == REDIS_REPLY_ARRAY && i < m_reply->elements
                   ? m_reply->element[i]
                   : nullptr;
    }
    std::size_t size() const
    {
        return m_reply && m_reply->type == REDIS_REPLY_ARRAY ? m_reply->elements : 0;
    }

private:
    redisReply *m_reply;
};

namespace {

const RedisStore::Script Create{0, CreateBody}, Post{1, PostBody}, Take{2, TakeBody},
    Settle{3, SettleBody}, List{4, ListBody}, Sweep{5, SweepBody}, Count{6, CountBody};

// The scripts' SHA1 digests, learnt from Redis on first use.
std::mutex shaMutex;
std::string shas[ScriptCount];

redisReply *command(redisContext *context, const std::vector<std::string> &args)
{
    std::vector<const char *> argv;
    std::vector<size_t> lengths;
    for (const std::string &arg : args) {
        argv.push_back(arg.data());
        lengths.push_back(arg.size());
    }
    return static_cast<redisReply *>(
        redisCommandArgv(context, int(argv.size()), argv.data(), lengths.data()));
}

} // namespace

RedisStore::RedisStore(const Limits &limits, std::string host, int port, int database)
    : m_limits(limits), m_host(std::move(host)), m_port(port), m_database(database),
      m_channel("hvd:wake:" + std::to_string(database))
{
    if (pipe2(m_nudge, O_NONBLOCK | O_CLOEXEC) != 0)
        m_nudge[0] = m_nudge[1] = -1;
    m_listener = std::thread(&RedisStore::listen, this);
}

RedisStore::~RedisStore()
{
    m_stopping = true;
    nudge();
    m_listener.join();
    for (int fd : m_nudge)
        if (fd >= 0)
            ::close(fd);
    for (redisContext *context : m_idle)
        redisFree(context);
}

bool RedisStore::parseUrl(const std::string &url, std::string *host, int *port, int *database,
                          std::string *error)
{
    static const std::string scheme = "redis://";
    *error = "\"" + url + "\" is not redis://HOST:PORT or redis://HOST:PORT/DB";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    std::string rest = url.substr(scheme.size());
    *database = 0;
    const auto slash = rest.find('/');
    if (slash != std::string::npos) {
        const std::string db = rest.substr(slash + 1);
        rest.resize(slash);
        char *end = nullptr;
        const long value = std::strtol(db.c_str(), &end, 10);
        if (db.empty() || *end || value < 0 || value > 1000)
            return false;
        *database = int(value);
    }
    const auto colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    *host = rest.substr(0, colon);
    const std::string portText = rest.substr(colon + 1);
    char *end = nullptr;
    const long value = std::strtol(portText.c_str(), &end, 10);
    if (portText.empty() || *end || value < 1 || value > 65535)
        return false;
    *port = int(value);
    error->clear();
    return true;
}

redisContext *RedisStore::acquire(std::string *error)
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_free.wait_for(lock, std::chrono::seconds(2),
                             [&] { return !m_idle.empty() || m_open < MaxConnections; })) {
            *error = "no free connection to Redis";
            return nullptr;
        }
        while (!m_idle.empty()) {
            redisContext *context = m_idle.back();
            m_idle.pop_back();
            // An idle connection has nothing to read unless Redis closed it
            // (it restarted): then the request would fail for nothing.
            pollfd closed{context->fd, POLLIN, 0};
            if (poll(&closed, 1, 0) == 0)
                return context;
            redisFree(context);
            --m_open;
        }
        ++m_open;
    }
    redisContext *context = redisConnectWithTimeout(m_host.c_str(), m_port, Timeout);
    bool ok = context && !context->err && redisSetTimeout(context, Timeout) == REDIS_OK;
    if (ok && m_database != 0) {
        Reply selected(command(context, {"SELECT", std::to_string(m_database)}));
        ok = selected && selected.get()->type != REDIS_REPLY_ERROR;
    }
    if (ok)
        return context;
    *error = "Redis at " + m_host + ":" + std::to_string(m_port) + " does not answer" +
             (context && context->err ? std::string(": ") + context->errstr : std::string());
    if (context)
        redisFree(context);
    release(nullptr, true);
    return nullptr;
}

void RedisStore::release(redisContext *context, bool broken)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (broken) {
            --m_open;
            if (context)
                redisFree(context);
        } else {
            m_idle.push_back(context);
        }
    }
    m_free.notify_one();
}

RedisStore::Reply RedisStore::run(const Script &script, const std::vector<std::string> &args,
                                  std::string *error)
{
    std::string why;
    redisContext *context = acquire(&why);
    if (!context) {
        ++m_errors;
        if (error)
            *error = why;
        return Reply();
    }
    std::vector<std::string> argv{"EVALSHA",
                                  "",
                                  "0",
                                  std::to_string(m_limits.idleSeconds),
                                  std::to_string(m_limits.unjoinedIdleSeconds),
                                  std::to_string(m_limits.settleSeconds)};
    argv.insert(argv.end(), args.begin(), args.end());
    {
        std::lock_guard<std::mutex> lock(shaMutex);
        argv[1] = shas[script.index];
    }
    Reply reply;
    if (!argv[1].empty())
        reply = Reply(command(context, argv));
    // Unknown digest (first use, or Redis restarted with an empty script
    // cache): send the script itself, which Redis then keeps.
    if (argv[1].empty() || (reply && reply.get()->type == REDIS_REPLY_ERROR &&
                            text(reply.get()).compare(0, 8, "NOSCRIPT") == 0)) {
        const std::string body = scriptText(script.body);
        Reply loaded(command(context, {"SCRIPT", "LOAD", body}));
        if (loaded && loaded.get()->type == REDIS_REPLY_STRING) {
            std::lock_guard<std::mutex> lock(shaMutex);
            shas[script.index] = text(loaded.get());
        }
        argv[0] = "EVAL";
        argv[1] = body;
        reply = Reply(command(context, argv));
    }
    const bool broken = !reply || context->err;
    if (broken || reply.get()->type == REDIS_REPLY_ERROR) {
        ++m_errors;
        if (error)
            *error = broken ? std::string("Redis stopped answering: ") + context->errstr
                            : "Redis refused: " + text(reply.get());
        release(context, broken);
        return Reply();
    }
    release(context, false);
    return reply;
}

Store::Result RedisStore::createSession(const std::string &name, const std::string &address,
                                        std::string *id, std::string *error)
{
    // A drawn ID that is already in use is drawn again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::string newId = newSessionId();
        const Reply reply =
            run(Create,
                {std::to_string(m_limits.maxSessions),
                 std::to_string(m_limits.maxSessionsPerAddress), newId, name, address},
                error);
        if (!reply)
            return Result::Failed;
        const std::string outcome = text(reply.get());
        if (outcome == "ok") {
            *id = newId;
            return Result::Ok;
        }
        if (outcome == "address")
            return Result::TooManyFromAddress;
        if (outcome == "sessions")
            return Result::TooManySessions;
    }
    *error = "no free session ID";
    ++m_errors;
    return Result::Failed;
}

Store::Result RedisStore::post(const std::string &id, Role role, const std::string &data,
                               Ticket *ticket)
{
    const std::string key = normalisedId(id);
    if (!plausibleId(key))
        return Result::UnknownSession;
    if (!m_armed)
        m_armed = true;
    const Reply reply =
        run(Post, {std::to_string(m_limits.maxWaiting), key, roleArg(role), data}, nullptr);
    if (!reply)
        return Result::Failed;
    const std::string outcome = text(reply.at(0));
    if (outcome == "unknown")
        return Result::UnknownSession;
    ticket->chatReaders = chatReadersOf(reply.get());
    if (outcome == "full")
        return Result::QueueFull;
    if (outcome != "ok")
        return Result::Failed;
    *ticket = Ticket{key, role, integer(reply.at(1)), true, chatReadersOf(reply.get())};
    return Result::Ok;
}

Store::Result RedisStore::take(const std::string &id, Role role, std::string *data, Ticket *ticket)
{
    const std::string key = normalisedId(id);
    if (!plausibleId(key))
        return Result::UnknownSession;
    if (!m_armed)
        m_armed = true;
    const Reply reply = run(Take, {key, roleArg(role)}, nullptr);
    if (!reply)
        return Result::Failed;
    const std::string outcome = text(reply.at(0));
    if (outcome == "unknown")
        return Result::UnknownSession;
    ticket->chatReaders = chatReadersOf(reply.get());
    if (outcome == "empty")
        return Result::Empty;
    if (outcome != "ok")
        return Result::Failed;
    *data = text(reply.at(2));
    *ticket = Ticket{key, role, integer(reply.at(1)), false, chatReadersOf(reply.get())};
    return Result::Ok;
}

void RedisStore::settle(const Ticket &ticket, bool delivered)
{
    if (trySettle(ticket, delivered))
        return;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        if (m_pending.size() >= MaxPendingSettles) {
            // Given up: the store's own rule settles it after settleSeconds.
            m_pending.pop_front();
            ++m_errors;
        }
        m_pending.push_back({ticket, delivered});
        m_hasPending = true;
    }
    nudge();
}

bool RedisStore::trySettle(const Ticket &ticket, bool delivered)
{
    const Reply reply = run(Settle,
                            {ticket.session, roleArg(ticket.role), std::to_string(ticket.seq),
                             ticket.post ? "1" : "0", delivered ? "1" : "0", m_channel, m_origin},
                            nullptr);
    if (!reply)
        return false;
    if (integer(reply.get()) == 2 && m_armed)
        wake(ticket.session, ticket.role);
    return true;
}

void RedisStore::retrySettles()
{
    std::deque<PendingSettle> batch;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        batch.swap(m_pending);
        m_hasPending = false;
    }
    auto next = batch.begin();
    while (next != batch.end() && !m_stopping && trySettle(next->ticket, next->delivered))
        ++next;
    if (next == batch.end())
        return;
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    m_pending.insert(m_pending.begin(), next, batch.end());
    while (m_pending.size() > MaxPendingSettles) {
        m_pending.pop_front();
        ++m_errors;
    }
    m_hasPending = true;
}

void RedisStore::nudge()
{
    if (m_nudge[1] >= 0) {
        const char byte = 0;
        // A full pipe is already a nudge.
        [[maybe_unused]] const ssize_t written = ::write(m_nudge[1], &byte, 1);
    }
}

void RedisStore::listen()
{
    while (!m_stopping) {
        redisContext *context = redisConnectWithTimeout(m_host.c_str(), m_port, Timeout);
        bool ok = context && !context->err && redisSetTimeout(context, Timeout) == REDIS_OK;
        if (ok) {
            const Reply subscribed(command(context, {"SUBSCRIBE", m_channel}));
            ok = subscribed && subscribed.get()->type == REDIS_REPLY_ARRAY;
        }
        if (ok) {
            // Redis answers again: what it missed goes first.
            if (m_hasPending)
                retrySettles();
            follow(context);
        }
        if (context)
            redisFree(context);
        pollfd stop{m_nudge[0], POLLIN, 0};
        if (!m_stopping && poll(&stop, 1, RetryMs) > 0) {
            char bytes[64];
            while (::read(m_nudge[0], bytes, sizeof bytes) > 0) {
            }
        }
    }
}

void RedisStore::follow(redisContext *context)
{
    using Clock = std::chrono::steady_clock;
    auto heard = Clock::now();
    bool pinged = false;
    while (!m_stopping) {
        pollfd fds[2] = {{context->fd, POLLIN, 0}, {m_nudge[0], POLLIN, 0}};
        const int ready = poll(fds, 2, m_hasPending ? RetryMs : 1000);
        if (ready < 0 && errno != EINTR)
            return;
        if (ready > 0 && fds[1].revents) {
            char bytes[64];
            while (::read(m_nudge[0], bytes, sizeof bytes) > 0) {
            }
        }
        if (ready > 0 && fds[0].revents) {
            if (redisBufferRead(context) != REDIS_OK)
                return;
            void *raw = nullptr;
            while (redisGetReplyFromReader(context, &raw) == REDIS_OK && raw) {
                const Reply reply(static_cast<redisReply *>(raw));
                raw = nullptr;
                if (reply.size() == 3 && text(reply.at(0)) == "message")
                    onPublished(text(reply.at(2)));
            }
            if (context->err)
                return;
            heard = Clock::now();
            pinged = false;
        }
        const auto quiet = Clock::now() - heard;
        if (quiet > 2 * QuietBeforePing)
            return;
        if (quiet > QuietBeforePing && !pinged) {
            // Allowed while subscribed; its answer shows the link lives.
            int done = 0;
            if (redisAppendCommand(context, "PING") != REDIS_OK)
                return;
            while (!done)
                if (redisBufferWrite(context, &done) != REDIS_OK)
                    return;
            pinged = true;
        }
        if (m_hasPending)
            retrySettles();
    }
}

void RedisStore::onPublished(const std::string &payload)
{
    // "ID:ROLE:ORIGIN"
    const auto first = payload.find(':');
    if (!m_armed || first == std::string::npos || payload.size() < first + 3 ||
        payload[first + 2] != ':' || payload.compare(first + 3, std::string::npos, m_origin) == 0)
        return;
    const std::string id = payload.substr(0, first);
    const char role = payload[first + 1];
    if (plausibleId(id) && role >= '0' && role < '0' + RoleCount)
        wake(id, Role(role - '0'));
}

Store::Result RedisStore::openToJoin(std::vector<SessionInfo> *list)
{
    list->clear();
    const Reply reply = run(List, {}, nullptr);
    if (!reply)
        return Result::Failed;
    for (std::size_t i = 0; i + 3 < reply.size(); i += 4)
        list->push_back({text(reply.at(i)), text(reply.at(i + 1)), integer(reply.at(i + 2)),
                         integer(reply.at(i + 3))});
    return Result::Ok;
}

int RedisStore::sweep()
{
    const Reply reply = run(Sweep, {}, nullptr);
    return reply ? int(integer(reply.get())) : 0;
}

bool RedisStore::healthy(std::string *error)
{
    redisContext *context = acquire(error);
    if (!context)
        return false;
    const Reply reply(command(context, {"PING"}));
    const bool ok = reply && !context->err && text(reply.get()) == "PONG";
    if (!ok)
        *error = context->err ? std::string("Redis stopped answering: ") + context->errstr
                              : "Redis refused: " + text(reply.get());
    release(context, !reply || context->err);
    return ok;
}

Store::Counts RedisStore::counts()
{
    Counts counts;
    const Reply reply = run(Count, {}, nullptr);
    counts.sessions = integer(reply.at(0));
    counts.waiting = integer(reply.at(1));
    counts.errors = m_errors;
    return counts;
}
