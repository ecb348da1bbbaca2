#include "httpconnection.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// What a lingering or held connection may still send (dropped) before it
// is closed; its time bounds it too.
constexpr std::size_t MaxDrainBytes = 16 * 1024 * 1024;

} // namespace

HttpConnection::HttpConnection(uint64_t id, int fd, std::string peer, std::size_t maxHeaderBytes,
                               std::size_t maxBodyBytes)
    : m_id(id), m_fd(fd), m_peer(std::move(peer)), m_parser(maxHeaderBytes, maxBodyBytes)
{
    m_parser.request().clientAddress = m_peer;
}

HttpConnection::~HttpConnection()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

HttpConnection::Read HttpConnection::read()
{
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            if (m_parser.feed(buffer, std::size_t(got)) != RequestParser::State::NeedMore)
                return Read::Parsed;
            if (m_parser.expectsContinue() && !m_continued) {
                m_continued = true;
                static const char line[] = "HTTP/1.1 100 Continue\r\n\r\n";
                [[maybe_unused]] const auto written =
                    ::send(m_fd, line, sizeof line - 1, MSG_NOSIGNAL);
            }
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Read::More;
        if (got < 0 && errno == EINTR)
            continue;
        return Read::Closed;
    }
}

bool HttpConnection::clientGone() const
{
    char probe = 0;
    const ssize_t peeked = ::recv(m_fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

HttpConnection::Write HttpConnection::startWriting(std::string bytes)
{
    m_out = std::move(bytes);
    m_sent = 0;
    m_parser = RequestParser(0, 0);
    return writeMore();
}

HttpConnection::Write HttpConnection::writeMore()
{
    while (m_sent < m_out.size()) {
        const ssize_t wrote =
            ::send(m_fd, m_out.data() + m_sent, m_out.size() - m_sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (wrote > 0) {
            m_sent += std::size_t(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Write::Blocked;
        return Write::Failed;
    }
    m_out.clear();
    m_out.shrink_to_fit();
    return Write::Done;
}

void HttpConnection::halfClose()
{
    ::shutdown(m_fd, SHUT_WR);
}

HttpConnection::Drain HttpConnection::drain()
{
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            m_drained += std::size_t(got);
            if (m_drained > MaxDrainBytes)
                return Drain::TooMuch;
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Drain::More;
        // An orderly close means the client read the answer; a reset, or an
        // error left from the answer's arrival, means it was gone.
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
        return got == 0 && error == 0 ? Drain::ClosedInOrder : Drain::Failed;
    }
}
