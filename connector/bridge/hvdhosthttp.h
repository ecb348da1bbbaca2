#pragma once

#include "httpsendreceive.h"
#include "hvdbridgewindow.h"

#include <QString>
#include <QUrl>

class FileListBox;
class HostBridgeSession;
class HostSession;
class QLabel;
class QPushButton;

/// The session window of the player who hosts a game through the bridge
/// server: it registers a named game and shows its Session ID, sends the map
/// message, polls for the client's army, sends the start data and, once
/// started, relays the commands in strict turns, the host moving first.
class HvdHostHTTP : public HvdBridgeWindow
{
    Q_OBJECT

public:
    /// Opens the window on the bridge server at `bridgeUrl` (the build
    /// setting unless given). Asks for the game name and registers the
    /// game.
    HvdHostHTTP(const GameFolder &folder,
                const QUrl &bridgeUrl = HTTPSendReceive::defaultBridgeUrl(),
                QWidget *parent = nullptr);
    ~HvdHostHTTP() override;

    HostBridgeSession *hostBridge() const { return m_bridge; }

    /// The local computer's name; when the system cannot tell it, the network
    /// host name, and failing that "Unnamed". It never fails.
    static QString ComputerName();
    /// The choice of ComputerName() among the system's answers.
    static QString chooseComputerName(const QString &systemName, const QString &hostName);
    /// The session name registered: the computer's name, ": " and the game
    /// name with every apostrophe turned into a back quote.
    static QString sessionName(const QString &computerName, const QString &gameName);

protected:
    void updateControls() override;
    void gameStarting() override;

private:
    void on_File1_clicked(const QString &name);
    void on_Command2_clicked();
    void on_Command1_clicked();

    void buildControls();
    void load();
    void onRegistered(const QByteArray &answer);
    void showValue(QLabel *label, const QString &value);

    HostBridgeSession *m_bridge = nullptr;
    HostSession *m_session = nullptr;
    FileListBox *m_maps = nullptr;
    FileListBox *m_armies = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_id = nullptr;
    QPushButton *m_send = nullptr;
    // The player clicked "Send Selections to Client" before the game was
    // registered: the click goes on once it is.
    bool m_sendWhenRegistered = false;
};
