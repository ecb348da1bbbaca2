#pragma once

// A stand-in bridge server on 127.0.0.1 that a test scripts request by
// request: it answers with a page built in the test (also a hostile one) or
// raw bytes, answers late, breaks off, or takes the request and never
// answers. It records every request byte for byte, with the time it arrived
// and the time it was answered. actAsBridge() makes it a small bridge that
// stores posts and, with a hold, holds polls that ask for it and
// announces the hold in every answer. And await(), which waits for one bridge request.

#include "bridgereply.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <functional>

class StandInBridge : public QObject
{
public:
    /// What the server does with one request.
    struct Reply
    {
        /// Raw: body is the whole answer, head included; Silent: no answer
        /// ever, the connection stays open; Broken: an answer cut short.
        enum class Kind { Page, Raw, Silent, Broken };
        Kind kind = Kind::Page;
        QByteArray body; ///< the body element's content (Page)
        int delayMs = 0; ///< how long the answer is held back
    };
    struct Request
    {
        QByteArray path;
        QByteArray head; ///< request line and headers
        QByteArray body;
        qint64 arrivedMs = 0;
        qint64 answeredMs = -1; ///< -1 until answered
    };

    /// How each request is answered; by default "Wait" for polls, the
    /// Session ID "17" for Connect and "OK" for everything else.
    std::function<Reply(const Request &)> script;
    QList<Request> requests;
    /// The hold the bridge announces ("X-Bridge-Hold-Seconds"); 0: none.
    int holdSeconds = 0;
    QElapsedTimer clock;

    /// Listens on `port` (any free one when 0).
    explicit StandInBridge(quint16 port = 0)
    {
        clock.start();
        m_server.listen(QHostAddress::LocalHost, port);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    /// Answers every request with `*reply` as it stands when the request comes.
    void answerWith(const Reply *reply)
    {
        script = [reply](const Request &) { return *reply; };
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
    }
    /// The requests for one page ("GetData.asp").
    QList<Request> requestsFor(const QByteArray &page) const
    {
        QList<Request> found;
        for (const Request &request : requests) {
            if (request.path.endsWith(page))
                found.append(request);
        }
        return found;
    }
    static Reply defaultReply(const Request &request)
    {
        Reply reply;
        reply.body = request.path.endsWith("GetData.asp")   ? "Wait"
                     : request.path.endsWith("Connect.asp") ? "17"
                                                            : "OK";
        return reply;
    }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        static const QRegularExpression length(QStringLiteral("\r\ncontent-length: *(\\d+)"),
                                               QRegularExpression::CaseInsensitiveOption);
        const QByteArray head = buffer.left(end);
        if (end < 0 || buffer.size() - end - 4 < length.match(head).captured(1).toInt())
            return;
        const QByteArray path = head.mid(head.indexOf(' ') + 1).split(' ').value(0);
        const int index = int(requests.size());
        requests.append({path, head, buffer.mid(end + 4), clock.elapsed()});
        m_buffers.remove(socket);
        const Reply reply = script ? script(requests.last()) : defaultReply(requests.last());
        if (reply.kind != Reply::Kind::Silent) {
            QTimer::singleShot(reply.delayMs, socket,
                               [this, socket, reply, index] { answer(socket, index, reply); });
        }
    }
    void answer(QTcpSocket *socket, int index, const Reply &reply)
    {
        const QByteArray page = "<html><head></head><body>" + reply.body + "</body></html>";
        const QByteArray hold =
            holdSeconds > 0 ? "X-Bridge-Hold-Seconds: " + QByteArray::number(holdSeconds) + "\r\n"
                            : QByteArray();
        if (reply.kind == Reply::Kind::Raw)
            socket->write(reply.body);
        else if (reply.kind == Reply::Kind::Broken)
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\ncut off");
        else
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n" + hold +
                          "Content-Length: " + QByteArray::number(page.size()) +
                          "\r\nConnection: close\r\n\r\n" + page);
        requests[index].answeredMs = clock.elapsed();
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

/// What a bridge request ended with.
struct Outcome
{
    bool finished = false;
    bool ok = false;
    QByteArray answer;
    QString error;
};

/// Waits (in the test only) for the reply to end and collects what it said.
inline Outcome await(BridgeReply *reply, int ms = 15000)
{
    auto outcome = std::make_shared<Outcome>();
    if (reply) {
        QObject::connect(reply, &BridgeReply::finished, [outcome, reply] {
            *outcome = {true, reply->isOk(), reply->answer(), reply->errorText()};
        });
    }
    if (!QTest::qWaitFor([outcome] { return outcome->finished; }, ms))
        outcome->error = QStringLiteral("no answer in time");
    return *outcome;
}
