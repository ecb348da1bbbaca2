#include "session.h"

#include "command.h"
#include "commandrelay.h"
#include "messages.h"
#include "outputbox.h"
#include "reassembly.h"

#include <QTimer>

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
    gameBegan();
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
    // Bounded before anything reads it: a peer cannot make the connector hold
    // or parse commands of any size.
    if (arrived.size() > CommandRelay::MaxCommandLength) {
        appendOutput("A command from the other player was refused (it is longer than " +
                     QByteArray::number(CommandRelay::MaxCommandLength) +
                     " characters): " + Messages::printable(arrived));
        return QByteArray();
    }
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
    // The relay refuses what it cannot hand over, converts it on the host and
    // writes "RECEIVED:".
    return m_relay->handOver(command);
}

void Session::received(const QByteArray &arrived)
{
    if (isBridge()) {
        answer(arrived);
        return;
    }
    handleFrames(framer().take(arrived));
}

bool Session::waitingForPieces() const
{
    return m_framer && m_framer->isWaiting();
}

MessageFramer &Session::framer()
{
    if (!m_framer) {
        m_framer = std::make_unique<MessageFramer>(m_role, awaited());
        m_pieceWait = new QTimer(this);
        m_pieceWait->setSingleShot(true);
        m_pieceWait->setInterval(MessageFramer::WaitMs);
        connect(m_pieceWait, &QTimer::timeout, this, [this] { handleFrames(m_framer->flush()); });
    }
    return *m_framer;
}

void Session::resetFraming()
{
    if (m_framer) {
        m_framer->reset();
        m_pieceWait->stop();
    }
}

void Session::connectionReady()
{
    m_relay->sendWaiting();
}

void Session::handleFrames(const QList<MessageFramer::Frame> &frames)
{
    using Kind = MessageFramer::Frame::Kind;
    // Commands go to the engine first, whether or not the game runs. Each one
    // replaces the output box with "RECEIVED:", so the chat that came with it
    // is shown behind that.
    QList<QByteArray> handedOver;
    for (const MessageFramer::Frame &frame : frames) {
        if (frame.kind == Kind::Command)
            handedOver.append(handOverCommand(frame.text));
    }
    qsizetype nextCommand = 0;
    for (const MessageFramer::Frame &frame : frames) {
        if (frame.kind == Kind::Command) {
            // On the host the converted command stands in for what arrived.
            const QByteArray command = handedOver.at(nextCommand++);
            if (command.isEmpty())
                continue; // refused, and said so
            if (gameRunning())
                appendOutput(command);
            else
                preGameText(command);
            continue;
        }
        if (gameRunning()) {
            // Once the game runs every message but a command is only shown.
            if (frame.kind != Kind::Blank && !frame.text.isEmpty())
                appendOutput(frame.text);
            continue;
        }
        switch (frame.kind) {
        case Kind::Text:
            preGameText(frame.text);
            break;
        case Kind::Map:
            mapArrived(frame.text);
            preGameText(frame.text);
            break;
        case Kind::Piece:
            // A new message gives up the last one; a piece that leaves it
            // open is shown as it came.
            if (frame.begins)
                awaited().abandon();
            appendOutput(frame.text);
            break;
        case Kind::Completed: {
            QString problem;
            if (awaited().takeWhole(frame.payload, &problem))
                complete();
            else
                reportRefused(problem);
            break;
        }
        case Kind::TooManyRows:
            awaited().abandon();
            reportRefused(QStringLiteral("it has more than %1 rows").arg(awaited().rowLimit()));
            break;
        case Kind::Oversized:
            awaited().abandon();
            reportOversized();
            break;
        case Kind::Command:
        case Kind::Dropped:
        case Kind::Blank:
            break;
        }
    }
    if (m_framer && m_framer->isWaiting())
        m_pieceWait->start();
    else if (m_pieceWait)
        m_pieceWait->stop();
}

void Session::preGameText(const QByteArray &text)
{
    // Once the message is whole, every arrival before the game starts runs the
    // completion step again (the host sends the start data again).
    if (awaited().isComplete())
        complete();
    else
        appendOutput(text);
}

void Session::reportOversized()
{
    Reassembly &message = awaited();
    appendOutput("The " + awaitedDescription() + " was larger than " +
                 QByteArray::number(message.limit()) + " characters and was dropped.");
}

void Session::reportRefused(const QString &why)
{
    appendOutput("The " + awaitedDescription() + " was refused (" + GameFolder::fromDisplay(why) +
                 ").");
}
