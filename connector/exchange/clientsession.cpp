#include "clientsession.h"

#include "armyflip.h"
#include "completion.h"
#include "messages.h"

namespace {

/// A peer's text fit for one line of the output box: control characters
/// shown as "?", and not too long.
QByteArray printable(const QByteArray &text)
{
    QByteArray shown = text.left(80);
    for (char &c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = '?';
    }
    return text.size() > shown.size() ? shown + "..." : shown;
}

} // namespace

ClientSession::ClientSession(const GameFolder &folder, Transport transport, QObject *parent)
    : Session(folder, Role::Client, transport, parent),
      m_startData(Messages::StartDataMarker, Messages::StartDataLineEnds, Messages::StartDataLimit)
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
    setChatEnabled(true);
    replaceOutput(hostAddress + ':' + QByteArray::number(port) + " connected\r\n\r\n", false);
}

void ClientSession::connectFailed()
{
    setConnectEnabled(true);
}

void ClientSession::peerClosed()
{
    setChatEnabled(false);
    // The old text stays; "Connect to Host" stays disabled.
    appendOutput("Server closed connection\r\n");
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
    // The host counts the army's rows by their line ends, so a blank line
    // would let the last row arrive after the army was taken as whole. Blank
    // rows make no cells: the host skips them when it builds the save files.
    for (qsizetype i = lines.size() - 1; i > 0; --i) {
        if (isBlankLine(lines.at(i)))
            lines.removeAt(i);
    }
    if (!send(Messages::armyMessage(Messages::armyText(lines)))) {
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

void ClientSession::beforeReassembly(const QByteArray &text)
{
    if (Messages::hasMap(text))
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
    if (!m_startData.takeWhole(Messages::startDataPayload(answer))) {
        reportOversized();
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
                     "): " + printable(name));
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
