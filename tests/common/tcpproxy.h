#pragma once

// A test proxy on 127.0.0.1 between a client window and a host window: it
// forwards every byte both ways, records what each connection carried, and
// closes both of its sockets once a given number of game commands have passed
// in one direction (after forwarding the last of them), as a connection that
// breaks between two moves.

#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class TcpProxy : public QObject
{
public:
    enum Direction { ToHost, ToClient };

    explicit TcpProxy(quint16 hostPort) : m_hostPort(hostPort)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &TcpProxy::accept);
        m_server.listen(QHostAddress::LocalHost);
    }
    ~TcpProxy() override { drop(); }

    quint16 port() const { return m_server.serverPort(); }
    /// Closes both sockets once the count-th command (counted over all
    /// connections) has been forwarded in that direction.
    void dropAfterCommands(Direction direction, int count) { m_drops[direction].append(count); }
    int commandsPassed(Direction direction) const { return m_commands[direction]; }
    int dropped() const { return m_dropped; }
    /// What each connection carried, in each direction.
    QList<QList<QByteArray>> carried;

private:
    /// Closes both sockets, after what they still have to write.
    void drop()
    {
        m_dropped += m_ends[0] || m_ends[1];
        for (QPointer<QTcpSocket> &socket : m_ends) {
            if (socket) {
                socket->disconnect(this);
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                socket->disconnectFromHost();
                if (socket->state() == QAbstractSocket::UnconnectedState)
                    socket->deleteLater();
            }
            socket = nullptr;
        }
    }

    void accept()
    {
        QTcpSocket *client = m_server.nextPendingConnection();
        drop();
        m_ends[ToHost] = new QTcpSocket(this); // the end towards the host
        m_ends[ToClient] = client;
        carried.append({QByteArray(), QByteArray()});
        // What the client sends before the host end is connected waits.
        const auto toHost = [this] {
            if (m_ends[ToHost]->state() == QAbstractSocket::ConnectedState)
                forward(ToHost, m_ends[ToClient]->readAll());
        };
        connect(client, &QTcpSocket::readyRead, this, toHost);
        connect(m_ends[ToHost], &QTcpSocket::connected, this, toHost);
        connect(m_ends[ToHost], &QTcpSocket::readyRead, this,
                [this] { forward(ToClient, m_ends[ToHost]->readAll()); });
        // Either end going takes the other with it, as one connection would.
        for (QTcpSocket *socket : {client, m_ends[ToHost].data()})
            connect(socket, &QTcpSocket::disconnected, this, &TcpProxy::drop);
        m_ends[ToHost]->connectToHost(QHostAddress::LocalHost, m_hostPort);
    }

    void forward(Direction direction, const QByteArray &bytes)
    {
        QByteArray &sofar = carried.last()[direction];
        const qsizetype before = sofar.count("<Root><Command");
        sofar += bytes;
        m_commands[direction] += int(sofar.count("<Root><Command") - before);
        m_ends[direction]->write(bytes);
        if (m_drops[direction].removeOne(m_commands[direction]))
            drop();
    }

    QTcpServer m_server;
    quint16 m_hostPort;
    QPointer<QTcpSocket> m_ends[2]; // towards the host, towards the client
    QList<int> m_drops[2];
    int m_commands[2] = {0, 0};
    int m_dropped = 0;
};
