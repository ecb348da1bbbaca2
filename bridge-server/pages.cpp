#include "pages.h"

#include "formbody.h"
#include "store.h"

#include <httplib.h>

#include <ctime>
#include <functional>

namespace {

const char *const HtmlType = "text/html; charset=windows-1252";
const char *const TextType = "text/plain; charset=windows-1252";

void refuse(httplib::Response &res, int status, const std::string &why)
{
    res.status = status;
    res.set_content(why + "\r\n", TextType);
}

// The field or an answer naming the missing one.
bool require(const FormBody &form, const char *name, httplib::Response &res)
{
    if (form.has(name))
        return true;
    refuse(res, 400, std::string("The form lacks the field ") + name + ".");
    return false;
}

bool roleOf(const std::string &owner, Store::Role *role, httplib::Response &res)
{
    if (owner == "Host") {
        *role = Store::Role::Host;
        return true;
    }
    if (owner == "Client") {
        *role = Store::Role::Client;
        return true;
    }
    refuse(res, 400, "DataOwner must be Host or Client, not \"" + owner + "\".");
    return false;
}

void unknownSession(httplib::Response &res, const std::string &key)
{
    refuse(res, 404,
           "No open session has the Session ID \"" + key +
               "\"; it may have expired. Find the open sessions on /Bridge/Sessions.asp.");
}

/// Registers a page whose handler reads the form body itself. The library
/// refuses a form-encoded body of more than 8 KiB before an ordinary handler
/// sees it, and a start data message is about 13 KiB; the server's own
/// payload limit still holds.
void postForm(httplib::Server &server, const char *path,
              std::function<void(const std::string &body, httplib::Response &res)> handler)
{
    server.Post(path, [handler](const httplib::Request &, httplib::Response &res,
                                const httplib::ContentReader &reader) {
        std::string body;
        const bool read = reader([&body](const char *data, size_t length) {
            body.append(data, length);
            return true;
        });
        if (!read) {
            if (res.status < 400)
                res.status = 400;
            return;
        }
        handler(body, res);
    });
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

void Pages::install(httplib::Server &server)
{
    postForm(server, "/Bridge/Connect.asp",
             [this](const std::string &body, httplib::Response &res) {
                 const FormBody form = FormBody::parse(body);
                 if (!require(form, "SessionName", res))
                     return;
                 const std::string name = form.value("SessionName");
                 if (name.size() > MaxNameBytes)
                     return refuse(res, 400,
                                   "The session name is longer than " +
                                       std::to_string(MaxNameBytes) + " characters.");
                 std::string id;
                 std::string error;
                 switch (m_store.createSession(name, &id, &error)) {
                 case Store::Result::Ok:
                     return res.set_content(page(id), HtmlType);
                 case Store::Result::TooManySessions:
                     return refuse(res, 503,
                                   "The bridge holds as many open sessions as it takes; try "
                                   "again later.");
                 default:
                     return refuse(res, 500, "The session could not be stored: " + error);
                 }
             });

    postForm(
        server, "/Bridge/SendData.asp", [this](const std::string &body, httplib::Response &res) {
            const FormBody form = FormBody::parse(body);
            Store::Role role;
            if (!require(form, "SessionKey", res) || !require(form, "DataOwner", res) ||
                !require(form, "SessionData", res) || !roleOf(form.value("DataOwner"), &role, res))
                return;
            const std::string key = form.value("SessionKey");
            switch (m_store.post(key, role, form.value("SessionData"))) {
            case Store::Result::Ok:
            case Store::Result::Empty:
                return res.set_content(page("OK"), HtmlType);
            case Store::Result::UnknownSession:
                return unknownSession(res, key);
            case Store::Result::TooManySessions:
            case Store::Result::QueueFull:
                return refuse(res, 409,
                              "Too many messages are waiting for the " + form.value("DataOwner") +
                                  " of this session; it must fetch them first.");
            case Store::Result::Failed:
                return refuse(res, 500, "The message could not be stored.");
            }
        });

    postForm(server, "/Bridge/GetData.asp",
             [this](const std::string &body, httplib::Response &res) {
                 const FormBody form = FormBody::parse(body);
                 Store::Role role;
                 if (!require(form, "SessionKey", res) || !require(form, "DataOwner", res) ||
                     !roleOf(form.value("DataOwner"), &role, res))
                     return;
                 const std::string key = form.value("SessionKey");
                 std::string data;
                 switch (m_store.take(key, role, &data)) {
                 case Store::Result::Ok:
                     // The text goes in as HTML: its "<br>" marks become line breaks.
                     return res.set_content(page(data), HtmlType);
                 case Store::Result::Empty:
                     return res.set_content(page("Wait"), HtmlType);
                 case Store::Result::UnknownSession:
                     return unknownSession(res, key);
                 case Store::Result::QueueFull:
                 case Store::Result::TooManySessions:
                 case Store::Result::Failed:
                     return refuse(res, 500, "The waiting message could not be read.");
                 }
             });

    const auto sessions = [this](const httplib::Request &, httplib::Response &res) {
        std::string rows;
        for (const Store::SessionInfo &info : m_store.sessions()) {
            rows += "<tr><td>" + escaped(info.name) + "</td><td>" + escaped(info.id) + "</td><td>" +
                    utcTime(info.created) + "</td></tr>";
        }
        std::string body = "<h3>Open sessions</h3>";
        if (rows.empty())
            body += "<p>No open sessions.</p>";
        else
            body += "<table border=\"1\" cellpadding=\"4\"><tr><th>Game Name</th>"
                    "<th>Session ID</th><th>Opened</th></tr>" +
                    rows + "</table>";
        res.set_content(page(body), HtmlType);
    };
    server.Post("/Bridge/Sessions.asp", sessions);
    server.Get("/Bridge/Sessions.asp", sessions);

    server.set_error_handler([](const httplib::Request &req, httplib::Response &res) {
        if (!res.body.empty())
            return;
        switch (res.status) {
        case 413:
            refuse(res, 413,
                   "The form body is larger than " + std::to_string(MaxBodyBytes / 1024) + " KiB.");
            break;
        case 404:
        case 405:
            refuse(res, res.status, "There is no page " + req.path + " for " + req.method + ".");
            break;
        default:
            refuse(res, res.status, "The request could not be served.");
        }
    });
}
