#include "hvdclienttcpip.h"

#include "clientsession.h"
#include "filelistbox.h"
#include "numericaddress.h"
#include "outputtextbox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTcpSocket>

namespace {

void setBold(QWidget *widget, qreal pointSize)
{
    QFont font = widget->font();
    font.setBold(true);
    font.setPointSizeF(pointSize);
    widget->setFont(font);
}

} // namespace

HvdClientTCPIP::HvdClientTCPIP(const GameFolder &folder, QWidget *parent)
    : SessionWindow(folder, Role::Client, parent)
{
    setObjectName(QStringLiteral("HvdClientTCPIP"));
    setWindowTitle(QStringLiteral("HvdClientTCP/IP"));
    buildControls();

    m_session = new ClientSession(this->folder(), ClientSession::Transport::Tcp, this);
    m_session->setOutputBox(outputBox());
    m_session->setSendFunction([this](const QByteArray &text) { return sendText(text); });
    connect(m_session, &ClientSession::controlsChanged, this, &HvdClientTCPIP::updateControls);
    connect(m_session, &ClientSession::mapReceived, this, &HvdClientTCPIP::onMapReceived);

    m_socket = new QTcpSocket(this);
    m_socket->setObjectName(QStringLiteral("tcpClient"));
    connect(m_socket, &QTcpSocket::connected, this, &HvdClientTCPIP::on_tcpClient_Connect);
    connect(m_socket, &QTcpSocket::readyRead, this, &HvdClientTCPIP::on_tcpClient_DataArrival);
    connect(m_socket, &QTcpSocket::disconnected, this, &HvdClientTCPIP::on_tcpClient_Close);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &HvdClientTCPIP::on_tcpClient_Error);

    load();
}

HvdClientTCPIP::~HvdClientTCPIP()
{
    unload();
    // The output box goes before the session does.
    m_session->setOutputBox(nullptr);
}

bool HvdClientTCPIP::isConnected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void HvdClientTCPIP::buildControls()
{
    setClientSize(4230, 6720);
    addLabel(QStringLiteral("Label2"), QStringLiteral("Host TCP/IP Address:"), 120, 0, 2415, 255);
    addLabel(QStringLiteral("Label1"), QStringLiteral("Host Port:"), 3000, 0, 855, 255);
    m_hostIP = new QLineEdit(QStringLiteral("localhost"), this);
    describe(m_hostIP, QStringLiteral("HostIP"), QStringLiteral("Host TCP/IP Address:"));
    place(m_hostIP, 120, 240, 2535, 285);
    m_hostPort = new QLineEdit(QStringLiteral("3456"), this);
    describe(m_hostPort, QStringLiteral("HostPort"), QStringLiteral("Host Port:"));
    place(m_hostPort, 3120, 240, 975, 285);
    addLabel(QStringLiteral("Label5"),
             QStringLiteral("Verify Host player is ready and waiting for the client then click the "
                            "'Connect to Host' button below to connect."),
             120, 720, 3975, 495);
    m_connect = new QPushButton(QStringLiteral("Connect to Host"), this);
    describe(m_connect, QStringLiteral("Command3"), m_connect->text());
    setBold(m_connect, 9.75);
    place(m_connect, 120, 1200, 3975, 375);
    addLine(QStringLiteral("Line1"), 0, 4200, 1680);

    addLabel(QStringLiteral("Label3"),
             QStringLiteral("Select Army for Map Selected by Host player:"), 120, 1800, 3975, 255);
    FileListBox *armies = createArmyList(
        QStringLiteral("File1"), QStringLiteral("Select Army for Map Selected by Host player:"));
    place(armies, 120, 2040, 3975, 675);
    place(randomArmyBox(), 120, 2760, 2295, 255);
    place(fullScreenBox(), 2520, 2760, 1575, 255);
    m_sendArmy = new QPushButton(QStringLiteral("Send Army Selection to Host"), this);
    describe(m_sendArmy, QStringLiteral("Command2"), m_sendArmy->text());
    place(m_sendArmy, 120, 3120, 2295, 375);
    setBold(startButton(), 12);
    place(startButton(), 2520, 3120, 1575, 375);
    addLine(QStringLiteral("Line2"), 0, 4200, 3720);

    addLabel(QStringLiteral("Label4"), QStringLiteral("Chat / Status:"), 120, 3960, 1695, 255);
    place(chatLine(), 120, 4200, 3975, 375);
    place(outputBox(), 120, 4560, 3975, 2055);

    // The design's tab order: Command3, HostIP, txtSend, HostPort, File1,
    // Command2, Command1, txtOutput, Check1, Check2.
    const QList<QWidget *> order = {m_connect,       m_hostIP,       chatLine(),    m_hostPort,
                                    armies,          m_sendArmy,     startButton(), outputBox(),
                                    fullScreenBox(), randomArmyBox()};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    fitCaptions();

    connect(m_connect, &QPushButton::clicked, this, &HvdClientTCPIP::on_Command3_clicked);
    connect(m_sendArmy, &QPushButton::clicked, this, &HvdClientTCPIP::on_Command2_clicked);
    connect(startButton(), &QPushButton::clicked, this, &HvdClientTCPIP::on_Command1_clicked);
}

void HvdClientTCPIP::load()
{
    // The stale command files went when the window was made; the army list
    // stays empty until a map message arrives.
    updateControls();
    m_loaded = true;
}

void HvdClientTCPIP::unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    m_session->gameStopped();
    m_socket->disconnect(this);
    m_socket->abort();
}

void HvdClientTCPIP::closeEvent(QCloseEvent *event)
{
    unload();
    SessionWindow::closeEvent(event);
}

void HvdClientTCPIP::updateControls()
{
    m_connect->setEnabled(m_session->connectEnabled());
    m_sendArmy->setEnabled(m_session->sendEnabled());
    startButton()->setEnabled(m_session->startEnabled());
    chatLine()->setEnabled(m_session->chatEnabled());
    outputBox()->setEnabled(m_session->chatEnabled());
}

bool HvdClientTCPIP::sendText(const QByteArray &text)
{
    if (!isConnected())
        return false;
    return m_socket->write(text) == text.size();
}

void HvdClientTCPIP::onMapReceived(const QByteArray &mapFileName)
{
    narrowArmyList(mapFileName);
}

void HvdClientTCPIP::on_Command3_clicked()
{
    m_session->connectClicked();
    QString host = m_hostIP->text().trimmed();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    bool ok = false;
    const uint port = m_hostPort->text().trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        // A port that is no port: no attempt and no message, the player may
        // put it right and click again.
        m_socket->abort();
        m_session->connectFailed();
        return;
    }
    m_socket->connectToHost(host, quint16(port));
}

void HvdClientTCPIP::on_tcpClient_Connect()
{
    m_session->connected(numericAddress(m_socket->peerAddress()), m_socket->peerPort());
}

void HvdClientTCPIP::on_tcpClient_DataArrival()
{
    const QByteArray arrived = m_socket->readAll();
    if (!arrived.isEmpty())
        m_session->received(arrived);
}

void HvdClientTCPIP::on_tcpClient_Close()
{
    // What the host sent just before it closed is still taken in.
    on_tcpClient_DataArrival();
    m_session->peerClosed();
}

void HvdClientTCPIP::on_tcpClient_Error(QAbstractSocket::SocketError error)
{
    // The host closing its end is the close notification, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    dialogs().message(this, QStringLiteral("TCP/IP Error"),
                      QStringLiteral("tcpClient: ") + m_socket->errorString(),
                      SessionDialogs::Icon::Exclamation);
    {
        // Closing after an error is no close by the host: the chat line and
        // the output box keep their state.
        const QSignalBlocker quiet(m_socket);
        m_socket->abort();
    }
    m_session->connectFailed();
}

void HvdClientTCPIP::on_Command2_clicked()
{
    const QString armyFile = prepareClientArmy(m_session->mapName());
    if (armyFile.isEmpty())
        return;
    QString error;
    if (!m_session->sendArmy(armyFile, &error))
        showPlainMessage(error);
}

void HvdClientTCPIP::on_Command1_clicked()
{
    startGame(*m_session);
}

void HvdClientTCPIP::chatEntered(const QByteArray &line)
{
    m_session->chatEntered(line);
}
