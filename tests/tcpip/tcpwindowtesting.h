#pragma once

// What the TCP/IP window tests share: boxes that are recorded instead of
// shown, control look-up by design name, a raw peer socket that collects what
// it is sent, and clicks and typing through Qt Test.

#include "outputtextbox.h"
#include "sessiondialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

/// Records every message box; answers input boxes from a list.
class RecordingDialogs : public SessionDialogs
{
public:
    struct Box
    {
        QString title;
        QString text;
        Icon icon;
    };

    void message(QWidget *, const QString &title, const QString &text, Icon icon) override
    {
        boxes.append({title, text, icon});
    }
    QString input(QWidget *, const QString &, const QString &) override
    {
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }

    QList<Box> boxes;
    QStringList answers;
};

/// Installs recording dialogs for the windows a test makes, and takes them out
/// again at the end of its scope.
class RecordedBoxes
{
public:
    RecordedBoxes() : m_dialogs(std::make_shared<RecordingDialogs>())
    {
        SessionDialogs::setCurrent(m_dialogs);
    }
    ~RecordedBoxes() { SessionDialogs::setCurrent(nullptr); }
    RecordingDialogs *operator->() const { return m_dialogs.get(); }
    QList<RecordingDialogs::Box> &boxes() const { return m_dialogs->boxes; }

private:
    std::shared_ptr<RecordingDialogs> m_dialogs;
};

template <typename T> T *control(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

inline QPushButton *button(QWidget *window, const char *name)
{
    return control<QPushButton>(window, name);
}

inline OutputTextBox *output(QWidget *window)
{
    return control<OutputTextBox>(window, "txtOutput");
}

inline void click(QWidget *window, const char *name)
{
    QPushButton *b = button(window, name);
    QVERIFY2(b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
}

/// Types a chat line and presses Enter.
inline void chat(QWidget *window, const QByteArray &line)
{
    QLineEdit *edit = control<QLineEdit>(window, "txtSend");
    QTest::keyClicks(edit, QString::fromLatin1(line));
    QTest::keyClick(edit, Qt::Key_Return);
}

/// A raw TCP peer in a test: everything it receives is collected.
class RawPeer : public QObject
{
public:
    explicit RawPeer(QTcpSocket *socket) : m_socket(socket)
    {
        QObject::connect(m_socket, &QTcpSocket::readyRead, this,
                         [this] { received += m_socket->readAll(); });
    }
    ~RawPeer() override { delete m_socket; }

    /// Connects to a window listening on 127.0.0.1.
    static std::unique_ptr<RawPeer> connectTo(quint16 port)
    {
        auto *socket = new QTcpSocket;
        socket->connectToHost(QHostAddress::LocalHost, port);
        auto peer = std::make_unique<RawPeer>(socket);
        if (!socket->waitForConnected(5000))
            return nullptr;
        return peer;
    }

    void send(const QByteArray &bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }
    QTcpSocket *socket() const { return m_socket; }

    QByteArray received;

private:
    QTcpSocket *m_socket;
};
