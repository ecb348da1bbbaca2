// HvdBridge's request parser on any bytes a client can send, in any split.
//
// Input: one byte choosing the limits and the split, then the bytes sent.
// Invariants:
// - The parser never holds more than its limits allow (the header block plus
//   one byte, or the body plus one chunk line), and a body never exceeds its
//   limit.
// - The bytes fed in pieces of any sizes, or one by one, give the same
//   outcome as fed whole: the same request, or the same refusal.
// - A refusal names a 4xx status and says why.

#include "fuzzinput.h"
#include "requestparser.h"

#include <tuple>

namespace {

using Outcome = std::tuple<RequestParser::State, int, std::string, std::string, std::string,
                           std::string, std::vector<std::pair<std::string, std::string>>>;

// `seed` 0: fed whole; 1: byte by byte; else in pieces of made-up sizes.
Outcome fed(const std::string &bytes, std::size_t maxHeader, std::size_t maxBody, unsigned seed)
{
    RequestParser parser(maxHeader, maxBody);
    std::size_t at = 0;
    while (at < bytes.size() && parser.state() == RequestParser::State::NeedMore) {
        if (seed > 1)
            seed = seed * 1103515245u + 12345u;
        const std::size_t piece = seed == 0 ? bytes.size() : seed == 1 ? 1 : 1 + (seed >> 16) % 97;
        const std::size_t size = std::min(piece, bytes.size() - at);
        parser.feed(bytes.data() + at, size);
        at += size;
        FUZZ_CHECK(parser.request().body.size() <= maxBody &&
                   parser.heldBytes() <=
                       maxBody + std::max(maxHeader + 1, RequestParser::MaxChunkLine + 3));
    }
    const RequestParser::Request &r = parser.request();
    return {parser.state(), parser.status(), parser.reason(), r.method, r.path, r.body, r.headers};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t maxHeader = 64 + (data[0] & 15) * 64;
    const std::size_t maxBody = 16 + (data[0] >> 4) * 48;
    const std::string bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    const Outcome whole = fed(bytes, maxHeader, maxBody, 0);
    const auto &[state, status, reason, method, path, body, headers] = whole;
    FUZZ_CHECK(state == RequestParser::State::Refused
                   ? status >= 400 && status < 500 && !reason.empty()
                   : status == 0);
    FUZZ_CHECK(fed(bytes, maxHeader, maxBody, 1) == whole &&
               fed(bytes, maxHeader, maxBody, 2 + unsigned(size)) == whole);
    return 0;
}
