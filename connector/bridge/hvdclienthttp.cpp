#include "hvdclienthttp.h"

#include "bridgebrowser.h"
#include "clientsession.h"
#include "commandrelay.h"
#include "filelistbox.h"
#include "httpsendreceive.h"
#include "hvdsessionsview.h"
#include "messages.h"
#include "outputtextbox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

HvdClientHTTP::HvdClientHTTP(const GameFolder &folder, QWidget *parent)
    : HvdClientHTTP(folder, HTTPSendReceive::defaultBridgeUrl(), PollSeconds * 1000, parent)
{
}

HvdClientHTTP::HvdClientHTTP(const GameFolder &folder, const QUrl &bridgeUrl, int pollPauseMs,
                             QWidget *parent)
    : HvdBridgeWindow(folder, Role::Client, bridgeUrl, pollPauseMs, parent)
{
    // The base has cleared the stale command files: the first load step. The
    // browser object is made by the buttons, not here.
    setObjectName(QStringLiteral("HvdClientHTTP"));
    setWindowTitle(QStringLiteral("HvdClientHTTP"));
    buildControls();

    m_session = new ClientSession(folder, Session::Transport::Bridge, this);
    attachSession();
    connect(m_session, &ClientSession::mapReceived, this, &HvdClientHTTP::onMapReceived);
    connect(m_session->relay(), &CommandRelay::commandSent, this, &HvdClientHTTP::onCommandSent);
    m_session->opened();
    updateControls();
}

HvdClientHTTP::~HvdClientHTTP() = default;

Session *HvdClientHTTP::session() const
{
    return m_session;
}

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

QByteArray HvdClientHTTP::sessionKey() const
{
    // Blanks (and line breaks) around a typed or pasted Session ID are no
    // part of it.
    return GameFolder::fromDisplay(m_id->text()).trimmed();
}

void HvdClientHTTP::on_MyPort_changed()
{
    m_session->sessionIdTyped();
}

void HvdClientHTTP::on_Command4_clicked()
{
    if (!m_session->findSessionsEnabled())
        return;
    // Each click opens a new list window; the window follows the browser
    // object and closes with it.
    BridgeBrowser *sessions = createBrowser();
    new HvdSessionsView(sessions);
    BridgeReply *reply = HTTPSendReceive::BridgeSessions(sessions);
    connect(reply, &BridgeReply::failed, this, [this](const QString &error) {
        dialogs().message(
            this, QLatin1String(BridgeErrorTitle),
            QStringLiteral("The list of open sessions could not be loaded.\n\n%1").arg(error),
            SessionDialogs::Icon::Exclamation);
    });
}

void HvdClientHTTP::on_Command3_clicked()
{
    if (!m_session->connectEnabled())
        return;
    // A new, invisible browser object: the list of sessions goes away.
    createBrowser();
    m_session->mapFetchStarted();
    startPolling([this](const QByteArray &answer) { return m_session->mapAnswer(answer); },
                 [this](const QString &error) {
                     // A wrong Session ID or a server that is away: the player
                     // can correct the ID and fetch again.
                     m_session->mapFetchFailed();
                     const QString text =
                         QStringLiteral("The map name could not be fetched from the bridge "
                                        "server.\r\n%1\r\nCheck the Session ID and click 'Get "
                                        "Map Name from Host' again.\r\n")
                             .arg(error);
                     reportFailure(text);
                     return false;
                 });
}

void HvdClientHTTP::onMapReceived(const QByteArray &mapFileName)
{
    narrowArmyList(mapFileName);
}

void HvdClientHTTP::on_Command2_clicked()
{
    if (!m_completionAnswer.isEmpty()) {
        completeAgain();
        return;
    }
    if (!m_session->sendEnabled())
        return;
    const QString armyFile = prepareClientArmy(m_session->mapName());
    if (armyFile.isEmpty())
        return;
    QString error;
    if (!m_session->sendArmy(armyFile, &error)) {
        dialogs().message(this, QLatin1String(ProgramTitle), error,
                          SessionDialogs::Icon::Exclamation);
        return;
    }
    PollClient();
}

void HvdClientHTTP::PollClient()
{
    startSessionPolling();
}

Session::Poll HvdClientHTTP::sessionAnswer(const QByteArray &answer)
{
    return m_session->answer(answer);
}

void HvdClientHTTP::pollDone(const QByteArray &answer)
{
    if (m_session->gameRunning()) {
        m_turnState = 2;
        return;
    }
    // The start data has been used; when the game files could not be written
    // from it, it is kept for the player to put things right.
    if (m_session->startEnabled() || !Messages::hasStartData(answer))
        return;
    m_completionAnswer = answer;
    outputBox()->append("The start data from the host is kept. Put the game folder right and "
                        "click 'Send Army Selection to Host' to write the game files again; "
                        "nothing is sent again.");
    updateControls();
}

void HvdClientHTTP::completeAgain()
{
    m_session->answer(m_completionAnswer);
    if (m_session->startEnabled())
        m_completionAnswer.clear();
    else
        pollDone(m_completionAnswer);
    updateControls();
}

void HvdClientHTTP::onCommandSent()
{
    m_turnState = 1;
}

void HvdClientHTTP::on_Command1_clicked()
{
    if (!m_session->startEnabled() || m_session->gameRunning())
        return;
    if (startGame(*m_session))
        PollClient();
}

void HvdClientHTTP::gameStarting()
{
    // The client first waits for the host's opening command; its own engine's
    // command stays in its file until then.
    setOwnTurn(false);
    m_turnState = 1;
}

void HvdClientHTTP::updateControls()
{
    if (!m_session)
        return;
    m_find->setEnabled(m_session->findSessionsEnabled());
    m_id->setEnabled(m_session->sessionIdEnabled());
    m_getMap->setEnabled(m_session->connectEnabled());
    m_send->setEnabled(m_session->sendEnabled() || !m_completionAnswer.isEmpty());
    startButton()->setEnabled(m_session->startEnabled());
    chatLine()->setEnabled(m_session->chatEnabled());
}
