#pragma once

#include <cstddef>
#include <string>

namespace httplib {
class Server;
}
class Store;

/// The four pages under "/Bridge/": Connect.asp, SendData.asp, GetData.asp
/// and Sessions.asp. Answers are pages whose body holds exactly the answer
/// text; bad requests get a 4xx answer with a plain text saying what is wrong.
class Pages
{
public:
    /// The largest form body taken; larger ones get 413.
    static constexpr std::size_t MaxBodyBytes = 64 * 1024;
    /// The longest session name taken; it stands in every list of sessions.
    static constexpr std::size_t MaxNameBytes = 1024;

    explicit Pages(Store &store) : m_store(store) {}

    /// Registers the pages (and the answers for errors) on `server`.
    void install(httplib::Server &server);

    /// A page whose body holds exactly `body`, nothing around it.
    static std::string page(const std::string &body);
    /// Text made safe for an HTML page.
    static std::string escaped(const std::string &text);

private:
    Store &m_store;
};
