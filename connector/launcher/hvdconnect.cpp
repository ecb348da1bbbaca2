#include "hvdconnect.h"

#include "hvdclienthttp.h"
#include "hvdclienttcpip.h"
#include "hvdhosthttp.h"
#include "hvdhosttcpip.h"

#include <QButtonGroup>
#include <QLabel>
#include <QPalette>
#include <QRadioButton>
#include <QToolButton>

namespace {

// Positions and sizes are the design's twips divided by 15.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

template <typename Control>
Control *place(Control *control, const char *name, const QString &caption, const QRect &geometry)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    control->setAccessibleName(caption);
    control->setAccessibleDescription(QLatin1String(name));
    return control;
}

} // namespace

// The artwork is compiled into the window library; a static library needs
// its resources registered by hand. Outside any namespace, as the macro asks.
static void initResources()
{
    Q_INIT_RESOURCE(launcher);
}

HvdConnect::HvdConnect(const GameFolder &folder, QWidget *parent)
    : QWidget(parent), m_folder(folder)
{
    initResources();
    setObjectName(QStringLiteral("HvdConnect"));
    setWindowTitle(QStringLiteral("HvdConnect"));
    setWindowIcon(programIcon());
    setAccessibleName(QStringLiteral("HvdConnect"));
    setAccessibleDescription(QStringLiteral("HvdConnect"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(392, 310);

    auto *background = new QLabel(this);
    background->setObjectName(QStringLiteral("Background"));
    background->setPixmap(QPixmap(QStringLiteral(":/launcher/background.png")));
    background->setGeometry(0, 0, 392, 311);
    background->setAccessibleName(QStringLiteral("Background picture"));
    background->setAccessibleDescription(QStringLiteral("Background"));

    // The option buttons: Verdana, yellow text drawn on the picture itself
    // (no box of their own behind them).
    QFont verdana(QStringLiteral("Verdana"), 8);
    verdana.setStyleHint(QFont::SansSerif);
    QPalette optionColours = palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        optionColours.setColor(group, QPalette::WindowText, Qt::yellow);
        optionColours.setColor(group, QPalette::ButtonText, Qt::yellow);
    }
    // The round mark: a yellow dot in a dark circle.
    optionColours.setColor(QPalette::Base, QColor(40, 40, 40));
    optionColours.setColor(QPalette::Text, Qt::yellow);

    m_option1 = place(new QRadioButton(QStringLiteral("TCP/IP Mode"), this), "Option1",
                      QStringLiteral("TCP/IP Mode"), twips(1440, 2040, 1575, 255));
    m_option2 = place(new QRadioButton(QStringLiteral("HTTP Mode"), this), "Option2",
                      QStringLiteral("HTTP Mode"), twips(3120, 2040, 1455, 255));
    for (QRadioButton *option : {m_option1, m_option2}) {
        option->setFont(verdana);
        option->setPalette(optionColours);
        option->setAutoFillBackground(false);
    }
    auto *mode = new QButtonGroup(this);
    mode->addButton(m_option1);
    mode->addButton(m_option2);
    m_option1->setChecked(true);

    m_label1 = place(new QLabel(QStringLiteral("Choose Your Army:"), this), "Label1",
                     QStringLiteral("Choose Your Army:"), twips(1680, 2280, 2535, 255));
    m_label1->setAlignment(Qt::AlignCenter);
    QPalette yellow = m_label1->palette();
    yellow.setColor(QPalette::WindowText, Qt::yellow);
    m_label1->setPalette(yellow);

    // The role buttons: a picture above the caption on a light face.
    const struct
    {
        QToolButton **button;
        const char *name;
        const char *caption;
        const char *picture;
        const char *face;
        QRect geometry;
    } roles[] = {
        {&m_command1, "Command1", "Host", ":/launcher/host.png", "rgb(192, 192, 255)",
         twips(1800, 2640, 1095, 1215)},
        {&m_command2, "Command2", "Client", ":/launcher/client.png", "rgb(255, 192, 192)",
         twips(3000, 2640, 1095, 1215)},
    };
    for (const auto &role : roles) {
        auto *button =
            place(new QToolButton(this), role.name, QLatin1String(role.caption), role.geometry);
        button->setText(QLatin1String(role.caption));
        button->setIcon(QIcon(QLatin1String(role.picture)));
        button->setIconSize(QSize(44, 56));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setStyleSheet(QStringLiteral("QToolButton { background-color: %1; color: black; "
                                             "border: 2px outset gray; }"
                                             "QToolButton:pressed { border-style: inset; }"
                                             "QToolButton:disabled { color: gray; }")
                                  .arg(QLatin1String(role.face)));
        *role.button = button;
    }
    connect(m_command1, &QToolButton::clicked, this, &HvdConnect::on_Command1_clicked);
    connect(m_command2, &QToolButton::clicked, this, &HvdConnect::on_Command2_clicked);

    m_image1 = place(new QLabel(this), "Image1", QStringLiteral("Blue banner"),
                     twips(480, 1920, 720, 2280));
    m_image2 = place(new QLabel(this), "Image2", QStringLiteral("Red banner"),
                     twips(4680, 1920, 720, 2280));
    m_image1->setPixmap(QPixmap(QStringLiteral(":/launcher/banner-left.png")));
    m_image2->setPixmap(QPixmap(QStringLiteral(":/launcher/banner-right.png")));
    for (QLabel *image : {m_image1, m_image2})
        image->setScaledContents(true);

    m_command1->setFocus();
}

QIcon HvdConnect::programIcon()
{
    initResources();
    return QIcon(QStringLiteral(":/launcher/icon.png"));
}

void HvdConnect::on_Command1_clicked()
{
    m_command1->setEnabled(false);
    if (m_option1->isChecked())
        openSessionWindow(new HvdHostTCPIP(m_folder));
    if (m_option2->isChecked())
        openSessionWindow(new HvdHostHTTP(m_folder));
    close();
}

void HvdConnect::on_Command2_clicked()
{
    m_command2->setEnabled(false);
    if (m_option1->isChecked())
        openSessionWindow(new HvdClientTCPIP(m_folder));
    if (m_option2->isChecked())
        openSessionWindow(new HvdClientHTTP(m_folder));
    close();
}

void HvdConnect::openSessionWindow(QWidget *window)
{
    // The session window is a window of its own, not a child of the
    // launcher: it outlives the launcher and ends the program when it closes.
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(windowIcon());
    window->show();
    emit sessionWindowOpened(window);
}
