#include "httpserver.h"

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

// Wakes are remembered this long for requests whose handler is running.
constexpr auto WakeMemory = std::chrono::seconds(5);

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

void HttpServer::wake(const std::string &key)
{
    {
        std::lock_guard<std::mutex> lock(m_finishedMutex);
        m_wakes.emplace_back(key, ++m_wakeCount);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
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
                collectWakes();
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
    // written answer counts as delivered, anything else as not. Held
    // requests get their answer now.
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
            connection->done(connection->state() == Connection::State::Lingering);
        if (connection->holding) {
            const std::string answer = std::move(connection->waitAnswer);
            endHold(*connection, Metrics::HoldEnd::Shutdown);
            // Held, or asked again just now (whatever that found was settled
            // as not delivered above): "Wait".
            if (connection->state() == Connection::State::Held ||
                connection->state() == Connection::State::Working) {
                countEnd(*connection, 200);
                [[maybe_unused]] const auto written = ::send(
                    connection->fd(), answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                connection->halfClose();
            }
        }
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
        std::string peer = peerAddress(address);
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
        const uint64_t id = ++m_nextId;
        auto connection = std::make_unique<Connection>(
            id, fd, std::move(peer), m_limits.maxHeaderBytes, m_limits.maxBodyBytes);
        Connection &added = *connection;
        m_connections.emplace(id, std::move(connection));
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
    event.data.u64 = connection.id();
    epoll_ctl(m_epoll, connection.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, connection.fd(), &event);
    connection.watched = true;
}

void HttpServer::unwatch(Connection &connection)
{
    if (connection.watched)
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, connection.fd(), nullptr);
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
    if (!m_holdTimers.empty())
        next = std::min(next, m_holdTimers.begin()->first);
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
        switch (connection.state()) {
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
        case Connection::State::Held: // never on these timers
        case Connection::State::Writing:
        case Connection::State::Lingering:
            settle(connection, false);
            close(connection);
            break;
        }
    }
    // A held request whose time ran out looks at its handler once more.
    while (!m_holdTimers.empty() && m_holdTimers.begin()->first <= now)
        askAgain(*m_holdTimers.begin()->second, true);
    while (!m_wakeOrder.empty() && std::get<0>(m_wakeOrder.front()) + WakeMemory <= now) {
        const auto &[time, key, seq] = m_wakeOrder.front();
        const auto found = m_recentWakes.find(key);
        if (found != m_recentWakes.end() && found->second == seq)
            m_recentWakes.erase(found);
        m_wakeOrder.pop_front();
    }
}

void HttpServer::onEvent(Connection &connection, uint32_t events)
{
    switch (connection.state()) {
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
    case Connection::State::Held:
        // A held client that closes has given up: it is owed nothing.
        if (connection.drain() != Connection::Drain::More) {
            countEnd(connection, 0);
            close(connection);
        }
        break;
    case Connection::State::Working:
        break;
    }
}

void HttpServer::readRequest(Connection &connection)
{
    switch (connection.read()) {
    case Connection::Read::More:
        return;
    case Connection::Read::Closed:
        // The client closed or reset before its request was whole.
        close(connection);
        return;
    case Connection::Read::Parsed:
        break;
    }
    RequestParser &parser = connection.parser();
    Request &request = parser.request();
    connection.page = Metrics::pageOf(request.path);
    if (parser.state() == RequestParser::State::Refused)
        return refuse(connection, parser.status(), parser.reason());
    if (!m_limits.trustedProxy.empty() && connection.peer() == m_limits.trustedProxy) {
        const std::string forwarded = request.header("x-forwarded-for");
        const std::string last = forwarded.substr(forwarded.rfind(',') + 1);
        const auto first = last.find_first_not_of(" \t");
        const std::string address =
            first == std::string::npos
                ? std::string()
                : last.substr(first, last.find_last_not_of(" \t") - first + 1);
        if (!address.empty() && address.size() <= INET6_ADDRSTRLEN)
            request.clientAddress = address;
    }
    dispatch(connection, std::make_shared<const Request>(std::move(request)));
}

void HttpServer::dispatch(Connection &connection, std::shared_ptr<const Request> request)
{
    connection.setState(Connection::State::Working);
    unwatch(connection);
    connection.heldRequest = request;
    const uint64_t id = connection.id();
    const int fd = connection.fd();
    const std::size_t page = connection.page;
    post([this, id, fd, request = std::move(request), page] {
        Finished finished;
        finished.id = id;
        finished.wakesBefore = m_wakeCount.load();
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

void HttpServer::collectWakes()
{
    std::vector<std::pair<std::string, uint64_t>> wakes;
    {
        std::lock_guard<std::mutex> lock(m_finishedMutex);
        wakes.swap(m_wakes);
    }
    const Clock::time_point now = Clock::now();
    for (auto &[key, seq] : wakes) {
        m_recentWakes[key] = seq;
        const auto held = m_held.find(key);
        if (held != m_held.end())
            askAgain(*m_connections.at(held->second), false);
        m_wakeOrder.emplace_back(now, std::move(key), seq);
    }
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
        if (found != m_connections.end())
            finish(*found->second, item);
    }
}

void HttpServer::finish(Connection &connection, Finished &item)
{
    connection.done = std::move(item.response.done);
    // Gone now, right before the answer goes: not delivered.
    if (item.clientGone || connection.expired || connection.clientGone()) {
        countEnd(connection, 0);
        settle(connection, false);
        close(connection);
        return;
    }
    Response &response = item.response;
    if (response.holdSeconds > 0 && !connection.done) {
        if (!connection.finalAsk)
            return hold(connection, item);
        endHold(connection, Metrics::HoldEnd::Time);
    } else if (connection.holding) {
        endHold(connection, Metrics::HoldEnd::Message);
    }
    connection.heldRequest.reset();
    startWriting(connection, response.status, serialised(response));
}

void HttpServer::hold(Connection &connection, Finished &item)
{
    const Response &response = item.response;
    const bool first = !connection.holding;
    if (first) {
        connection.holding = true;
        connection.holdKey = response.holdKey;
        connection.holdEnd = Clock::now() + std::chrono::seconds(response.holdSeconds);
        if (m_metrics)
            m_metrics->countHeld(1);
    }
    connection.waitAnswer = serialised(response);
    // One held request per key: the older one gets its answer at once (the
    // one held before, or this one when it was asked again meanwhile).
    const auto held = m_held.find(connection.holdKey);
    if (held != m_held.end() && held->second != connection.id()) {
        Connection &older = first ? *m_connections.at(held->second) : connection;
        std::string answer = std::move(older.waitAnswer);
        endHold(older, Metrics::HoldEnd::Replaced);
        startWriting(older, 200, std::move(answer));
        if (!first)
            return;
    }
    m_held[connection.holdKey] = connection.id();
    if (connection.timers) {
        connection.timers->erase(connection.timer);
        connection.timers = nullptr;
    }
    connection.holdTimer = m_holdTimers.emplace(connection.holdEnd, &connection);
    connection.holdTimed = true;
    connection.setState(Connection::State::Held);
    watch(connection, EPOLLIN | EPOLLRDHUP);
    // A wake for its key came after its handler looked: asked again at once.
    const auto woken = m_recentWakes.find(connection.holdKey);
    if (woken != m_recentWakes.end() && woken->second > item.wakesBefore)
        askAgain(connection, false);
}

void HttpServer::unpark(Connection &connection)
{
    if (connection.holdTimed) {
        m_holdTimers.erase(connection.holdTimer);
        connection.holdTimed = false;
    }
    const auto held = m_held.find(connection.holdKey);
    if (held != m_held.end() && held->second == connection.id())
        m_held.erase(held);
}

void HttpServer::endHold(Connection &connection, std::optional<Metrics::HoldEnd> why)
{
    unpark(connection);
    if (!connection.holding)
        return;
    connection.holding = false;
    connection.heldRequest.reset();
    connection.waitAnswer.clear();
    if (m_metrics) {
        m_metrics->countHeld(-1);
        if (why)
            m_metrics->countHoldEnd(*why);
    }
}

void HttpServer::askAgain(Connection &connection, bool finalAsk)
{
    unpark(connection);
    connection.finalAsk = finalAsk || Clock::now() >= connection.holdEnd;
    setTimer(connection, m_requestTimers, m_limits.requestSeconds);
    dispatch(connection, connection.heldRequest);
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
        connection.page = Metrics::pageOf(connection.parser().request().path);
        countEnd(connection, status);
        const std::string bytes = serialised(response);
        [[maybe_unused]] const auto written =
            ::send(connection.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        return;
    }
    startWriting(connection, status, serialised(response));
}

void HttpServer::countEnd(const Connection &connection, int status)
{
    if (m_metrics)
        m_metrics->countRequest(
            connection.page, status,
            std::chrono::duration<double>(Clock::now() - connection.accepted()).count());
}

void HttpServer::startWriting(Connection &connection, int status, std::string bytes)
{
    countEnd(connection, status);
    connection.setState(Connection::State::Writing);
    if (!connection.timers)
        setTimer(connection, m_requestTimers, m_limits.requestSeconds);
    wrote(connection, connection.startWriting(std::move(bytes)));
}

void HttpServer::writeMore(Connection &connection)
{
    wrote(connection, connection.writeMore());
}

void HttpServer::wrote(Connection &connection, Connection::Write result)
{
    switch (result) {
    case Connection::Write::Done:
        return linger(connection);
    case Connection::Write::Blocked:
        return watch(connection, EPOLLOUT);
    case Connection::Write::Failed:
        settle(connection, false);
        return close(connection);
    }
}

void HttpServer::linger(Connection &connection)
{
    // The answer is out: half-close, so the client sees its end, and wait
    // for the client to close its side.
    connection.halfClose();
    connection.setState(Connection::State::Lingering);
    setTimer(connection, m_lingerTimers, m_limits.lingerSeconds);
    watch(connection, EPOLLIN | EPOLLRDHUP);
    drainLinger(connection);
}

void HttpServer::drainLinger(Connection &connection)
{
    switch (connection.drain()) {
    case Connection::Drain::More:
        return;
    case Connection::Drain::ClosedInOrder:
    case Connection::Drain::TooMuch:
        settle(connection, true);
        return close(connection);
    case Connection::Drain::Failed:
        settle(connection, false);
        return close(connection);
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
    endHold(connection, std::nullopt);
    if (connection.timers)
        connection.timers->erase(connection.timer);
    unwatch(connection);
    const auto peer = m_perAddress.find(connection.peer());
    if (peer != m_perAddress.end() && --peer->second <= 0)
        m_perAddress.erase(peer);
    m_connections.erase(connection.id());
}
