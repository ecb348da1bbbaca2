#pragma once

#include "bridgesession.h"

class ClientSession;

/// The client's side of a game through the bridge, without a widget: it
/// loads the list of open sessions, takes the Session ID as typed, fetches
/// the host's map message, sends the army and polls for the start data,
/// keeps start data whose game files could not be written until the player
/// has put things right, and, once started, waits for the host's opening
/// command and then relays the commands in strict turns.
class ClientBridgeSession : public BridgeSession
{
    Q_OBJECT

public:
    ClientBridgeSession(const GameFolder &folder, const QUrl &bridgeUrl, QObject *parent = nullptr);
    ~ClientBridgeSession() override;

    ClientSession *clientSession() const { return m_client; }

    /// The text of the Session ID box changed; blanks (and line breaks)
    /// around it are no part of the ID.
    void setSessionId(const QByteArray &typed);
    /// Loads the list of open sessions into a new, visible browser object
    /// (which a window follows); the reply tells how it went.
    BridgeReply *showSessions();
    /// Fetches the map message with a new, invisible browser object (the list
    /// of sessions goes away). A failed poll is reported and the player can
    /// correct the ID and fetch again.
    void fetchMap();
    /// "Send Army Selection to Host" may be clicked: to send the army, or to
    /// write the game files again from kept start data.
    bool sendEnabled() const;
    bool hasKeptStartData() const { return !m_keptStartData.isEmpty(); }
    /// Sends the army file's message and polls for the start data; on
    /// failure nothing is sent and `error` says why.
    bool sendArmy(const QString &armyFile, QString *error);
    /// Runs the completion step again with the kept start data; nothing is
    /// sent again.
    void completeAgain();
    /// The game has started: the client waits for the host's opening command.
    void beginTurns();

protected:
    QByteArray sessionKey() const override { return m_key; }
    void pollDone(const QByteArray &answer) override;

private:
    ClientSession *m_client;
    QByteArray m_key;
    QByteArray m_keptStartData;
};
