#pragma once

// A test proxy on 127.0.0.1 between a client window and a host window: it
// forwards every byte both ways, records what each connection carried, and
// closes both of its sockets on command, or once a given number of game
// commands have passed in one direction (after forwarding the last of them),
// as a connection that breaks between two moves.

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
    ~TcpProxy() override
    {
        // A socket that goes while connected tells it: not to a proxy half gone.
        for (QTcpSocket *socket : {m_client.data(), m_host.data()}) {
            if (socket)
                socket->disconnect(this);
        }
        delete m_host;
    }

    quint16 port() const { return m_server.serverPort(); }

    /// Closes both sockets once the count-th command (counted over all
    /// connections) has been forwarded in that direction.
    void dropAfterCommands(Direction direction, int count) { m_drops[direction].append(count); }
    /// Closes both sockets now, after what they still have to write.
    void drop()
    {
        ++m_dropped;
        for (QTcpSocket *socket : {m_client.data(), m_host.data()}) {
            if (!socket)
                continue;
            socket->disconnect(this);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            if (socket->state() == QAbstractSocket::UnconnectedState)
                socket->deleteLater();
        }
        m_client = nullptr;
        m_host = nullptr;
    }

    int commandsPassed(Direction direction) const { return m_commands[direction]; }
    int dropped() const { return m_dropped; }
    int connections() const { return int(m_carried.size()); }
    /// What connection number index (from 0) carried in one direction.
    QByteArray carried(int index, Direction direction) const
    {
        return m_carried.value(index).value(direction);
    }

private:
    void accept()
    {
        QTcpSocket *client = m_server.nextPendingConnection();
        if (!client)
            return;
        if (m_client)
            drop();
        m_client = client;
        m_host = new QTcpSocket;
        m_waiting.clear();
        m_carried.append({QByteArray(), QByteArray()});
        connect(client, &QTcpSocket::readyRead, this, [this] {
            const QByteArray bytes = m_client->readAll();
            if (m_host->state() == QAbstractSocket::ConnectedState)
                forward(ToHost, bytes);
            else
                m_waiting += bytes;
        });
        connect(m_host, &QTcpSocket::connected, this,
                [this] { forward(ToHost, std::exchange(m_waiting, QByteArray())); });
        connect(m_host, &QTcpSocket::readyRead, this,
                [this] { forward(ToClient, m_host->readAll()); });
        // Either end going takes the other with it, as one connection would.
        for (QTcpSocket *socket : {client, m_host.data()})
            connect(socket, &QTcpSocket::disconnected, this, &TcpProxy::drop);
        m_host->connectToHost(QHostAddress::LocalHost, m_hostPort);
    }

    void forward(Direction direction, const QByteArray &bytes)
    {
        if (bytes.isEmpty())
            return;
        QByteArray &carried = m_carried.last()[direction];
        const qsizetype before = carried.count("<Root><Command");
        carried += bytes;
        m_commands[direction] += int(carried.count("<Root><Command") - before);
        (direction == ToHost ? m_host : m_client)->write(bytes);
        if (m_drops[direction].removeOne(m_commands[direction]))
            drop();
    }

    QTcpServer m_server;
    quint16 m_hostPort;
    QPointer<QTcpSocket> m_client;
    QPointer<QTcpSocket> m_host;
    QByteArray m_waiting;
    QList<int> m_drops[2];
    int m_commands[2] = {0, 0};
    int m_dropped = 0;
    QList<QList<QByteArray>> m_carried;
};
