#pragma once

#include "hvdbridgewindow.h"

#include <QString>
#include <QUrl>

class FileListBox;
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
    /// Opens the window on the bridge server of the build setting, with the
    /// pause of five seconds between polls. Asks for the game name and
    /// registers the game.
    explicit HvdHostHTTP(const GameFolder &folder, QWidget *parent = nullptr);
    /// The same on a given bridge server and with a given pause between polls
    /// (tests shorten it).
    HvdHostHTTP(const GameFolder &folder, const QUrl &bridgeUrl, int pollPauseMs,
                QWidget *parent = nullptr);
    ~HvdHostHTTP() override;

    Session *session() const override;
    HostSession *hostSession() const { return m_session; }

    /// True once the bridge server has given the game its Session ID.
    bool isRegistered() const { return !m_key.isEmpty(); }

    /// The local computer's name; when the system cannot tell it, the network
    /// host name, and failing that "Unnamed". It never fails.
    static QString ComputerName();
    /// The choice of ComputerName() among the system's answers.
    static QString chooseComputerName(const QString &systemName, const QString &hostName);
    /// The session name registered: the computer's name, ": " and the game
    /// name with every apostrophe turned into a back quote.
    static QString sessionName(const QString &computerName, const QString &gameName);

protected:
    QByteArray sessionKey() const override { return m_key; }
    Session::Poll sessionAnswer(const QByteArray &answer) override;
    void updateControls() override;
    void gameStarting() override;
    void pollDone(const QByteArray &answer) override;

private:
    void on_File1_clicked(const QString &name);
    void on_Command2_clicked();
    void on_Command1_clicked();

    void buildControls();
    void load();
    void registerGame();
    void registrationFailed(const QString &error);
    void PollHost();
    void showValue(QLabel *label, const QString &value);
    void completeAgain();

    HostSession *m_session = nullptr;
    FileListBox *m_maps = nullptr;
    FileListBox *m_armies = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_id = nullptr;
    QPushButton *m_send = nullptr;
    QByteArray m_key;
    bool m_registering = false;
    bool m_sendWhenRegistered = false;
    // The army message whose completion step failed, kept for another try.
    QByteArray m_completionAnswer;
};
