#include "hvdclienthttp.h"

#include "bridgereply.h"
#include "clientbridgesession.h"
#include "clientsession.h"
#include "filelistbox.h"
#include "hvdsessionsview.h"
#include "outputtextbox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

HvdClientHTTP::HvdClientHTTP(const GameFolder &folder, const QUrl &bridgeUrl, QWidget *parent)
    : HvdBridgeWindow(folder, Role::Client, parent)
{
    // The base has cleared the stale command files: the first load step.
    setObjectName(QStringLiteral("HvdClientHTTP"));
    setWindowTitle(QStringLiteral("HvdClientHTTP"));
    buildControls();

    m_bridge = new ClientBridgeSession(folder, bridgeUrl, this);
    m_session = m_bridge->clientSession();
    attachBridgeSession(m_bridge);
    connect(m_session, &ClientSession::mapReceived, this, &HvdClientHTTP::onMapReceived);
    m_session->opened();
    updateControls();
}

HvdClientHTTP::~HvdClientHTTP() = default;

void HvdClientHTTP::buildControls()
{
    setClientSize(4230, 6720);
    m_find = new QPushButton(QStringLiteral("Find Open Session ID's Online"), this);
    describe(m_find, QStringLiteral("Command4"), m_find->text());
    place(m_find, 120, 120, 2895, 255);
    QLabel *idLabel =
        addLabel(QStringLiteral("Label1"), QStringLiteral("Session ID:"), 3120, 120, 1095, 255);
    QFont bold = idLabel->font();
    bold.setBold(true);
    idLabel->setFont(bold);
    m_id = new QLineEdit(QStringLiteral("0"), this);
    describe(m_id, QStringLiteral("MyPort"), QStringLiteral("Session ID:"));
    place(m_id, 3120, 360, 975, 285);
    addLabel(QStringLiteral("Label2"), QStringLiteral("Type Session ID here to begin --->"), 120,
             480, 2895, 255);
    addLabel(QStringLiteral("Label5"),
             QStringLiteral("Verify Host player is ready and waiting for the client then click "
                            "the 'Connect to Host' button below to connect."),
             120, 840, 3975, 495);
    m_getMap = new QPushButton(QStringLiteral("Get Map Name from Host"), this);
    describe(m_getMap, QStringLiteral("Command3"), m_getMap->text());
    m_getMap->setFont(bold);
    place(m_getMap, 120, 1320, 3975, 375);
    addLine(QStringLiteral("Line1"), 0, 4200, 1800);

    addLabel(QStringLiteral("Label3"),
             QStringLiteral("Select Army for Map Selected by Host player:"), 120, 1920, 3975, 255);
    m_armies = createArmyList(QStringLiteral("File1"),
                              QStringLiteral("Select Army for Map Selected by Host player:"));
    place(m_armies, 120, 2160, 3975, 675);
    place(randomArmyBox(), 120, 2880, 2295, 255);
    place(fullScreenBox(), 2520, 2880, 1575, 255);
    m_send = new QPushButton(QStringLiteral("Send Army Selection to Host"), this);
    describe(m_send, QStringLiteral("Command2"), m_send->text());
    place(m_send, 120, 3240, 2295, 375);
    place(startButton(), 2520, 3240, 1575, 375);
    addLine(QStringLiteral("Line2"), 0, 4200, 3840);

    addLabel(QStringLiteral("Label4"), QStringLiteral("Status:"), 120, 3960, 1695, 255);
    place(chatLine(), 120, 4200, 3975, 375);
    place(outputBox(), 120, 4200, 3975, 2415);
    describe(outputBox(), QStringLiteral("txtOutput"), QStringLiteral("Status:"));
    // The chat line lies over the top line of the output box.
    chatLine()->raise();

    // Captions that the platform font would cut are set smaller.
    fitCaptions();

    connect(m_id, &QLineEdit::textChanged, this, &HvdClientHTTP::on_MyPort_changed);
    connect(m_find, &QPushButton::clicked, this, &HvdClientHTTP::on_Command4_clicked);
    connect(m_getMap, &QPushButton::clicked, this, &HvdClientHTTP::on_Command3_clicked);
    connect(m_send, &QPushButton::clicked, this, &HvdClientHTTP::on_Command2_clicked);
    connect(startButton(), &QPushButton::clicked, this, &HvdClientHTTP::on_Command1_clicked);
}

void HvdClientHTTP::on_MyPort_changed()
{
    m_bridge->setSessionId(GameFolder::fromDisplay(m_id->text()));
}

void HvdClientHTTP::on_Command4_clicked()
{
    BridgeReply *reply = m_bridge->showSessions();
    if (!reply)
        return;
    // Each click opens a new list window; the window follows the browser
    // object and closes with it.
    new HvdSessionsView(m_bridge->browser());
    connect(reply, &BridgeReply::failed, this, [this](const QString &error) {
        dialogs().message(
            this, QLatin1String(BridgeErrorTitle),
            QStringLiteral("The list of open sessions could not be loaded.\n\n%1").arg(error),
            SessionDialogs::Icon::Exclamation);
    });
}

void HvdClientHTTP::on_Command3_clicked()
{
    m_bridge->fetchMap();
}

void HvdClientHTTP::onMapReceived(const QByteArray &mapFileName)
{
    narrowArmyList(mapFileName);
}

void HvdClientHTTP::on_Command2_clicked()
{
    if (m_bridge->hasKeptStartData()) {
        m_bridge->completeAgain();
        return;
    }
    if (!m_session->sendEnabled())
        return;
    const QString armyFile = prepareClientArmy(m_session->mapName());
    if (armyFile.isEmpty())
        return;
    QString error;
    if (!m_bridge->sendArmy(armyFile, &error))
        dialogs().message(this, QLatin1String(ProgramTitle), error,
                          SessionDialogs::Icon::Exclamation);
}

void HvdClientHTTP::on_Command1_clicked()
{
    if (!m_session->startEnabled() || m_session->gameRunning())
        return;
    startGame(*m_session);
}

void HvdClientHTTP::gameStarting()
{
    // The client first waits for the host's opening command; its own engine's
    // command stays in its file until then.
    m_bridge->beginTurns();
}

void HvdClientHTTP::updateControls()
{
    if (!m_bridge)
        return;
    m_find->setEnabled(m_session->findSessionsEnabled());
    m_id->setEnabled(m_session->sessionIdEnabled());
    m_getMap->setEnabled(m_session->connectEnabled());
    m_send->setEnabled(m_bridge->sendEnabled());
    startButton()->setEnabled(m_session->startEnabled());
    updateChatLine();
}
