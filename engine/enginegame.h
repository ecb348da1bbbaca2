#pragma once

#include "board.h"
#include "enginefolder.h"
#include "enginescript.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

/// One game of the stand-in engine in a game folder. It reads "Control.ini",
/// the save file named there and "EngineScript.txt", then plays in strict
/// turns, the host first: each own move goes out as the first line of
/// "Send\AICommand.xml" once that file is free, each opponent move is taken
/// from "Receive\AICommand.xml" (and the file deleted) as soon as it appears.
/// Everything runs from folder notifications and timers; between events the
/// engine does nothing.
///
/// "EngineLog.txt" gets one line per own move ("SENT:" and the command) and
/// per received move ("RCVD:" and the command), and a "SKIP:" line for a move
/// that cannot be made. When a side loses its kind 12 flag the game is over
/// and "OVER:" and the winner ("Host won", "Client won") end the log. At the
/// end "EngineBoard.txt" holds the board.
///
/// The own moves come from the script, or from a person through
/// playPerson() when the script says "player person".
class EngineGame : public QObject
{
    Q_OBJECT

public:
    /// The engine's exit codes.
    enum ExitCode { Finished = 0, SetupFailed = 1, IdleExit = 2 };

    /// One move made on the board, in this board's view.
    struct PlayedMove
    {
        char side = 'B'; ///< 'B' own, 'R' opponent
        Board::Move move;
        int fromRow = 0;
        int fromColumn = 0;
        int toRow = 0;
        int toColumn = 0;
        int takenKind = 0; ///< the kind of the flag taken off, 0 when none
    };

    explicit EngineGame(const QString &gameFolder, QObject *parent = nullptr);

    /// Reads "EngineScript.txt" of the game folder; without one, a person
    /// plays. False and an error text when the file cannot be read.
    static bool readScript(const EngineFolder &folder, EngineScript *script, QStringList *warnings,
                           QString *error);

    /// Reads the game's files and starts to play. False and an error text when
    /// the control file or the save file cannot be used; the error is logged.
    bool start(QString *error);

    /// A person's own move, called by the board window: made and written to
    /// "Send\AICommand.xml" when it is legal on the own turn, else refused
    /// with a short reason for the player.
    bool playPerson(const Board::Move &move, QString *reason);
    /// Ends the game where it stands (the window was closed); writes the
    /// board like any other end.
    void stop() { finish(Finished); }

    const Board &board() const { return m_board; }
    const EngineScript &script() const { return m_script; }
    const QList<PlayedMove> &history() const { return m_history; }
    bool isHost() const { return m_host; }
    /// The host path of a file of the game folder.
    QString filePath(const QByteArray &name) const
    {
        return m_folder.path(QString::fromLatin1(name));
    }
    /// "Host" or "Client" for a side of this board.
    QByteArray roleOf(char side) const;
    /// Line 3 of "Control.ini" asks for the whole screen.
    bool fullScreen() const { return m_fullScreen; }
    /// True while the own side may move.
    bool isOwnTurn() const { return !m_over && ownTurn(); }
    bool isOver() const { return m_over; }
    /// How the game ended (an ExitCode); Finished while it runs.
    int exitCode() const { return m_exitCode; }
    /// True when the script found no legal move left for its side.
    bool isStuck() const { return m_stuck; }

signals:
    /// A move was made on the board (own or the opponent's).
    void moved(const EngineGame::PlayedMove &move);
    /// The turn passed or the game ended.
    void stateChanged();
    /// The game is over and "EngineBoard.txt" is written.
    void finished(int exitCode);

private:
    void poll();
    bool takeReceived();
    void playOwnTurn();
    bool sendOwnMove();
    bool sendMove(const Board::Move &move);
    bool ownTurn() const;
    bool ownMovesLeft() const;
    /// Applies a legal move and records it.
    Board::MoveResult makeMove(const Board::Move &move, char side);
    void loadTerrain(const QByteArray &mapName);
    void noteActivity();
    void finish(int exitCode);
    void log(const QByteArray &line);
    bool fail(const QString &text, QString *error);

    EngineFolder m_folder;
    Board m_board;
    EngineScript m_script;
    bool m_host = true;
    bool m_fullScreen = false;
    QList<PlayedMove> m_history;
    QRandomGenerator m_random;
    int m_sent = 0;
    int m_received = 0;
    int m_nextListed = 0;
    bool m_stuck = false;     ///< no legal move was left on an own turn
    bool m_delayDone = false; ///< the wait before the pending own move is over
    bool m_over = false;
    int m_exitCode = Finished;
    QByteArray m_unfinished;       ///< a received file seen without its line end
    QElapsedTimer m_unfinishedAge; ///< since when it looks so
    QFileSystemWatcher m_watcher;
    QTimer m_fallback;
    QTimer m_delay;
    QTimer m_idle;
};
