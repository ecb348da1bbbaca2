#pragma once

#include "bridgebrowser.h"
#include "session.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QUrl>
#include <functional>

class BridgeChat;
class BridgeReply;
class OutputBox;

/// What the bridge sessions of both roles share, without a widget: the
/// session's protocol object, its browser object for the bridge requests,
/// the posts to the other role, the poll of the own role with its pauses,
/// the turns of the game, and the end of everything when the window closes.
///
/// Posts leave in order, one at a time. One that provably did not reach the
/// server is tried again after the pause; one that may have reached it never,
/// so the other side never sees a message twice.
///
/// Polls: against a bridge that does not hold, every poll is followed by the
/// pause of PauseMs (also the one that brought a message) before its answer
/// is used, a timer that is never shorter. Once an answer of the bridge has
/// announced holding (X-Bridge-Hold-Seconds: N), every poll asks to be held
/// for W = min(N, 25) seconds: a held answer is used at once and the next
/// poll follows at once. After a failure (no answer, an error status, the
/// bridge away, a refused page) the pause stays, so a dead bridge is never
/// hammered; so does a "Wait" that a holding bridge gave back within a
/// second (a bridge that announces holding but does not hold).
class BridgeSession : public QObject
{
    Q_OBJECT

public:
    /// The pause after a poll of a bridge that does not hold, and after a
    /// failure, in milliseconds.
    static constexpr int PauseMs = 5000;

    /// Whose move it is while the game runs. The host moves first; then the
    /// two sides strictly alternate.
    enum class Turn {
        NotPlaying, ///< the game has not started
        Own,        ///< the local engine's next command may go
        Other,      ///< the other side's command is awaited; the own waits
    };
    Q_ENUM(Turn)

    ~BridgeSession() override;

    /// The protocol object (messages, completion step, relay, button states).
    Session *session() const { return m_session; }
    QUrl bridgeUrl() const { return m_bridgeUrl; }
    /// The current browser object; null before one was made.
    BridgeBrowser *browser() const { return m_browser.data(); }
    /// The chat lines through the bridge, beside the game's messages.
    BridgeChat *chat() const { return m_chat; }
    /// Where the session's lines go; may be null.
    void setOutputBox(OutputBox *box);

    /// True while a poll waits for a message of the other side.
    bool isPolling() const { return m_polling; }
    /// Messages still waiting to be taken by the bridge server.
    int pendingPosts() const { return int(m_outbox.size()); }
    /// The longest the bridge holds a poll, as its last answer announced;
    /// 0 for a bridge that does not hold.
    int holdSeconds() const { return m_holdSeconds; }
    Turn turn() const { return m_turn; }

    /// The window unloads: the game-running flag is cleared, polls and posts
    /// end and the browser object is released; the other side is not told.
    void close();

signals:
    /// Polling, a kept message, registration or the turn changed; the window
    /// mirrors the button states again.
    void controlsChanged();
    /// A failure that waits for the player; the output box already holds
    /// `text` (CR LF line ends). The window shows it in a box.
    void failureReported(const QString &text);

protected:
    /// Takes `session` over; its send function becomes post().
    BridgeSession(Session *session, const QUrl &bridgeUrl, QObject *parent);

    /// The Session ID as the requests send it.
    virtual QByteArray sessionKey() const = 0;
    /// Called when a poll has ended with `answer`, the message that was used.
    virtual void pollDone(const QByteArray &answer) { Q_UNUSED(answer) }

    /// Creates a new, invisible browser object for the requests; the previous
    /// one is released (its running requests end silently).
    BridgeBrowser *createBrowser();
    OutputBox *outputBox() const { return m_box; }
    bool isClosed() const { return m_closed; }

    /// Takes the bridge's announcement of holding from an answer.
    void noteHold(const BridgeReply *reply);

    /// Posts a message for the other role (see the class comment). A slow
    /// answer is told in the output box.
    bool post(const QByteArray &message);

    /// What the session does with one poll answer; Done ends the poll.
    using AnswerFunction = std::function<Session::Poll(const QByteArray &answer)>;
    /// What the session does when a poll request fails; true keeps polling
    /// after the pause, false ends the poll.
    using FailureFunction = std::function<bool(const QString &error)>;
    /// Polls the own role until answer() says Done. Answers that are no
    /// message at all, and pages refused by AnswerLimits, are shown and
    /// polling goes on.
    void startPolling(AnswerFunction answer, FailureFunction failure);
    /// Polls through the session's answer steps; a failed request is shown
    /// and polling goes on after the pause.
    void startSessionPolling();

    /// Replaces the output box with `text` and reports it as a failure that
    /// waits for the player.
    void reportFailure(const QString &text);

    void setTurn(Turn turn);

private:
    enum class Channel { Post, Poll };
    void pause(std::function<void()> then);
    void pollOnce();
    void pollAnswered(const QByteArray &answer);
    void sendNextPost();
    void postTaken();
    void showBridgeError(Channel channel, const QByteArray &what, const QString &error);
    void bridgeAnswered(Channel channel);
    void append(const QByteArray &line);

    Session *m_session;
    BridgeChat *m_chat;
    QUrl m_bridgeUrl;
    QPointer<BridgeBrowser> m_browser;
    OutputBox *m_box = nullptr;
    QQueue<QByteArray> m_outbox;
    bool m_posting = false;
    bool m_polling = false;
    bool m_handling = false;  // an answer is being handled
    bool m_pollAgain = false; // a poll was asked for meanwhile
    bool m_closed = false;
    int m_holdSeconds = 0;
    Turn m_turn = Turn::NotPlaying;
    QString m_lastError[2]; // by Channel
    AnswerFunction m_answer;
    FailureFunction m_failure;
};
