#include "hvdsessionsview.h"

#include "answerlimits.h"
#include "bridgebrowser.h"

#include <QTextBrowser>
#include <QVBoxLayout>

HvdSessionsView::HvdSessionsView(BridgeBrowser *browser, QWidget *parent)
    : QWidget(parent, Qt::Window), m_browser(browser), m_text(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("HvdSessionsView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Open Sessions"));
    resize(480, 320);
    setAccessibleName(windowTitle());
    setAccessibleDescription(objectName());

    m_text->setObjectName(QStringLiteral("txtSessions"));
    m_text->setAccessibleName(tr("Open Sessions"));
    m_text->setAccessibleDescription(m_text->objectName());
    m_text->setOpenLinks(false);
    m_text->setTextInteractionFlags(Qt::TextBrowserInteraction);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_text);

    if (!browser) {
        m_text->setPlainText(tr("There is no bridge browser to show."));
        return;
    }
    m_text->setPlainText(
        tr("Loading the open sessions from %1 ...")
            .arg(browser->pageUrl(QStringLiteral("/Bridge/Sessions.asp")).toString()));
    connect(browser, &BridgeBrowser::visibleChanged, this, &HvdSessionsView::onVisibleChanged);
    connect(browser, &BridgeBrowser::pageLoaded, this, &HvdSessionsView::onPageLoaded);
    connect(browser, &BridgeBrowser::requestFailed, this, &HvdSessionsView::onRequestFailed);
    connect(browser, &QObject::destroyed, this, &QWidget::close);
    if (browser->isVisible())
        show();
}

QString HvdSessionsView::shownText() const
{
    return m_text->toPlainText();
}

void HvdSessionsView::onVisibleChanged(bool visible)
{
    setVisible(visible);
    if (visible)
        raise();
}

// The browser also carries the game's other requests; only the sessions
// page belongs in this window.
static bool isSessionsPage(const QUrl &url)
{
    return url.path().endsWith(QLatin1String("/Sessions.asp"), Qt::CaseInsensitive);
}

void HvdSessionsView::onPageLoaded(const QUrl &url, const QByteArray &html)
{
    if (!isSessionsPage(url))
        return;
    // The page is laid out by the text browser: a page nested too deep or
    // with too many tags is not given to it.
    const QString refused = AnswerLimits::problem(html);
    if (!refused.isEmpty()) {
        m_text->setPlainText(
            tr("The list of open sessions from %1 was refused: %2.").arg(url.toString(), refused));
        return;
    }
    // Bytes are one per character; the server writes no scripts or images.
    m_text->setHtml(QString::fromLatin1(html));
    setWindowTitle(tr("Open Sessions - %1").arg(url.toString()));
}

void HvdSessionsView::onRequestFailed(const QUrl &url, const QString &error)
{
    if (!isSessionsPage(url))
        return;
    m_text->setPlainText(error);
}
