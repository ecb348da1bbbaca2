#include "metrics.h"

#include <cstdio>

namespace {

// Page labels; the last is everything else.
const char *const PageNames[] = {"Connect.asp", "SendData.asp", "GetData.asp", "Sessions.asp",
                                 "metrics",     "health",       "other"};
const char *const PagePaths[] = {"/Bridge/Connect.asp",
                                 "/Bridge/SendData.asp",
                                 "/Bridge/GetData.asp",
                                 "/Bridge/Sessions.asp",
                                 "/metrics",
                                 "/health"};

// Status labels: 0 is a request that ended without an answer; the last slot
// is any other status.
const int Statuses[] = {0, 200, 400, 404, 405, 408, 409, 411, 413, 415, 429, 431, 500, 501, 503};

// Upper bounds of the latency buckets, in seconds.
const double Buckets[] = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.02, 0.05,
                          0.1,    0.25,  0.5,    1,     2.5,  5,    10};

const char *const RefusalNames[] = {"bad_request",
                                    "method_not_allowed",
                                    "timeout",
                                    "waiting_full",
                                    "body_too_large",
                                    "encoding",
                                    "sessions_per_address",
                                    "header_too_large",
                                    "connections",
                                    "connections_per_address",
                                    "unavailable"};

constexpr auto relaxed = std::memory_order_relaxed;

std::string number(uint64_t value)
{
    return std::to_string(value);
}

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

void head(std::string &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

} // namespace

static_assert(sizeof PageNames / sizeof *PageNames == 7, "one label per page slot");
static_assert(sizeof Statuses / sizeof *Statuses + 1 == 16, "one slot per status and other");
static_assert(sizeof Buckets / sizeof *Buckets == 14, "one slot per bucket");
static_assert(sizeof RefusalNames / sizeof *RefusalNames == 11, "one label per refusal");

std::size_t Metrics::pageOf(const std::string &path)
{
    for (std::size_t i = 0; i < sizeof PagePaths / sizeof *PagePaths; ++i) {
        if (path == PagePaths[i])
            return i;
    }
    return PageCount - 1;
}

std::size_t Metrics::statusIndex(int status)
{
    for (std::size_t i = 0; i < sizeof Statuses / sizeof *Statuses; ++i) {
        if (Statuses[i] == status)
            return i;
    }
    return StatusCount - 1;
}

bool Metrics::refusalOf(int status, Refusal *reason)
{
    switch (status) {
    case 400:
        *reason = Refusal::BadRequest;
        return true;
    case 405:
        *reason = Refusal::MethodNotAllowed;
        return true;
    case 409:
        *reason = Refusal::WaitingFull;
        return true;
    case 413:
        *reason = Refusal::BodyTooLarge;
        return true;
    case 415:
        *reason = Refusal::Encoding;
        return true;
    case 429:
        *reason = Refusal::SessionsPerAddress;
        return true;
    case 431:
        *reason = Refusal::HeaderTooLarge;
        return true;
    case 503:
        *reason = Refusal::Unavailable;
        return true;
    default:
        return false;
    }
}

void Metrics::countRequest(std::size_t page, int status, double seconds)
{
    m_requests[page < PageCount ? page : PageCount - 1][statusIndex(status)].fetch_add(1, relaxed);
    std::size_t bucket = 0;
    while (bucket < BucketCount && seconds > Buckets[bucket])
        ++bucket;
    m_buckets[bucket].fetch_add(1, relaxed);
    m_durationMicros.fetch_add(uint64_t(seconds > 0 ? seconds * 1e6 : 0), relaxed);
}

void Metrics::countRefusal(Refusal reason)
{
    m_refusals[std::size_t(reason)].fetch_add(1, relaxed);
}

void Metrics::setGauges(std::function<Gauges()> gauges)
{
    std::lock_guard<std::mutex> lock(m_gaugesMutex);
    m_gauges = std::move(gauges);
}

std::string Metrics::render() const
{
    std::string out;
    out.reserve(4096);
    head(out, "hvdbridge_requests_total", "counter",
         "Requests that ended, by page and the answer's status (0: ended without an answer).");
    for (std::size_t page = 0; page < PageCount; ++page) {
        for (std::size_t status = 0; status < StatusCount; ++status) {
            const uint64_t count = m_requests[page][status].load(relaxed);
            if (count == 0)
                continue;
            out += "hvdbridge_requests_total{page=\"";
            out += PageNames[page];
            out += "\",status=\"";
            out += status + 1 < StatusCount ? std::to_string(Statuses[status]) : "other";
            out += "\"} " + number(count) + '\n';
        }
    }

    head(out, "hvdbridge_request_duration_seconds", "histogram",
         "Time from accepting a request's connection to handing over its answer.");
    uint64_t cumulative = 0;
    for (std::size_t bucket = 0; bucket <= BucketCount; ++bucket) {
        cumulative += m_buckets[bucket].load(relaxed);
        out += "hvdbridge_request_duration_seconds_bucket{le=\"";
        out += bucket < BucketCount ? seconds(Buckets[bucket]) : "+Inf";
        out += "\"} " + number(cumulative) + '\n';
    }
    out += "hvdbridge_request_duration_seconds_sum " +
           seconds(double(m_durationMicros.load(relaxed)) / 1e6) + '\n';
    out += "hvdbridge_request_duration_seconds_count " + number(cumulative) + '\n';

    head(out, "hvdbridge_refused_requests_total", "counter",
         "Requests and connections refused, by reason.");
    for (std::size_t reason = 0; reason < RefusalCount; ++reason) {
        out += "hvdbridge_refused_requests_total{reason=\"";
        out += RefusalNames[reason];
        out += "\"} " + number(m_refusals[reason].load(relaxed)) + '\n';
    }

    head(out, "hvdbridge_held_polls", "gauge", "Polls held open now, waiting for a message.");
    out += "hvdbridge_held_polls " + std::to_string(m_held.load(relaxed)) + '\n';
    head(out, "hvdbridge_held_polls_ended_total", "counter",
         "Held polls that ended, by what ended them.");
    static const char *const HoldEnds[] = {"message", "time", "replaced", "shutdown"};
    for (std::size_t end = 0; end < m_holdEnds.size(); ++end) {
        out += "hvdbridge_held_polls_ended_total{by=\"";
        out += HoldEnds[end];
        out += "\"} " + number(m_holdEnds[end].load(relaxed)) + '\n';
    }

    std::function<Gauges()> gauges;
    {
        std::lock_guard<std::mutex> lock(m_gaugesMutex);
        gauges = m_gauges;
    }
    if (gauges) {
        // Read only when asked, so an unwired store shows no made-up zeros.
        const Gauges now = gauges();
        head(out, "hvdbridge_open_sessions", "gauge", "Sessions open in the store.");
        out += "hvdbridge_open_sessions " + std::to_string(now.sessions) + '\n';
        head(out, "hvdbridge_waiting_messages", "gauge",
             "Messages waiting in the store to be fetched.");
        out += "hvdbridge_waiting_messages " + std::to_string(now.waiting) + '\n';
        head(out, "hvdbridge_store_errors_total", "counter",
             "Store operations that failed since the start.");
        out += "hvdbridge_store_errors_total " + std::to_string(now.errors) + '\n';
    }
    return out;
}
