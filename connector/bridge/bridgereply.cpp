#include "bridgereply.h"

#include "bodyhtml.h"
#include "httpsendreceive.h"

#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

namespace {

// The readable text of an error page, short enough for a message box. A page
// past the answer bounds is read as plain text.
QString errorPageText(const QByteArray &body, const QByteArray &contentType)
{
    QByteArray readable = body.left(4096);
    if (contentType.startsWith("text/html")) {
        QString refused;
        const QByteArray inner = BodyHtml::innerHtml(body, &refused);
        if (refused.isEmpty())
            readable = HTTPSendReceive::lineBreaksToCrLf(inner);
    }
    QString text = QString::fromLatin1(readable);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    text.replace(tag, QStringLiteral(" "));
    text = text.simplified();
    if (text.size() > 300)
        text = text.left(300) + QStringLiteral("...");
    return text;
}

} // namespace

BridgeReply::BridgeReply(Page page, const QUrl &url, QNetworkReply *reply, int slowMs,
                         int timeLimitMs, QObject *parent)
    : QObject(parent), m_page(page), m_url(url), m_reply(reply)
{
    connect(m_reply, &QNetworkReply::finished, this, &BridgeReply::onNetworkFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &BridgeReply::onDownloadProgress);
    if (slowMs > 0) {
        m_slowTimer = new QTimer(this);
        m_slowTimer->setSingleShot(true);
        connect(m_slowTimer, &QTimer::timeout, this, &BridgeReply::onSlow);
        m_slowTimer->start(slowMs);
    }
    if (timeLimitMs > 0) {
        m_limitTimer = new QTimer(this);
        m_limitTimer->setSingleShot(true);
        connect(m_limitTimer, &QTimer::timeout, this, &BridgeReply::onTimeLimit);
        m_limitTimer->start(timeLimitMs);
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
    if (m_slowTimer)
        m_slowTimer->stop();
    if (m_limitTimer)
        m_limitTimer->stop();
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
    if (status.isValid()) {
        // A hostile or garbled value holds nothing: the bridge does not hold.
        bool ok = false;
        const int hold = m_reply->rawHeader("X-Bridge-Hold-Seconds").trimmed().toInt(&ok);
        m_holdSeconds = ok && hold > 0 ? qMin(hold, int(MaxHoldSeconds)) : 0;
        m_chat = m_reply->rawHeader("X-Bridge-Chat").trimmed() == "1";
        m_peerChat = m_reply->rawHeader("X-Bridge-Peer-Chat").trimmed() == "1";
    }
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
        finish(Failure::HttpError, QByteArray(), error.trimmed());
        return;
    }
    if (status.isValid() && status.toInt() >= 300) {
        // A moved bridge is a setting to fix, not a page to take as the answer.
        finish(Failure::HttpError, QByteArray(),
               tr("The bridge server at %1 answered with HTTP status %2, sending the request "
                  "to %3; set the bridge address to the new place.")
                   .arg(address)
                   .arg(status.toInt())
                   .arg(m_reply->header(QNetworkRequest::LocationHeader).toUrl().toString()));
        return;
    }
    switch (m_reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
        // No connection was made, so not a byte of the request went out.
        finish(Failure::NotSent, QByteArray(),
               tr("The bridge server at %1 could not be reached: %2")
                   .arg(address, m_reply->errorString()));
        return;
    default:
        finish(Failure::Lost, QByteArray(),
               tr("The connection to the bridge server at %1 broke before its answer came: %2")
                   .arg(address, m_reply->errorString()));
        return;
    }
    m_html = body;
    // A post's answer is read by nobody, and the sessions page is shown by a
    // window that checks it itself: only the pages whose answer is used are
    // parsed.
    if (m_page == Page::SendData || m_page == Page::Sessions) {
        finish(Failure::None, QByteArray(), QString());
        return;
    }
    QString refused;
    const QByteArray inner = BodyHtml::innerHtml(body, &refused);
    if (!refused.isEmpty()) {
        finish(Failure::Refused, QByteArray(),
               tr("The bridge server at %1 sent an answer that was refused: %2.")
                   .arg(address, refused));
        return;
    }
    finish(Failure::None, HTTPSendReceive::lineBreaksToCrLf(inner), QString());
}

void BridgeReply::onSlow()
{
    if (!m_finished)
        emit slow();
}

void BridgeReply::onTimeLimit()
{
    if (m_finished || !m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    finish(Failure::Lost, QByteArray(),
           tr("The bridge server at %1 gave no answer within %2 seconds.")
               .arg(m_url.toString())
               .arg(m_limitTimer->interval() / 1000));
}

void BridgeReply::onDownloadProgress(qint64 received, qint64 total)
{
    if (m_finished || (received <= MaxAnswerBytes && total <= MaxAnswerBytes))
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    // The server has handled the request; only its answer is not taken. A
    // post's answer is read by nobody: the post went through.
    if (m_page == Page::SendData) {
        finish(Failure::None, QByteArray(), QString());
        return;
    }
    finish(Failure::Refused, QByteArray(),
           tr("The bridge server at %1 sent an answer that was refused: it is larger than %2 "
              "KiB.")
               .arg(m_url.toString())
               .arg(MaxAnswerBytes / 1024));
}

void BridgeReply::finish(Failure failure, const QByteArray &answer, const QString &error)
{
    m_finished = true;
    m_ok = failure == Failure::None;
    m_failure = failure;
    m_answer = answer;
    m_error = error;
    if (m_slowTimer)
        m_slowTimer->stop();
    if (m_limitTimer)
        m_limitTimer->stop();
    if (m_ok)
        emit answered(m_answer);
    else
        emit failed(m_error);
    emit finished();
    deleteLater();
}
