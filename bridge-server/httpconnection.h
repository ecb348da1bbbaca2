#pragma once

#include "requestparser.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>

/// One client connection of the bridge's HTTP server: its socket, the
/// request as it is read, the answer as it is written and the linger after
/// it. Non-blocking throughout; the server's loop decides when to call what
/// and keeps the deadlines (the fields under "the server's bookkeeping").
class HttpConnection
{
public:
    enum class State { Reading, Working, Held, Writing, Lingering };
    using Clock = std::chrono::steady_clock;
    using Timers = std::list<HttpConnection *>;

    HttpConnection(uint64_t id, int fd, std::string peer, std::size_t maxHeaderBytes,
                   std::size_t maxBodyBytes);
    ~HttpConnection();
    HttpConnection(const HttpConnection &) = delete;
    HttpConnection &operator=(const HttpConnection &) = delete;

    uint64_t id() const { return m_id; }
    int fd() const { return m_fd; }
    const std::string &peer() const { return m_peer; }
    State state() const { return m_state; }
    void setState(State state) { m_state = state; }
    Clock::time_point accepted() const { return m_accepted; }
    RequestParser &parser() { return m_parser; }

    enum class Read { More, Parsed, Closed };
    /// Reads what has arrived into the parser (Parsed: whole or refused;
    /// Closed: the client closed or reset before that).
    Read read();
    /// Whether the client has closed its end (or the socket failed).
    bool clientGone() const;

    enum class Write { Done, Blocked, Failed };
    /// Starts writing `bytes`, the whole answer; drops what was read.
    Write startWriting(std::string bytes);
    Write writeMore();

    /// Half-closes after the answer, so the client sees its end.
    void halfClose();
    enum class Drain { More, ClosedInOrder, Failed, TooMuch };
    /// Reads and drops what the client still sends after its answer (or
    /// while its poll is held).
    Drain drain();

    /// Called with whether the answer arrived (see HttpServer::Response).
    std::function<void(bool delivered)> done;

    // The server's bookkeeping.
    bool watched = false;
    bool expired = false;
    Timers *timers = nullptr;
    Timers::iterator timer;
    Clock::time_point deadline;
    std::size_t page = 0;
    /// A held poll: its request (asked again on a wake), its answer when
    /// nothing comes, its key and when its hold ends.
    std::shared_ptr<const RequestParser::Request> heldRequest;
    std::string waitAnswer;
    std::string holdKey;
    Clock::time_point holdEnd;
    bool holding = false;  // a held poll, parked or asked again
    bool finalAsk = false; // asked again because its time ran out
    std::multimap<Clock::time_point, HttpConnection *>::iterator holdTimer;
    bool holdTimed = false;

private:
    uint64_t m_id;
    int m_fd;
    std::string m_peer;
    State m_state = State::Reading;
    Clock::time_point m_accepted = Clock::now();
    RequestParser m_parser;
    bool m_continued = false;
    std::string m_out;
    std::size_t m_sent = 0;
    std::size_t m_drained = 0;
};
