#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

/// Reads one HTTP/1.1 request from bytes as they arrive, with no socket of
/// its own: each feed() answers "need more", "a whole request" or "refused
/// with a 4xx status and a reason". Every bound holds while reading: the
/// header block, the body however it is framed (Content-Length or chunked;
/// any Content-Encoding but identity is refused), each chunk line and the
/// trailer. Whatever split the bytes come in, the outcome is the same as fed
/// whole. Bytes after a whole request are ignored (one request per
/// connection).
class RequestParser
{
public:
    struct Request
    {
        std::string method;
        std::string path;                                         // the target without its query
        std::vector<std::pair<std::string, std::string>> headers; // names in small letters
        std::string body;
        std::string clientAddress;
        std::string header(const std::string &name) const;
    };

    enum class State { NeedMore, Whole, Refused };

    /// The longest chunk-size line taken.
    static constexpr std::size_t MaxChunkLine = 1024;

    RequestParser(std::size_t maxHeaderBytes, std::size_t maxBodyBytes)
        : m_maxHeader(maxHeaderBytes), m_maxBody(maxBodyBytes)
    {
    }

    State feed(const char *data, std::size_t size);
    State state() const { return m_state; }
    /// Once the head is read: the request so far (whole once Whole).
    Request &request() { return m_request; }
    const Request &request() const { return m_request; }
    bool headDone() const { return m_headDone; }
    /// The head asked "Expect: 100-continue" for a body still to come.
    bool expectsContinue() const { return m_expectsContinue; }
    /// A refusal's status (400, 413, 415 or 431) and why, in one sentence.
    int status() const { return m_status; }
    const std::string &reason() const { return m_reason; }
    /// What the parser holds: never more than the body limit plus the
    /// header limit (a trailer) or one chunk line, each plus a byte or two.
    std::size_t heldBytes() const { return m_in.size() + m_request.body.size(); }

private:
    State refuse(int status, std::string why);
    bool parseHead(std::size_t end);
    void feedBody(const char *data, std::size_t size);
    void feedChunks(const char *data, std::size_t size);

    std::size_t m_maxHeader;
    std::size_t m_maxBody;
    State m_state = State::NeedMore;
    int m_status = 0;
    std::string m_reason;
    Request m_request;
    std::string m_in; // the head, then a partial chunk line
    std::size_t m_scanned = 0;
    bool m_headDone = false;
    bool m_expectsContinue = false;
    bool m_chunked = false;
    std::size_t m_contentLength = 0;
    std::size_t m_chunkLeft = 0;    // data bytes left in the current chunk
    std::size_t m_chunkEndLeft = 0; // bytes of the line end after its data still to come
    bool m_inChunkData = false;
    bool m_inTrailers = false;
    std::size_t m_trailerBytes = 0;
};
