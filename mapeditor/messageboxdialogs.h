#pragma once

#include "editordialogs.h"

/// The editor's boxes as the author sees them: QMessageBox and QInputDialog.
class MessageBoxDialogs : public EditorDialogs
{
public:
    void message(QWidget *parent, const QString &title, const QString &text) override;
    bool askYesNo(QWidget *parent, const QString &title, const QString &question) override;
    QString input(QWidget *parent, const QString &title, const QString &prompt) override;
};
