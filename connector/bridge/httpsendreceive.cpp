#include "httpsendreceive.h"

#include "bodyhtml.h"

#include <QPointer>

namespace {

QPointer<BridgeBrowser> s_browser;
QUrl s_defaultUrl;
bool s_defaultUrlSet = false;
int s_defaultSlowAnswerMs = BridgeBrowser::DefaultSlowAnswerMs;

BridgeReply *postForm(BridgeBrowser *browser, BridgeReply::Page page, const QString &path,
                      const QByteArray &form)
{
    if (!browser)
        return nullptr;
    // A body starts as one zero byte, which an empty form leaves as it is.
    QByteArray body(1, '\0');
    HTTPSendReceive::ToPostBytes(body, form);
    return browser->post(page, path, body);
}

} // namespace

namespace HTTPSendReceive {

BridgeBrowser *bridgeBrowser()
{
    return s_browser.data();
}

BridgeBrowser *createBridgeBrowser()
{
    releaseBridgeBrowser();
    s_browser = new BridgeBrowser();
    s_browser->setVisible(false);
    return s_browser.data();
}

void releaseBridgeBrowser()
{
    BridgeBrowser::release(s_browser);
}

QUrl defaultBridgeUrl()
{
    if (s_defaultUrlSet)
        return s_defaultUrl;
    return QUrl(QStringLiteral(HVD_BRIDGE_URL));
}

void setDefaultBridgeUrl(const QUrl &url)
{
    s_defaultUrl = url;
    s_defaultUrlSet = true;
}

int defaultSlowAnswerMs()
{
    return s_defaultSlowAnswerMs;
}

void setDefaultSlowAnswerMs(int ms)
{
    s_defaultSlowAnswerMs = ms;
}

BridgeReply *BridgeConnect(const QByteArray &sessionName)
{
    return BridgeConnect(s_browser.data(), sessionName);
}

BridgeReply *BridgeSendData(const QByteArray &key, const QByteArray &owner, const QByteArray &data)
{
    return BridgeSendData(s_browser.data(), key, owner, data);
}

BridgeReply *BridgeGetData(const QByteArray &key, const QByteArray &owner)
{
    return BridgeGetData(s_browser.data(), key, owner);
}

BridgeReply *BridgeSessions()
{
    return BridgeSessions(s_browser.data());
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

BridgeReply *BridgeGetData(BridgeBrowser *browser, const QByteArray &key, const QByteArray &owner)
{
    return postForm(browser, BridgeReply::Page::GetData, QStringLiteral("/Bridge/GetData.asp"),
                    getDataForm(key, owner));
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

QByteArray getDataForm(const QByteArray &key, const QByteArray &owner)
{
    return "SessionKey=" + key + "&DataOwner=" + owner;
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
