#include "httpsendreceive.h"

#include "bodyhtml.h"

namespace {

BridgeReply *postForm(BridgeBrowser *browser, BridgeReply::Page page, const QString &path,
                      const QByteArray &form, int timeLimitMs = 0)
{
    if (!browser)
        return nullptr;
    // A body starts as one zero byte, which an empty form leaves as it is.
    QByteArray body(1, '\0');
    HTTPSendReceive::ToPostBytes(body, form);
    return browser->post(page, path, body, timeLimitMs);
}

} // namespace

namespace HTTPSendReceive {

QUrl defaultBridgeUrl()
{
    return QUrl(QStringLiteral(HVD_BRIDGE_URL));
}

BridgeReply *BridgeConnect(BridgeBrowser *browser, const QByteArray &sessionName)
{
    return postForm(browser, BridgeReply::Page::Connect, QStringLiteral("/Bridge/Connect.asp"),
                    connectForm(sessionName));
}

BridgeReply *BridgeSendData(BridgeBrowser *browser, const QByteArray &key, const QByteArray &owner,
                            const QByteArray &data)
{
    return postForm(browser, BridgeReply::Page::SendData, QStringLiteral("/Bridge/SendData.asp"),
                    sendDataForm(key, owner, data));
}

BridgeReply *BridgeGetData(BridgeBrowser *browser, const QByteArray &key, const QByteArray &owner,
                           int waitSeconds)
{
    const int wait = qBound(0, waitSeconds, MaxWaitSeconds);
    return postForm(browser, BridgeReply::Page::GetData, QStringLiteral("/Bridge/GetData.asp"),
                    getDataForm(key, owner, wait),
                    wait > 0 ? (wait + HeldPollGraceSeconds) * 1000 : 0);
}

BridgeReply *BridgeSessions(BridgeBrowser *browser)
{
    if (!browser)
        return nullptr;
    browser->setVisible(true);
    return postForm(browser, BridgeReply::Page::Sessions, QStringLiteral("/Bridge/Sessions.asp"),
                    QByteArray());
}

void ToPostBytes(QByteArray &bytes, const QByteArray &text)
{
    if (text.isEmpty())
        return;
    bytes = text;
    bytes.replace(' ', '+');
}

QByteArray connectForm(const QByteArray &sessionName)
{
    return "SessionName=" + sessionName;
}

QByteArray sendDataForm(const QByteArray &key, const QByteArray &owner, const QByteArray &data)
{
    QByteArray lines = data;
    lines.replace("\r\n", "<br>");
    return "SessionKey=" + key + "&DataOwner=" + owner + "&SessionData=" + lines;
}

QByteArray getDataForm(const QByteArray &key, const QByteArray &owner, int waitSeconds)
{
    QByteArray form = "SessionKey=" + key + "&DataOwner=" + owner;
    if (waitSeconds > 0)
        form += "&WaitSeconds=" + QByteArray::number(waitSeconds);
    return form;
}

QByteArray answerText(const QByteArray &pageHtml)
{
    return lineBreaksToCrLf(BodyHtml::innerHtml(pageHtml));
}

QByteArray lineBreaksToCrLf(const QByteArray &innerHtml)
{
    QByteArray text = innerHtml;
    text.replace("<BR>", "\r\n");
    return text;
}

} // namespace HTTPSendReceive
