#pragma once

#include <QString>
#include <memory>

class QWidget;

/// The message boxes and input boxes of the session windows. The windows show
/// every box through this object, so a test can put in one that answers and
/// records the boxes instead of showing them.
class SessionDialogs
{
public:
    enum class Icon { None, Information, Exclamation, Critical };

    virtual ~SessionDialogs() = default;

    /// A box with an OK button. The default one is window-modal and does not
    /// block the caller: the event loop (sockets, the relay) keeps running.
    virtual void message(QWidget *parent, const QString &title, const QString &text, Icon icon);

    /// A modal input box; the typed text, or an empty text when cancelled.
    virtual QString input(QWidget *parent, const QString &title, const QString &prompt);

    /// The dialogs that session windows take when they are created.
    static std::shared_ptr<SessionDialogs> current();
    /// Replaces the dialogs for windows created from now on (tests).
    static void setCurrent(std::shared_ptr<SessionDialogs> dialogs);
};
