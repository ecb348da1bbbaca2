#include "messageboxdialogs.h"

#include <QInputDialog>
#include <QMessageBox>

void MessageBoxDialogs::message(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

bool MessageBoxDialogs::askYesNo(QWidget *parent, const QString &title, const QString &question)
{
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

QString MessageBoxDialogs::input(QWidget *parent, const QString &title, const QString &prompt)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}
