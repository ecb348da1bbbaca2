#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include "answerlimits.h"

class QNetworkReply;
class QTimer;

/// One request to the bridge server, running. It ends exactly once: either
/// with answered() carrying the answer text, or with failed() carrying a
/// clear error that names the server's address and the reason; finished()
/// follows either. The reply deletes itself after finished(); connect to it
/// right after the request call returns (the signals come from the event loop,
/// never from inside the call).
///
/// A request has no time limit of its own: once the server may have it,
/// ending it early could lose a message that the server has already handed
/// out, or make a post that the server has already stored look failed. A
/// request that takes long says so through slow() and goes on waiting. Only
/// a held poll has a time limit: a bridge that holds polls settles an answer
/// that its poller gave up on as not delivered.
class BridgeReply : public QObject
{
    Q_OBJECT

public:
    /// The largest answer page read (see AnswerLimits): a larger one is no
    /// answer and is not held in memory.
    static constexpr qint64 MaxAnswerBytes = AnswerLimits::MaxBytes;

    /// Which page was asked for.
    enum class Page { Connect, SendData, GetData, Sessions };
    Q_ENUM(Page)

    /// How a request ended without an answer.
    enum class Failure {
        None,      ///< it did not fail
        NotSent,   ///< the server was never reached (connection refused, host
                   ///< unknown): the request provably did not arrive
        Refused,   ///< the server answered with a page past AnswerLimits
        HttpError, ///< the server answered with an error status or a redirect
        Lost,      ///< the connection broke after the request may have arrived
    };
    Q_ENUM(Failure)

    /// The largest hold a bridge announces that is believed, in seconds.
    static constexpr int MaxHoldSeconds = 3600;

    /// Called by BridgeBrowser; callers never construct replies themselves.
    /// `slowMs`: after how long slow() is emitted (0: never); `timeLimitMs`:
    /// after how long the request fails as Lost (0: never).
    BridgeReply(Page page, const QUrl &url, QNetworkReply *reply, int slowMs, int timeLimitMs,
                QObject *parent = nullptr);
    ~BridgeReply() override;

    Page page() const { return m_page; }
    /// The full address the form was posted to.
    QUrl url() const { return m_url; }
    bool isFinished() const { return m_finished; }
    /// True when the request ended with an answer (valid after finished()).
    bool isOk() const { return m_ok; }
    /// How the request failed (None while it runs or when it did not).
    Failure failure() const { return m_failure; }
    /// True when the server provably never got the request, so sending it
    /// again cannot make the server see it twice.
    bool notSent() const { return m_failure == Failure::NotSent; }
    /// The answer text: the body's inner HTML with every "<BR>" as CR LF. A
    /// SendData answer is read by nobody and stays empty.
    QByteArray answer() const { return m_answer; }
    /// The whole page as the server sent it (for showing it in a window).
    QByteArray pageHtml() const { return m_html; }
    /// Why the request failed (empty when it did not).
    QString errorText() const { return m_error; }
    /// The longest the server holds a poll, from its header
    /// "X-Bridge-Hold-Seconds" (at most MaxHoldSeconds): 0 when its answer
    /// had no such header, -1 when no answer came at all.
    int holdSeconds() const { return m_holdSeconds; }
    /// The server carries chat lines ("X-Bridge-Chat: 1" on its answer).
    bool announcesChat() const { return m_chat; }
    /// The other side of the session reads its chat lines
    /// ("X-Bridge-Peer-Chat: 1" on the answer).
    bool peerReadsChat() const { return m_peerChat; }

    /// Ends the request without any signal (used when the browser object is
    /// released while a request is still out).
    void abortSilently();

signals:
    /// The server answered with a page; `text` is the answer text.
    void answered(const QByteArray &text);
    /// The request ended without an answer (see failure()); `error` names the
    /// address and the reason.
    void failed(const QString &error);
    /// Follows answered() or failed().
    void finished();
    /// The answer has not come after the reply's slow time; the request goes
    /// on waiting. Emitted at most once.
    void slow();

private:
    void onNetworkFinished();
    void onSlow();
    void onTimeLimit();
    void onDownloadProgress(qint64 received, qint64 total);
    void finish(Failure failure, const QByteArray &answer, const QString &error);

    Page m_page;
    QUrl m_url;
    // Owned by the network manager, which may go first when the browser
    // object is released.
    QPointer<QNetworkReply> m_reply;
    QTimer *m_slowTimer = nullptr;
    QTimer *m_limitTimer = nullptr;
    int m_holdSeconds = -1;
    bool m_chat = false;
    bool m_peerChat = false;
    bool m_finished = false;
    bool m_ok = false;
    Failure m_failure = Failure::None;
    QByteArray m_answer;
    QByteArray m_html;
    QString m_error;
};
