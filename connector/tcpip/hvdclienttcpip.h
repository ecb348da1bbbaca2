#pragma once

#include "sessionwindow.h"

#include <QAbstractSocket>

class ClientSession;
class QLineEdit;
class QPushButton;
class QTcpSocket;

/// The client's session window over TCP/IP: connects to a host window,
/// receives the map, sends the army, receives the start data, starts the
/// engine and relays the game's commands unchanged. The protocol lives in its
/// ClientSession; the window turns socket and control events into calls on
/// it and mirrors its button states.
class HvdClientTCPIP : public SessionWindow
{
    Q_OBJECT

public:
    explicit HvdClientTCPIP(const GameFolder &folder, QWidget *parent = nullptr);
    ~HvdClientTCPIP() override;

    ClientSession *session() const { return m_session; }
    /// True while the connection to the host is made.
    bool isConnected() const;

protected:
    void chatEntered(const QByteArray &line) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void load();
    void unload();
    void updateControls() override;
    bool sendText(const QByteArray &text);
    void onMapReceived(const QByteArray &mapFileName);

    void on_Command3_clicked();
    void on_tcpClient_Connect();
    void on_tcpClient_DataArrival();
    void on_tcpClient_Close();
    void on_tcpClient_Error(QAbstractSocket::SocketError error);
    void on_Command2_clicked();
    void on_Command1_clicked();

    ClientSession *m_session = nullptr;
    QTcpSocket *m_socket = nullptr;
    QLineEdit *m_hostIP = nullptr;
    QLineEdit *m_hostPort = nullptr;
    QPushButton *m_connect = nullptr;
    QPushButton *m_sendArmy = nullptr;
    bool m_loaded = false;
};
