#include "hostbridgesession.h"

#include "bridgechat.h"
#include "bridgereply.h"
#include "hostsession.h"
#include "httpsendreceive.h"
#include "messages.h"
#include "outputbox.h"

HostBridgeSession::HostBridgeSession(const GameFolder &folder, const QUrl &bridgeUrl,
                                     QObject *parent)
    : BridgeSession(new HostSession(folder, Session::Transport::Bridge), bridgeUrl, parent),
      m_host(static_cast<HostSession *>(session()))
{
    createBrowser();
}

HostBridgeSession::~HostBridgeSession() = default;

void HostBridgeSession::registerGame(const QByteArray &sessionName)
{
    if (m_registering || isClosed())
        return;
    if (!browser())
        createBrowser();
    m_registering = true;
    emit controlsChanged();
    if (outputBox())
        outputBox()->replace("Registering the game with the bridge server...\r\n", false);
    BridgeReply *reply = HTTPSendReceive::BridgeConnect(browser(), sessionName);
    connect(reply, &BridgeReply::answered, this, [this, reply](const QByteArray &answer) {
        noteHold(reply);
        // Blanks and line breaks around the answer are no part of the key
        // that the requests send.
        const QByteArray key = answer.trimmed();
        if (key.isEmpty()) {
            registrationFailed(QStringLiteral("The bridge server at %1 answered without a "
                                              "Session ID.")
                                   .arg(bridgeUrl().toString()));
            return;
        }
        m_registering = false;
        m_key = key;
        chat()->start(m_key);
        m_host->registered();
        emit registered(answer);
        emit controlsChanged();
    });
    connect(reply, &BridgeReply::failed, this, [this, reply](const QString &error) {
        noteHold(reply);
        registrationFailed(error);
    });
}

void HostBridgeSession::registrationFailed(const QString &error)
{
    m_registering = false;
    emit controlsChanged();
    reportFailure(QStringLiteral("The game could not be registered with the bridge server.\r\n%1"
                                 "\r\nChoose a map and click 'Send Selections to Client' to try "
                                 "again.\r\n")
                      .arg(error));
}

bool HostBridgeSession::sendEnabled() const
{
    return (m_host->sendEnabled() && !m_registering) || hasKeptArmy();
}

bool HostBridgeSession::sendMap(const QString &mapFile)
{
    if (!isRegistered() || !m_host->sendMap(mapFile))
        return false;
    startSessionPolling();
    return true;
}

void HostBridgeSession::pollDone(const QByteArray &answer)
{
    // The army message has been used; when the game files could not be made
    // from it, the message is kept for the player to put things right.
    if (m_host->gameRunning() || m_host->startEnabled() || !Messages::hasArmy(answer))
        return;
    m_keptArmy = answer;
    if (outputBox())
        outputBox()->append("The client's army is kept. Put the selections right (an army, or "
                            "'Create Random Army' with no army selected) and click 'Send "
                            "Selections to Client' to make the game files again.");
}

void HostBridgeSession::completeAgain()
{
    // The map message has gone out already: only the completion step runs
    // again, with the army message that came.
    const QByteArray kept = m_keptArmy;
    m_keptArmy.clear();
    m_host->answer(kept);
    pollDone(kept);
    emit controlsChanged();
}

void HostBridgeSession::beginTurns()
{
    setTurn(Turn::Own);
}
