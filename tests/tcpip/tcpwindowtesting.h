#pragma once

// What the TCP/IP window tests share: boxes that are recorded instead of
// shown, and controls by design name.

#include "outputtextbox.h"
#include "sessiondialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

/// Installs, for its scope, dialogs that record every message box and answer
/// input boxes from a list.
class RecordedBoxes
{
public:
    struct Box
    {
        QString title;
        QString text;
    };
    struct Dialogs : SessionDialogs
    {
        void message(QWidget *, const QString &title, const QString &text, Icon) override
        {
            boxes.append({title, text});
        }
        QString input(QWidget *, const QString &, const QString &) override
        {
            return answers.isEmpty() ? QString() : answers.takeFirst();
        }
        QList<Box> boxes;
        QStringList answers;
    };

    RecordedBoxes() { SessionDialogs::setCurrent(m_dialogs); }
    ~RecordedBoxes() { SessionDialogs::setCurrent(nullptr); }
    Dialogs *operator->() const { return m_dialogs.get(); }
    QList<Box> &boxes() const { return m_dialogs->boxes; }

private:
    std::shared_ptr<Dialogs> m_dialogs = std::make_shared<Dialogs>();
};

template <typename T = QPushButton> T *control(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

inline QPushButton *button(QWidget *window, const char *name)
{
    return control(window, name);
}
inline OutputTextBox *output(QWidget *window)
{
    return control<OutputTextBox>(window, "txtOutput");
}

inline void click(QWidget *window, const char *name)
{
    QVERIFY2(button(window, name)->isEnabled(), name);
    QTest::mouseClick(button(window, name), Qt::LeftButton);
}

/// Types a chat line and presses Enter.
inline void chat(QWidget *window, const QByteArray &line)
{
    QTest::keyClicks(control<QLineEdit>(window, "txtSend"), QString::fromLatin1(line));
    QTest::keyClick(control<QLineEdit>(window, "txtSend"), Qt::Key_Return);
}

/// The client window connects to the host window (or a proxy before it) on
/// 127.0.0.1; both are ready to chat.
inline void connectTcp(QWidget *host, QWidget *client, quint16 port)
{
    control<QLineEdit>(client, "HostIP")->setText(QStringLiteral("127.0.0.1"));
    control<QLineEdit>(client, "HostPort")->setText(QString::number(port));
    click(client, "Command3");
    QTRY_VERIFY(output(client)->isEnabled() && output(host)->isEnabled());
}
