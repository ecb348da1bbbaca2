#include "sessiondialogs.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {

std::shared_ptr<SessionDialogs> &currentDialogs()
{
    static std::shared_ptr<SessionDialogs> dialogs = std::make_shared<SessionDialogs>();
    return dialogs;
}

QMessageBox::Icon toMessageBoxIcon(SessionDialogs::Icon icon)
{
    switch (icon) {
    case SessionDialogs::Icon::None:
        return QMessageBox::NoIcon;
    case SessionDialogs::Icon::Information:
        return QMessageBox::Information;
    case SessionDialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case SessionDialogs::Icon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void SessionDialogs::message(QWidget *parent, const QString &title, const QString &text, Icon icon)
{
    auto *box = new QMessageBox(toMessageBoxIcon(icon), title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("SessionMessage"));
    box->open();
}

QString SessionDialogs::input(QWidget *parent, const QString &title, const QString &prompt)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

std::shared_ptr<SessionDialogs> SessionDialogs::current()
{
    return currentDialogs();
}

void SessionDialogs::setCurrent(std::shared_ptr<SessionDialogs> dialogs)
{
    currentDialogs() = dialogs ? std::move(dialogs) : std::make_shared<SessionDialogs>();
}
