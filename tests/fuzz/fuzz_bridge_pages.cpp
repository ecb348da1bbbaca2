// HvdBridge's pages driven in-process: each request goes through the HTTP
// library's request reader and the pages as over a connection, but from and
// to memory, against a store of its own for every input.
//
// Input: a sequence of requests, each one byte choosing it and the text up
// to the next zero byte:
//   0 Connect.asp with the text as session name
//   1 SendData.asp: a byte picks a registered session (or the text as key),
//     a byte the owner (Host, Client or the text), the rest is the data
//   2 GetData.asp likewise, without data
//   3 Sessions.asp
//   4 a page (picked by a byte) with the text as its whole form body
//   5 the text as a whole request
// Invariants, against a model of the sessions and their queues:
// - Every request gets a full answer whose status is one the pages give.
// - A registration gets a twelve-character ID, or 400 for a name over the
//   limit, or 503 only when the store holds as many sessions as it takes.
// - A message posted for a role comes back to that role's fetches in order,
//   exactly as posted; an empty queue answers "Wait"; a full one refuses
//   the post with 409; an unknown session answers 404.
// - The sessions page lists every open session, its name escaped.

#include "formbody.h"
#include "fuzzinput.h"
#include "pages.h"
#include "store.h"

#include <httplib.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>

namespace {

constexpr int MaxWaiting = 3;
constexpr int MaxSessions = 4;

/// A connection in memory: the request to read, the answer written.
class MemoryStream : public httplib::Stream
{
public:
    explicit MemoryStream(std::string request) : m_in(std::move(request)) {}

    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char *ptr, size_t size) override
    {
        const size_t n = std::min(size, m_in.size() - m_at);
        std::copy_n(m_in.data() + m_at, n, ptr);
        m_at += n;
        return ssize_t(n);
    }
    ssize_t write(const char *ptr, size_t size) override
    {
        m_out.append(ptr, size);
        return ssize_t(size);
    }
    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        ip = "127.0.0.1";
        port = 8080;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    const std::string &written() const { return m_out; }

private:
    std::string m_in;
    size_t m_at = 0;
    std::string m_out;
};

/// The server's request processing, without a socket.
class MemoryServer : public httplib::Server
{
public:
    struct Answer
    {
        int status = 0;
        std::string body;
    };

    Answer serve(const std::string &request)
    {
        MemoryStream stream(request);
        bool closed = false;
        process_request(stream, true, closed, [](httplib::Request &) {});
        const std::string &out = stream.written();
        Answer answer;
        // A connection closed before a whole request line gets no answer.
        if (out.empty() && request.find("\r\n") == std::string::npos)
            return answer;
        FUZZ_CHECK(out.compare(0, 9, "HTTP/1.1 ") == 0 && out.size() >= 12);
        answer.status = std::stoi(out.substr(9, 3));
        const auto head = out.find("\r\n\r\n");
        FUZZ_CHECK(head != std::string::npos);
        answer.body = out.substr(head + 4);
        return answer;
    }
};

std::string plussed(std::string text)
{
    std::replace(text.begin(), text.end(), ' ', '+');
    return text;
}

std::string post(const std::string &path, const std::string &body)
{
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Model
{
    std::vector<std::string> ids; // in the order of registration
    std::map<std::string, std::string> names;
    std::map<std::string, std::deque<std::string>> queues[2];
};

bool knownStatus(int status)
{
    static const std::set<int> statuses{200, 400, 404, 405, 409, 411, 413, 414, 431, 500, 503};
    return statuses.count(status) > 0;
}

void connect(MemoryServer &server, Model &model, const std::string &name)
{
    const auto answer = server.serve(post("/Bridge/Connect.asp", "SessionName=" + plussed(name)));
    if (name.size() > Pages::MaxNameBytes) {
        FUZZ_CHECK(answer.status == 400);
        return;
    }
    if (answer.status == 503) {
        FUZZ_CHECK(model.ids.size() >= size_t(MaxSessions));
        return;
    }
    FUZZ_CHECK(answer.status == 200);
    const std::string prefix = Pages::page("");
    const std::string id = answer.body.substr(prefix.size() - 14, 12);
    FUZZ_CHECK(answer.body == Pages::page(id));
    FUZZ_CHECK(id.find_first_not_of("23456789ABCDEFGHJKMNPQRSTUVWXYZ") == std::string::npos);
    FUZZ_CHECK(!model.names.count(id));
    model.ids.push_back(id);
    model.names[id] = name;
}

/// Returns false when the request made a form that the model cannot follow.
bool sendOrGet(MemoryServer &server, Model &model, FuzzInput &input, bool send)
{
    const quint8 pick = input.byte();
    const quint8 ownerPick = input.byte();
    const std::string text = input.until('\0').replace('+', ' ').toStdString();
    const bool known = pick < 200 && !model.ids.empty();
    std::string key = text;
    if (known) {
        key = model.ids.at(pick % model.ids.size());
        // IDs are looked up in any letter case and with blanks around them.
        if (pick & 0x40)
            std::transform(key.begin(), key.end(), key.begin(), ::tolower);
        if (pick & 0x20)
            key = " " + key + " ";
    }
    const std::string owner = ownerPick % 3 == 0 ? "Host" : ownerPick % 3 == 1 ? "Client" : text;
    const std::string data = send ? text : std::string();
    std::string body = "SessionKey=" + plussed(key) + "&DataOwner=" + plussed(owner);
    if (send)
        body += "&SessionData=" + plussed(data);
    const auto answer =
        server.serve(post(send ? "/Bridge/SendData.asp" : "/Bridge/GetData.asp", body));
    FUZZ_CHECK(knownStatus(answer.status));
    if (!known) {
        // Nobody guesses a random ID.
        FUZZ_CHECK(answer.status == 404 || answer.status == 400);
        return true;
    }
    if (owner != "Host" && owner != "Client")
        return answer.status != 200;
    auto &queue = model.queues[owner == "Host" ? 0 : 1][Store::normalisedId(key)];
    if (send) {
        if (queue.size() >= size_t(MaxWaiting)) {
            FUZZ_CHECK(answer.status == 409);
            return true;
        }
        FUZZ_CHECK(answer.status == 200 && answer.body == Pages::page("OK"));
        queue.push_back(data);
        return true;
    }
    FUZZ_CHECK(answer.status == 200);
    if (queue.empty()) {
        FUZZ_CHECK(answer.body == Pages::page("Wait"));
        return true;
    }
    FUZZ_CHECK(answer.body == Pages::page(queue.front()));
    queue.pop_front();
    return true;
}

void sessions(MemoryServer &server, const Model &model)
{
    const auto answer = server.serve("GET /Bridge/Sessions.asp HTTP/1.1\r\nHost: x\r\n\r\n");
    FUZZ_CHECK(answer.status == 200);
    size_t rows = 0;
    for (size_t at = answer.body.find("<tr><td>"); at != std::string::npos;
         at = answer.body.find("<tr><td>", at + 1))
        ++rows;
    FUZZ_CHECK(rows == model.ids.size());
    for (const auto &[id, name] : model.names) {
        FUZZ_CHECK(answer.body.find("<tr><td>" + Pages::escaped(name) + "</td><td>" + id +
                                    "</td>") != std::string::npos);
    }
}

void rawForm(MemoryServer &server, FuzzInput &input)
{
    static const char *const paths[] = {"/Bridge/Connect.asp", "/Bridge/SendData.asp",
                                        "/Bridge/GetData.asp", "/Bridge/Sessions.asp",
                                        "/Bridge/Other.asp"};
    const char *path = paths[input.byte() % 5];
    const auto answer = server.serve(post(path, input.until('\0').toStdString()));
    FUZZ_CHECK(knownStatus(answer.status));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Sessions never expire within one input.
    Store store(3600, MaxWaiting, MaxSessions);
    std::string error;
    FUZZ_CHECK(store.open(":memory:", &error));
    MemoryServer server;
    server.set_payload_max_length(Pages::MaxBodyBytes);
    Pages pages(store);
    pages.install(server);

    Model model;
    FuzzInput input(data, size);
    // A bound on the requests of one input keeps every run short.
    for (int request = 0; request < 64 && !input.atEnd(); ++request) {
        const int kind = input.byte() % 6;
        switch (kind) {
        case 0: {
            // Names may hold "&" and "=", but "+" reads as a blank.
            const std::string name = input.until('\0').replace('+', ' ').toStdString();
            connect(server, model, name);
            break;
        }
        case 1:
        case 2:
            if (!sendOrGet(server, model, input, kind == 1))
                return 0;
            break;
        case 3:
            sessions(server, model);
            break;
        case 4:
            rawForm(server, input);
            return 0; // the model no longer knows what the store holds
        default: {
            const auto answer = server.serve(input.until('\0').toStdString());
            FUZZ_CHECK(answer.status == 0 || (answer.status >= 200 && answer.status < 600));
            return 0;
        }
        }
    }
    return 0;
}
