#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <functional>

/// An in-memory connection between a host and a client session: what one
/// end sends waits in the pipe, joined in sending order, until the test
/// delivers it to the other end in pieces of its choosing. Sending fails
/// while the pipe is closed.
class MemoryPipe
{
public:
    using Send = std::function<bool(const QByteArray &)>;
    using Receive = std::function<void(const QByteArray &)>;

    Send hostEnd()
    {
        return [this](const QByteArray &message) { return put(&m_toClient, message); };
    }
    Send clientEnd()
    {
        return [this](const QByteArray &message) { return put(&m_toHost, message); };
    }

    void setOpen(bool open) { m_open = open; }
    int sends() const { return m_sends; }

    /// What waits for the client (the host), taken out of the pipe.
    QByteArray takeToClient() { return std::exchange(m_toClient, QByteArray()); }
    QByteArray takeToHost() { return std::exchange(m_toHost, QByteArray()); }
    QByteArray toClient() const { return m_toClient; }
    QByteArray toHost() const { return m_toHost; }

    /// The bytes cut at the given positions (each between 1 and size - 1).
    static QList<QByteArray> cut(const QByteArray &bytes, QList<int> cuts)
    {
        std::sort(cuts.begin(), cuts.end());
        QList<QByteArray> pieces;
        int from = 0;
        for (const int at : std::as_const(cuts)) {
            if (at <= from || at >= bytes.size())
                continue;
            pieces.append(bytes.mid(from, at - from));
            from = at;
        }
        pieces.append(bytes.mid(from));
        return pieces;
    }
    /// The bytes in pieces of the given sizes; the last piece takes the rest.
    static QList<QByteArray> sized(const QByteArray &bytes, const QList<int> &sizes)
    {
        QList<int> cuts;
        int at = 0;
        for (const int size : sizes)
            cuts.append(at += size);
        return cut(bytes, cuts);
    }
    /// The bytes in the given number of pieces, cut at random positions (one
    /// character each when there are more pieces than characters).
    static QList<QByteArray> random(const QByteArray &bytes, int count, QRandomGenerator &random)
    {
        const int positions = int(bytes.size()) - 1;
        QList<int> cuts;
        if (count - 1 >= positions) {
            for (int at = 1; at <= positions; ++at)
                cuts.append(at);
            return cut(bytes, cuts);
        }
        QSet<int> chosen;
        while (chosen.size() < count - 1)
            chosen.insert(1 + int(random.bounded(quint32(positions))));
        return cut(bytes, chosen.values());
    }
    /// Hands every piece to the receiver as one arrival.
    static void deliver(const QList<QByteArray> &pieces, const Receive &receive)
    {
        for (const QByteArray &piece : pieces)
            receive(piece);
    }

private:
    bool put(QByteArray *queue, const QByteArray &message)
    {
        if (!m_open)
            return false;
        *queue += message;
        ++m_sends;
        return true;
    }

    QByteArray m_toClient;
    QByteArray m_toHost;
    bool m_open = true;
    int m_sends = 0;
};
