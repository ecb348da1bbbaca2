#include "bridgesession.h"

#include "bridgechat.h"
#include "bridgereply.h"
#include "commandrelay.h"
#include "httpsendreceive.h"
#include "messages.h"
#include "outputbox.h"

#include <QTimer>

namespace {

/// The other side's role name, which a post addresses.
QByteArray peerOwner(Role role)
{
    return role == Role::Host ? "Client" : "Host";
}

/// The own role name, which a poll asks for.
QByteArray ownOwner(Role role)
{
    return role == Role::Host ? "Host" : "Client";
}

/// True when the answer is none of the messages a poll can bring: an error
/// page, or text that some other program left in the session.
bool isNoMessage(const QByteArray &answer)
{
    return answer != "Wait" && !Messages::isBridgeCommand(answer) && !Messages::hasMap(answer) &&
           !Messages::hasArmy(answer) && !Messages::hasStartData(answer);
}

/// A peer's text fit for the output box: not too long.
QByteArray shortened(const QByteArray &text)
{
    return text.size() > 200 ? text.left(200) + "..." : text;
}

/// A held "Wait" that came back sooner than this was not held.
constexpr qint64 HeldAtLeastMs = 1000;

} // namespace

BridgeSession::BridgeSession(Session *session, const QUrl &bridgeUrl, QObject *parent)
    : QObject(parent), m_session(session), m_chat(new BridgeChat(session->role(), bridgeUrl, this)),
      m_bridgeUrl(bridgeUrl)
{
    connect(m_chat, &BridgeChat::enabledChanged, this, &BridgeSession::controlsChanged);
    m_session->setParent(this);
    m_session->setSendFunction([this](const QByteArray &message) { return post(message); });
    connect(m_session, &Session::controlsChanged, this, &BridgeSession::controlsChanged);
    // Strict turns: after the own command the session waits for the other
    // side's, and the local engine's next command stays where it is.
    connect(m_session->relay(), &CommandRelay::commandSent, this, [this] {
        setTurn(Turn::Other);
        startSessionPolling();
    });
}

BridgeSession::~BridgeSession()
{
    m_closed = true;
    BridgeBrowser::release(m_browser);
}

void BridgeSession::setOutputBox(OutputBox *box)
{
    m_box = box;
    m_session->setOutputBox(box);
    m_chat->setOutputBox(box);
}

void BridgeSession::close()
{
    m_closed = true;
    m_chat->close();
    m_session->gameStopped();
    BridgeBrowser::release(m_browser);
}

BridgeBrowser *BridgeSession::createBrowser()
{
    BridgeBrowser::release(m_browser);
    m_browser = new BridgeBrowser(this);
    m_browser->setBaseUrl(m_bridgeUrl);
    m_browser->setVisible(false);
    return m_browser.data();
}

void BridgeSession::noteHold(const BridgeReply *reply)
{
    // A request that got no answer says nothing about holding.
    if (reply->holdSeconds() >= 0)
        m_holdSeconds = reply->holdSeconds();
    m_chat->noteAnswer(reply);
}

void BridgeSession::append(const QByteArray &line)
{
    if (m_box)
        m_box->append(line);
}

bool BridgeSession::post(const QByteArray &message)
{
    if (m_closed || !m_browser)
        return false;
    m_outbox.enqueue(message);
    if (!m_posting)
        sendNextPost();
    return true;
}

void BridgeSession::sendNextPost()
{
    if (m_closed || m_outbox.isEmpty() || !m_browser) {
        m_posting = false;
        return;
    }
    m_posting = true;
    BridgeReply *reply = HTTPSendReceive::BridgeSendData(
        m_browser.data(), sessionKey(), peerOwner(m_session->role()), m_outbox.head());
    connect(reply, &BridgeReply::slow, this, [this] {
        append("The bridge server is slow to take a message for the other player; the connector "
               "waits for it.");
    });
    connect(reply, &BridgeReply::answered, this, [this, reply] {
        noteHold(reply);
        postTaken();
    });
    connect(reply, &BridgeReply::failed, this, [this, reply](const QString &error) {
        noteHold(reply);
        switch (reply->failure()) {
        case BridgeReply::Failure::NotSent:
            // Not a byte reached the server: posting again cannot give the
            // other side the message twice.
            showBridgeError(Channel::Post,
                            "A message for the other player could not be posted; it is posted "
                            "again in a moment.",
                            error);
            pause([this] { sendNextPost(); });
            return;
        case BridgeReply::Failure::Refused:
            // The server has taken the post; only its answer, which nobody
            // reads, was refused.
            postTaken();
            return;
        default:
            // The server may have stored it: posting it again could make the
            // other side see it twice.
            append("A message for the other player may not have reached the bridge server; it is "
                   "not posted again, so that the other player never gets it twice:");
            append(GameFolder::fromDisplay(error));
            m_outbox.dequeue();
            sendNextPost();
            return;
        }
    });
}

void BridgeSession::postTaken()
{
    // The server's answer to a post is not read.
    bridgeAnswered(Channel::Post);
    m_outbox.dequeue();
    sendNextPost();
}

void BridgeSession::startPolling(AnswerFunction answer, FailureFunction failure)
{
    m_answer = std::move(answer);
    m_failure = std::move(failure);
    if (m_polling) {
        // Asked from inside the handling of an answer that may end the poll
        // (a map that lets the army go out at once): polling goes on.
        m_pollAgain = m_handling;
        return;
    }
    m_polling = true;
    emit controlsChanged();
    pollOnce();
}

void BridgeSession::startSessionPolling()
{
    startPolling([this](const QByteArray &answer) { return m_session->answer(answer); },
                 [this](const QString &error) {
                     showBridgeError(Channel::Poll,
                                     "The bridge server could not be asked for the other player's "
                                     "message; it is asked again in a moment.",
                                     error);
                     return true;
                 });
}

void BridgeSession::pollOnce()
{
    if (m_closed || !m_browser) {
        m_polling = false;
        return;
    }
    const int wait = qMin(m_holdSeconds, HTTPSendReceive::MaxWaitSeconds);
    QElapsedTimer held;
    held.start();
    BridgeReply *reply = HTTPSendReceive::BridgeGetData(m_browser.data(), sessionKey(),
                                                        ownOwner(m_session->role()), wait);
    connect(reply, &BridgeReply::slow, this,
            [this] { append("The bridge server is slow to answer; the connector waits for it."); });
    connect(reply, &BridgeReply::answered, this,
            [this, reply, wait, held](const QByteArray &answer) {
                noteHold(reply);
                bridgeAnswered(Channel::Poll);
                // A bridge that holds: its answer is used at once, and a held
                // "Wait" was the pause. One that does not: the pause follows
                // every request, also the one that brought a message.
                const bool notHeld = wait > 0 && answer == "Wait" && held.elapsed() < HeldAtLeastMs;
                if (reply->holdSeconds() > 0 && !notHeld)
                    pollAnswered(answer);
                else
                    pause([this, answer] { pollAnswered(answer); });
            });
    connect(reply, &BridgeReply::failed, this, [this, reply](const QString &error) {
        noteHold(reply);
        if (reply->failure() == BridgeReply::Failure::Refused) {
            // A page that anyone may have posted into the session: it is
            // dropped, and every one of them is told.
            bridgeAnswered(Channel::Poll);
            append("An answer of the bridge server was refused and dropped; polling goes on:");
            append(GameFolder::fromDisplay(error));
            pause([this] { pollOnce(); });
            return;
        }
        if (m_failure && m_failure(error)) {
            pause([this] { pollOnce(); });
            return;
        }
        m_polling = false;
        emit controlsChanged();
    });
}

void BridgeSession::pollAnswered(const QByteArray &answer)
{
    // A copy: the function may start the next poll, which replaces it.
    const AnswerFunction handle = m_answer;
    m_handling = true;
    m_pollAgain = false;
    const Session::Poll result = handle ? handle(answer) : Session::Poll::Done;
    m_handling = false;
    if (result == Session::Poll::Done && m_pollAgain) {
        pollDone(answer);
        pollOnce();
        return;
    }
    if (result == Session::Poll::Done) {
        m_polling = false;
        // During the game a poll ends with the other side's command: now the
        // local engine's next command may go.
        if (m_session->gameRunning())
            setTurn(Turn::Own);
        pollDone(answer);
        emit controlsChanged();
        return;
    }
    if (isNoMessage(answer) && !m_session->gameRunning()) {
        append("The bridge server gave an answer that is no message; waiting on:");
        append(shortened(answer));
    }
    pollOnce();
}

void BridgeSession::pause(std::function<void()> then)
{
    // A precise timer: a coarse one may end the pause up to 5% early.
    QTimer::singleShot(PauseMs, Qt::PreciseTimer, this, [this, then = std::move(then)] {
        if (!m_closed)
            then();
    });
}

void BridgeSession::showBridgeError(Channel channel, const QByteArray &what, const QString &error)
{
    // A server that stays away would otherwise fill the box every pause.
    QString &last = m_lastError[int(channel)];
    if (error == last)
        return;
    last = error;
    append(what);
    append(GameFolder::fromDisplay(error));
}

void BridgeSession::bridgeAnswered(Channel channel)
{
    QString &last = m_lastError[int(channel)];
    if (last.isEmpty())
        return;
    last.clear();
    append("The bridge server answers again.");
}

void BridgeSession::reportFailure(const QString &text)
{
    if (m_box)
        m_box->replace(GameFolder::fromDisplay(text), true);
    emit failureReported(text);
}

void BridgeSession::setTurn(Turn turn)
{
    m_turn = turn;
    m_session->relay()->setTakingEnabled(turn != Turn::Other);
}
