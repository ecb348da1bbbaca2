#include "bridgebrowser.h"

#include "httpsendreceive.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

BridgeBrowser::BridgeBrowser(QObject *parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)),
      m_baseUrl(HTTPSendReceive::defaultBridgeUrl())
{
}

BridgeBrowser::~BridgeBrowser()
{
    // Requests still out end without a word: their callers are going too.
    abortRequests();
}

void BridgeBrowser::abortRequests()
{
    const auto replies = findChildren<BridgeReply *>(QString(), Qt::FindDirectChildrenOnly);
    for (BridgeReply *reply : replies)
        reply->abortSilently();
}

void BridgeBrowser::release(QPointer<BridgeBrowser> &browser)
{
    if (!browser)
        return;
    BridgeBrowser *old = browser.data();
    browser.clear();
    old->abortRequests();
    old->setVisible(false);
    old->deleteLater();
}

void BridgeBrowser::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    emit visibleChanged(visible);
}

QUrl BridgeBrowser::pageUrl(const QString &path) const
{
    QUrl url = m_baseUrl;
    QString base = url.path();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    url.setPath(base + path);
    return url;
}

BridgeReply *BridgeBrowser::post(BridgeReply::Page page, const QString &path,
                                 const QByteArray &body, int timeLimitMs)
{
    const QUrl url = pageUrl(path);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    auto *reply = new BridgeReply(page, url, m_network->post(request, body),
                                  timeLimitMs > 0 ? 0 : SlowAnswerMs, timeLimitMs, this);
    connect(reply, &BridgeReply::finished, this, [this, reply]() {
        if (reply->isOk()) {
            emit pageLoaded(reply->url(), reply->pageHtml());
        } else {
            emit requestFailed(reply->url(), reply->errorText());
        }
    });
    return reply;
}
