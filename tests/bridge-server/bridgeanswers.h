#pragma once

// Reading the bridge server's answers in its tests: through Qt's network
// access, and raw, on a socket of its own.

#include <QByteArray>
#include <QHostAddress>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>

/// An answer's status and its page's body content exactly as the server
/// wrote it (the whole text when the page has no body).
struct BridgeAnswer
{
    int status = 0;
    QByteArray body;
};

inline QByteArray pageBody(const QByteArray &page)
{
    const int open = page.indexOf("<body>");
    const int close = page.lastIndexOf("</body>");
    return open >= 0 && close > open ? page.mid(open + 6, close - open - 6) : page;
}

/// Waits for the reply to finish and reads it.
inline BridgeAnswer bridgeAnswer(QNetworkReply *reply)
{
    if (!reply->isFinished())
        QSignalSpy(reply, &QNetworkReply::finished).wait(15000);
    reply->deleteLater();
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            pageBody(reply->readAll())};
}

/// One request on a connection of its own from `from` to the server on
/// `port`; the raw answer as read until the server closes (empty when it
/// could not connect).
inline QByteArray rawExchange(int port, const QByteArray &request, const QString &from)
{
    QTcpSocket socket;
    socket.bind(QHostAddress(from));
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request);
    QByteArray raw;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        raw += socket.readAll();
    return raw + socket.readAll();
}
