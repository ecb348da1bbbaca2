#include "hvdhosthttp.h"

#include "filelistbox.h"
#include "hostbridgesession.h"
#include "hostsession.h"
#include "outputtextbox.h"

#include <QCheckBox>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSysInfo>

HvdHostHTTP::HvdHostHTTP(const GameFolder &folder, const QUrl &bridgeUrl, QWidget *parent)
    : HvdBridgeWindow(folder, Role::Host, parent)
{
    // The base has cleared the stale command files: the first load step.
    setObjectName(QStringLiteral("HvdHostHTTP"));
    setWindowTitle(QStringLiteral("HvdHostHTTP"));
    buildControls();

    m_bridge = new HostBridgeSession(folder, bridgeUrl, this);
    m_session = m_bridge->hostSession();
    m_session->setSelectionProvider([this] {
        HostSelections chosen;
        chosen.mapFile = m_maps->fileName();
        chosen.armyFile = m_armies->fileName();
        chosen.randomArmy = randomArmyBox()->isChecked();
        return chosen;
    });
    connect(m_bridge, &HostBridgeSession::registered, this, &HvdHostHTTP::onRegistered);
    attachBridgeSession(m_bridge);
    updateControls();
    load();
}

HvdHostHTTP::~HvdHostHTTP() = default;

void HvdHostHTTP::buildControls()
{
    setClientSize(4230, 6720);
    addLabel(QStringLiteral("Label3"), QStringLiteral("Game Name"), 120, 0, 2535, 255);
    addLabel(QStringLiteral("Label2"), QStringLiteral("Session ID:"), 3120, 0, 855, 255);
    m_name = addLabel(QStringLiteral("MyIP"), QStringLiteral("Unnamed"), 120, 240, 2895, 495);
    m_id = addLabel(QStringLiteral("MyPort"), QStringLiteral("?"), 3120, 240, 975, 255);
    showValue(m_name, QStringLiteral("Unnamed"));
    showValue(m_id, QStringLiteral("?"));
    // The player copies the Session ID to give it to the other player.
    m_id->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addLine(QStringLiteral("Line2"), 0, 4200, 840);

    addLabel(QStringLiteral("Label1"),
             QStringLiteral("Map Selection (verify with Client player before selecting)"), 120, 960,
             3975, 255);
    m_maps = createMapList(QStringLiteral("File1"),
                           QStringLiteral("Map Selection (verify with Client player before "
                                          "selecting)"));
    place(m_maps, 120, 1200, 3975, 675);
    addLabel(QStringLiteral("Label4"), QStringLiteral("Select Army for selected Map:"), 120, 1920,
             3975, 255);
    m_armies =
        createArmyList(QStringLiteral("File2"), QStringLiteral("Select Army for selected Map:"));
    place(m_armies, 120, 2160, 3975, 675);

    place(randomArmyBox(), 120, 2880, 2295, 255);
    place(fullScreenBox(), 2520, 2880, 1575, 255);
    m_send = new QPushButton(QStringLiteral("Send Selections to Client"), this);
    describe(m_send, QStringLiteral("Command2"), m_send->text());
    place(m_send, 120, 3240, 2295, 375);
    place(startButton(), 2520, 3240, 1575, 375);
    addLine(QStringLiteral("Line1"), 0, 4200, 3840);

    addLabel(QStringLiteral("Label5"), QStringLiteral("Status:"), 120, 3960, 1695, 255);
    place(chatLine(), 120, 4200, 3975, 375);
    place(outputBox(), 120, 4200, 3975, 2415);
    describe(outputBox(), QStringLiteral("txtOutput"), QStringLiteral("Status:"));
    // The chat line lies over the top line of the output box.
    chatLine()->raise();

    // Captions that the platform font would cut are set smaller.
    fitCaptions();

    connect(m_maps, &FileListBox::fileClicked, this, &HvdHostHTTP::on_File1_clicked);
    connect(m_send, &QPushButton::clicked, this, &HvdHostHTTP::on_Command2_clicked);
    connect(startButton(), &QPushButton::clicked, this, &HvdHostHTTP::on_Command1_clicked);
}

void HvdHostHTTP::load()
{
    const QString gameName = dialogs().input(this, QStringLiteral("Host Game Name"),
                                             QStringLiteral("Give your Host Game a Name:"));
    showValue(m_name, sessionName(ComputerName(), gameName));
    m_bridge->registerGame(GameFolder::fromDisplay(m_name->text()));
}

QString HvdHostHTTP::ComputerName()
{
    return chooseComputerName(QSysInfo::machineHostName(), QHostInfo::localHostName());
}

QString HvdHostHTTP::chooseComputerName(const QString &systemName, const QString &hostName)
{
    if (!systemName.isEmpty())
        return systemName;
    if (!hostName.isEmpty())
        return hostName;
    return QStringLiteral("Unnamed");
}

QString HvdHostHTTP::sessionName(const QString &computerName, const QString &gameName)
{
    QString name = gameName;
    name.replace(QLatin1Char('\''), QLatin1Char('`'));
    return computerName + QStringLiteral(": ") + name;
}

void HvdHostHTTP::onRegistered(const QByteArray &answer)
{
    // Shown as it came.
    showValue(m_id, GameFolder::toDisplay(answer));
    if (m_sendWhenRegistered) {
        m_sendWhenRegistered = false;
        on_Command2_clicked();
    }
}

void HvdHostHTTP::on_File1_clicked(const QString &name)
{
    narrowArmyList(GameFolder::fromDisplay(name));
}

void HvdHostHTTP::showValue(QLabel *label, const QString &value)
{
    // A screen reader reads the caption with the value: "Session ID: 17".
    label->setText(value);
    const QString caption =
        label == m_id ? QStringLiteral("Session ID:") : QStringLiteral("Game Name:");
    describe(label, label->objectName(), caption + QLatin1Char(' ') + value.trimmed());
}

void HvdHostHTTP::on_Command2_clicked()
{
    if (m_bridge->hasKeptArmy()) {
        if (prepareHostSelections(m_session->selections()))
            m_bridge->completeAgain();
        return;
    }
    if (!m_bridge->sendEnabled())
        return;
    if (!m_bridge->isRegistered()) {
        // The game was not registered at load: register now, then go on.
        m_sendWhenRegistered = true;
        m_bridge->registerGame(GameFolder::fromDisplay(m_name->text()));
        return;
    }
    const HostSelections chosen = m_session->selections();
    if (prepareHostSelections(chosen))
        m_bridge->sendMap(chosen.mapFile);
}

void HvdHostHTTP::on_Command1_clicked()
{
    if (!m_session->startEnabled() || m_session->gameRunning())
        return;
    startGame(*m_session);
}

void HvdHostHTTP::gameStarting()
{
    m_bridge->beginTurns();
}

void HvdHostHTTP::updateControls()
{
    if (!m_bridge)
        return;
    m_send->setEnabled(m_bridge->sendEnabled());
    startButton()->setEnabled(m_session->startEnabled());
    updateChatLine();
}
