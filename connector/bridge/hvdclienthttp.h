#pragma once

#include "httpsendreceive.h"
#include "hvdbridgewindow.h"

#include <QUrl>

class ClientBridgeSession;
class ClientSession;
class FileListBox;
class QLineEdit;
class QPushButton;

/// The session window of the player who joins a game through the bridge
/// server: it shows the list of open sessions, takes the Session ID, fetches
/// the host's map message, sends the army, polls for the start data and,
/// once started, relays the commands in strict turns after the host's.
class HvdClientHTTP : public HvdBridgeWindow
{
    Q_OBJECT

public:
    /// Opens the window on the bridge server at `bridgeUrl` (the build
    /// setting unless given).
    HvdClientHTTP(const GameFolder &folder,
                  const QUrl &bridgeUrl = HTTPSendReceive::defaultBridgeUrl(),
                  QWidget *parent = nullptr);
    ~HvdClientHTTP() override;

    ClientBridgeSession *clientBridge() const { return m_bridge; }

protected:
    void updateControls() override;
    void gameStarting() override;

private:
    void on_MyPort_changed();
    void on_Command4_clicked();
    void on_Command3_clicked();
    void on_Command2_clicked();
    void on_Command1_clicked();

    void buildControls();
    void onMapReceived(const QByteArray &mapFileName);

    ClientBridgeSession *m_bridge = nullptr;
    ClientSession *m_session = nullptr;
    FileListBox *m_armies = nullptr;
    QLineEdit *m_id = nullptr;
    QPushButton *m_find = nullptr;
    QPushButton *m_getMap = nullptr;
    QPushButton *m_send = nullptr;
};
