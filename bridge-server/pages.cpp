#include "pages.h"

#include "formbody.h"
#include "store.h"

#include <algorithm>
#include <ctime>
#include <memory>

namespace {

const char *const HtmlType = "text/html; charset=windows-1252";

void refuse(HttpServer::Response &res, int status, const std::string &why)
{
    res.status = status;
    res.contentType = "text/plain; charset=windows-1252";
    res.body = why + "\r\n";
}

void answer(HttpServer::Response &res, const std::string &body)
{
    res.status = 200;
    res.contentType = HtmlType;
    res.body = Pages::page(body);
}

// The field or an answer naming the missing one.
bool require(const FormBody &form, const char *name, HttpServer::Response &res)
{
    if (form.has(name))
        return true;
    refuse(res, 400, std::string("The form lacks the field ") + name + ".");
    return false;
}

// The store could not be reached or could not write: nothing was stored or
// taken, so the request may simply be sent again.
void storeFailed(HttpServer::Response &res)
{
    refuse(res, 503,
           "The bridge cannot reach its store just now; nothing was stored or taken. Try "
           "again in a moment.");
    res.headers.emplace_back("Retry-After", "5");
}

void unknownSession(HttpServer::Response &res, const std::string &key)
{
    refuse(res, 404,
           "No open session has the Session ID \"" + Pages::excerpt(key) +
               "\"; it may have expired. Find the open sessions on /Bridge/Sessions.asp.");
}

std::string utcTime(int64_t seconds)
{
    const std::time_t time = std::time_t(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
    return text;
}

std::string trimmedName(const std::string &name)
{
    const auto first = name.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const std::string trimmed = name.substr(first, name.find_last_not_of(" \t\r\n") - first + 1);
    if (trimmed.size() <= Pages::MaxNameChars)
        return trimmed;
    const std::string cut = trimmed.substr(0, Pages::MaxNameChars);
    return cut.substr(0, cut.find_last_not_of(" \t\r\n") + 1);
}

} // namespace

std::string Pages::page(const std::string &body)
{
    // No line end after </body>: a parser would move it into the body.
    return "<html><head><title>HvdBridge</title></head><body>" + body + "</body></html>";
}

std::string Pages::escaped(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Pages::excerpt(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    const std::size_t shown = std::min<std::size_t>(text.size(), 32);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7E || c == '<' || c == '>' || c == '&' || c == '"' || c == '\'' ||
            c == '\\') {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    if (text.size() > shown)
        out += "...";
    return out;
}

namespace {
const char *const Owners[Store::RoleCount] = {"Host", "Client", "HostChat", "ClientChat"};
} // namespace

bool Pages::roleOf(const std::string &owner, Store::Role *role, HttpServer::Response &res) const
{
    for (int i = 0; i < (m_chat ? Store::RoleCount : 2); ++i) {
        if (owner == Owners[i]) {
            *role = Store::Role(i);
            return true;
        }
    }
    refuse(res, 400,
           std::string("DataOwner must be Host or Client") +
               (m_chat ? " (or HostChat or ClientChat for chat lines)" : "") + ", not \"" +
               Pages::excerpt(owner) + "\".");
    return false;
}

void Pages::markPeerChat(const Store::Ticket &ticket, int peerSide, HttpServer::Response &res) const
{
    if (m_chat && (ticket.chatReaders & Store::chatBit(peerSide)))
        res.headers.emplace_back("X-Bridge-Peer-Chat", "1");
}

std::string Pages::holdKey(const std::string &id, int role)
{
    return Store::normalisedId(id) + "\n" + Owners[role & 3];
}

int Pages::waitSeconds(const std::string &field) const
{
    // A whole number from 1 up; anything else asks for no hold.
    if (field.empty() || field.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const auto digits = field.find_first_not_of('0');
    if (digits == std::string::npos)
        return 0;
    return field.size() - digits > 6 ? m_holdSeconds
                                     : std::min(m_holdSeconds, std::stoi(field.substr(digits)));
}

void Pages::handle(const HttpServer::Request &request, HttpServer::Response &response)
{
    const std::string &path = request.path;
    const bool isData = path == "/Bridge/Connect.asp" || path == "/Bridge/SendData.asp" ||
                        path == "/Bridge/GetData.asp";
    // Every answer of the four pages tells how long a poll may be held.
    if (m_holdSeconds > 0 && (isData || path == "/Bridge/Sessions.asp"))
        response.headers.emplace_back("X-Bridge-Hold-Seconds", std::to_string(m_holdSeconds));
    // Every answer tells that chat lines may travel through this bridge.
    if (m_chat)
        response.headers.emplace_back("X-Bridge-Chat", "1");
    if (path == "/health")
        return health(request.method, response);
    if (path == "/Bridge/Sessions.asp") {
        if (request.method != "GET" && request.method != "POST") {
            refuse(response, 405, "Sessions.asp is read with GET or POST.");
            response.headers.emplace_back("Allow", "GET, POST");
            return;
        }
        return sessions(response);
    }
    if (!isData)
        return refuse(response, 404, "There is no page \"" + excerpt(path) + "\".");
    if (request.method != "POST") {
        refuse(response, 405, "The bridge's data pages take only POST.");
        response.headers.emplace_back("Allow", "POST");
        return;
    }
    if (path == "/Bridge/Connect.asp")
        return connect(request.body, request.clientAddress, response);
    if (path == "/Bridge/SendData.asp")
        return sendData(request.body, response);
    return getData(request.body, response);
}

void Pages::connect(const std::string &body, const std::string &address, HttpServer::Response &res)
{
    const FormBody form = FormBody::parse(body);
    if (!require(form, "SessionName", res))
        return;
    // The name only labels the game on the sessions page: a longer one is cut.
    const std::string name = trimmedName(form.value("SessionName"));
    if (name.empty())
        return refuse(res, 400, "The session has no name; give the game a name.");
    std::string id;
    std::string error;
    switch (m_store.createSession(name, address, &id, &error)) {
    case Store::Result::Ok:
        return answer(res, id);
    case Store::Result::TooManySessions:
        return refuse(res, 503,
                      "The bridge holds as many open sessions as it takes; try again later.");
    case Store::Result::TooManyFromAddress:
        return refuse(res, 429,
                      "Your address holds as many open sessions as one address may; finish "
                      "one or wait until an unused one expires.");
    default:
        return storeFailed(res);
    }
}

void Pages::sendData(const std::string &body, HttpServer::Response &res)
{
    const FormBody form = FormBody::parse(body);
    Store::Role role;
    if (!require(form, "SessionKey", res) || !require(form, "DataOwner", res) ||
        !require(form, "SessionData", res) || !roleOf(form.value("DataOwner"), &role, res))
        return;
    const std::string key = form.value("SessionKey");
    Store::Ticket ticket;
    const Store::Result result = m_store.post(key, role, form.value("SessionData"), &ticket);
    // The poster's peer is the side that polls this queue.
    markPeerChat(ticket, Store::sideOf(role), res);
    switch (result) {
    case Store::Result::Ok: {
        answer(res, "OK");
        // The message becomes visible only once the poster has its answer:
        // a post whose client gave up is removed again, so the client's
        // retry cannot store it twice.
        Store &store = m_store;
        res.done = [&store, ticket](bool delivered) { store.settle(ticket, delivered); };
        return;
    }
    case Store::Result::UnknownSession:
        return unknownSession(res, key);
    case Store::Result::QueueFull:
        return refuse(res, 409,
                      "Too many messages are waiting for the " + form.value("DataOwner") +
                          " of this session; it must fetch them first.");
    default:
        return storeFailed(res);
    }
}

void Pages::getData(const std::string &body, HttpServer::Response &res)
{
    const FormBody form = FormBody::parse(body);
    Store::Role role;
    if (!require(form, "SessionKey", res) || !require(form, "DataOwner", res) ||
        !roleOf(form.value("DataOwner"), &role, res))
        return;
    const std::string key = form.value("SessionKey");
    std::string data;
    Store::Ticket ticket;
    const Store::Result result = m_store.take(key, role, &data, &ticket);
    markPeerChat(ticket, 1 - Store::sideOf(role), res);
    switch (result) {
    case Store::Result::Ok: {
        // The text goes in as HTML: its "<br>" marks become line breaks.
        answer(res, data);
        // Removed only once the answer has arrived; else it waits on.
        Store &store = m_store;
        res.done = [&store, ticket](bool delivered) { store.settle(ticket, delivered); };
        return;
    }
    case Store::Result::Empty:
        answer(res, "Wait");
        // Asked for, and nothing waits: held until a post comes or the time
        // runs out, then asked again (and answered "Wait" if still nothing).
        res.holdSeconds = waitSeconds(form.value("WaitSeconds"));
        if (res.holdSeconds > 0)
            res.holdKey = holdKey(key, int(role));
        return;
    case Store::Result::UnknownSession:
        return unknownSession(res, key);
    default:
        return storeFailed(res);
    }
}

void Pages::sessions(HttpServer::Response &res)
{
    // Only sessions that wait for their client are listed: once the client
    // has polled, the Session ID is no longer shown to anyone. The page is
    // bounded: the newest sessions that fit, newest first.
    std::vector<Store::SessionInfo> open;
    if (m_store.openToJoin(&open) != Store::Result::Ok)
        return storeFailed(res);
    static const std::string head = "<h3>Open sessions</h3><table border=\"1\" cellpadding=\"4\">"
                                    "<tr><th>Game Name</th><th>Session ID</th><th>Opened</th></tr>";
    std::string rows;
    std::size_t listed = 0;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        const std::string row = "<tr><td>" + escaped(it->name) + "</td><td>" + escaped(it->id) +
                                "</td><td>" + utcTime(it->created) + "</td></tr>";
        if (head.size() + rows.size() + row.size() + 200 > MaxSessionsPageBytes)
            break;
        rows += row;
        ++listed;
    }
    if (open.empty())
        return answer(res, "<h3>Open sessions</h3><p>No open sessions.</p>");
    std::string body = head + rows + "</table>";
    if (listed < open.size())
        body += "<p>" + std::to_string(open.size() - listed) +
                " older open sessions are not listed.</p>";
    answer(res, body);
}

void Pages::health(const std::string &method, HttpServer::Response &res)
{
    if (method != "GET") {
        refuse(res, 405, "/health is read with GET.");
        res.headers.emplace_back("Allow", "GET");
        return;
    }
    // The reason names only the store, never anything a client sent.
    std::string error;
    if (m_store.healthy(&error))
        return refuse(res, 200, "OK");
    refuse(res, 503, "The store does not answer: " + error.substr(0, 200));
}
