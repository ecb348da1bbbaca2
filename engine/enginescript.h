#pragma once

#include "board.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

/// What the engine plays, from "EngineScript.txt" in the game folder, one
/// directive a line:
///   moves N SEED     N own moves, each picked among the legal moves by a
///                    random sequence seeded by SEED (a clock seed without it)
///   move FLAGID DIR  one listed own move (repeatable, instead of "moves")
///   delay MS         wait MS milliseconds before each own move (default 0)
///   idle-exit SECS   end when nothing happened for that long (default 120
///                    while the script plays, never while a person plays)
///   player WHO       "script" (the default) plays the moves above; "person"
///                    leaves every own move to clicks and keys in the window
///   window SHOW      "shown" (the default) opens the board window; "hidden"
///                    plays without any window, as the tests do
///   snapshot N FILE  saves a picture of the board window to FILE once N
///                    moves of both sides have been made
/// Blank lines and lines starting with '#' or ';' are skipped.
struct EngineScript
{
    bool listed = false; ///< play the listed moves, not random ones
    int moveCount = 50;  ///< random moves to play
    quint32 seed = 0;
    bool seeded = false;      ///< false: seed from the clock
    QList<Board::Move> moves; ///< the listed moves
    int delayMs = 0;
    int idleExitSeconds = 120; ///< 0: never
    bool person = false;       ///< a person plays the own side
    bool windowHidden = false;
    int snapshotMoves = -1; ///< -1: no snapshot
    QByteArray snapshotFile;

    /// The number of own moves that the game is meant to hold.
    int ownMoves() const { return listed ? int(moves.size()) : moveCount; }

    /// Reads the directives; each line it cannot use is reported in warnings
    /// and skipped.
    static EngineScript parse(const QList<QByteArray> &lines, QStringList *warnings);
    /// The play without a script file: a person plays in the window.
    static EngineScript personal();
};
