#include "hostsession.h"

#include "commandrelay.h"
#include "completion.h"
#include "messages.h"
#include "reassembly.h"

HostSession::HostSession(const GameFolder &folder, Transport transport, QObject *parent)
    : Session(folder, Role::Host, transport, parent),
      m_army(Messages::ArmyMarker, Messages::ArmyHeaderLines, Messages::ArmyRows,
             Messages::ArmyLimit)
{
    // Over the bridge there is no connection to wait for: the map can be sent
    // as soon as the game is registered.
    if (isBridge())
        setSendEnabled(true);
}

HostSession::~HostSession() = default;

void HostSession::setSelectionProvider(SelectionProvider provider)
{
    m_provider = std::move(provider);
}

HostSelections HostSession::selections() const
{
    return m_provider ? m_provider() : HostSelections();
}

QString HostSession::selectionProblem(const HostSelections &selections)
{
    if (selections.mapFile.isEmpty())
        return QStringLiteral("Please select Map!");
    if (selections.armyFile.isEmpty() && !selections.randomArmy)
        return QStringLiteral("Please select Army!");
    return QString();
}

bool HostSession::needsRandomArmy(const HostSelections &selections)
{
    return selections.armyFile.isEmpty() && selections.randomArmy;
}

void HostSession::listening()
{
    replaceOutput("Waiting For Remote Client...\r\n", false);
}

void HostSession::connectionAccepted(const QByteArray &peerAddress, quint16 peerPort)
{
    // A new client's stream never continues the last one's messages.
    resetFraming();
    setChatEnabled(true);
    replaceOutput(peerAddress + ':' + QByteArray::number(peerPort) + " connected\r\n\r\n", false);
    // At every accepted connection, also when a client comes back.
    setSendEnabled(true);
    // Moves that the engine made while no client was there go out now.
    connectionReady();
}

void HostSession::peerClosed()
{
    setChatEnabled(false);
    replaceOutput("Client closed connection\r\n\r\n", true);
}

void HostSession::registered()
{
    replaceOutput("Give the Session ID to other player.\r\n"
                  "Then, Choose a Map.\r\n"
                  " Waiting For Remote Client to Connect and send Army data.\r\n",
                  false);
}

bool HostSession::sendMap(const QString &mapFile)
{
    if (!send(Messages::mapMessage(GameFolder::fromDisplay(mapFile)))) {
        appendOutput("The map could not be sent: there is no connection to the client.");
        return false;
    }
    setSendEnabled(false);
    return true;
}

Reassembly &HostSession::awaited()
{
    return m_army;
}

QByteArray HostSession::awaitedDescription() const
{
    return "army data from the client";
}

Session::Poll HostSession::answer(const QByteArray &answer)
{
    if (answer == "Wait")
        return Poll::KeepPolling;
    if (Messages::isBridgeCommand(answer)) {
        const QByteArray command = handOverCommand(answer);
        if (command.isEmpty() || !gameRunning())
            return Poll::KeepPolling; // before the game the army is still awaited
        appendOutput(command);
        return Poll::Done;
    }
    // During the game only commands count; anything else is dropped.
    if (gameRunning() || !Messages::hasArmy(answer))
        return Poll::KeepPolling;
    QString problem;
    if (!m_army.takeWhole(Messages::armyPayload(answer), &problem)) {
        reportRefused(problem);
        return Poll::KeepPolling;
    }
    complete();
    return Poll::Done;
}

QByteArray HostSession::mapFileNameForStart() const
{
    return GameFolder::fromDisplay(selections().mapFile);
}

void HostSession::complete()
{
    const HostSelections chosen = selections();
    // The host's own army is decided now: "Random.arm" whenever the box is
    // ticked, else the army list's selection.
    const QString ownArmy = chosen.randomArmy ? QStringLiteral("Random.arm") : chosen.armyFile;
    const HostCompletion files = hostCompletionFiles(
        folder(), m_army.payload(), GameFolder::fromDisplay(chosen.mapFile), ownArmy);
    if (!files.ok) {
        // Start data built from missing files would give the client a broken
        // game: nothing is sent and "Start" stays disabled.
        replaceOutput("The game files could not be made: " + GameFolder::fromDisplay(files.error) +
                          "\r\n",
                      true);
        return;
    }
    m_startData = files.startData;
    m_objectCount = files.objectCount;
    relay()->setObjectCount(m_objectCount);
    const bool sent = send(Messages::startDataMessage(m_startData));
    replaceOutput("Ready to Start\r\n", true);
    if (!sent)
        appendOutput("The start data could not be sent: there is no connection to the client.");
    setStartEnabled(true);
    emit completed();
}
