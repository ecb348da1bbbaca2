#pragma once

#include "sessionwindow.h"

#include <QAbstractSocket>
#include <QPointer>

class HostSession;
class QLabel;
class QLineEdit;
class QPushButton;
class QTcpServer;
class QTcpSocket;

/// The host's session window over TCP/IP: listens on the port of MyPort,
/// holds one client at a time, sends the map, takes in the client's army,
/// sends the start data, starts the engine and relays the game's commands.
/// The protocol lives in its HostSession; the window turns socket and control
/// events into calls on it and mirrors its button states.
class HvdHostTCPIP : public SessionWindow
{
    Q_OBJECT

public:
    /// The port MyPort holds when the window opens.
    static constexpr quint16 DefaultPort = 3456;
    /// Listen on any free port (see listeningPort()).
    static constexpr quint16 AnyFreePort = 0;

    explicit HvdHostTCPIP(const GameFolder &folder, QWidget *parent = nullptr);
    /// Listens on the given port instead of the default (AnyFreePort:
    /// any free port); for tests and several hosts on one machine.
    HvdHostTCPIP(const GameFolder &folder, quint16 port, QWidget *parent = nullptr);
    ~HvdHostTCPIP() override;

    HostSession *session() const { return m_session; }
    /// The port the window listens on (or listened on, while a client is
    /// connected).
    quint16 listeningPort() const { return m_port; }
    /// True while a client is connected.
    bool hasClient() const;

protected:
    void chatEntered(const QByteArray &line) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void load();
    void unload();
    bool listen();
    void updateControls() override;
    bool sendText(const QByteArray &text);
    void showSocketError(const QString &description);

    void on_tcpServer_ConnectionRequest();
    void on_tcpServer_DataArrival();
    void on_tcpServer_Close();
    void on_tcpServer_Error(QAbstractSocket::SocketError error);
    void on_File1_Click(const QString &mapFile);
    void on_Command2_clicked();
    void on_Command1_clicked();

    HostSession *m_session = nullptr;
    QTcpServer *m_server = nullptr;
    QPointer<QTcpSocket> m_connection;
    QLabel *m_myIP = nullptr;
    QLineEdit *m_myPort = nullptr;
    QPushButton *m_sendSelections = nullptr;
    quint16 m_port = 0;
    bool m_loaded = false;
};
