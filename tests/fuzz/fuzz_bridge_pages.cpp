// HvdBridge's pages driven in-process: each request goes to the pages as the
// server's reader hands it over, and each answer is settled as delivered or
// not (a client that went away), against a store of its own for every input.
// The HTTP reader itself faces the raw-socket attack tests.
//
// Input: a sequence of requests, each one byte choosing it and the text up
// to the next zero byte:
//   0 Connect.asp with the text as session name
//   1 SendData.asp: a byte picks a registered session (or the text as key),
//     a byte the owner (Host, Client or the text) and whether the answer
//     reached the client, the rest is the data
//   2 GetData.asp likewise, without data
//   3 Sessions.asp
//   4 a page (picked by a byte) and a method with the text as form body
// Invariants, against a model of the sessions and their queues:
// - Every request gets a status that the pages give.
// - A registration gets a twelve-character ID for its trimmed name, 400 for
//   a name of blanks only, or 503 only when the store holds as many sessions
//   as it takes.
// - A message posted for a role comes back to that role's fetches in order,
//   exactly as posted, once; a post whose answer did not arrive is not kept;
//   a fetch whose answer did not arrive leaves the message waiting; an empty
//   queue answers "Wait"; a full one refuses the post with 409; an unknown
//   session answers 404.
// - The sessions page lists every session whose client has not polled yet,
//   its name escaped, and no other.

#include "formbody.h"
#include "fuzzinput.h"
#include "pages.h"
#include "sqlitestore.h"

#include <deque>
#include <map>
#include <set>

namespace {

constexpr int MaxWaiting = 3;
constexpr int MaxSessions = 4;

/// One request through the pages; `delivered` says whether the answer
/// reached the client.
HttpServer::Response serve(Pages &pages, const std::string &method, const std::string &path,
                           const std::string &body, bool delivered = true)
{
    HttpServer::Request request;
    request.method = method;
    request.path = path;
    request.body = body;
    request.clientAddress = "127.0.0.1";
    HttpServer::Response response;
    pages.handle(request, response);
    if (response.done)
        response.done(delivered);
    static const std::set<int> known{200, 400, 404, 405, 409, 413, 429, 500, 503};
    FUZZ_CHECK(known.count(response.status) &&
               HttpServer::serialised(response).find("X-Content-Type-Options: nosniff") !=
                   std::string::npos);
    return response;
}

/// The name as the sessions page shows it: trimmed, cut to 64 characters.
std::string shownName(const std::string &name)
{
    const auto first = name.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    std::string cut = name.substr(first, name.find_last_not_of(" \t\r\n") - first + 1)
                          .substr(0, Pages::MaxNameChars);
    return cut.substr(0, cut.find_last_not_of(" \t\r\n") + 1);
}

struct Model
{
    std::vector<std::string> ids; // in the order of registration
    std::map<std::string, std::string> names;
    std::set<std::string> joined;
    std::map<std::string, std::deque<std::string>> queues[2];
};

void connect(Pages &pages, Model &model, const QByteArray &name)
{
    const auto answer = serve(pages, "POST", "/Bridge/Connect.asp", "SessionName=" + plussed(name));
    const std::string shown = shownName(name.toStdString());
    if (shown.empty()) {
        FUZZ_CHECK(answer.status == 400);
        return;
    }
    // Every request comes from one address, whose cap equals the store's.
    if (answer.status == 503 || answer.status == 429) {
        FUZZ_CHECK(model.ids.size() >= size_t(MaxSessions));
        return;
    }
    const std::string id = answer.body.substr(Pages::page("").size() - 14, 12);
    FUZZ_CHECK(answer.status == 200 && answer.body == Pages::page(id) && !model.names.count(id) &&
               id.find_first_not_of("23456789ABCDEFGHJKMNPQRSTUVWXYZ") == std::string::npos);
    model.ids.push_back(id);
    model.names[id] = shown;
}

/// Returns false when the request made a form that the model cannot follow.
bool sendOrGet(Pages &pages, Model &model, FuzzInput &input, bool send)
{
    const quint8 pick = input.byte();
    const quint8 ownerPick = input.byte();
    const QByteArray text = input.until('\0').replace('+', ' ');
    const bool known = pick < 200 && !model.ids.empty();
    const bool delivered = (ownerPick & 0x80) == 0;
    QByteArray key = text;
    if (known) {
        key = QByteArray::fromStdString(model.ids.at(pick % model.ids.size()));
        // IDs are looked up in any letter case and with blanks around them.
        if (pick & 0x40)
            key = key.toLower();
        if (pick & 0x20)
            key = " " + key + " ";
    }
    const int ownerKind = (ownerPick & 0x7F) % 3;
    const QByteArray owner = ownerKind == 0 ? "Host" : ownerKind == 1 ? "Client" : text;
    const std::string body = "SessionKey=" + plussed(key) + "&DataOwner=" + plussed(owner) +
                             (send ? "&SessionData=" + plussed(text) : std::string());
    const auto answer = serve(pages, "POST", send ? "/Bridge/SendData.asp" : "/Bridge/GetData.asp",
                              body, delivered);
    if (!known) {
        // Nobody guesses a random ID.
        FUZZ_CHECK(answer.status == 404 || answer.status == 400);
        return true;
    }
    if (owner != "Host" && owner != "Client")
        return answer.status != 200;
    const std::string id = Store::normalisedId(key.toStdString());
    auto &queue = model.queues[owner == "Host" ? 0 : 1][id];
    if (send) {
        const bool full = queue.size() >= size_t(MaxWaiting);
        FUZZ_CHECK(full ? answer.status == 409
                        : answer.status == 200 && answer.body == Pages::page("OK"));
        if (delivered && !full)
            queue.push_back(text.toStdString());
        return true;
    }
    FUZZ_CHECK(answer.status == 200 &&
               answer.body == Pages::page(queue.empty() ? "Wait" : queue.front()));
    if (owner == "Client")
        model.joined.insert(id);
    if (delivered && !queue.empty())
        queue.pop_front();
    return true;
}

void sessions(Pages &pages, const Model &model)
{
    const auto answer = serve(pages, "GET", "/Bridge/Sessions.asp", std::string());
    const qsizetype rows = QByteArray::fromStdString(answer.body).count("<tr><td>");
    FUZZ_CHECK(answer.status == 200 && size_t(rows) == model.ids.size() - model.joined.size());
    for (const auto &[id, name] : model.names)
        FUZZ_CHECK((answer.body.find("<tr><td>" + Pages::escaped(name) + "</td><td>" + id +
                                     "</td>") != std::string::npos) == !model.joined.count(id));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Sessions never expire within one input.
    Store::Limits limits;
    limits.idleSeconds = 3600;
    limits.unjoinedIdleSeconds = 3600;
    limits.maxWaiting = MaxWaiting;
    limits.maxSessions = MaxSessions;
    limits.maxSessionsPerAddress = MaxSessions;
    SqliteStore store(limits);
    std::string error;
    FUZZ_CHECK(store.open(":memory:", &error));
    Pages pages(store);

    Model model;
    FuzzInput input(data, size);
    // A bound on the requests of one input keeps every run short.
    for (int request = 0; request < 64 && !input.atEnd(); ++request) {
        const int kind = input.byte() % 5;
        switch (kind) {
        case 0: // names may hold "&" and "=", but "+" reads as a blank
            connect(pages, model, input.until('\0').replace('+', ' '));
            break;
        case 1:
        case 2:
            if (!sendOrGet(pages, model, input, kind == 1))
                return 0;
            break;
        case 3:
            sessions(pages, model);
            break;
        default: { // a raw form: the model no longer knows what the store holds
            static const char *const paths[] = {"/Bridge/Connect.asp", "/Bridge/SendData.asp",
                                                "/Bridge/GetData.asp", "/Bridge/Sessions.asp",
                                                "/Bridge/Other.asp"};
            static const char *const methods[] = {"POST", "GET", "PUT", "HEAD"};
            const quint8 pick = input.byte();
            serve(pages, methods[(pick >> 4) % 4], paths[(pick & 15) % 5],
                  input.until('\0').toStdString(), (pick & 0x80) == 0);
            return 0;
        }
        }
    }
    return 0;
}
