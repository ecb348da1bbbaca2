#include "hvdhosttcpip.h"

#include "filelistbox.h"
#include "hostsession.h"
#include "numericaddress.h"
#include "outputtextbox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

/// The address other players type to reach this machine: its first IPv4
/// address that is not the loopback, else the loopback.
QString localAddress()
{
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return QHostAddress(QHostAddress::LocalHost).toString();
}

} // namespace

HvdHostTCPIP::HvdHostTCPIP(const GameFolder &folder, QWidget *parent)
    : HvdHostTCPIP(folder, DefaultPort, parent)
{
}

HvdHostTCPIP::HvdHostTCPIP(const GameFolder &folder, quint16 port, QWidget *parent)
    : SessionWindow(folder, Role::Host, parent)
{
    setObjectName(QStringLiteral("HvdHostTCPIP"));
    setWindowTitle(QStringLiteral("HvdHostTCP/IP"));
    buildControls();
    m_myPort->setText(QString::number(port));

    m_session = new HostSession(this->folder(), HostSession::Transport::Tcp, this);
    m_session->setOutputBox(outputBox());
    m_session->setSendFunction([this](const QByteArray &text) { return sendText(text); });
    m_session->setSelectionProvider([this] {
        HostSelections chosen;
        chosen.mapFile = mapList()->fileName();
        chosen.armyFile = armyList()->fileName();
        chosen.randomArmy = randomArmyBox()->isChecked();
        return chosen;
    });
    connect(m_session, &HostSession::controlsChanged, this, &HvdHostTCPIP::updateControls);

    m_server = new QTcpServer(this);
    m_server->setObjectName(QStringLiteral("tcpServer"));
    connect(m_server, &QTcpServer::newConnection, this,
            &HvdHostTCPIP::on_tcpServer_ConnectionRequest);
    connect(m_server, &QTcpServer::acceptError, this, &HvdHostTCPIP::on_tcpServer_Error);

    load();
}

HvdHostTCPIP::~HvdHostTCPIP()
{
    unload();
    // The output box goes before the session does.
    m_session->setOutputBox(nullptr);
}

bool HvdHostTCPIP::hasClient() const
{
    return m_connection && m_connection->state() == QAbstractSocket::ConnectedState;
}

void HvdHostTCPIP::buildControls()
{
    setClientSize(4230, 6720);
    addLabel(QStringLiteral("Label3"), QStringLiteral("Host TCP/IP Address:"), 120, 0, 2535, 255);
    addLabel(QStringLiteral("Label2"), QStringLiteral("Host Port:"), 3120, 0, 855, 255);
    m_myIP = addLabel(QStringLiteral("MyIP"), QStringLiteral("1.1.1.1"), 120, 240, 2895, 285);
    m_myIP->setAccessibleName(QStringLiteral("Host TCP/IP Address:"));
    m_myIP->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_myPort = new QLineEdit(QStringLiteral("3456"), this);
    describe(m_myPort, QStringLiteral("MyPort"), QStringLiteral("Host Port:"));
    place(m_myPort, 3120, 240, 975, 285);
    addLine(QStringLiteral("Line2"), 0, 4200, 720);

    addLabel(QStringLiteral("Label1"),
             QStringLiteral("Map Selection (verify with Client player before selecting)"), 120, 840,
             3975, 255);
    FileListBox *maps = createMapList(QStringLiteral("File1"), QStringLiteral("Map Selection"));
    place(maps, 120, 1080, 3975, 735);
    addLabel(QStringLiteral("Label4"), QStringLiteral("Select Army for selected Map:"), 120, 1860,
             3975, 255);
    FileListBox *armies =
        createArmyList(QStringLiteral("File2"), QStringLiteral("Select Army for selected Map:"));
    place(armies, 120, 2100, 3975, 735);

    place(randomArmyBox(), 120, 2880, 2295, 255);
    place(fullScreenBox(), 2520, 2880, 1575, 255);
    m_sendSelections = new QPushButton(QStringLiteral("Send Selections to Client"), this);
    describe(m_sendSelections, QStringLiteral("Command2"), m_sendSelections->text());
    place(m_sendSelections, 120, 3240, 2295, 375);
    place(startButton(), 2520, 3240, 1575, 375);
    addLine(QStringLiteral("Line1"), 0, 4200, 3840);

    addLabel(QStringLiteral("Label5"), QStringLiteral("Chat / Status:"), 120, 3960, 1695, 255);
    place(chatLine(), 120, 4200, 3975, 375);
    place(outputBox(), 120, 4560, 3975, 2055);

    setTabOrder(m_myPort, maps);
    setTabOrder(maps, armies);
    setTabOrder(armies, randomArmyBox());
    setTabOrder(randomArmyBox(), fullScreenBox());
    setTabOrder(fullScreenBox(), m_sendSelections);
    setTabOrder(m_sendSelections, startButton());
    setTabOrder(startButton(), chatLine());
    setTabOrder(chatLine(), outputBox());

    fitCaptions();

    connect(maps, &FileListBox::fileClicked, this, &HvdHostTCPIP::on_File1_Click);
    connect(m_sendSelections, &QPushButton::clicked, this, &HvdHostTCPIP::on_Command2_clicked);
    connect(startButton(), &QPushButton::clicked, this, &HvdHostTCPIP::on_Command1_clicked);
}

void HvdHostTCPIP::load()
{
    // The stale command files went when the window was made; the army list
    // stays empty until a map is chosen.
    updateControls();
    // The port box is read once, here; a port typed later has no effect.
    bool ok = false;
    const uint port = m_myPort->text().trimmed().toUInt(&ok);
    m_port = ok && port <= 65535 ? quint16(port) : DefaultPort;
    showLabelValue(m_myIP, QStringLiteral("Host TCP/IP Address:"), localAddress());
    if (listen())
        m_session->listening();
    m_loaded = true;
}

void HvdHostTCPIP::unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    m_session->gameStopped();
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->abort();
        m_connection->deleteLater();
    }
    m_server->close();
}

void HvdHostTCPIP::closeEvent(QCloseEvent *event)
{
    unload();
    SessionWindow::closeEvent(event);
}

bool HvdHostTCPIP::listen()
{
    if (!m_server->listen(QHostAddress::Any, m_port)) {
        showSocketError(m_server->errorString());
        return false;
    }
    m_port = m_server->serverPort();
    return true;
}

void HvdHostTCPIP::updateControls()
{
    m_sendSelections->setEnabled(m_session->sendEnabled());
    startButton()->setEnabled(m_session->startEnabled());
    chatLine()->setEnabled(m_session->chatEnabled());
    outputBox()->setEnabled(m_session->chatEnabled());
}

bool HvdHostTCPIP::sendText(const QByteArray &text)
{
    if (!hasClient())
        return false;
    return m_connection->write(text) == text.size();
}

void HvdHostTCPIP::showSocketError(const QString &description)
{
    dialogs().message(this, QStringLiteral("TCP/IP Error"),
                      QStringLiteral("tcpServer: ") + description,
                      SessionDialogs::Icon::Exclamation);
}

void HvdHostTCPIP::on_tcpServer_ConnectionRequest()
{
    QTcpSocket *accepted = m_server->nextPendingConnection();
    // One client at a time: the host stops listening while it holds one, and
    // refuses any other client that came in at the same moment.
    while (QTcpSocket *extra = m_server->nextPendingConnection()) {
        extra->abort();
        extra->deleteLater();
    }
    m_server->close();
    if (!accepted)
        return;
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->abort();
        m_connection->deleteLater();
    }
    m_connection = accepted;
    accepted->setObjectName(QStringLiteral("tcpServer"));
    connect(accepted, &QTcpSocket::readyRead, this, &HvdHostTCPIP::on_tcpServer_DataArrival);
    connect(accepted, &QTcpSocket::disconnected, this, &HvdHostTCPIP::on_tcpServer_Close);
    connect(accepted, &QTcpSocket::errorOccurred, this, &HvdHostTCPIP::on_tcpServer_Error);
    m_session->connectionAccepted(numericAddress(accepted->peerAddress()), accepted->peerPort());
    // Data may have come with the connection itself.
    if (accepted->bytesAvailable() > 0)
        on_tcpServer_DataArrival();
}

void HvdHostTCPIP::on_tcpServer_DataArrival()
{
    if (!m_connection)
        return;
    const QByteArray arrived = m_connection->readAll();
    if (!arrived.isEmpty())
        m_session->received(arrived);
}

void HvdHostTCPIP::on_tcpServer_Close()
{
    if (!m_connection)
        return;
    // What the client sent just before it closed is still taken in.
    on_tcpServer_DataArrival();
    m_connection->disconnect(this);
    m_connection->deleteLater();
    m_connection = nullptr;
    m_session->peerClosed();
    // The same port again; "Client closed connection" stays in the box.
    if (m_loaded)
        listen();
}

void HvdHostTCPIP::on_tcpServer_Error(QAbstractSocket::SocketError error)
{
    // The client closing its end is the close notification, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    const QString description =
        m_connection ? m_connection->errorString() : m_server->errorString();
    showSocketError(description);
}

void HvdHostTCPIP::on_File1_Click(const QString &mapFile)
{
    narrowArmyList(GameFolder::fromDisplay(mapFile));
}

void HvdHostTCPIP::on_Command2_clicked()
{
    const HostSelections chosen = m_session->selections();
    if (prepareHostSelections(chosen))
        m_session->sendMap(chosen.mapFile);
}

void HvdHostTCPIP::on_Command1_clicked()
{
    startGame(*m_session);
}

void HvdHostTCPIP::chatEntered(const QByteArray &line)
{
    m_session->chatEntered(line);
}
