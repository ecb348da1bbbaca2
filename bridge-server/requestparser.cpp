#include "requestparser.h"

#include <algorithm>

namespace {

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

std::string kib(std::size_t bytes)
{
    return std::to_string(bytes / 1024) + " KiB.";
}

} // namespace

std::string RequestParser::Request::header(const std::string &name) const
{
    for (const auto &[key, value] : headers) {
        if (key == name)
            return value;
    }
    return std::string();
}

RequestParser::State RequestParser::refuse(int status, std::string why)
{
    m_status = status;
    m_reason = std::move(why);
    m_in.clear();
    m_in.shrink_to_fit();
    return m_state = State::Refused;
}

RequestParser::State RequestParser::feed(const char *data, std::size_t size)
{
    if (m_state != State::NeedMore)
        return m_state;
    if (!m_headDone) {
        // Never more than one byte past the limit is kept.
        const std::size_t take = std::min(size, m_maxHeader + 1 - m_in.size());
        m_in.append(data, take);
        const std::size_t from = m_scanned > 3 ? m_scanned - 3 : 0;
        const std::size_t end = m_in.find("\r\n\r\n", from);
        if (end == std::string::npos || end + 4 > m_maxHeader) {
            m_scanned = m_in.size();
            if (end != std::string::npos || m_in.size() > m_maxHeader)
                return refuse(431, "The request's header block is larger than " + kib(m_maxHeader));
            return m_state;
        }
        if (!parseHead(end))
            return m_state;
        m_headDone = true;
        // What came after the head belongs to the body.
        const std::size_t used = end + 4 - (m_in.size() - take);
        m_in.clear();
        data += used;
        size -= used;
    }
    if (m_chunked)
        feedChunks(data, size);
    else
        feedBody(data, size);
    return m_state;
}

bool RequestParser::parseHead(std::size_t end)
{
    Request &request = m_request;
    const std::string head = m_in.substr(0, end);
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
                refuse(400, "The request line is not HTTP/1.x.");
                return false;
            }
            request.method = line.substr(0, space);
            const std::string target = line.substr(space + 1, second - space - 1);
            request.path = target.substr(0, target.find('?'));
            continue;
        }
        if (line.empty())
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            refuse(400, "A header line has no name.");
            return false;
        }
        std::string name = lower(line.substr(0, colon));
        std::string value = trimmed(line.substr(colon + 1));
        if (name == "content-length") {
            std::size_t length = 0;
            if (!decimal(value, &length) || (hasLength && length != m_contentLength)) {
                refuse(400, "The Content-Length is not a number.");
                return false;
            }
            hasLength = true;
            m_contentLength = length;
        } else if (name == "transfer-encoding") {
            if (lower(value) != "chunked") {
                refuse(415, "Only the chunked transfer coding is taken, and no compression.");
                return false;
            }
            m_chunked = true;
        } else if (name == "content-encoding") {
            const std::string coding = lower(value);
            if (!coding.empty() && coding != "identity") {
                refuse(415, "Compressed bodies are not taken; send the form as it is.");
                return false;
            }
        }
        request.headers.emplace_back(std::move(name), std::move(value));
    }
    if (hasLength && m_chunked) {
        refuse(400, "A request cannot have both a Content-Length and chunks.");
        return false;
    }
    if (m_contentLength > m_maxBody) {
        refuse(413, "The form body is larger than " + kib(m_maxBody));
        return false;
    }
    m_expectsContinue =
        lower(request.header("expect")) == "100-continue" && (m_chunked || m_contentLength > 0);
    return true;
}

void RequestParser::feedBody(const char *data, std::size_t size)
{
    std::string &body = m_request.body;
    body.append(data, std::min(size, m_contentLength - body.size()));
    if (body.size() == m_contentLength)
        m_state = State::Whole;
}

void RequestParser::feedChunks(const char *data, std::size_t size)
{
    // Decodes as the bytes come and keeps at most one partial line, so
    // neither the input nor the body ever holds more than the limits.
    const char *const stop = data + size;
    while (m_state == State::NeedMore && data < stop) {
        if (m_inChunkData) {
            const std::size_t take = std::min(m_chunkLeft, std::size_t(stop - data));
            m_request.body.append(data, take);
            data += take;
            m_chunkLeft -= take;
            while (m_chunkLeft == 0 && m_chunkEndLeft > 0 && data < stop) {
                if (*data != (m_chunkEndLeft == 2 ? '\r' : '\n')) {
                    refuse(400, "A chunk does not end with a line end.");
                    return;
                }
                ++data;
                --m_chunkEndLeft;
            }
            if (m_chunkLeft == 0 && m_chunkEndLeft == 0)
                m_inChunkData = false;
            continue;
        }
        // A line: the chunk size, or a trailer line.
        const char *newline = std::find(data, stop, '\n');
        const std::size_t add = std::size_t((newline == stop ? stop : newline + 1) - data);
        const std::size_t bound =
            m_inTrailers ? m_maxHeader - std::min(m_maxHeader, m_trailerBytes) : MaxChunkLine + 2;
        m_in.append(data, std::min(add, bound + 1 - std::min(bound + 1, m_in.size())));
        data += add;
        const bool whole = m_in.size() >= 2 && m_in.compare(m_in.size() - 2, 2, "\r\n") == 0;
        if (!whole) {
            // A line too long; a bare line feed is part of the line.
            if (m_in.size() > bound)
                return (void)(m_inTrailers ? refuse(431, "The request's trailer is too large.")
                                           : refuse(400, "A chunk line is too long."));
            continue;
        }
        const std::string line = m_in.substr(0, m_in.size() - 2);
        m_in.clear();
        if (m_inTrailers) {
            m_trailerBytes += line.size() + 2;
            if (m_trailerBytes > m_maxHeader)
                return (void)refuse(431, "The request's trailer is too large.");
            if (line.empty())
                m_state = State::Whole;
            continue;
        }
        if (line.size() > MaxChunkLine)
            return (void)refuse(400, "A chunk line is too long.");
        const std::string digits = trimmed(line.substr(0, line.find(';')));
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return (void)refuse(400, "A chunk size is not a hexadecimal number.");
        const std::size_t length = std::stoul(digits, nullptr, 16);
        if (length == 0) {
            m_inTrailers = true;
            continue;
        }
        if (m_request.body.size() + length > m_maxBody)
            return (void)refuse(413, "The form body is larger than " + kib(m_maxBody));
        m_chunkLeft = length;
        m_chunkEndLeft = 2;
        m_inChunkData = true;
    }
}
