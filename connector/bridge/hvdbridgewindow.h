#pragma once

#include "bridgesession.h"
#include "sessionwindow.h"

/// What the two HTTP session windows share over their bridge session (the
/// widget-free core that holds the posts, polls, pauses and turns): the
/// output box that shows the session's lines, the box that shows a failure
/// waiting for the player, the chat line (sent only through a bridge that
/// carries chat to a side that reads it, else shown only in the own box), and
/// the end of the session when the window closes.
class HvdBridgeWindow : public SessionWindow
{
    Q_OBJECT

public:
    /// The title of the boxes that report a bridge request's failure.
    static constexpr const char *BridgeErrorTitle = "Bridge Error";

    ~HvdBridgeWindow() override;

    /// The bridge session behind the window.
    BridgeSession *bridgeSession() const { return m_bridge; }

protected:
    HvdBridgeWindow(const GameFolder &folder, Role role, QWidget *parent);

    /// Shows the core's lines in the output box and its failures in a box,
    /// and mirrors its states; called once the derived window made its core.
    void attachBridgeSession(BridgeSession *bridge);

    /// The chat line is enabled while the bridge carries chat and the other
    /// side reads it; the output box then hands the focus on to it.
    void updateChatLine();
    void chatEntered(const QByteArray &line) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showFailure(const QString &text);

    BridgeSession *m_bridge = nullptr;
};
