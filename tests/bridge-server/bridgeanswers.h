#pragma once

// Reading the bridge server's answers in its tests, raw, on sockets of their
// own (BridgeRequests).

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <memory>

/// An answer's status, its page's body content exactly as the server wrote
/// it (the whole text when the page has no body) and, read raw, its head.
struct BridgeAnswer
{
    int status = 0;
    QByteArray body;
    QByteArray head;
};

inline QByteArray pageBody(const QByteArray &page)
{
    const int open = page.indexOf("<body>");
    const int close = page.lastIndexOf("</body>");
    return open >= 0 && close > open ? page.mid(open + 6, close - open - 6) : page;
}

/// Sends `request` on a connection of its own from `from`; null when it
/// could not connect.
inline std::unique_ptr<QTcpSocket> rawRequest(int port, const QByteArray &request,
                                              const QString &from = QStringLiteral("127.0.0.1"))
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(from));
    socket->connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket->waitForConnected(5000))
        return nullptr;
    socket->write(request);
    socket->waitForBytesWritten(5000);
    return socket;
}

/// What arrives on `socket` until the server closes.
inline QByteArray rawAnswer(QTcpSocket *socket)
{
    QByteArray raw;
    while (socket && socket->state() == QAbstractSocket::ConnectedState &&
           socket->waitForReadyRead(10000))
        raw += socket->readAll();
    return socket ? raw + socket->readAll() : raw;
}

/// One request on a connection of its own from `from` to the server on
/// `port`; the raw answer as read until the server closes (empty when it
/// could not connect).
inline QByteArray rawExchange(int port, const QByteArray &request, const QString &from)
{
    return rawAnswer(rawRequest(port, request, from).get());
}

inline BridgeAnswer parsedAnswer(const QByteArray &raw)
{
    const int split = raw.indexOf("\r\n\r\n");
    return {raw.startsWith("HTTP/1.1 ") ? raw.mid(9, 3).toInt() : 0,
            split < 0 ? QByteArray() : pageBody(raw.mid(split + 4)), raw.left(split)};
}

/// The connector's requests, raw, to the server on `port`.
struct BridgeRequests
{
    int port = 0;

    /// Starts `server` with `options` and talks to it.
    template <typename Server> bool start(Server &server, const QStringList &options = {})
    {
        const bool started = server.start(options);
        port = server.port();
        return started;
    }

    static QByteArray post(const char *page, const QByteArray &form)
    {
        return QByteArray("POST /Bridge/") + page +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
               "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               QByteArray::number(form.size()) + "\r\n\r\n" + form;
    }
    static QByteArray getData(const QByteArray &key, const QByteArray &owner,
                              const QByteArray &more = {})
    {
        return post("GetData.asp", "SessionKey=" + key + "&DataOwner=" + owner + more);
    }
    BridgeAnswer exchange(const QByteArray &request,
                          const QString &from = QStringLiteral("127.0.0.1")) const
    {
        return parsedAnswer(rawExchange(port, request, from));
    }
    QByteArray newSession(const QByteArray &name = "PC: Game") const
    {
        const BridgeAnswer answer = exchange(post("Connect.asp", "SessionName=" + name));
        return answer.status == 200 ? answer.body : QByteArray();
    }
    int send(const QByteArray &key, const QByteArray &owner, const QByteArray &data) const
    {
        return exchange(post("SendData.asp",
                             "SessionKey=" + key + "&DataOwner=" + owner + "&SessionData=" + data))
            .status;
    }
    QByteArray poll(const QByteArray &key, const QByteArray &owner) const
    {
        return exchange(getData(key, owner)).body;
    }
    /// A Host poll that asks to be held `wait` seconds, sent and not read.
    std::unique_ptr<QTcpSocket> heldPoll(const QByteArray &key, const QByteArray &wait = "2",
                                         const QString &from = "127.0.0.1") const
    {
        auto socket = rawRequest(port, getData(key, "Host", "&WaitSeconds=" + wait), from);
        QTest::qWait(200); // until it is held
        return socket;
    }
    static QByteArray answerOf(const std::unique_ptr<QTcpSocket> &socket)
    {
        return parsedAnswer(rawAnswer(socket.get())).body;
    }
};
