#include "hvdbridgewindow.h"

#include "bridgebrowser.h"
#include "commandrelay.h"
#include "httpsendreceive.h"
#include "messages.h"
#include "outputtextbox.h"

#include <QCloseEvent>
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

} // namespace

HvdBridgeWindow::HvdBridgeWindow(const GameFolder &folder, Role role, const QUrl &bridgeUrl,
                                 int pollPauseMs, QWidget *parent)
    : SessionWindow(folder, role, parent), m_bridgeUrl(bridgeUrl),
      m_pollPauseMs(qMax(0, pollPauseMs))
{
    // The HTTP windows' output box keeps the focus: their chat line stays
    // disabled.
    outputBox()->setPassFocus(false);
}

HvdBridgeWindow::~HvdBridgeWindow()
{
    m_closed = true;
    releaseBrowser();
}

BridgeBrowser *HvdBridgeWindow::createBrowser()
{
    releaseBrowser();
    m_browser = new BridgeBrowser(this);
    m_browser->setBaseUrl(m_bridgeUrl);
    m_browser->setVisible(false);
    return m_browser.data();
}

void HvdBridgeWindow::releaseBrowser()
{
    BridgeBrowser::release(m_browser);
}

bool HvdBridgeWindow::post(const QByteArray &message)
{
    if (m_closed || !m_browser)
        return false;
    m_outbox.enqueue(message);
    if (!m_posting)
        sendNextPost();
    return true;
}

void HvdBridgeWindow::sendNextPost()
{
    if (m_closed || m_outbox.isEmpty() || !m_browser) {
        m_posting = false;
        return;
    }
    m_posting = true;
    BridgeReply *reply = HTTPSendReceive::BridgeSendData(m_browser.data(), sessionKey(),
                                                         peerOwner(role()), m_outbox.head());
    connect(reply, &BridgeReply::slow, this, [this] {
        outputBox()->append("The bridge server is slow to take a message for the other player; "
                            "the connector waits for it.");
    });
    connect(reply, &BridgeReply::answered, this, [this] { postTaken(); });
    connect(reply, &BridgeReply::failed, this, [this, reply](const QString &error) {
        switch (reply->failure()) {
        case BridgeReply::Failure::NotSent:
            // Not a byte reached the server: posting again cannot give the
            // other side the message twice.
            showBridgeError(Channel::Post,
                            "A message for the other player could not be posted; it is posted "
                            "again in a moment.",
                            error);
            PauseSeconds(PollSeconds, [this] { sendNextPost(); });
            return;
        case BridgeReply::Failure::Refused:
            // The server has taken the post; only its answer, which nobody
            // reads, was refused.
            postTaken();
            return;
        default:
            // The server may have stored it: posting it again could make the
            // other side see it twice.
            outputBox()->append("A message for the other player may not have reached the bridge "
                                "server; it is not posted again, so that the other player never "
                                "gets it twice:");
            outputBox()->append(GameFolder::fromDisplay(error));
            m_outbox.dequeue();
            sendNextPost();
            return;
        }
    });
}

void HvdBridgeWindow::postTaken()
{
    // The server's answer to a post is not read.
    bridgeAnswered(Channel::Post);
    m_outbox.dequeue();
    sendNextPost();
}

void HvdBridgeWindow::startPolling(AnswerFunction answer, FailureFunction failure)
{
    m_answer = std::move(answer);
    m_failure = std::move(failure);
    if (m_polling)
        return;
    m_polling = true;
    updateControls();
    pollOnce();
}

void HvdBridgeWindow::startSessionPolling()
{
    startPolling([this](const QByteArray &answer) { return sessionAnswer(answer); },
                 [this](const QString &error) {
                     showBridgeError(Channel::Poll,
                                     "The bridge server could not be asked for the other player's "
                                     "message; it is asked again in a moment.",
                                     error);
                     return true;
                 });
}

void HvdBridgeWindow::pollOnce()
{
    if (m_closed || !m_browser) {
        m_polling = false;
        return;
    }
    BridgeReply *reply =
        HTTPSendReceive::BridgeGetData(m_browser.data(), sessionKey(), ownOwner(role()));
    connect(reply, &BridgeReply::slow, this, [this] {
        outputBox()->append("The bridge server is slow to answer; the connector waits for it.");
    });
    connect(reply, &BridgeReply::answered, this, [this](const QByteArray &answer) {
        bridgeAnswered(Channel::Poll);
        // The pause follows every request, also the one that brought a message.
        PauseSeconds(PollSeconds, [this, answer] { pollAnswered(answer); });
    });
    connect(reply, &BridgeReply::failed, this, [this, reply](const QString &error) {
        if (reply->failure() == BridgeReply::Failure::Refused) {
            // A page that anyone may have posted into the session: it is
            // dropped, and every one of them is told.
            bridgeAnswered(Channel::Poll);
            outputBox()->append("An answer of the bridge server was refused and dropped; polling "
                                "goes on:");
            outputBox()->append(GameFolder::fromDisplay(error));
            PauseSeconds(PollSeconds, [this] { pollOnce(); });
            return;
        }
        if (m_failure && m_failure(error)) {
            PauseSeconds(PollSeconds, [this] { pollOnce(); });
            return;
        }
        m_polling = false;
        updateControls();
    });
}

void HvdBridgeWindow::pollAnswered(const QByteArray &answer)
{
    const Session::Poll result = m_answer ? m_answer(answer) : Session::Poll::Done;
    if (result == Session::Poll::Done) {
        m_polling = false;
        // During the game a poll ends with the other side's command: now the
        // local engine's next command may go.
        if (session()->gameRunning())
            setOwnTurn(true);
        updateControls();
        pollDone(answer);
        return;
    }
    if (isNoMessage(answer) && !session()->gameRunning()) {
        outputBox()->append("The bridge server gave an answer that is no message; waiting on:");
        outputBox()->append(shortened(answer));
    }
    pollOnce();
}

void HvdBridgeWindow::PauseSeconds(int seconds, std::function<void()> then)
{
    const qint64 ms = seconds <= 0 ? 0 : qint64(seconds) * m_pollPauseMs / PollSeconds;
    // A precise timer: a coarse one may end the pause up to 5% early.
    QTimer::singleShot(int(qMin<qint64>(ms, 3600 * 1000)), Qt::PreciseTimer, this,
                       [this, then = std::move(then)] {
                           if (!m_closed)
                               then();
                       });
}
void HvdBridgeWindow::showBridgeError(Channel channel, const QByteArray &what, const QString &error)
{
    // A server that stays away would otherwise fill the box every pause.
    QString &last = m_lastError[int(channel)];
    if (error == last)
        return;
    last = error;
    outputBox()->append(what);
    outputBox()->append(GameFolder::fromDisplay(error));
}

void HvdBridgeWindow::bridgeAnswered(Channel channel)
{
    QString &last = m_lastError[int(channel)];
    if (last.isEmpty())
        return;
    last.clear();
    outputBox()->append("The bridge server answers again.");
}

void HvdBridgeWindow::reportFailure(const QString &text)
{
    outputBox()->replace(GameFolder::fromDisplay(text), true);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    dialogs().message(this, QLatin1String(BridgeErrorTitle), shown.trimmed(),
                      SessionDialogs::Icon::Exclamation);
}

void HvdBridgeWindow::chatEntered(const QByteArray &line)
{
    // Over the bridge a chat line is only shown in the own box.
    session()->chatEntered(line);
}

void HvdBridgeWindow::closeEvent(QCloseEvent *event)
{
    // The game-running flag is cleared, polls and posts end and the browser
    // object is released; the other side is not told.
    m_closed = true;
    session()->gameStopped();
    releaseBrowser();
    SessionWindow::closeEvent(event);
}

void HvdBridgeWindow::attachSession()
{
    Session *s = session();
    s->setOutputBox(outputBox());
    s->setSendFunction([this](const QByteArray &message) { return post(message); });
    connect(s, &Session::controlsChanged, this, &HvdBridgeWindow::updateControls);
    connect(s->relay(), &CommandRelay::commandSent, this, &HvdBridgeWindow::onCommandSent);
}

void HvdBridgeWindow::setOwnTurn(bool ownTurn)
{
    session()->relay()->setTakingEnabled(ownTurn);
}

void HvdBridgeWindow::onCommandSent()
{
    // Strict turns: after the own command the window waits for the other
    // side's, and the local engine's next command stays where it is.
    setOwnTurn(false);
    startSessionPolling();
}
