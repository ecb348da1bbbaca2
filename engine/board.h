#pragma once

#include "mapterrain.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

/// The engine's board: the two 40 by 40 grids of a save file (the own army
/// marked B, the opponent's half-turned army marked R) overlaid into one, as
/// seen from the own side. Every flag of the save file is kept, even where
/// both armies claim one cell: such a cell holds one flag of each side until
/// one of them moves away. Flags get object numbers from 5001 upward in reading
/// order (row by row from the top, left to right) when the board is built, the
/// own flag before the opponent's within one cell, and keep them while they
/// move. The other player's board is this one half-turned with the sides
/// exchanged, so its numbering is this numbering reversed, and the number of
/// flags is the count of side letters in the save file.
///
/// The rules of the stand-in game: a flag moves one cell N, S, E or W; water
/// and solid cells cannot be entered (rock, grass and flag placement cells
/// can); a move onto the other side's flag takes that flag off; a side whose
/// kind 12 flag is taken has lost, and no move is made after that.
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
        Water,         ///< the target cell is water
        Solid,         ///< the target cell is solid
        GameOver,      ///< one side has lost its kind 12 flag
    };

    /// An empty board without flags.
    Board();

    /// Builds the board from the lines of a save file (line 1 the map name,
    /// then 40 rows of the own army and 40 rows of the opponent's army; blank
    /// lines are skipped). `host` tells which army is the host's: it wins
    /// where both grids hold a code other than a flag on one cell, and it is
    /// the one shown where a cell holds two flags, in both players' views, so
    /// that the two boards stay each other's half-turn. False and an error
    /// text for a malformed save.
    static bool fromSave(const QList<QByteArray> &lines, bool host, Board *board, QString *error);

    QByteArray mapName() const { return m_mapName; }
    /// Lays the map's terrain under the flags, seen from this board's side.
    void setTerrain(const MapTerrain &terrain) { m_terrain = terrain; }
    const MapTerrain &terrain() const { return m_terrain; }
    /// The four characters shown for a cell ("000 ", "B03 ", "R12 ", ...); of
    /// two flags on one cell, the host's.
    QByteArray cell(int row, int column) const;
    /// The object number of the side's flag ('B' own, 'R' opponent) on a
    /// cell, 0 when none.
    int flagAt(int row, int column, char side) const;
    /// How many flags were on the board when it was built.
    int objectCount() const { return int(m_flags.size()); }
    /// True while the flag is on the board; row and column are set then.
    bool findFlag(int flagId, int *row, int *column) const;
    /// 'B' (own) or 'R' (opponent) for a flag on the board, 0 otherwise.
    char sideOf(int flagId) const;

    /// The kind (1 to 12) of a flag that was ever numbered so, 0 otherwise.
    int kindOf(int flagId) const;
    /// 'B' or 'R' once that side has lost a kind 12 flag, 0 while both play.
    char loser() const { return m_loser; }

    /// The result of the move without making it.
    MoveResult check(const Move &move, char side) const;
    /// Moves a flag of the given side ('B' own, 'R' opponent) one cell; a flag
    /// of the other side on the target is taken off. A flag that shared its
    /// cell with the other side's flag leaves that flag where it is. Nothing
    /// changes unless the result is Moved or Captured; then `takenId` (when
    /// given) gets the number of the flag taken off, 0 when none.
    MoveResult apply(const Move &move, char side, int *takenId = nullptr);
    /// Every move that a flag of the side can make, by object number and in
    /// the order N, E, S, W.
    QList<Move> legalMoves(char side) const;

    /// The board as text: the role line, then 40 rows of 40 cells as `cell`
    /// shows them, CR LF ends.
    QByteArray dump(const QByteArray &roleLine) const;

    /// True for a flag cell: one that starts with a side letter B or R.
    static bool isFlag(const QByteArray &cell);
    /// A text naming a move result, for the engine's log.
    static const char *describe(MoveResult result);
    /// A short sentence for a player on why a move was refused.
    static const char *reason(MoveResult result);
    /// The direction letter that leads from one cell to its neighbour N, S,
    /// E or W, 0 when the second cell is no such neighbour.
    static char directionTo(int fromRow, int fromColumn, int toRow, int toColumn);

private:
    struct Flag
    {
        QByteArray code; ///< the four characters, side letter first
        int row = -1;    ///< -1 once taken off
        int column = -1;
    };
    static int index(int row, int column) { return row * Size + column; }
    /// The object numbers per cell of the side's flags.
    QVector<int> &idsOf(char side) { return side == 'B' ? m_ownIds : m_opponentIds; }
    const QVector<int> &idsOf(char side) const { return side == 'B' ? m_ownIds : m_opponentIds; }
    void addFlag(int row, int column, char side, QByteArray code);

    QByteArray m_mapName;
    bool m_host = true;
    char m_loser = 0;
    MapTerrain m_terrain;
    QVector<QByteArray> m_ground; ///< per cell the code shown without a flag
    QVector<int> m_ownIds;        ///< per cell the own flag's number, 0 when none
    QVector<int> m_opponentIds;   ///< per cell the opponent flag's number, 0 when none
    QVector<Flag> m_flags;        ///< per object number - 5001
};
