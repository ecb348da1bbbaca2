#pragma once

#include <QByteArray>
#include <QHostAddress>

/// A peer's numeric address as the connection lines show it: an IPv4 address
/// as such even on a dual-stack socket ("127.0.0.1", not "::ffff:127.0.0.1").
inline QByteArray numericAddress(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return (isV4 ? QHostAddress(v4) : address).toString().toLatin1();
}
