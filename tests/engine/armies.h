#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>

/// Builds army files and the two save files of one game for the engine
/// tests, the way the connector lays them out: the own army marked B, then
/// the opponent's army half-turned and marked R.
namespace Armies {

using Rows = QList<QByteArray>;

/// 40 empty rows of 40 cells.
inline Rows empty()
{
    Rows rows;
    for (int i = 0; i < 40; ++i)
        rows.append(QByteArray("000 ").repeated(40));
    return rows;
}

/// Puts a three-character code on a cell (row and column of the army file).
inline void put(Rows *rows, int row, int column, const QByteArray &code)
{
    (*rows)[row].replace(column * 4, 3, code);
}

inline Rows halfTurn(const Rows &rows)
{
    Rows turned;
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        QByteArray cells;
        for (int i = 39; i >= 0; --i)
            cells += row->mid(i * 4, 4);
        turned.append(cells);
    }
    return turned;
}

/// Marks the flag codes 001 to 012 with a side letter.
inline Rows mark(Rows rows, char side)
{
    for (QByteArray &row : rows) {
        for (int i = 0; i < 40; ++i) {
            const QByteArray code = row.mid(i * 4, 3);
            const int kind = code.toInt();
            if (code.startsWith('0') && kind >= 1 && kind <= 12)
                row.replace(i * 4, 1, QByteArray(1, side));
        }
    }
    return rows;
}

/// The save file of the side whose army is `own`.
inline QByteArray save(const Rows &own, const Rows &opponent)
{
    QByteArray text = "Castle\r\n";
    for (const QByteArray &row : mark(own, 'B'))
        text += row + "\r\n";
    for (const QByteArray &row : mark(halfTurn(opponent), 'R'))
        text += row + "\r\n";
    return text;
}

/// A board dump half-turned with the side letters exchanged; the role line
/// (the first line) is left out.
inline Rows mirrored(const Rows &boardRows)
{
    Rows turned = halfTurn(boardRows);
    for (QByteArray &row : turned) {
        for (int i = 0; i < row.size(); i += 4) {
            if (row.at(i) == 'B')
                row[i] = 'R';
            else if (row.at(i) == 'R')
                row[i] = 'B';
        }
    }
    return turned;
}

/// A small army at the bottom of its file: `count` flags of kinds 1 to 12 on
/// rows 36 to 39, every third column.
inline Rows standard(int count, int shift)
{
    Rows rows = empty();
    for (int i = 0; i < count; ++i) {
        const int row = 39 - (i % 4);
        const int column = (shift + 3 * (i / 4) + (i % 4)) % 40;
        put(&rows, row, column, QByteArray::number(1 + i % 12).rightJustified(3, '0'));
    }
    return rows;
}

} // namespace Armies
