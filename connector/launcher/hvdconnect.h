#pragma once

#include "gamefolder.h"

#include <QIcon>
#include <QWidget>

class QLabel;
class QRadioButton;
class QToolButton;

/// The launcher, the first window of HvdConnect: the player picks the
/// transport ("TCP/IP Mode" or "HTTP Mode") and clicks "Host" or "Client";
/// the launcher opens that one session window and unloads itself, so the
/// session window becomes the program. Closing it without a choice ends the
/// program.
class HvdConnect : public QWidget
{
    Q_OBJECT

public:
    /// The launcher for a game folder, which it hands to the session window.
    /// It deletes itself when it closes.
    explicit HvdConnect(const GameFolder &folder, QWidget *parent = nullptr);

    /// The window's icon, shared by the session windows of the program.
    static QIcon programIcon();

signals:
    /// A session window has been created and made visible; the launcher
    /// unloads right after.
    void sessionWindowOpened(QWidget *window);

private slots:
    /// "Host": the host window of the chosen transport.
    void on_Command1_clicked();
    /// "Client": the client window of the chosen transport.
    void on_Command2_clicked();

private:
    void openSessionWindow(QWidget *window);

    GameFolder m_folder;
    QRadioButton *m_option1;
    QRadioButton *m_option2;
    QLabel *m_label1;
    QToolButton *m_command1;
    QToolButton *m_command2;
    QLabel *m_image1;
    QLabel *m_image2;
};
