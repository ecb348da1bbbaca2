#include "bridgereply.h"

#include "httpsendreceive.h"

#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

namespace {

// The readable text of an error page, short enough for a message box.
QString errorPageText(const QByteArray &body, const QByteArray &contentType)
{
    QString text = QString::fromLatin1(
        contentType.startsWith("text/html") ? HTTPSendReceive::answerText(body) : body);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    text.replace(tag, QStringLiteral(" "));
    text = text.simplified();
    if (text.size() > 300)
        text = text.left(300) + QStringLiteral("...");
    return text;
}

} // namespace

BridgeReply::BridgeReply(Page page, const QUrl &url, QNetworkReply *reply, int timeoutMs,
                         QObject *parent)
    : QObject(parent), m_page(page), m_url(url), m_reply(reply), m_timeoutMs(timeoutMs)
{
    connect(m_reply, &QNetworkReply::finished, this, &BridgeReply::onNetworkFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &BridgeReply::onDownloadProgress);
    if (m_timeoutMs > 0) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, &BridgeReply::onTimeout);
        m_timer->start(m_timeoutMs);
    }
}

BridgeReply::~BridgeReply()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void BridgeReply::abortSilently()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_timer)
        m_timer->stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
    deleteLater();
}

void BridgeReply::onNetworkFinished()
{
    if (m_finished)
        return;
    const QByteArray body = m_reply->readAll();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QString address = m_url.toString();
    if (status.isValid() && status.toInt() >= 400) {
        // The server's error pages explain themselves; show that text, not
        // the page as if it were an answer.
        const QString why = errorPageText(
            body,
            m_reply->header(QNetworkRequest::ContentTypeHeader).toString().toLatin1().toLower());
        QString error =
            tr("The bridge server at %1 answered with HTTP status %2 %3")
                .arg(address)
                .arg(status.toInt())
                .arg(m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
        if (!why.isEmpty())
            error += QStringLiteral(": ") + why;
        finish(false, QByteArray(), error.trimmed());
        return;
    }
    if (status.isValid() && status.toInt() >= 300) {
        // A moved bridge is a setting to fix, not a page to take as the answer.
        finish(false, QByteArray(),
               tr("The bridge server at %1 answered with HTTP status %2, sending the request "
                  "to %3; set the bridge address to the new place.")
                   .arg(address)
                   .arg(status.toInt())
                   .arg(m_reply->header(QNetworkRequest::LocationHeader).toUrl().toString()));
        return;
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        finish(false, QByteArray(),
               tr("The bridge server at %1 could not be reached: %2")
                   .arg(address, m_reply->errorString()));
        return;
    }
    m_html = body;
    finish(true, HTTPSendReceive::answerText(body), QString());
}

void BridgeReply::onTimeout()
{
    if (m_finished)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    finish(false, QByteArray(),
           tr("The bridge server at %1 did not answer within %2 seconds.")
               .arg(m_url.toString())
               .arg(m_timeoutMs / 1000.0));
}

void BridgeReply::onDownloadProgress(qint64 received, qint64 total)
{
    if (m_finished || (received <= MaxAnswerBytes && total <= MaxAnswerBytes))
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    finish(false, QByteArray(),
           tr("The bridge server at %1 sent an answer larger than %2 KiB; it was not read.")
               .arg(m_url.toString())
               .arg(MaxAnswerBytes / 1024));
}

void BridgeReply::finish(bool ok, const QByteArray &answer, const QString &error)
{
    m_finished = true;
    m_ok = ok;
    m_answer = answer;
    m_error = error;
    if (m_timer)
        m_timer->stop();
    if (ok)
        emit answered(m_answer);
    else
        emit failed(m_error);
    emit finished();
    deleteLater();
}
