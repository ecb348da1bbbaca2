#include "httpserver.h"

#include "metrics.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The request line, the header lines and the chunk-size lines.
constexpr std::size_t MaxChunkLine = 1024;
// What a lingering connection may still send (the rest of a refused body,
// dropped) before it is closed; the linger time bounds it too.
constexpr std::size_t MaxLingerBytes = 16 * 1024 * 1024;

void serveMetrics(const Metrics &metrics, const HttpServer::Request &request,
                  HttpServer::Response &response)
{
    if (request.method != "GET") {
        response.status = 405;
        response.body = "The figures are read with GET.\r\n";
        response.headers.emplace_back("Allow", "GET");
        return;
    }
    response.contentType = Metrics::ContentType;
    response.body = metrics.render();
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::string trimmed(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool decimal(const std::string &text, std::size_t *value)
{
    if (text.empty() || text.size() > 18)
        return false;
    std::size_t out = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + std::size_t(c - '0');
    }
    *value = out;
    return true;
}

std::string peerAddress(const sockaddr_storage &address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in &>(address).sin_addr, text,
                  sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto &six = reinterpret_cast<const sockaddr_in6 &>(address);
        // An IPv4 client on a dual-stack socket counts as its IPv4 address.
        if (IN6_IS_ADDR_V4MAPPED(&six.sin6_addr))
            inet_ntop(AF_INET, &six.sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &six.sin6_addr, text, sizeof text);
    }
    return text;
}

} // namespace

struct HttpServer::Connection
{
    enum class State { Reading, Working, Writing, Lingering };

    uint64_t id = 0;
    int fd = -1;
    std::string peer;
    State state = State::Reading;
    bool watched = false;
    bool expired = false;
    Timers *timers = nullptr;
    Timers::iterator timer;
    Clock::time_point deadline;
    Clock::time_point accepted = Clock::now();
    std::size_t page = Metrics::pageOf(std::string());

    // Reading.
    std::string in;
    std::size_t scanned = 0;
    bool headDone = false;
    bool chunked = false;
    bool chunksDone = false;
    std::size_t contentLength = 0;
    std::size_t chunkLeft = 0; // data bytes left in the current chunk
    bool inChunkData = false;
    bool inTrailers = false;
    std::size_t trailerBytes = 0;
    Request request;

    // Writing and lingering.
    std::string out;
    std::size_t sent = 0;
    std::function<void(bool)> done;
    std::size_t drained = 0;
};

std::string HttpServer::Request::header(const std::string &name) const
{
    for (const auto &[key, value] : headers) {
        if (key == name)
            return value;
    }
    return std::string();
}

HttpServer::HttpServer(const Limits &limits, Handler handler)
    : m_limits(limits), m_handler(std::move(handler))
{
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

HttpServer::~HttpServer()
{
    for (int fd : {m_listen, m_epoll, m_wake, m_spare}) {
        if (fd >= 0)
            ::close(fd);
    }
}

const char *HttpServer::reason(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

std::string HttpServer::serialised(const Response &response)
{
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                      reason(response.status) + "\r\nContent-Type: " + response.contentType +
                      "\r\nContent-Length: " + std::to_string(response.body.size()) +
                      "\r\nConnection: close\r\nX-Content-Type-Options: nosniff"
                      "\r\nCache-Control: no-store\r\n";
    for (const auto &[name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    out += "\r\n";
    out += response.body;
    return out;
}

bool HttpServer::listen(const std::string &host, int port, int *bound, std::string *error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        *error = "cannot listen on " + host + ": not a numeric address";
        return false;
    }
    m_listen = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // SO_REUSEADDR only: SO_REUSEPORT would let a second server take the
    // same port silently and split the sessions between the two.
    int yes = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const bool ok = m_listen >= 0 && ::bind(m_listen, found->ai_addr, found->ai_addrlen) == 0 &&
                    ::listen(m_listen, SOMAXCONN) == 0;
    freeaddrinfo(found);
    if (!ok) {
        *error = "cannot listen on " + host + ":" + std::to_string(port) + " (" +
                 std::strerror(errno) + "; is the port in use?)";
        return false;
    }
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length);
    *bound =
        ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 &>(address).sin6_port
                                            : reinterpret_cast<sockaddr_in &>(address).sin_port);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0; // 0: the listening socket, 1: the wake-up
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &event);
    event.data.u64 = 1;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event);
    return true;
}

void HttpServer::stop()
{
    m_stopping = true;
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
}

void HttpServer::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(m_taskMutex);
        m_tasks.push_back(std::move(task));
    }
    m_taskReady.notify_one();
}

void HttpServer::workerLoop()
{
    std::unique_lock<std::mutex> lock(m_taskMutex);
    for (;;) {
        m_taskReady.wait(lock, [this] { return m_workersStop || !m_tasks.empty(); });
        if (m_tasks.empty())
            return;
        std::function<void()> task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

void HttpServer::run()
{
    for (int i = 0; i < std::max(1, m_limits.threads); ++i)
        m_workers.emplace_back([this] { workerLoop(); });
    std::vector<epoll_event> events(256);
    while (!m_stopping) {
        const int count =
            epoll_wait(m_epoll, events.data(), int(events.size()), msToNextDeadline());
        for (int i = 0; i < count && !m_stopping; ++i) {
            const uint64_t tag = events[size_t(i)].data.u64;
            if (tag == 0) {
                acceptAll();
            } else if (tag == 1) {
                uint64_t value = 0;
                [[maybe_unused]] const auto read = ::read(m_wake, &value, sizeof value);
                collectFinished();
            } else {
                const auto found = m_connections.find(tag);
                if (found != m_connections.end())
                    onEvent(*found->second, events[size_t(i)].events);
            }
        }
        expire();
    }
    // Let the workers finish what they hold, then settle the rest: a
    // written answer counts as delivered, anything else as not.
    {
        std::lock_guard<std::mutex> lock(m_taskMutex);
        m_workersStop = true;
    }
    m_taskReady.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
    {
        std::lock_guard<std::mutex> lock(m_finishedMutex);
        for (Finished &finished : m_finished) {
            if (finished.response.done)
                finished.response.done(false);
        }
        m_finished.clear();
    }
    for (auto &[id, connection] : m_connections) {
        if (connection->done)
            connection->done(connection->state == Connection::State::Lingering);
        ::close(connection->fd);
    }
    m_connections.clear();
}

void HttpServer::acceptAll()
{
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = accept4(m_listen, reinterpret_cast<sockaddr *>(&address), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE) {
                // Out of descriptors: take the connection with the spare one
                // and close it, so the listening socket does not stay ready.
                if (m_metrics)
                    m_metrics->countRefusal(Metrics::Refusal::Connections);
                ::close(m_spare);
                const int taken = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (taken >= 0)
                    ::close(taken);
                m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        const std::string peer = peerAddress(address);
        const bool counted = peer != m_limits.trustedProxy;
        int &fromPeer = m_perAddress[peer];
        const bool tooMany = int(m_connections.size()) >= m_limits.maxConnections ||
                             (counted && fromPeer >= m_limits.maxConnectionsPerAddress);
        if (tooMany) {
            if (m_metrics)
                m_metrics->countRefusal(int(m_connections.size()) >= m_limits.maxConnections
                                            ? Metrics::Refusal::Connections
                                            : Metrics::Refusal::ConnectionsPerAddress);
            if (fromPeer == 0)
                m_perAddress.erase(peer);
            Response busy;
            busy.status = 503;
            busy.body = "Too many connections" + std::string(counted ? " from your address" : "") +
                        "; try again in a moment.\r\n";
            const std::string bytes = serialised(busy);
            [[maybe_unused]] const auto written =
                ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }
        ++fromPeer;
        int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto connection = std::make_unique<Connection>();
        connection->id = ++m_nextId;
        connection->fd = fd;
        connection->peer = peer;
        connection->request.clientAddress = peer;
        Connection &added = *connection;
        m_connections.emplace(added.id, std::move(connection));
        setTimer(added, m_requestTimers, m_limits.requestSeconds);
        watch(added, EPOLLIN | EPOLLRDHUP);
        // Most requests are already there: read them without a round trip.
        readRequest(added);
    }
}

void HttpServer::watch(Connection &connection, uint32_t events)
{
    epoll_event event{};
    event.events = events;
    event.data.u64 = connection.id;
    epoll_ctl(m_epoll, connection.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, connection.fd, &event);
    connection.watched = true;
}

void HttpServer::unwatch(Connection &connection)
{
    if (connection.watched)
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, connection.fd, nullptr);
    connection.watched = false;
}

void HttpServer::setTimer(Connection &connection, Timers &timers, int seconds)
{
    // Every list holds one fixed time span, so appending keeps it in
    // deadline order and the front is always the next to expire.
    if (connection.timers)
        connection.timers->erase(connection.timer);
    connection.deadline = Clock::now() + std::chrono::seconds(seconds);
    connection.timer = timers.insert(timers.end(), &connection);
    connection.timers = &timers;
}

int HttpServer::msToNextDeadline() const
{
    Clock::time_point next = Clock::now() + std::chrono::seconds(1);
    for (const Timers *timers : {&m_requestTimers, &m_lingerTimers}) {
        if (!timers->empty())
            next = std::min(next, timers->front()->deadline);
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
    return int(std::max<int64_t>(0, ms) + 1);
}

void HttpServer::expire()
{
    const Clock::time_point now = Clock::now();
    while (!m_lingerTimers.empty() && m_lingerTimers.front()->deadline <= now) {
        // Written in full and the client did not object within the time.
        Connection &connection = *m_lingerTimers.front();
        settle(connection, true);
        close(connection);
    }
    while (!m_requestTimers.empty() && m_requestTimers.front()->deadline <= now) {
        Connection &connection = *m_requestTimers.front();
        switch (connection.state) {
        case Connection::State::Reading:
            refuse(connection, 408,
                   "The request did not arrive in full within " +
                       std::to_string(m_limits.requestSeconds) + " seconds.");
            // Whoever is this slow gets no time to read the answer.
            close(connection);
            break;
        case Connection::State::Working:
            // A worker still holds it; it is closed when its answer comes.
            connection.expired = true;
            m_requestTimers.erase(connection.timer);
            connection.timers = nullptr;
            break;
        case Connection::State::Writing:
        case Connection::State::Lingering:
            settle(connection, false);
            close(connection);
            break;
        }
    }
}

void HttpServer::onEvent(Connection &connection, uint32_t events)
{
    switch (connection.state) {
    case Connection::State::Reading:
        readRequest(connection);
        break;
    case Connection::State::Writing:
        if (events & (EPOLLERR | EPOLLHUP)) {
            settle(connection, false);
            close(connection);
        } else {
            writeMore(connection);
        }
        break;
    case Connection::State::Lingering:
        drainLinger(connection);
        break;
    case Connection::State::Working:
        break;
    }
}

void HttpServer::readRequest(Connection &connection)
{
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            connection.in.append(buffer, size_t(got));
            if (!parse(connection))
                return;
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (got < 0 && errno == EINTR)
            continue;
        // The client closed or reset before its request was whole.
        close(connection);
        return;
    }
}

bool HttpServer::parse(Connection &connection)
{
    if (!connection.headDone) {
        const std::size_t from = connection.scanned > 3 ? connection.scanned - 3 : 0;
        const std::size_t end = connection.in.find("\r\n\r\n", from);
        if (end == std::string::npos) {
            connection.scanned = connection.in.size();
            if (connection.in.size() > m_limits.maxHeaderBytes) {
                refuse(connection, 431,
                       "The request's header block is larger than " +
                           std::to_string(m_limits.maxHeaderBytes / 1024) + " KiB.");
                return false;
            }
            return true;
        }
        if (end + 4 > m_limits.maxHeaderBytes) {
            refuse(connection, 431,
                   "The request's header block is larger than " +
                       std::to_string(m_limits.maxHeaderBytes / 1024) + " KiB.");
            return false;
        }
        if (!parseHead(connection, end))
            return false;
        connection.in.erase(0, end + 4);
        connection.headDone = true;
    }
    if (connection.chunked) {
        if (!parseChunks(connection))
            return false;
        if (!connection.chunksDone)
            return true;
    } else {
        if (connection.in.size() < connection.contentLength)
            return true;
        connection.request.body = connection.in.substr(0, connection.contentLength);
    }
    connection.in.clear();
    dispatch(connection);
    return false;
}

bool HttpServer::parseHead(Connection &connection, std::size_t end)
{
    Request &request = connection.request;
    const std::string head = connection.in.substr(0, end);
    std::size_t lineStart = 0;
    bool first = true;
    bool hasLength = false;
    while (lineStart <= head.size()) {
        std::size_t lineEnd = head.find("\r\n", lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = head.size();
        const std::string line = head.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (first) {
            first = false;
            const auto space = line.find(' ');
            const auto second = line.rfind(' ');
            if (space == std::string::npos || second == space ||
                line.compare(second + 1, 7, "HTTP/1.") != 0) {
                refuse(connection, 400, "The request line is not HTTP/1.x.");
                return false;
            }
            request.method = line.substr(0, space);
            const std::string target = line.substr(space + 1, second - space - 1);
            request.path = target.substr(0, target.find('?'));
            connection.page = Metrics::pageOf(request.path);
            continue;
        }
        if (line.empty())
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            refuse(connection, 400, "A header line has no name.");
            return false;
        }
        std::string name = lower(line.substr(0, colon));
        std::string value = trimmed(line.substr(colon + 1));
        if (name == "content-length") {
            std::size_t length = 0;
            if (!decimal(value, &length) || (hasLength && length != connection.contentLength)) {
                refuse(connection, 400, "The Content-Length is not a number.");
                return false;
            }
            hasLength = true;
            connection.contentLength = length;
        } else if (name == "transfer-encoding") {
            if (lower(value) != "chunked") {
                refuse(connection, 415,
                       "Only the chunked transfer coding is taken, and no "
                       "compression.");
                return false;
            }
            connection.chunked = true;
        } else if (name == "content-encoding") {
            const std::string coding = lower(value);
            if (!coding.empty() && coding != "identity") {
                refuse(connection, 415,
                       "Compressed bodies are not taken; send the form as it "
                       "is.");
                return false;
            }
        }
        request.headers.emplace_back(std::move(name), std::move(value));
    }
    if (hasLength && connection.chunked) {
        refuse(connection, 400, "A request cannot have both a Content-Length and chunks.");
        return false;
    }
    if (connection.contentLength > m_limits.maxBodyBytes) {
        refuse(connection, 413,
               "The form body is larger than " + std::to_string(m_limits.maxBodyBytes / 1024) +
                   " KiB.");
        return false;
    }
    if (!m_limits.trustedProxy.empty() && connection.peer == m_limits.trustedProxy) {
        const std::string forwarded = request.header("x-forwarded-for");
        const std::string last = trimmed(forwarded.substr(forwarded.rfind(',') + 1));
        if (!last.empty() && last.size() <= INET6_ADDRSTRLEN)
            request.clientAddress = last;
    }
    if (lower(request.header("expect")) == "100-continue" &&
        (connection.chunked || connection.contentLength > 0)) {
        static const char continueLine[] = "HTTP/1.1 100 Continue\r\n\r\n";
        [[maybe_unused]] const auto written =
            ::send(connection.fd, continueLine, sizeof continueLine - 1, MSG_NOSIGNAL);
    }
    return true;
}

bool HttpServer::parseChunks(Connection &connection)
{
    // Decodes what has arrived and drops it from the input, so neither the
    // input nor the body ever holds more than the limits.
    std::string &in = connection.in;
    std::size_t at = 0;
    while (!connection.chunksDone) {
        if (connection.inChunkData) {
            const std::size_t take = std::min(connection.chunkLeft, in.size() - at);
            if (connection.request.body.size() + take > m_limits.maxBodyBytes) {
                refuse(connection, 413,
                       "The form body is larger than " +
                           std::to_string(m_limits.maxBodyBytes / 1024) + " KiB.");
                return false;
            }
            connection.request.body.append(in, at, take);
            at += take;
            connection.chunkLeft -= take;
            if (connection.chunkLeft > 0)
                break;
            if (in.size() - at < 2)
                break;
            if (in.compare(at, 2, "\r\n") != 0) {
                refuse(connection, 400, "A chunk does not end with a line end.");
                return false;
            }
            at += 2;
            connection.inChunkData = false;
            continue;
        }
        const std::size_t end = in.find("\r\n", at);
        if (end == std::string::npos) {
            if (in.size() - at > MaxChunkLine) {
                refuse(connection, 400, "A chunk line is too long.");
                return false;
            }
            break;
        }
        const std::string line = in.substr(at, end - at);
        at = end + 2;
        if (connection.inTrailers) {
            connection.trailerBytes += line.size() + 2;
            if (connection.trailerBytes > m_limits.maxHeaderBytes) {
                refuse(connection, 431, "The request's trailer is too large.");
                return false;
            }
            if (line.empty())
                connection.chunksDone = true;
            continue;
        }
        const std::string size = trimmed(line.substr(0, line.find(';')));
        if (size.empty() || size.size() > 8 ||
            size.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            refuse(connection, 400, "A chunk size is not a hexadecimal number.");
            return false;
        }
        const std::size_t length = std::stoul(size, nullptr, 16);
        if (length == 0) {
            connection.inTrailers = true;
            continue;
        }
        if (connection.request.body.size() + length > m_limits.maxBodyBytes) {
            refuse(connection, 413,
                   "The form body is larger than " + std::to_string(m_limits.maxBodyBytes / 1024) +
                       " KiB.");
            return false;
        }
        connection.chunkLeft = length;
        connection.inChunkData = true;
    }
    in.erase(0, at);
    return true;
}

void HttpServer::dispatch(Connection &connection)
{
    connection.state = Connection::State::Working;
    unwatch(connection);
    const uint64_t id = connection.id;
    const int fd = connection.fd;
    auto request = std::make_shared<Request>(std::move(connection.request));
    const std::size_t page = connection.page;
    post([this, id, fd, request, page] {
        Finished finished;
        finished.id = id;
        // A client that closed while its request waited has given up on it:
        // its request is not carried out at all.
        char probe = 0;
        const ssize_t peeked = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            finished.clientGone = true;
        } else if (m_metrics && page == Metrics::metricsPage()) {
            serveMetrics(*m_metrics, *request, finished.response);
        } else {
            m_handler(*request, finished.response);
            Metrics::Refusal reason;
            if (m_metrics && Metrics::isBridgePage(page) &&
                Metrics::refusalOf(finished.response.status, &reason))
                m_metrics->countRefusal(reason);
        }
        {
            std::lock_guard<std::mutex> lock(m_finishedMutex);
            m_finished.push_back(std::move(finished));
        }
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
    });
}

void HttpServer::collectFinished()
{
    std::vector<Finished> finished;
    {
        std::lock_guard<std::mutex> lock(m_finishedMutex);
        finished.swap(m_finished);
    }
    for (Finished &item : finished) {
        const auto found = m_connections.find(item.id);
        if (found == m_connections.end())
            continue;
        Connection &connection = *found->second;
        connection.done = std::move(item.response.done);
        if (item.clientGone || connection.expired) {
            countEnd(connection, 0);
            settle(connection, false);
            close(connection);
            continue;
        }
        // Once more right before the answer goes: gone now, not delivered.
        char probe = 0;
        if (::recv(connection.fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT) == 0) {
            countEnd(connection, 0);
            settle(connection, false);
            close(connection);
            continue;
        }
        startWriting(connection, item.response.status, serialised(item.response));
    }
}

void HttpServer::refuse(Connection &connection, int status, const std::string &why)
{
    Response response;
    response.status = status;
    response.body = why + "\r\n";
    Metrics::Refusal reason;
    if (m_metrics && (status == 408 || Metrics::refusalOf(status, &reason)))
        m_metrics->countRefusal(status == 408 ? Metrics::Refusal::Timeout : reason);
    if (status == 408) {
        countEnd(connection, status);
        const std::string bytes = serialised(response);
        [[maybe_unused]] const auto written =
            ::send(connection.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return;
    }
    startWriting(connection, status, serialised(response));
}

void HttpServer::countEnd(const Connection &connection, int status)
{
    if (m_metrics)
        m_metrics->countRequest(
            connection.page, status,
            std::chrono::duration<double>(Clock::now() - connection.accepted).count());
}

void HttpServer::startWriting(Connection &connection, int status, const std::string &bytes)
{
    countEnd(connection, status);
    connection.state = Connection::State::Writing;
    connection.out = bytes;
    connection.sent = 0;
    connection.in.clear();
    connection.in.shrink_to_fit();
    writeMore(connection);
}

void HttpServer::writeMore(Connection &connection)
{
    while (connection.sent < connection.out.size()) {
        const ssize_t wrote =
            ::send(connection.fd, connection.out.data() + connection.sent,
                   connection.out.size() - connection.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (wrote > 0) {
            connection.sent += size_t(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            watch(connection, EPOLLOUT);
            return;
        }
        settle(connection, false);
        close(connection);
        return;
    }
    linger(connection);
}

void HttpServer::linger(Connection &connection)
{
    // The answer is out: half-close, so the client sees its end, and wait
    // for the client to close its side.
    connection.out.clear();
    connection.out.shrink_to_fit();
    ::shutdown(connection.fd, SHUT_WR);
    connection.state = Connection::State::Lingering;
    setTimer(connection, m_lingerTimers, m_limits.lingerSeconds);
    watch(connection, EPOLLIN | EPOLLRDHUP);
    drainLinger(connection);
}

void HttpServer::drainLinger(Connection &connection)
{
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            // Whatever it still sends (the rest of a refused body) is dropped.
            connection.drained += size_t(got);
            if (connection.drained > MaxLingerBytes) {
                settle(connection, true);
                close(connection);
                return;
            }
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // An orderly close means the client read the answer; a reset, or an
        // error left from the answer's arrival, means it was gone.
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(connection.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        settle(connection, got == 0 && error == 0);
        close(connection);
        return;
    }
}

void HttpServer::settle(Connection &connection, bool delivered)
{
    if (!connection.done)
        return;
    // The handler's follow-up touches its store: never on this thread.
    post([done = std::move(connection.done), delivered] { done(delivered); });
    connection.done = nullptr;
}

void HttpServer::close(Connection &connection)
{
    if (connection.timers)
        connection.timers->erase(connection.timer);
    unwatch(connection);
    ::close(connection.fd);
    const auto peer = m_perAddress.find(connection.peer);
    if (peer != m_perAddress.end() && --peer->second <= 0)
        m_perAddress.erase(peer);
    m_connections.erase(connection.id);
}
