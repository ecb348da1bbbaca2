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

/// The cell of the overlaid board: a flag before anything else, then any
/// other code, then empty; the first grid wins a tie.
QByteArray overlay(const QByteArray &first, const QByteArray &second)
{
    if (Board::isFlag(first))
        return first;
    if (Board::isFlag(second))
        return second;
    if (!isBlank(first))
        return first;
    return second;
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

Board::Board() : m_cells(Size * Size, EmptyCell), m_ids(Size * Size, 0) {}

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
    for (int row = 0; row < Size; ++row) {
        const QVector<QByteArray> own = cellsOf(rows.at(row));
        const QVector<QByteArray> opponent = cellsOf(rows.at(Size + row));
        for (int column = 0; column < Size; ++column) {
            // The host's army is the own grid on the host and the opponent's
            // grid on the client; giving it the tie on both keeps the views
            // each other's half-turn.
            result.m_cells[index(row, column)] = host ? overlay(own[column], opponent[column])
                                                      : overlay(opponent[column], own[column]);
        }
    }
    for (int row = 0; row < Size; ++row) {
        for (int column = 0; column < Size; ++column) {
            if (!isFlag(result.m_cells.at(index(row, column))))
                continue;
            result.m_positions.append(Position{row, column});
            result.m_ids[index(row, column)] = FirstObjectId + result.m_positions.size() - 1;
        }
    }
    *board = result;
    return true;
}

QByteArray Board::cell(int row, int column) const
{
    if (row < 0 || row >= Size || column < 0 || column >= Size)
        return QByteArray();
    return m_cells.at(index(row, column));
}

int Board::flagAt(int row, int column) const
{
    if (row < 0 || row >= Size || column < 0 || column >= Size)
        return 0;
    return m_ids.at(index(row, column));
}

bool Board::findFlag(int flagId, int *row, int *column) const
{
    const int slot = flagId - FirstObjectId;
    if (slot < 0 || slot >= m_positions.size() || m_positions.at(slot).row < 0)
        return false;
    *row = m_positions.at(slot).row;
    *column = m_positions.at(slot).column;
    return true;
}

char Board::sideOf(int flagId) const
{
    int row = 0;
    int column = 0;
    if (!findFlag(flagId, &row, &column))
        return 0;
    return m_cells.at(index(row, column)).at(0);
}

Board::MoveResult Board::check(const Move &move, char side) const
{
    const int slot = move.flagId - FirstObjectId;
    if (slot < 0 || slot >= m_positions.size())
        return MoveResult::UnknownFlag;
    int row = 0;
    int column = 0;
    if (!findFlag(move.flagId, &row, &column))
        return MoveResult::TakenFlag;
    if (m_cells.at(index(row, column)).at(0) != side)
        return MoveResult::WrongSide;
    if (!step(move.direction, &row, &column))
        return MoveResult::BadDirection;
    if (row < 0 || row >= Size || column < 0 || column >= Size)
        return MoveResult::OffBoard;
    const QByteArray &target = m_cells.at(index(row, column));
    if (isFlag(target))
        return target.at(0) == side ? MoveResult::BlockedBySide : MoveResult::Captured;
    return MoveResult::Moved;
}

Board::MoveResult Board::apply(const Move &move, char side)
{
    const MoveResult result = check(move, side);
    if (result != MoveResult::Moved && result != MoveResult::Captured)
        return result;
    int row = 0;
    int column = 0;
    findFlag(move.flagId, &row, &column);
    const int from = index(row, column);
    step(move.direction, &row, &column);
    const int to = index(row, column);
    if (result == MoveResult::Captured)
        m_positions[m_ids.at(to) - FirstObjectId].row = -1;
    m_cells[to] = m_cells.at(from);
    m_ids[to] = move.flagId;
    m_cells[from] = EmptyCell;
    m_ids[from] = 0;
    m_positions[move.flagId - FirstObjectId] = Position{row, column};
    return result;
}

QList<Board::Move> Board::legalMoves(char side) const
{
    QList<Move> moves;
    for (int slot = 0; slot < m_positions.size(); ++slot) {
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
            text += m_cells.at(index(row, column));
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
    }
    return "unknown";
}
