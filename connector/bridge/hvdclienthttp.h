#pragma once

#include "hvdbridgewindow.h"

#include <QUrl>

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
    /// Opens the window on the bridge server of the build setting, with the
    /// pause of five seconds between polls.
    explicit HvdClientHTTP(const GameFolder &folder, QWidget *parent = nullptr);
    /// The same on a given bridge server and with a given pause between polls
    /// (tests shorten it).
    HvdClientHTTP(const GameFolder &folder, const QUrl &bridgeUrl, int pollPauseMs,
                  QWidget *parent = nullptr);
    ~HvdClientHTTP() override;

    Session *session() const override;
    ClientSession *clientSession() const { return m_session; }

    /// While the game runs: 1 while the window waits for the host's next
    /// command, 2 once it has arrived and the own command may go.
    int turnState() const { return m_turnState; }

protected:
    QByteArray sessionKey() const override;
    Session::Poll sessionAnswer(const QByteArray &answer) override;
    void updateControls() override;
    void gameStarting() override;
    void pollDone(const QByteArray &answer) override;

private:
    void on_MyPort_changed();
    void on_Command4_clicked();
    void on_Command3_clicked();
    void on_Command2_clicked();
    void on_Command1_clicked();

    void buildControls();
    void PollClient();
    void onMapReceived(const QByteArray &mapFileName);
    void onCommandSent();
    void completeAgain();

    ClientSession *m_session = nullptr;
    FileListBox *m_armies = nullptr;
    QLineEdit *m_id = nullptr;
    QPushButton *m_find = nullptr;
    QPushButton *m_getMap = nullptr;
    QPushButton *m_send = nullptr;
    int m_turnState = 0;
    // The start data message whose completion step failed, kept for another
    // try.
    QByteArray m_completionAnswer;
};
