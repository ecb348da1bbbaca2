#include "bridgechat.h"

#include "bridgebrowser.h"
#include "bridgereply.h"
#include "bridgesession.h"
#include "gamefolder.h"
#include "httpsendreceive.h"
#include "messages.h"
#include "outputbox.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

/// A held "Wait" that came back sooner than this was not held.
constexpr qint64 HeldAtLeastMs = 1000;
/// The longest arrived line shown: a prefix and a whole chat line.
constexpr int MaxShownChars = 8 + BridgeChat::MaxLineChars;

/// The chat queue that `role` polls (its own) or posts to (the other side's).
QByteArray chatOwner(Role role)
{
    return role == Role::Host ? "HostChat" : "ClientChat";
}

Role otherRole(Role role)
{
    return role == Role::Host ? Role::Client : Role::Host;
}

/// An arrived line fit for the output box: decoded, one line, bounded.
QByteArray shownLine(const QByteArray &answer)
{
    QByteArray line = QByteArray::fromPercentEncoding(answer);
    for (char &c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return line.size() > MaxShownChars ? line.left(MaxShownChars) + "..." : line;
}

} // namespace

BridgeChat::BridgeChat(Role role, const QUrl &bridgeUrl, QObject *parent)
    : QObject(parent), m_role(role), m_bridgeUrl(bridgeUrl)
{
}

BridgeChat::~BridgeChat()
{
    m_closed = true;
    BridgeBrowser::release(m_browser);
}

void BridgeChat::noteAnswer(const BridgeReply *reply)
{
    // A request that got no answer tells nothing. Both states stay once
    // told: an error page of a proxy on the way carries no header.
    if (m_closed || reply->holdSeconds() < 0)
        return;
    m_holdSeconds = reply->holdSeconds();
    const bool wasEnabled = isEnabled();
    m_bridgeChat = m_bridgeChat || reply->announcesChat();
    m_peerChat = m_peerChat || (reply->announcesChat() && reply->peerReadsChat());
    if (m_bridgeChat && !m_key.isEmpty() && !m_polling)
        pollOnce();
    if (isEnabled() != wasEnabled)
        emit enabledChanged(isEnabled());
}

void BridgeChat::start(const QByteArray &key)
{
    const QByteArray trimmed = key.trimmed();
    if (m_closed || trimmed.isEmpty() || (trimmed == m_key && m_polling))
        return;
    // Requests of an earlier key end silently with its browser object; its
    // waiting lines were meant for that session.
    const bool wasEnabled = isEnabled();
    ++m_generation;
    BridgeBrowser::release(m_browser);
    m_outbox.clear();
    m_polling = m_posting = false;
    // Whether the other side reads chat is told anew for the new session.
    m_peerChat = m_peerChat && trimmed == m_key;
    m_key = trimmed;
    if (isEnabled() != wasEnabled)
        emit enabledChanged(isEnabled());
    m_browser = new BridgeBrowser(this);
    m_browser->setBaseUrl(m_bridgeUrl);
    if (m_bridgeChat)
        pollOnce();
}

void BridgeChat::close()
{
    const bool wasEnabled = isEnabled();
    m_closed = true;
    ++m_generation;
    BridgeBrowser::release(m_browser);
    if (wasEnabled)
        emit enabledChanged(false);
}

void BridgeChat::pollOnce()
{
    if (m_closed || !m_browser || !m_bridgeChat) {
        m_polling = false;
        return;
    }
    m_polling = true;
    const int wait =
        qMin(m_holdSeconds, m_peerChat ? HTTPSendReceive::MaxWaitSeconds : int(ProbeWaitSeconds));
    QElapsedTimer held;
    held.start();
    BridgeReply *reply =
        HTTPSendReceive::BridgeGetData(m_browser.data(), m_key, chatOwner(m_role), wait);
    connect(reply, &BridgeReply::answered, this,
            [this, reply, wait, held](const QByteArray &answer) {
                noteAnswer(reply);
                if (answer != "Wait")
                    append(shownLine(answer));
                // As the game's polls: a held answer is followed at once by
                // the next poll, an unheld one after the pause.
                const bool notHeld = answer == "Wait" && held.elapsed() < HeldAtLeastMs;
                if (wait > 0 && reply->holdSeconds() > 0 && !notHeld)
                    pollOnce();
                else
                    pollLater();
            });
    connect(reply, &BridgeReply::failed, this, [this, reply] {
        // The game's polls tell the player when the bridge is away.
        noteAnswer(reply);
        pollLater();
    });
}

void BridgeChat::pollLater()
{
    const int generation = m_generation;
    QTimer::singleShot(BridgeSession::PauseMs, Qt::PreciseTimer, this, [this, generation] {
        if (generation == m_generation)
            pollOnce();
    });
}

bool BridgeChat::send(const QByteArray &typed)
{
    if (!isEnabled() || m_key.isEmpty())
        return false;
    const int end = typed.indexOf('\r') >= 0 ? typed.indexOf('\r') : typed.indexOf('\n');
    QByteArray line = end >= 0 ? typed.left(end) : typed;
    const bool cut = end >= 0 || line.size() > MaxLineChars;
    line.truncate(MaxLineChars);
    const QByteArray message = Messages::chatMessage(m_role, line);
    append(message);
    if (cut)
        append("(the chat line was cut to one line of " + QByteArray::number(MaxLineChars) +
               " characters)");
    if (m_outbox.size() >= MaxWaitingLines) {
        append("(not sent: too many chat lines wait for the bridge server)");
        return true;
    }
    m_outbox.enqueue(message);
    if (!m_posting)
        sendNext();
    return true;
}

void BridgeChat::sendNext()
{
    if (m_closed || !m_browser || m_outbox.isEmpty()) {
        m_posting = false;
        return;
    }
    m_posting = true;
    // Percent-encoded, blanks kept: the bridge turns neither "+", "&", "<"
    // nor "<br>" of a line into something else.
    BridgeReply *reply =
        HTTPSendReceive::BridgeSendData(m_browser.data(), m_key, chatOwner(otherRole(m_role)),
                                        m_outbox.head().toPercentEncoding(" "));
    connect(reply, &BridgeReply::answered, this, [this, reply] {
        noteAnswer(reply);
        m_outbox.dequeue();
        sendNext();
    });
    connect(reply, &BridgeReply::failed, this, [this, reply](const QString &error) {
        noteAnswer(reply);
        // Refused: the bridge took the line, only its answer was refused.
        // Otherwise it may have taken it: posting again could show it twice.
        if (reply->failure() != BridgeReply::Failure::Refused) {
            append("(the chat line \"" + m_outbox.head() +
                   "\" could not be sent and is not "
                   "sent again:)");
            append(GameFolder::fromDisplay(error));
        }
        m_outbox.dequeue();
        sendNext();
    });
}

void BridgeChat::append(const QByteArray &line)
{
    if (m_box)
        m_box->append(line);
}
