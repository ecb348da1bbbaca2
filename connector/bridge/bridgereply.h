#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkReply;
class QTimer;

/// One request to the bridge server, running. It ends exactly once: either
/// with answered() carrying the answer text, or with failed() carrying a
/// clear error that names the server's address and the reason; finished()
/// follows either. The reply deletes itself after finished(); connect to it
/// right after the request call returns (the signals come from the event loop,
/// never from inside the call).
class BridgeReply : public QObject
{
    Q_OBJECT

public:
    /// The largest answer page read: far above any page of the bridge server
    /// (a message is at most 64 KiB), so a larger one is no answer and is not
    /// held in memory.
    static constexpr qint64 MaxAnswerBytes = 4 * 1024 * 1024;

    /// Which page was asked for.
    enum class Page { Connect, SendData, GetData, Sessions };
    Q_ENUM(Page)

    /// Called by BridgeBrowser; callers never construct replies themselves.
    BridgeReply(Page page, const QUrl &url, QNetworkReply *reply, int timeoutMs,
                QObject *parent = nullptr);
    ~BridgeReply() override;

    Page page() const { return m_page; }
    /// The full address the form was posted to.
    QUrl url() const { return m_url; }
    bool isFinished() const { return m_finished; }
    /// True when the request ended with an answer (valid after finished()).
    bool isOk() const { return m_ok; }
    /// The answer text: the body's inner HTML with every "<BR>" as CR LF.
    QByteArray answer() const { return m_answer; }
    /// The whole page as the server sent it (for showing it in a window).
    QByteArray pageHtml() const { return m_html; }
    /// Why the request failed (empty when it did not).
    QString errorText() const { return m_error; }

    /// Ends the request without any signal (used when the browser object is
    /// released while a request is still out).
    void abortSilently();

signals:
    /// The server answered with a page; `text` is the answer text.
    void answered(const QByteArray &text);
    /// The server could not be reached, answered with an HTTP error, did not
    /// answer in time or sent more than MaxAnswerBytes; `error` names the
    /// address and the reason.
    void failed(const QString &error);
    /// Follows answered() or failed().
    void finished();

private:
    void onNetworkFinished();
    void onTimeout();
    void onDownloadProgress(qint64 received, qint64 total);
    void finish(bool ok, const QByteArray &answer, const QString &error);

    Page m_page;
    QUrl m_url;
    // Owned by the network manager, which may go first when the browser
    // object is released.
    QPointer<QNetworkReply> m_reply;
    QTimer *m_timer = nullptr;
    int m_timeoutMs = 0;
    bool m_finished = false;
    bool m_ok = false;
    QByteArray m_answer;
    QByteArray m_html;
    QString m_error;
};
