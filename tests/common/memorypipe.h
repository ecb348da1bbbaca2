#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <functional>

/// An in-memory connection between a host and a client session: what one end
/// sends waits in the pipe, joined in sending order, until the test delivers it
/// to the other end in pieces of its choosing. Sending fails while it is closed.
struct MemoryPipe
{
    std::function<bool(const QByteArray &)> hostEnd() { return end(&toClient); }
    std::function<bool(const QByteArray &)> clientEnd() { return end(&toHost); }
    /// What waits for the client (or the host), taken out of the pipe.
    QByteArray takeToClient() { return std::exchange(toClient, QByteArray()); }
    QByteArray takeToHost() { return std::exchange(toHost, QByteArray()); }

    /// The bytes cut at the given positions; positions out of order or range
    /// are skipped.
    static QList<QByteArray> cut(const QByteArray &bytes, QList<int> cuts)
    {
        std::sort(cuts.begin(), cuts.end());
        QList<QByteArray> pieces;
        int from = 0;
        for (const int at : std::as_const(cuts)) {
            if (at > from && at < bytes.size()) {
                pieces.append(bytes.mid(from, at - from));
                from = at;
            }
        }
        return pieces << bytes.mid(from);
    }
    /// The bytes in the given number of pieces, cut at random positions (one
    /// character each when there are more pieces than characters).
    static QList<QByteArray> random(const QByteArray &bytes, int count, QRandomGenerator &random)
    {
        const int positions = int(bytes.size()) - 1;
        QSet<int> chosen;
        for (int at = 1; count > positions && at <= positions; ++at)
            chosen.insert(at);
        while (chosen.size() < std::min(count - 1, positions))
            chosen.insert(1 + int(random.bounded(quint32(positions))));
        return cut(bytes, chosen.values());
    }

    QByteArray toClient;
    QByteArray toHost;
    bool open = true;

private:
    std::function<bool(const QByteArray &)> end(QByteArray *queue)
    {
        return [this, queue](const QByteArray &message) {
            if (open)
                *queue += message;
            return open;
        };
    }
};
