#pragma once

// A stand-in bridge server on 127.0.0.1 that a test scripts request by
// request: it answers with a page built in the test (also a hostile one) or
// raw bytes, answers late, breaks off, or takes the request and never
// answers. It records every request byte for byte, with the time it arrived
// and the time it was answered.

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
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
        QByteArray head; ///< request line and headers
        QByteArray path;
        QByteArray body;
        qint64 arrivedNs = 0;
        qint64 answeredNs = -1; ///< -1 until answered (or closed)
    };

    /// How each request is answered; by default "Wait" for polls, the
    /// Session ID "17" for Connect and "OK" for everything else.
    std::function<Reply(const Request &)> script;
    QList<Request> requests;

    StandInBridge()
    {
        m_clock.start();
        m_server.listen(QHostAddress::LocalHost);
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
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    /// The requests for one page ("/Bridge/GetData.asp").
    QList<Request> requestsFor(const QByteArray &path) const
    {
        QList<Request> found;
        for (const Request &request : requests) {
            if (request.path == path)
                found.append(request);
        }
        return found;
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
        Request request;
        request.head = head;
        request.path = head.mid(head.indexOf(' ') + 1);
        request.path.truncate(request.path.indexOf(' '));
        request.body = buffer.mid(end + 4);
        request.arrivedNs = nowNs();
        m_buffers.remove(socket);
        const int index = int(requests.size());
        requests.append(request);
        const Reply reply = script ? script(request) : defaultReply(request);
        if (reply.kind == Reply::Kind::Silent)
            return;
        QTimer::singleShot(reply.delayMs, socket, [this, socket, reply, index] {
            if (reply.kind == Reply::Kind::Page) {
                const QByteArray page = "<html><head></head><body>" + reply.body + "</body></html>";
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                              QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" +
                              page);
            }
            if (reply.kind == Reply::Kind::Raw)
                socket->write(reply.body);
            if (reply.kind == Reply::Kind::Broken)
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\ncut off");
            requests[index].answeredNs = nowNs();
            socket->disconnectFromHost();
        });
    }

public:
    static Reply defaultReply(const Request &request)
    {
        Reply reply;
        if (request.path.endsWith("GetData.asp"))
            reply.body = "Wait";
        else if (request.path.endsWith("Connect.asp"))
            reply.body = "17";
        else
            reply.body = "OK";
        return reply;
    }

private:
    QTcpServer m_server;
    QElapsedTimer m_clock;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
