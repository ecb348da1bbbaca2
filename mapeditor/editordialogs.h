#pragma once

#include <QString>

class QWidget;

/// The message boxes and the input box of the editor window. The window shows
/// every box through this object, so a test can put in one that answers and
/// records the boxes instead of showing them.
class EditorDialogs
{
public:
    virtual ~EditorDialogs() = default;

    /// A modal box with an OK button.
    virtual void message(QWidget *parent, const QString &title, const QString &text) = 0;
    /// A modal box with Yes and No buttons; true for Yes.
    virtual bool askYesNo(QWidget *parent, const QString &title, const QString &question) = 0;
    /// A modal input box with an empty default answer; the typed text, or an
    /// empty text when cancelled.
    virtual QString input(QWidget *parent, const QString &title, const QString &prompt) = 0;
};
