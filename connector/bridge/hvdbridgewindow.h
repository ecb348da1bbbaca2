#pragma once

#include "bridgebrowser.h"
#include "session.h"
#include "sessionwindow.h"

#include <QByteArray>
#include <QPointer>
#include <QQueue>
#include <QUrl>
#include <functional>

/// What the two HTTP session windows share: their browser object for the
/// bridge requests, the posts to the other role (in order; one that provably
/// did not reach the server is tried again after a pause, one that may have
/// reached it never, so the other side never sees a message twice), the poll
/// of the own role
/// with its pause between two requests, the alternation of turns during the
/// game, and the release of everything when the window closes.
///
/// The poll and the pause are event-driven: a request is sent, its answer
/// arrives as a signal, and the pause is a single-shot timer, so the window
/// stays responsive and idles while it waits.
class HvdBridgeWindow : public SessionWindow
{
    Q_OBJECT

public:
    /// The pause after every poll request, in seconds.
    static constexpr int PollSeconds = 5;

    ~HvdBridgeWindow() override;

    /// The bridge server the window's requests go to.
    QUrl bridgeUrl() const { return m_bridgeUrl; }
    /// The pause after every poll request, in milliseconds (5000 unless a test
    /// shortens it).
    int pollPauseMs() const { return m_pollPauseMs; }

    /// The window's current browser object; null before the window made one.
    BridgeBrowser *browser() const { return m_browser.data(); }
    /// True while a poll waits for a message of the other side.
    bool isPolling() const { return m_polling; }
    /// Messages still waiting to be taken by the bridge server.
    int pendingPosts() const { return int(m_outbox.size()); }

    /// The session object of the window.
    virtual Session *session() const = 0;

protected:
    HvdBridgeWindow(const GameFolder &folder, Role role, const QUrl &bridgeUrl, int pollPauseMs,
                    QWidget *parent);

    /// The Session ID as the requests send it.
    virtual QByteArray sessionKey() const = 0;
    /// The session's steps for one answer of the poll for the other side's
    /// message (the army or start data message, or a command).
    virtual Session::Poll sessionAnswer(const QByteArray &answer) = 0;

    /// Creates a new browser object for the window's requests; the previous
    /// one is released (its running requests end silently).
    BridgeBrowser *createBrowser();
    void releaseBrowser();

    /// Posts a message for the other role. Posts leave in the order given,
    /// one at a time. A post that could not reach the server (connection
    /// refused, host unknown) is shown and tried again after the pause; one
    /// whose answer was lost after the server may have stored it is shown
    /// and not posted again. Requests have no time limit; a slow one is told
    /// in the output box.
    bool post(const QByteArray &message);

    /// What the window does with one poll answer; Done ends the poll.
    using AnswerFunction = std::function<Session::Poll(const QByteArray &answer)>;
    /// What the window does when a poll request fails; true keeps polling
    /// after the pause, false ends the poll.
    using FailureFunction = std::function<bool(const QString &error)>;
    /// Polls the own role until answer() says Done: a request, then the pause
    /// (also after a request that brought a message), then the answer is
    /// used. Answers that are no message at all, and pages refused by
    /// AnswerLimits, are shown and polling goes on.
    void startPolling(AnswerFunction answer, FailureFunction failure);
    /// Polls through the session's answer steps; a failed request is shown and
    /// polling goes on after the pause.
    void startSessionPolling();

    /// Waits `seconds` (each second a fifth of the poll pause, so a second
    /// unless a test shortened the pause) and then runs `then`, unless the
    /// window has closed meanwhile. Nothing blocks: the event loop runs on.
    /// Zero or less runs `then` at the next turn of the event loop.
    void PauseSeconds(int seconds, std::function<void()> then);

    /// The two kinds of request that are tried again by themselves.
    enum class Channel { Post, Poll };
    /// Shows a failure of a request that is tried again by itself, below
    /// what the output box holds: once while the server keeps failing the
    /// same way, and a line when it answers again.
    void showBridgeError(Channel channel, const QByteArray &what, const QString &error);
    /// A request went through: ends a run of failures.
    void bridgeAnswered(Channel channel);

    /// The title of the boxes that report a bridge request's failure.
    static constexpr const char *BridgeErrorTitle = "Bridge Error";
    /// A failure that waits for the player: `text` (CR LF line ends)
    /// replaces the output box and is shown in a box.
    void reportFailure(const QString &text);

    /// Called when a poll has ended with `answer`, the message that was used.
    virtual void pollDone(const QByteArray &answer) { Q_UNUSED(answer) }

    void chatEntered(const QByteArray &line) override;
    void closeEvent(QCloseEvent *event) override;

    /// Connects the session's and its relay's signals to the window; called
    /// by the derived window once its session exists.
    void attachSession();

    /// Lets the local engine's next command be taken (true) or holds it back
    /// until the other side's command has arrived (false).
    void setOwnTurn(bool ownTurn);

private:
    void pollOnce();
    void pollAnswered(const QByteArray &answer);
    void sendNextPost();
    void postTaken();
    void onCommandSent();

    QUrl m_bridgeUrl;
    int m_pollPauseMs;
    QPointer<BridgeBrowser> m_browser;
    QQueue<QByteArray> m_outbox;
    bool m_posting = false;
    bool m_polling = false;
    bool m_closed = false;
    QString m_lastError[2]; // by Channel
    AnswerFunction m_answer;
    FailureFunction m_failure;
};
