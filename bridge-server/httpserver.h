#pragma once

#include "httpconnection.h"
#include "metrics.h"
#include "requestparser.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

/// A small HTTP/1.1 server made for a public bridge: one thread reads every
/// request without blocking (a slow client costs a file descriptor, never a
/// worker), a few worker threads run the handler on whole requests only, and
/// every bound is enforced while reading (RequestParser) and per client
/// address. One request per connection (HttpConnection).
///
/// A handler may ask to learn whether its answer arrived (Response::done):
/// the answer is written, the server half-closes, and the answer counts as
/// delivered when the client then closes its end in order (it has read the
/// answer) or keeps it open past the linger time; a client that had gone
/// before the answer or resets the connection has not got it.
///
/// A handler may also hold its request (Response::holdSeconds): the
/// connection is parked, costing no thread, until wake() names its key (the
/// handler is asked again), its time runs out (asked once more, then its
/// answer goes), a newer request with the same key is held (it gets its
/// answer at once) or the server stops (likewise).
class HttpServer
{
public:
    struct Limits
    {
        std::size_t maxHeaderBytes = 16 * 1024;
        std::size_t maxBodyBytes = 64 * 1024;
        /// From accepting the connection to the last byte of the answer,
        /// the time a request is held not counted.
        int requestSeconds = 10;
        /// How long a written answer waits for the client to close.
        int lingerSeconds = 2;
        int maxConnections = 4096;
        int maxConnectionsPerAddress = 16;
        int threads = 4;
        /// Connections from this address (a reverse proxy) name the client
        /// in X-Forwarded-For and are not counted per address.
        std::string trustedProxy;
    };

    using Request = RequestParser::Request;

    struct Response
    {
        int status = 200;
        std::string contentType = "text/plain; charset=windows-1252";
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
        /// Called once (on a worker thread) with whether the answer arrived.
        std::function<void(bool delivered)> done;
        /// Above 0: nothing to say yet; hold the request up to this long
        /// under `holdKey`, then give this answer. Never with `done`.
        int holdSeconds = 0;
        std::string holdKey;
    };

    using Handler = std::function<void(const Request &, Response &)>;

    HttpServer(const Limits &limits, Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    /// Counts every request, answer and refusal into `metrics`, and serves
    /// it on GET /metrics ahead of the handler. Set before run().
    void setMetrics(Metrics *metrics) { m_metrics = metrics; }

    /// Binds and listens; `port` 0 picks a free port, given in `bound`.
    bool listen(const std::string &host, int port, int *bound, std::string *error);
    /// Serves until stop(); a stop() that came before is not lost. Held
    /// requests get their answers before it returns.
    void run();
    /// Ends run(); safe from any thread.
    void stop();
    /// Something for requests held under `key` may have come: they are
    /// asked again. Safe from any thread.
    void wake(const std::string &key);

    /// The whole answer as sent, head and body.
    static std::string serialised(const Response &response);
    static const char *reason(int status);

private:
    using Connection = HttpConnection;
    using Clock = HttpConnection::Clock;
    using Timers = HttpConnection::Timers;

    struct Finished
    {
        uint64_t id = 0;
        bool clientGone = false;
        uint64_t wakesBefore = 0;
        Response response;
    };

    void acceptAll();
    void onEvent(Connection &connection, uint32_t events);
    void readRequest(Connection &connection);
    void dispatch(Connection &connection, std::shared_ptr<const Request> request);
    void refuse(Connection &connection, int status, const std::string &why);
    /// Counts a request that ended with `status` (0: without an answer).
    void countEnd(const Connection &connection, int status);
    void startWriting(Connection &connection, int status, std::string bytes);
    void writeMore(Connection &connection);
    /// Goes on after a write: linger once the answer is out, wait while the
    /// socket is full, close when it failed.
    void wrote(Connection &connection, Connection::Write result);
    void linger(Connection &connection);
    void drainLinger(Connection &connection);
    void settle(Connection &connection, bool delivered);
    void close(Connection &connection);
    void collectWakes();
    void collectFinished();
    void finish(Connection &connection, Finished &item);
    void hold(Connection &connection, Finished &item);
    void unpark(Connection &connection);
    /// Ends a hold; counted by `why` unless the client went away.
    void endHold(Connection &connection, std::optional<Metrics::HoldEnd> why);
    void askAgain(Connection &connection, bool finalAsk);
    void expire();
    int msToNextDeadline() const;
    void watch(Connection &connection, uint32_t events);
    void unwatch(Connection &connection);
    void setTimer(Connection &connection, Timers &timers, int seconds);
    void post(std::function<void()> task);
    void workerLoop();

    Limits m_limits;
    Handler m_handler;
    Metrics *m_metrics = nullptr;
    int m_listen = -1;
    int m_epoll = -1;
    int m_wake = -1;
    int m_spare = -1;
    std::atomic<bool> m_stopping{false};
    uint64_t m_nextId = 1;
    std::unordered_map<uint64_t, std::unique_ptr<Connection>> m_connections;
    std::unordered_map<std::string, int> m_perAddress;
    Timers m_requestTimers;
    Timers m_lingerTimers;

    // Held requests: the parked one per key, their ends in time order, and
    // the last wake of each key in the last seconds (a request whose
    // handler ran before a wake for its key is asked again at once).
    std::unordered_map<std::string, uint64_t> m_held;
    std::multimap<Clock::time_point, Connection *> m_holdTimers;
    std::unordered_map<std::string, uint64_t> m_recentWakes;
    std::deque<std::tuple<Clock::time_point, std::string, uint64_t>> m_wakeOrder;
    std::atomic<uint64_t> m_wakeCount{0};
    std::vector<std::pair<std::string, uint64_t>> m_wakes;

    std::mutex m_finishedMutex;
    std::vector<Finished> m_finished;

    std::mutex m_taskMutex;
    std::condition_variable m_taskReady;
    std::deque<std::function<void()>> m_tasks;
    bool m_workersStop = false;
    std::vector<std::thread> m_workers;
};
