#include "board.h"

namespace {

const QByteArray EmptyCell("000 ");

/// The 40 cells of a save row; missing cells are empty, extra text is dropped.
QVector<QByteArray> cellsOf(const QByteArray &row)
{
    QVector<QByteArray> cells(Board::Size, EmptyCell);
    for (int i = 0; i < Board::Size; ++i) {
        const QByteArray cell = row.mid(i * Board::CellWidth, Board::CellWidth);
        if (cell.isEmpty())
            break;
        cells[i] = cell.leftJustified(Board::CellWidth, ' ');
    }
    return cells;
}

bool isBlank(const QByteArray &cell)
{
    const QByteArray code = cell.trimmed();
    return code.isEmpty() || code == "000";
}

/// The code shown on a cell of the overlaid board where no flag stands: any
/// code other than a flag before empty; the first grid wins a tie.
QByteArray ground(const QByteArray &first, const QByteArray &second)
{
    if (!Board::isFlag(first) && !isBlank(first))
        return first;
    if (!Board::isFlag(second) && !isBlank(second))
        return second;
    return EmptyCell;
}

char otherSide(char side)
{
    return side == 'B' ? 'R' : 'B';
}

bool step(char direction, int *row, int *column)
{
    switch (direction) {
    case 'N':
        --*row;
        return true;
    case 'S':
        ++*row;
        return true;
    case 'E':
        ++*column;
        return true;
    case 'W':
        --*column;
        return true;
    default:
        return false;
    }
}

} // namespace

Board::Board()
    : m_ground(Size * Size, EmptyCell), m_ownIds(Size * Size, 0), m_opponentIds(Size * Size, 0)
{
}

bool Board::fromSave(const QList<QByteArray> &lines, bool host, Board *board, QString *error)
{
    if (lines.isEmpty()) {
        if (error)
            *error = QStringLiteral("the save file is empty");
        return false;
    }
    QList<QByteArray> rows;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines.at(i).trimmed().isEmpty())
            rows.append(lines.at(i));
    }
    if (rows.size() != 2 * Size) {
        if (error)
            *error = QStringLiteral("the save file holds %1 board rows instead of %2")
                         .arg(rows.size())
                         .arg(2 * Size);
        return false;
    }

    Board result;
    result.m_mapName = lines.first().trimmed();
    result.m_host = host;
    for (int row = 0; row < Size; ++row) {
        const QVector<QByteArray> own = cellsOf(rows.at(row));
        const QVector<QByteArray> opponent = cellsOf(rows.at(Size + row));
        for (int column = 0; column < Size; ++column) {
            // Every flag counts, as the connector counts every side letter;
            // within a cell the own one comes first, which is the other
            // player's second, so the two numberings stay each other's reverse.
            const bool ownFlag = isFlag(own[column]);
            const bool opponentFlag = isFlag(opponent[column]);
            if (ownFlag)
                result.addFlag(row, column, 'B', own[column]);
            if (opponentFlag)
                result.addFlag(row, column, 'R', opponent[column]);
            // A code under a flag is not kept, as a flag moving onto a code
            // replaces it.
            if (!ownFlag && !opponentFlag)
                result.m_ground[index(row, column)] = host ? ground(own[column], opponent[column])
                                                           : ground(opponent[column], own[column]);
        }
    }
    *board = result;
    return true;
}

void Board::addFlag(int row, int column, char side, QByteArray code)
{
    // The grid decides the side, whatever letter a stray code carries.
    code[0] = side;
    m_flags.append(Flag{code, row, column});
    idsOf(side)[index(row, column)] = FirstObjectId + int(m_flags.size()) - 1;
}

QByteArray Board::cell(int row, int column) const
{
    if (row < 0 || row >= Size || column < 0 || column >= Size)
        return QByteArray();
    const int at = index(row, column);
    // The host's army is the own one on the host and the opponent's on the
    // client; showing it first keeps the dumps each other's half-turn.
    const char first = m_host ? 'B' : 'R';
    for (const char side : {first, otherSide(first)}) {
        if (const int id = idsOf(side).at(at))
            return m_flags.at(id - FirstObjectId).code;
    }
    return m_ground.at(at);
}

int Board::flagAt(int row, int column, char side) const
{
    if (row < 0 || row >= Size || column < 0 || column >= Size || (side != 'B' && side != 'R'))
        return 0;
    return idsOf(side).at(index(row, column));
}

bool Board::findFlag(int flagId, int *row, int *column) const
{
    const int slot = flagId - FirstObjectId;
    if (slot < 0 || slot >= m_flags.size() || m_flags.at(slot).row < 0)
        return false;
    *row = m_flags.at(slot).row;
    *column = m_flags.at(slot).column;
    return true;
}

int Board::kindOf(int flagId) const
{
    const int slot = flagId - FirstObjectId;
    if (slot < 0 || slot >= m_flags.size())
        return 0;
    return m_flags.at(slot).code.mid(1, 2).toInt();
}

char Board::sideOf(int flagId) const
{
    int row = 0;
    int column = 0;
    if (!findFlag(flagId, &row, &column))
        return 0;
    return m_flags.at(flagId - FirstObjectId).code.at(0);
}

Board::MoveResult Board::check(const Move &move, char side) const
{
    const int slot = move.flagId - FirstObjectId;
    if (slot < 0 || slot >= m_flags.size())
        return MoveResult::UnknownFlag;
    int row = 0;
    int column = 0;
    if (!findFlag(move.flagId, &row, &column))
        return MoveResult::TakenFlag;
    if (sideOf(move.flagId) != side)
        return MoveResult::WrongSide;
    if (m_loser)
        return MoveResult::GameOver;
    if (!step(move.direction, &row, &column))
        return MoveResult::BadDirection;
    if (row < 0 || row >= Size || column < 0 || column >= Size)
        return MoveResult::OffBoard;
    if (!m_terrain.isPassable(row, column))
        return m_terrain.code(row, column).startsWith('W') ? MoveResult::Water : MoveResult::Solid;
    if (idsOf(side).at(index(row, column)))
        return MoveResult::BlockedBySide;
    if (idsOf(otherSide(side)).at(index(row, column)))
        return MoveResult::Captured;
    return MoveResult::Moved;
}

Board::MoveResult Board::apply(const Move &move, char side, int *takenId)
{
    const MoveResult result = check(move, side);
    if (result != MoveResult::Moved && result != MoveResult::Captured)
        return result;
    Flag &flag = m_flags[move.flagId - FirstObjectId];
    const int from = index(flag.row, flag.column);
    step(move.direction, &flag.row, &flag.column);
    const int to = index(flag.row, flag.column);
    QVector<int> &taken = idsOf(otherSide(side));
    if (takenId)
        *takenId = taken.at(to);
    if (result == MoveResult::Captured) {
        Flag &lost = m_flags[taken.at(to) - FirstObjectId];
        lost.row = -1;
        lost.column = -1;
        taken[to] = 0;
        if (lost.code.mid(1, 2) == "12")
            m_loser = otherSide(side);
    }
    idsOf(side)[from] = 0;
    idsOf(side)[to] = move.flagId;
    // The flag replaces whatever code it moves onto; it leaves an empty cell
    // behind, or the other side's flag that shared its cell.
    m_ground[to] = EmptyCell;
    return result;
}

QList<Board::Move> Board::legalMoves(char side) const
{
    QList<Move> moves;
    for (int slot = 0; slot < m_flags.size(); ++slot) {
        for (const char direction : {'N', 'E', 'S', 'W'}) {
            const Move move{FirstObjectId + slot, direction};
            const MoveResult result = check(move, side);
            if (result == MoveResult::Moved || result == MoveResult::Captured)
                moves.append(move);
        }
    }
    return moves;
}

QByteArray Board::dump(const QByteArray &roleLine) const
{
    QByteArray text = roleLine + "\r\n";
    for (int row = 0; row < Size; ++row) {
        for (int column = 0; column < Size; ++column)
            text += cell(row, column);
        text += "\r\n";
    }
    return text;
}

bool Board::isFlag(const QByteArray &cell)
{
    return !cell.isEmpty() && (cell.at(0) == 'B' || cell.at(0) == 'R');
}

const char *Board::describe(MoveResult result)
{
    switch (result) {
    case MoveResult::Moved:
        return "moved";
    case MoveResult::Captured:
        return "captured";
    case MoveResult::UnknownFlag:
        return "unknown flag";
    case MoveResult::TakenFlag:
        return "flag already taken";
    case MoveResult::WrongSide:
        return "flag of the other side";
    case MoveResult::BadDirection:
        return "unknown direction";
    case MoveResult::OffBoard:
        return "target off the board";
    case MoveResult::BlockedBySide:
        return "target holds a flag of the same side";
    case MoveResult::Water:
        return "target is water";
    case MoveResult::Solid:
        return "target is solid";
    case MoveResult::GameOver:
        return "the game is over";
    }
    return "unknown";
}

const char *Board::reason(MoveResult result)
{
    switch (result) {
    case MoveResult::Moved:
    case MoveResult::Captured:
        return "";
    case MoveResult::UnknownFlag:
    case MoveResult::TakenFlag:
        return "That flag is no longer on the board.";
    case MoveResult::WrongSide:
        return "That is not one of your flags.";
    case MoveResult::BadDirection:
        return "A flag moves one cell north, south, east or west.";
    case MoveResult::OffBoard:
        return "That cell is off the board.";
    case MoveResult::BlockedBySide:
        return "One of your own flags stands there.";
    case MoveResult::Water:
        return "Water cannot be entered.";
    case MoveResult::Solid:
        return "Solid ground cannot be entered.";
    case MoveResult::GameOver:
        return "The game is over.";
    }
    return "";
}

char Board::directionTo(int fromRow, int fromColumn, int toRow, int toColumn)
{
    const int rows = toRow - fromRow;
    const int columns = toColumn - fromColumn;
    if (columns == 0 && (rows == 1 || rows == -1))
        return rows < 0 ? 'N' : 'S';
    if (rows == 0 && (columns == 1 || columns == -1))
        return columns < 0 ? 'W' : 'E';
    return 0;
}
