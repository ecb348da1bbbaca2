#pragma once

#include "gamefolder.h"
#include "role.h"

#include "messageframer.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

class CommandRelay;
class OutputBox;
class QTimer;
class Reassembly;

/// What the host and client protocol objects share: the transport (a send
/// function), the output box writes, the chat line, the game-running flag with
/// the command relay, and the enabled states of the buttons that a window
/// mirrors. A window turns its events into calls on its session object and
/// redraws its controls whenever controlsChanged() is emitted.
///
/// Over TCP/IP every arrival goes to received(); over the bridge every poll
/// answer goes to the role's answer function, which says whether the poll is
/// over.
class Session : public QObject
{
    Q_OBJECT

public:
    /// Hands one message to the transport; false when it could not be sent.
    using SendFunction = std::function<bool(const QByteArray &message)>;
    /// How the two windows of a game are joined.
    enum class Transport { Tcp, Bridge };
    /// What a bridge window does after handing a poll answer over.
    enum class Poll { KeepPolling, Done };

    ~Session() override;

    Role role() const { return m_role; }
    Transport transport() const { return m_transport; }
    bool isBridge() const { return m_transport == Transport::Bridge; }
    const GameFolder &folder() const { return m_folder; }

    /// How messages reach the peer (the window's socket, or a bridge post).
    void setSendFunction(SendFunction send);
    /// The window's output box; may be null (nothing is shown then).
    void setOutputBox(OutputBox *box);
    /// The relay of the game's commands, owned by the session: it sends
    /// through the session's send function and hands arrived commands over.
    CommandRelay *relay() const { return m_relay; }

    /// "Send Selections to Client" (host) or "Send Army Selection to Host"
    /// (client).
    bool sendEnabled() const { return m_sendEnabled; }
    bool startEnabled() const { return m_startEnabled; }
    /// The chat line and, over TCP/IP, the output box. Never over the bridge.
    bool chatEnabled() const { return m_chatEnabled; }
    /// The game-running flag: set once the start sequence has run.
    bool gameRunning() const { return m_gameRunning; }

    /// The player pressed Enter in the chat line: the line goes out with the
    /// role's prefix ("SERVER: ", "CLIENT: ") over TCP/IP (never over the
    /// bridge) and is appended to the own output box.
    void chatEntered(const QByteArray &line);

    /// The start sequence has run ("Start" was clicked and the engine
    /// started): "Start" is disabled for good, the game-running flag is set
    /// and the command relay starts.
    void gameStarted();
    /// The window unloads: the game-running flag is cleared and the relay
    /// stops.
    void gameStopped();

    /// The map file name for line 1 of Control.ini: the host's map selection,
    /// the client's received map name.
    virtual QByteArray mapFileNameForStart() const = 0;

    /// TCP/IP: one data arrival, everything the socket had waiting. It is cut
    /// into the messages it holds (MessageFramer); a piece that leaves a
    /// message open waits up to MessageFramer::WaitMs for the rest. Through
    /// the bridge the arrival is a poll answer and goes to answer().
    void received(const QByteArray &arrived);
    /// TCP/IP: true while a piece waits for the rest of its message.
    bool waitingForPieces() const;
    /// Bridge: the role's steps for one poll answer ("Wait", a command, the
    /// awaited message); says whether the poll is over.
    virtual Poll answer(const QByteArray &answer) = 0;

signals:
    /// A button's or the chat line's enabled state, or the game-running flag,
    /// changed; the window re-reads them.
    void controlsChanged();

protected:
    Session(const GameFolder &folder, Role role, Transport transport, QObject *parent);

    bool send(const QByteArray &message);
    void replaceOutput(const QByteArray &text, bool caretToEnd);
    void appendOutput(const QByteArray &text);
    void setSendEnabled(bool enabled);
    void setStartEnabled(bool enabled);
    void setChatEnabled(bool enabled);

    /// Hands an arrived command to the engine (rebuilt first when it came
    /// through the bridge; converted on the host by the relay) and writes
    /// "RECEIVED:". Returns the command as handed over, or an empty text when
    /// a bridge command could not be read.
    QByteArray handOverCommand(const QByteArray &arrived);

    /// The large message that the role waits for (the client's army on the
    /// host, the start data on the client), and how the player hears of it.
    virtual Reassembly &awaited() = 0;
    virtual QByteArray awaitedDescription() const = 0;
    /// A map message that arrived before the game (the client takes it).
    virtual void mapArrived(const QByteArray &text) { Q_UNUSED(text) }
    /// The role's completion step.
    virtual void complete() = 0;
    /// Tells the player that the awaited message passed its size limit.
    void reportOversized();
    /// Tells the player that the awaited message was refused.
    void reportRefused(const QString &why);
    /// TCP/IP: a new connection; nothing of the old stream is waited for.
    void resetFraming();
    /// TCP/IP: a connection is there (again): the commands that the relay
    /// kept while there was none go out, in order.
    void connectionReady();
    /// Called by gameStarted() once the game-running flag is set.
    virtual void gameBegan() {}

private:
    MessageFramer &framer();
    /// The receive steps for the messages of one arrival, in their order.
    void handleFrames(const QList<MessageFramer::Frame> &frames);
    /// Text before the game that is no message the role takes: shown, or,
    /// once the awaited message is whole, the completion step runs again.
    void preGameText(const QByteArray &text);

    GameFolder m_folder;
    Role m_role;
    Transport m_transport;
    SendFunction m_send;
    OutputBox *m_box = nullptr;
    CommandRelay *m_relay = nullptr;
    std::unique_ptr<MessageFramer> m_framer;
    QTimer *m_pieceWait = nullptr;
    bool m_sendEnabled = false;
    bool m_startEnabled = false;
    bool m_chatEnabled = false;
    bool m_gameRunning = false;
};
