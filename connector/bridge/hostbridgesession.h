#pragma once

#include "bridgesession.h"

class HostSession;

/// The host's side of a game through the bridge, without a widget: it
/// registers the named game and takes its Session ID, sends the map message
/// and polls for the client's army, keeps an army message whose completion
/// step failed until the player has put things right, and, once started,
/// relays the commands in strict turns, the host moving first.
class HostBridgeSession : public BridgeSession
{
    Q_OBJECT

public:
    HostBridgeSession(const GameFolder &folder, const QUrl &bridgeUrl, QObject *parent = nullptr);
    ~HostBridgeSession() override;

    HostSession *hostSession() const { return m_host; }

    /// Registers the game under `sessionName` (a new browser object when
    /// there is none). The Session ID comes with registered(); a failure is
    /// reported with the reason and can be tried again.
    void registerGame(const QByteArray &sessionName);
    bool isRegistering() const { return m_registering; }
    /// True once the bridge server has given the game its Session ID.
    bool isRegistered() const { return !m_key.isEmpty(); }

    /// "Send Selections to Client" may be clicked: to send the map, or to
    /// run the completion step again with a kept army message.
    bool sendEnabled() const;
    /// An army message came whose game files could not be made; it is kept.
    bool hasKeptArmy() const { return !m_keptArmy.isEmpty(); }
    /// Sends the map message for `mapFile` and polls for the client's army.
    bool sendMap(const QString &mapFile);
    /// Runs the completion step again with the kept army message.
    void completeAgain();
    /// The game has started: the host moves first.
    void beginTurns();

signals:
    /// The bridge gave the game its Session ID; `answer` is its text as it
    /// came (the requests send it without blanks around it).
    void registered(const QByteArray &answer);

protected:
    QByteArray sessionKey() const override { return m_key; }
    void pollDone(const QByteArray &answer) override;

private:
    void registrationFailed(const QString &error);

    HostSession *m_host;
    QByteArray m_key;
    bool m_registering = false;
    QByteArray m_keptArmy;
};
