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
/// that cannot be made. At the end "EngineBoard.txt" holds the board.
class EngineGame : public QObject
{
    Q_OBJECT

public:
    /// The engine's exit codes.
    enum ExitCode { Finished = 0, SetupFailed = 1, IdleExit = 2 };

    explicit EngineGame(const QString &gameFolder, QObject *parent = nullptr);

    /// Reads the game's files and starts to play. False and an error text when
    /// the control file or the save file cannot be used; the error is logged.
    bool start(QString *error);

    const Board &board() const { return m_board; }
    bool isHost() const { return m_host; }

signals:
    /// The game is over and "EngineBoard.txt" is written.
    void finished(int exitCode);

private:
    void poll();
    bool takeReceived();
    void playOwnTurn();
    bool sendOwnMove();
    bool ownTurn() const;
    bool ownMovesLeft() const;
    void noteActivity();
    void finish(int exitCode);
    void log(const QByteArray &line);
    bool fail(const QString &text, QString *error);

    EngineFolder m_folder;
    Board m_board;
    EngineScript m_script;
    bool m_host = true;
    QRandomGenerator m_random;
    int m_sent = 0;
    int m_received = 0;
    int m_nextListed = 0;
    bool m_stuck = false;     ///< no legal move was left on an own turn
    bool m_delayDone = false; ///< the wait before the pending own move is over
    bool m_over = false;
    QByteArray m_unfinished;       ///< a received file seen without its line end
    QElapsedTimer m_unfinishedAge; ///< since when it looks so
    QFileSystemWatcher m_watcher;
    QTimer m_fallback;
    QTimer m_delay;
    QTimer m_idle;
};
