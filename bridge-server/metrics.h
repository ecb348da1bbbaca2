#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

/// The bridge server's figures for monitoring, given on GET /metrics in the
/// Prometheus text format: requests by page and status, how long they took
/// (a histogram), refused requests by reason, and the store's open sessions,
/// waiting messages and errors. Counting is lock-free and safe from any
/// thread. Pages and statuses are fixed lists (anything else counts as
/// "other"), so a client cannot make the output grow by asking for made-up
/// paths.
class Metrics
{
public:
    /// What the store reports when the figures are read.
    struct Gauges
    {
        int64_t sessions = 0;
        int64_t waiting = 0;
        int64_t errors = 0;
    };

    enum class Refusal {
        BadRequest,            // 400: not HTTP, a bad header or form
        MethodNotAllowed,      // 405
        Timeout,               // 408: the request not in full within its time
        WaitingFull,           // 409: too many messages waiting for a role
        BodyTooLarge,          // 413
        Encoding,              // 415: compressed or otherwise coded bodies
        SessionsPerAddress,    // 429: the address holds its most sessions
        HeaderTooLarge,        // 431
        Connections,           // 503: the server holds its most connections
        ConnectionsPerAddress, // 503: the address holds its most connections
        Unavailable,           // 503 from a page: the sessions are full or the store is down
    };

    /// The page label of a request path: an index into pageNames().
    static std::size_t pageOf(const std::string &path);
    /// The label of GET /metrics.
    static std::size_t metricsPage() { return 4; }
    /// Whether the label is one of the connector's pages under /Bridge/.
    static bool isBridgePage(std::size_t page) { return page < metricsPage(); }
    /// The refusal that a page's answer with `status` stands for, if any.
    static bool refusalOf(int status, Refusal *reason);

    /// One request that ended: its answer was handed over (`status`), or it
    /// ended without one (`status` 0: the client went away first or its
    /// time ran out), `seconds` after its connection was accepted.
    void countRequest(std::size_t page, int status, double seconds);
    void countRefusal(Refusal reason);
    /// How a held poll ended: a message (or any other answer) came, its time
    /// ran out, a newer poll for the same role replaced it, the server stopped.
    enum class HoldEnd { Message, Time, Replaced, Shutdown };
    /// A poll was held (`delta` 1) or its hold ended (-1).
    void countHeld(int delta) { m_held.fetch_add(delta, std::memory_order_relaxed); }
    void countHoldEnd(HoldEnd end)
    {
        m_holdEnds[std::size_t(end)].fetch_add(1, std::memory_order_relaxed);
    }
    /// Read each time the figures are rendered (on a worker thread).
    void setGauges(std::function<Gauges()> gauges);

    /// The figures in the Prometheus text exposition format (version 0.0.4).
    std::string render() const;

    static constexpr const char *ContentType = "text/plain; version=0.0.4; charset=utf-8";

private:
    static constexpr std::size_t PageCount = 7;
    static constexpr std::size_t StatusCount = 16;
    static constexpr std::size_t BucketCount = 14;
    static constexpr std::size_t RefusalCount = 11;

    static std::size_t statusIndex(int status);

    std::array<std::array<std::atomic<uint64_t>, StatusCount>, PageCount> m_requests{};
    std::array<std::atomic<uint64_t>, BucketCount + 1> m_buckets{}; // the last: +Inf
    std::atomic<uint64_t> m_durationMicros{0};
    std::array<std::atomic<uint64_t>, RefusalCount> m_refusals{};

    std::atomic<int64_t> m_held{0};
    std::array<std::atomic<uint64_t>, 4> m_holdEnds{};

    mutable std::mutex m_gaugesMutex;
    std::function<Gauges()> m_gauges;
};
