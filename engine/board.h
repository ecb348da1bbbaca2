#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

/// The engine's board: the two 40 by 40 grids of a save file (the own army
/// marked B, the opponent's half-turned army marked R) overlaid into one, as
/// seen from the own side. Every flag gets an object number from 5001 upward
/// in reading order (row by row from the top, left to right) when the board is
/// built, and keeps it while it moves; since the other player's board is this
/// one half-turned, its numbering is this numbering reversed.
class Board
{
public:
    static constexpr int Size = 40;
    static constexpr int CellWidth = 4;
    static constexpr int FirstObjectId = 5001;

    /// One move: a flag's object number and a direction letter N, S, E or W,
    /// seen from this board's side (N is one row up, towards row 0).
    struct Move
    {
        int flagId = 0;
        char direction = 'N';
        bool operator==(const Move &other) const
        {
            return flagId == other.flagId && direction == other.direction;
        }
    };

    enum class MoveResult {
        Moved,         ///< the flag moved to an empty (or non-flag) cell
        Captured,      ///< the flag moved and took the opponent's flag off
        UnknownFlag,   ///< no flag was ever numbered so
        TakenFlag,     ///< the flag has been taken off the board
        WrongSide,     ///< the flag belongs to the other player
        BadDirection,  ///< not one of N, S, E, W
        OffBoard,      ///< the target cell is outside the board
        BlockedBySide, ///< the target cell holds a flag of the same side
    };

    /// An empty board without flags.
    Board();

    /// Builds the board from the lines of a save file (line 1 the map name,
    /// then 40 rows of the own army and 40 rows of the opponent's army; blank
    /// lines are skipped). Where both grids hold something on one cell, the
    /// host's army wins in both players' views, so the two boards stay each
    /// other's half-turn. False and an error text for a malformed save.
    static bool fromSave(const QList<QByteArray> &lines, bool host, Board *board, QString *error);

    QByteArray mapName() const { return m_mapName; }
    /// The four characters of a cell ("000 ", "B03 ", "R12 ", ...).
    QByteArray cell(int row, int column) const;
    /// The object number of the flag on a cell, 0 when none.
    int flagAt(int row, int column) const;
    /// How many flags were on the board when it was built.
    int objectCount() const { return m_positions.size(); }
    /// True while the flag is on the board; row and column are set then.
    bool findFlag(int flagId, int *row, int *column) const;
    /// 'B' (own) or 'R' (opponent) for a flag on the board, 0 otherwise.
    char sideOf(int flagId) const;

    /// The result of the move without making it.
    MoveResult check(const Move &move, char side) const;
    /// Moves a flag of the given side ('B' own, 'R' opponent) one cell; a flag
    /// of the other side on the target is taken off. Nothing changes unless
    /// the result is Moved or Captured.
    MoveResult apply(const Move &move, char side);
    /// Every move that a flag of the side can make, by object number and in
    /// the order N, E, S, W.
    QList<Move> legalMoves(char side) const;

    /// The board as text: the role line, then 40 rows of 40 cells, CR LF ends.
    QByteArray dump(const QByteArray &roleLine) const;

    /// True for a flag cell: one that starts with a side letter B or R.
    static bool isFlag(const QByteArray &cell);
    /// A text naming a move result, for the engine's log.
    static const char *describe(MoveResult result);

private:
    struct Position
    {
        int row = -1;
        int column = -1;
    };
    static int index(int row, int column) { return row * Size + column; }

    QByteArray m_mapName;
    QVector<QByteArray> m_cells;
    QVector<int> m_ids;            ///< object number per cell, 0 when none
    QVector<Position> m_positions; ///< per object number - 5001; row -1 once taken
};
