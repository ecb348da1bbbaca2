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
    static constexpr int SlowAnswerMs = 10000;

    /// Starts with the bridge address of the build setting
    /// (HTTPSendReceive::defaultBridgeUrl()).
    explicit BridgeBrowser(QObject *parent = nullptr);
    ~BridgeBrowser() override;

    /// The server's base address, e.g. http://127.0.0.1:8080; the pages are
    /// "/Bridge/Connect.asp" and so on below it.
    QUrl baseUrl() const { return m_baseUrl; }
    void setBaseUrl(const QUrl &url) { m_baseUrl = url; }

    /// Whether a window showing this browser's pages should be on screen.
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    /// Posts `body` (already turned into bytes by ToPostBytes) to `path` below
    /// the base address with the form header line. The reply belongs to this
    /// browser; releasing the browser ends it silently. Without a time limit
    /// the reply says after SlowAnswerMs that it is slow; with one (a held
    /// poll, whose slowness is its point) it fails once the limit has passed.
    BridgeReply *post(BridgeReply::Page page, const QString &path, const QByteArray &body,
                      int timeLimitMs = 0);

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
    bool m_visible = false;
};
