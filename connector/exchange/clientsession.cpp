#include "clientsession.h"

#include "armyflip.h"
#include "commandrelay.h"
#include "completion.h"
#include "messages.h"

ClientSession::ClientSession(const GameFolder &folder, Transport transport, QObject *parent)
    : Session(folder, Role::Client, transport, parent),
      m_startData(Messages::StartDataMarker, 0, Messages::StartDataRows, Messages::StartDataLimit)
{
    // Over the bridge "Get Map Name from Host" waits for a Session ID.
    m_connectEnabled = !isBridge();
    m_findSessionsEnabled = isBridge();
    m_sessionIdEnabled = isBridge();
}

ClientSession::~ClientSession() = default;

QString ClientSession::selectionProblem(bool armySelected, bool randomArmy)
{
    return armySelected || randomArmy ? QString() : QStringLiteral("Please select Army!");
}

bool ClientSession::needsRandomArmy(bool armySelected, bool randomArmy)
{
    return !armySelected && randomArmy;
}

void ClientSession::connectClicked()
{
    setConnectEnabled(false);
}

void ClientSession::connected(const QByteArray &hostAddress, quint16 port)
{
    resetFraming();
    setChatEnabled(true);
    replaceOutput(hostAddress + ':' + QByteArray::number(port) + " connected\r\n\r\n", false);
    m_hostClosed = false;
    // Moves that the engine made during the outage go out now.
    connectionReady();
}

void ClientSession::connectFailed()
{
    setConnectEnabled(true);
}

void ClientSession::peerClosed()
{
    setChatEnabled(false);
    // The old text stays. Before the game "Connect to Host" stays disabled;
    // once it runs the window can connect again and the game goes on.
    appendOutput("Server closed connection\r\n");
    m_hostClosed = true;
    if (gameRunning())
        setConnectEnabled(true);
}

void ClientSession::gameBegan()
{
    // The host closed the connection before the game: now it can be made
    // again.
    if (m_hostClosed)
        setConnectEnabled(true);
}

void ClientSession::opened()
{
    replaceOutput("Get a Session ID (use the 'Find Open Session ID's Online' button.)\r\n"
                  "Place it in the Session ID Field. Once you receive the Map name choose your "
                  "army and send it to the Host player.\r\n",
                  false);
}

void ClientSession::sessionIdTyped()
{
    if (!m_sessionIdEnabled)
        return;
    m_findSessionsEnabled = false;
    m_connectEnabled = true;
    emit controlsChanged();
}

void ClientSession::mapFetchStarted()
{
    m_sessionIdEnabled = false;
    m_findSessionsEnabled = false;
    m_connectEnabled = false;
    emit controlsChanged();
}

Session::Poll ClientSession::mapAnswer(const QByteArray &answer)
{
    // Anything but a map message (the server's "Wait", an error page) leaves
    // the poll running.
    if (!Messages::hasMap(answer))
        return Poll::KeepPolling;
    replaceOutput(answer, false);
    // A refused name can be fetched again.
    if (!takeMap(answer))
        setConnectEnabled(true);
    return Poll::Done;
}

bool ClientSession::sendArmy(const QString &armyFile, QString *error)
{
    QList<QByteArray> lines;
    if (!folder().readLines(armyFile, &lines, error))
        return false;
    // Every line goes, blank ones too; the host counts rows, not lines. An
    // army of more than 40 rows would be refused there.
    const QByteArray text = Messages::armyText(lines);
    const int rows = Reassembly::countRows(text, Messages::ArmyHeaderLines);
    if (rows > Messages::ArmyRows) {
        if (error)
            *error = QStringLiteral("The army file %1 has %2 rows; an army has at most %3.")
                         .arg(armyFile)
                         .arg(rows)
                         .arg(Messages::ArmyRows);
        return false;
    }
    if (!send(Messages::armyMessage(text))) {
        if (error)
            *error =
                QStringLiteral("The army could not be sent: there is no connection to the host.");
        return false;
    }
    setSendEnabled(false);
    return true;
}

Reassembly &ClientSession::awaited()
{
    return m_startData;
}

QByteArray ClientSession::awaitedDescription() const
{
    return "start data from the host";
}

void ClientSession::mapArrived(const QByteArray &text)
{
    takeMap(text);
}

Session::Poll ClientSession::answer(const QByteArray &answer)
{
    if (answer == "Wait")
        return Poll::KeepPolling;
    if (Messages::isBridgeCommand(answer)) {
        const QByteArray command = handOverCommand(answer);
        if (command.isEmpty())
            return Poll::KeepPolling;
        replaceOutput("RECEIVED:\r\n" + command + "\r\n", true);
        // Before the game the start data is still awaited.
        return gameRunning() ? Poll::Done : Poll::KeepPolling;
    }
    // Start data that comes once the game runs is dropped, like every other
    // answer that is not a command.
    if (gameRunning() || !Messages::hasStartData(answer))
        return Poll::KeepPolling;
    QString problem;
    if (!m_startData.takeWhole(Messages::startDataPayload(answer), &problem)) {
        reportRefused(problem);
        return Poll::KeepPolling;
    }
    complete();
    return Poll::Done;
}

bool ClientSession::takeMap(const QByteArray &text)
{
    const QByteArray name = Messages::mapPayload(text);
    const QString problem = Messages::mapNameProblem(name);
    if (!problem.isEmpty()) {
        // The name would be used as a file name in the game folder.
        appendOutput("The map name from the host was refused (" + GameFolder::fromDisplay(problem) +
                     "): " + Messages::printable(name));
        return false;
    }
    m_mapName = name;
    setSendEnabled(true);
    emit mapReceived(name);
    return true;
}

void ClientSession::complete()
{
    if (m_mapName.isEmpty()) {
        // The map name is the first line of the save file; a later map
        // message runs this step again.
        replaceOutput("The start data has come, but no map name yet.\r\n", true);
        return;
    }
    // Blanks around the whole payload are dropped here, once it is complete,
    // so that a piece that ends after a cell keeps that cell's blank.
    const QByteArray startData = Messages::trimBlanks(m_startData.payload());
    // The flag numbers of the game, which arrived commands must keep to.
    relay()->setObjectCount(maxCount(startData));
    QString error;
    if (!clientCompletionFiles(folder(), m_mapName, startData, &error)) {
        replaceOutput("The game files could not be written: " + GameFolder::fromDisplay(error) +
                          "\r\n",
                      true);
        return;
    }
    setStartEnabled(true);
    replaceOutput("Ready to Start\r\n", true);
    emit completed();
}

void ClientSession::setConnectEnabled(bool enabled)
{
    if (m_connectEnabled == enabled)
        return;
    m_connectEnabled = enabled;
    emit controlsChanged();
}

void ClientSession::mapFetchFailed()
{
    m_sessionIdEnabled = true;
    m_findSessionsEnabled = true;
    m_connectEnabled = true;
    emit controlsChanged();
}
