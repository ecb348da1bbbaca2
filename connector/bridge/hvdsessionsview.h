#pragma once

#include <QPointer>
#include <QWidget>

#include "bridgebrowser.h"

class QTextBrowser;

/// The window that shows the bridge server's list of open sessions: it
/// follows one BridgeBrowser, appearing when the browser is made visible,
/// hiding when it is made invisible, showing each page the browser loads (or
/// the error of a failed request), and closing when the browser is released.
/// The text can be selected, so the player can copy a Session ID.
class HvdSessionsView : public QWidget
{
    Q_OBJECT

public:
    /// Follows `browser`; the window deletes itself when closed or when the
    /// browser goes away.
    explicit HvdSessionsView(BridgeBrowser *browser, QWidget *parent = nullptr);

    /// The text shown (plain), for tests and screen readers.
    QString shownText() const;

private:
    void onVisibleChanged(bool visible);
    void onPageLoaded(const QUrl &url, const QByteArray &html);
    void onRequestFailed(const QUrl &url, const QString &error);

    QPointer<BridgeBrowser> m_browser;
    QTextBrowser *m_text = nullptr;
};
