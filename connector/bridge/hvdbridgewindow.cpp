#include "hvdbridgewindow.h"

#include "bridgechat.h"
#include "outputtextbox.h"

#include <QCloseEvent>
#include <QLineEdit>

HvdBridgeWindow::HvdBridgeWindow(const GameFolder &folder, Role role, QWidget *parent)
    : SessionWindow(folder, role, parent)
{
    // The HTTP windows' output box keeps the focus while their chat line is
    // disabled.
    outputBox()->setPassFocus(false);
}

HvdBridgeWindow::~HvdBridgeWindow() = default;

void HvdBridgeWindow::attachBridgeSession(BridgeSession *bridge)
{
    m_bridge = bridge;
    bridge->setOutputBox(outputBox());
    connect(bridge, &BridgeSession::controlsChanged, this, &HvdBridgeWindow::updateControls);
    connect(bridge, &BridgeSession::failureReported, this, &HvdBridgeWindow::showFailure);
}

void HvdBridgeWindow::showFailure(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    dialogs().message(this, QLatin1String(BridgeErrorTitle), shown.trimmed(),
                      SessionDialogs::Icon::Exclamation);
}

void HvdBridgeWindow::updateChatLine()
{
    const bool enabled = m_bridge->chat()->isEnabled();
    chatLine()->setEnabled(enabled);
    outputBox()->setPassFocus(enabled);
}

void HvdBridgeWindow::chatEntered(const QByteArray &line)
{
    // Without chat through the bridge the line is only shown in the own box.
    if (!m_bridge->chat()->send(line))
        m_bridge->session()->chatEntered(line);
}

void HvdBridgeWindow::closeEvent(QCloseEvent *event)
{
    m_bridge->close();
    SessionWindow::closeEvent(event);
}
