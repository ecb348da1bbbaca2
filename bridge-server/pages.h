#pragma once

#include "httpserver.h"
#include "store.h"

#include <cstddef>
#include <string>

/// The four pages under "/Bridge/": Connect.asp, SendData.asp, GetData.asp
/// (POST only) and Sessions.asp (GET or POST), and /health for load
/// balancers (200 "OK" while the store answers, else 503). When the store
/// cannot be reached the pages answer 503 with a clear text. Answers are pages whose body
/// holds exactly the answer text; bad requests get a 4xx answer with a short
/// plain text saying what is wrong, which repeats at most a short, escaped
/// excerpt of what was sent.
class Pages
{
public:
    /// The largest form body taken; larger ones get 413.
    static constexpr std::size_t MaxBodyBytes = 64 * 1024;
    /// Session names are cut to this many characters (after trimming).
    static constexpr std::size_t MaxNameChars = 64;
    /// The sessions page never grows past this; the newest sessions that fit
    /// are listed.
    static constexpr std::size_t MaxSessionsPageBytes = 12 * 1024;

    /// `holdSeconds`: the longest a GetData poll that asks for it
    /// (WaitSeconds) is held while nothing waits; announced on every answer
    /// of the four pages. 0: never held, nothing announced. `chat`: the
    /// chat queues (DataOwner HostChat and ClientChat) are served and
    /// announced on every answer; without it they are refused like any
    /// unknown owner.
    explicit Pages(Store &store, int holdSeconds = 0, bool chat = true)
        : m_store(store), m_holdSeconds(holdSeconds), m_chat(chat)
    {
    }

    /// The key under which polls of `role` in session `id` are held.
    static std::string holdKey(const std::string &id, int role);

    /// Answers one request (called on the server's worker threads).
    void handle(const HttpServer::Request &request, HttpServer::Response &response);

    /// A page whose body holds exactly `body`, nothing around it.
    static std::string page(const std::string &body);
    /// Text made safe for an HTML page.
    static std::string escaped(const std::string &text);
    /// At most 32 bytes of `text` for an error answer, every byte outside
    /// plain printable ASCII (and < > & " ' \) written as \xNN.
    static std::string excerpt(const std::string &text);

private:
    void connect(const std::string &body, const std::string &address,
                 HttpServer::Response &response);
    void sendData(const std::string &body, HttpServer::Response &response);
    void getData(const std::string &body, HttpServer::Response &response);
    /// The role that DataOwner names, or a 400 answer.
    bool roleOf(const std::string &owner, Store::Role *role, HttpServer::Response &res) const;
    /// Tells a side that its peer reads chat, once the peer has polled its
    /// chat queue in the session (`peerSide` 0 the host, 1 the client).
    void markPeerChat(const Store::Ticket &ticket, int peerSide, HttpServer::Response &res) const;
    /// The seconds a poll asks to be held (its WaitSeconds), at most ours.
    int waitSeconds(const std::string &field) const;
    void sessions(HttpServer::Response &response);
    void health(const std::string &method, HttpServer::Response &response);

    Store &m_store;
    int m_holdSeconds;
    bool m_chat;
};
