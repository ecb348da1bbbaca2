#pragma once

#include "gamefolder.h"
#include "role.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class OutputBox;

/// The command relay of one session window. Once started, it takes each
/// command that the local engine writes into "\Send\AICommand.xml" (converted
/// on the host), hands it to the send function, shows it and logs "SENT:".
/// Independently of that, handOver() gives an arrived command to the local
/// engine through "\Receive\AICommand.xml" and logs "RCVD:".
///
/// A command that finds no connection is kept, in order, and goes out with
/// sendWaiting() once the window has a connection again; every later command
/// waits behind it. The relay keeps at most MaxUnsentCommands; while that
/// many wait, the engine's next command stays in "\Send\AICommand.xml"
/// (the engine writes no other while it is there). Nothing is kept past
/// stop(), which the window calls when it unloads.
///
/// Event-driven: the Send folder is watched, with a short fallback timer; an
/// idle relay does no work.
class CommandRelay : public QObject
{
    Q_OBJECT

public:
    /// Sends one command to the peer; false when it could not be sent.
    using SendFunction = std::function<bool(const QByteArray &command)>;

    /// The longest command taken from the other player; an engine's command
    /// is about 70 characters.
    static constexpr int MaxCommandLength = 512;
    /// The most commands that wait for the engine to take the one before;
    /// in a game of turns one waits at most.
    static constexpr int MaxWaitingCommands = 8;
    /// The most own commands kept while there is no connection; in a game
    /// of turns one waits at most.
    static constexpr int MaxUnsentCommands = 16;

    explicit CommandRelay(const GameFolder &folder, Role role, QObject *parent = nullptr);
    ~CommandRelay() override;

    /// The object count of the host's completion step (host only).
    void setObjectCount(qint16 count);
    qint16 objectCount() const;

    /// Where the relay writes its status texts; may be null.
    void setOutputBox(OutputBox *box);
    /// How a taken command reaches the peer.
    void setSendFunction(SendFunction send);

    /// Starts the relay loop (the game-running flag is set).
    void start();
    /// Ends the relay loop (the window unloads).
    void stop();
    bool isRunning() const;

    /// Whether the relay takes the engine's commands now. The bridge windows
    /// alternate turns with this; it is true unless told otherwise.
    void setTakingEnabled(bool enabled);

    /// Hands an arrived command to the local engine: converted on the host,
    /// written to "\Receive\AICommand.tmp" and renamed to "\Receive\AICommand.xml"
    /// once the engine has taken the previous one and the Receive folder is
    /// there (hand-overs wait in order). Returns the command as handed over.
    /// A command that is too long, that would wait behind MaxWaitingCommands
    /// others, or whose flag number is not one of the game's (5001 to 5000 +
    /// object count) is refused with a line in the output box: returns an
    /// empty text and emits handOverFailed.
    QByteArray handOver(const QByteArray &arrived);

    /// Why the command cannot be taken: its length, or a flag number (the
    /// four digits at characters 24 to 27) outside 5001 to 5000 + object
    /// count; empty when it can.
    QString commandProblem(const QByteArray &command) const;

    /// Hand-overs still waiting for "\Receive\AICommand.xml" to be free.
    int pendingHandOvers() const;

    /// A connection is there again: the kept commands are sent, in order,
    /// each shown and logged "SENT:" as it goes. Those that still cannot be
    /// sent stay kept. Returns how many went.
    int sendWaiting();
    /// Own commands kept for a connection.
    int waitingToSend() const;

    /// The first line of "\Send\AICommand.xml", taken out of the file (which is
    /// deleted); empty when there is none or it is not yet completely written.
    /// A line counts as complete when it ends in CR LF or LF, or when the file
    /// has stayed the same for a tenth of a second; an empty file waits.
    QByteArray ReadCommandFile();

signals:
    /// A command of the local engine was sent (converted on the host);
    /// asRead is the text as the engine wrote it.
    void commandSent(const QByteArray &sent, const QByteArray &asRead);
    /// A command of the local engine could not be sent: refused on the host,
    /// or kept for a connection (see sendWaiting()).
    void sendFailed(const QByteArray &command);
    /// An arrived command was published for the local engine.
    void commandHandedOver(const QByteArray &command);
    /// An arrived command was refused and dropped.
    void handOverFailed(const QByteArray &command, const QString &error);

private:
    /// One look at "\Send\AICommand.xml": takes and sends a complete command.
    void checkSendFile();
    void sendCommand(const QByteArray &asRead);
    /// Shows and logs a command that went out.
    void commandWent(const QByteArray &command, const QByteArray &asRead);
    /// The output box line that counts the kept commands.
    QByteArray waitingLine() const;
    /// Publishes the waiting hand-overs, in order, while the name is free.
    void publishPending();
    void updateFallback();

    struct Private;
    std::unique_ptr<Private> d;
};
