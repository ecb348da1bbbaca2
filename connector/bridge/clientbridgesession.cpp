#include "clientbridgesession.h"

#include "bridgechat.h"
#include "clientsession.h"
#include "httpsendreceive.h"
#include "messages.h"
#include "outputbox.h"

ClientBridgeSession::ClientBridgeSession(const GameFolder &folder, const QUrl &bridgeUrl,
                                         QObject *parent)
    : BridgeSession(new ClientSession(folder, Session::Transport::Bridge), bridgeUrl, parent),
      m_client(static_cast<ClientSession *>(session()))
{
    // The browser object is made by the buttons, not here.
}

ClientBridgeSession::~ClientBridgeSession() = default;

void ClientBridgeSession::setSessionId(const QByteArray &typed)
{
    m_key = typed.trimmed();
    m_client->sessionIdTyped();
}

BridgeReply *ClientBridgeSession::showSessions()
{
    if (!m_client->findSessionsEnabled() || isClosed())
        return nullptr;
    return HTTPSendReceive::BridgeSessions(createBrowser());
}

void ClientBridgeSession::fetchMap()
{
    if (!m_client->connectEnabled() || isClosed())
        return;
    createBrowser();
    // The Session ID is known now: chat lines may come.
    chat()->start(m_key);
    m_client->mapFetchStarted();
    startPolling([this](const QByteArray &answer) { return m_client->mapAnswer(answer); },
                 [this](const QString &error) {
                     // A wrong Session ID or a server that is away: the player
                     // can correct the ID and fetch again.
                     m_client->mapFetchFailed();
                     reportFailure(QStringLiteral("The map name could not be fetched from the "
                                                  "bridge server.\r\n%1\r\nCheck the Session ID "
                                                  "and click 'Get Map Name from Host' again.\r\n")
                                       .arg(error));
                     return false;
                 });
}

bool ClientBridgeSession::sendEnabled() const
{
    return m_client->sendEnabled() || hasKeptStartData();
}

bool ClientBridgeSession::sendArmy(const QString &armyFile, QString *error)
{
    if (!m_client->sendArmy(armyFile, error))
        return false;
    startSessionPolling();
    return true;
}

void ClientBridgeSession::pollDone(const QByteArray &answer)
{
    // The start data has been used; when the game files could not be written
    // from it, it is kept for the player to put things right.
    if (m_client->gameRunning() || m_client->startEnabled() || !Messages::hasStartData(answer))
        return;
    m_keptStartData = answer;
    if (outputBox())
        outputBox()->append("The start data from the host is kept. Put the game folder right and "
                            "click 'Send Army Selection to Host' to write the game files again; "
                            "nothing is sent again.");
}

void ClientBridgeSession::completeAgain()
{
    const QByteArray kept = m_keptStartData;
    m_keptStartData.clear();
    m_client->answer(kept);
    pollDone(kept);
    emit controlsChanged();
}

void ClientBridgeSession::beginTurns()
{
    setTurn(Turn::Other);
    startSessionPolling();
}
