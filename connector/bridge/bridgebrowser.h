#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include "bridgereply.h"

class QNetworkAccessManager;

/// The HTTP client that stands in for the browser object of the bridge
/// requests: it posts form bodies to the bridge server's pages and keeps the
/// last page it loaded. It has no window of its own; a window that shows the
/// sessions page follows visible() and pageLoaded().
class BridgeBrowser : public QObject
{
    Q_OBJECT

public:
    /// After how long a request that still waits for its answer says so
    /// (BridgeReply::slow()); it goes on waiting, without a time limit.
    static constexpr int DefaultSlowAnswerMs = 10000;

    /// Starts with the module's default bridge address and slow time
    /// (HTTPSendReceive::defaultBridgeUrl(), defaultSlowAnswerMs()).
    explicit BridgeBrowser(QObject *parent = nullptr);
    ~BridgeBrowser() override;

    /// The server's base address, e.g. http://127.0.0.1:8080; the pages are
    /// "/Bridge/Connect.asp" and so on below it.
    QUrl baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QUrl &url) { m_baseUrl = url; }

    /// After how long a request's reply emits slow().
    int slowAnswerMs() const { return m_slowAnswerMs; }
    void setSlowAnswerMs(int ms) { m_slowAnswerMs = ms; }

    /// Whether a window showing this browser's pages should be on screen.
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    /// The last page loaded (whole HTML as sent by the server) and its address.
    QByteArray lastPage() const { return m_lastPage; }
    QUrl lastUrl() const { return m_lastUrl; }

    /// Posts `body` (already turned into bytes by ToPostBytes) to `path` below
    /// the base address with the form header line. The reply belongs to this
    /// browser; releasing the browser ends it silently.
    BridgeReply *post(BridgeReply::Page page, const QString &path, const QByteArray &body);

    /// Full address of a page path below the base address.
    QUrl pageUrl(const QString &path) const;

    /// Lets go of a browser object: its running requests end without a
    /// signal, it is hidden and deleted once control returns to the event
    /// loop (the caller may be inside one of its replies' signals). The
    /// pointer becomes null; a null pointer is left as it is.
    static void release(QPointer<BridgeBrowser> &browser);

signals:
    void visibleChanged(bool visible);
    /// A page arrived (also an answer shown to nobody).
    void pageLoaded(const QUrl &url, const QByteArray &html);
    /// A request failed; `error` as in BridgeReply::failed().
    void requestFailed(const QUrl &url, const QString &error);

private:
    void abortRequests();

    QNetworkAccessManager *m_network = nullptr;
    QUrl m_baseUrl;
    int m_slowAnswerMs = DefaultSlowAnswerMs;
    bool m_visible = false;
    QByteArray m_lastPage;
    QUrl m_lastUrl;
};
