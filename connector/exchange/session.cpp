#include "session.h"

#include "command.h"
#include "commandrelay.h"
#include "messages.h"
#include "outputbox.h"
#include "reassembly.h"

Session::Session(const GameFolder &folder, Role role, Transport transport, QObject *parent)
    : QObject(parent), m_folder(folder), m_role(role), m_transport(transport),
      m_relay(new CommandRelay(m_folder, role, this))
{
    m_relay->setSendFunction([this](const QByteArray &command) { return send(command); });
}

Session::~Session() = default;

void Session::setSendFunction(SendFunction send)
{
    m_send = std::move(send);
}

void Session::setOutputBox(OutputBox *box)
{
    m_box = box;
    // The relay writes "SENT:" and "RECEIVED:" into the same box.
    m_relay->setOutputBox(box);
}

void Session::chatEntered(const QByteArray &line)
{
    const QByteArray message = Messages::chatMessage(m_role, line);
    // Over the bridge chat stays in the own output box.
    const bool sent = isBridge() || send(message);
    appendOutput(message);
    if (!sent)
        appendOutput("(not sent: there is no connection)");
}

void Session::gameStarted()
{
    setStartEnabled(false);
    if (m_gameRunning)
        return;
    m_gameRunning = true;
    m_relay->start();
    emit controlsChanged();
}

void Session::gameStopped()
{
    m_relay->stop();
    if (!m_gameRunning)
        return;
    m_gameRunning = false;
    emit controlsChanged();
}

bool Session::send(const QByteArray &message)
{
    return m_send && m_send(message);
}

void Session::replaceOutput(const QByteArray &text, bool caretToEnd)
{
    if (m_box)
        m_box->replace(text, caretToEnd);
}

void Session::appendOutput(const QByteArray &text)
{
    if (m_box)
        m_box->append(text);
}

void Session::setSendEnabled(bool enabled)
{
    if (m_sendEnabled == enabled)
        return;
    m_sendEnabled = enabled;
    emit controlsChanged();
}

void Session::setStartEnabled(bool enabled)
{
    if (m_startEnabled == enabled)
        return;
    m_startEnabled = enabled;
    emit controlsChanged();
}

void Session::setChatEnabled(bool enabled)
{
    // The bridge windows never send chat, so their chat line stays disabled.
    enabled = enabled && !isBridge();
    if (m_chatEnabled == enabled)
        return;
    m_chatEnabled = enabled;
    emit controlsChanged();
}

QByteArray Session::handOverCommand(const QByteArray &arrived)
{
    QByteArray command = arrived;
    if (isBridge()) {
        // The bridge hands back the command as a browser serialises it:
        // element names in capitals, quotes changed.
        command = NormalizeCommand(arrived);
        if (command.isEmpty()) {
            appendOutput("A command from the other player could not be read and was dropped:");
            appendOutput(arrived);
            return QByteArray();
        }
    }
    // The relay converts it on the host and writes "RECEIVED:".
    return m_relay->handOver(command);
}

void Session::received(const QByteArray &arrived)
{
    if (isBridge()) {
        answer(arrived);
        return;
    }
    // Text that followed a completed message in the same arrival is taken
    // as an arrival of its own.
    QByteArray next = arrived;
    while (!next.isEmpty())
        next = receiveOne(next);
}

QByteArray Session::receiveOne(const QByteArray &arrived)
{
    QByteArray text = arrived;
    // A command goes to the engine at once, whether or not the game runs; on
    // the host the converted command stands in for the arrived text from here on.
    if (Messages::isCommand(text))
        text = handOverCommand(text);
    if (gameRunning()) {
        appendOutput(text);
        return QByteArray();
    }
    beforeReassembly(text);
    Reassembly &message = awaited();
    QByteArray before;
    QByteArray after;
    switch (message.take(text, &before, &after)) {
    case Reassembly::Step::None:
    case Reassembly::Step::Started:
    case Reassembly::Step::Grew:
        appendOutput(text);
        break;
    case Reassembly::Step::Completed:
        complete();
        // Text that came joined in front of the message (a chat line).
        if (!before.isEmpty())
            appendOutput(before);
        break;
    case Reassembly::Step::AlreadyComplete:
        // Once the message is complete, every arrival before the game starts
        // runs the completion step again (the host sends the start data again).
        complete();
        break;
    case Reassembly::Step::Overflowed:
        reportOversized();
        break;
    case Reassembly::Step::Dropped:
        break;
    }
    return after;
}

void Session::reportOversized()
{
    Reassembly &message = awaited();
    appendOutput("The " + awaitedDescription() + " was larger than " +
                 QByteArray::number(message.limit()) + " characters and was dropped.");
}
