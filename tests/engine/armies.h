#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

#include <array>

/// Army files and save files for the engine tests, laid out as the connector
/// lays them out: the own army marked B, then the opponent's half-turned and
/// marked R.
namespace Armies {

using Rows = QList<QByteArray>;

/// An army file with flags on the given cells: row, column, kind (1 to 12).
inline Rows army(const QList<std::array<int, 3>> &flags)
{
    Rows rows(40, QByteArray("000 ").repeated(40));
    for (const auto &[row, column, kind] : flags)
        rows[row].replace(column * 4, 3, QByteArray::number(kind).rightJustified(3, '0'));
    return rows;
}

/// `count` flags in rows 4 to 30, where the connector's random army puts
/// them; two such armies often claim the same cells.
inline Rows random(quint32 seed, int count)
{
    QRandomGenerator generator(seed);
    QList<std::array<int, 3>> flags;
    for (int i = 0; i < count; ++i)
        flags.append({4 + generator.bounded(27), generator.bounded(40), 1 + i % 12});
    return army(flags);
}

/// Rows half-turned (rows and the cells of each row reversed), with the side
/// letters B and R exchanged if `swapSides`.
inline Rows halfTurn(const Rows &rows, bool swapSides = false)
{
    Rows turned;
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        QByteArray cells;
        for (int i = 39; i >= 0; --i) {
            QByteArray cell = row->mid(i * 4, 4);
            if (swapSides && (cell.startsWith('B') || cell.startsWith('R')))
                cell[0] = cell.at(0) == 'B' ? 'R' : 'B';
            cells += cell;
        }
        turned.append(cells);
    }
    return turned;
}

/// Marks the flags (codes 001 to 012) of an army file with a side letter.
inline Rows mark(Rows rows, char side)
{
    for (QByteArray &row : rows) {
        for (int i = 0; i < row.size(); i += 4) {
            if (row.at(i) == '0' && row.mid(i, 3) != "000")
                row[i] = side;
        }
    }
    return rows;
}

/// The save file of the side whose army is `own`.
inline QByteArray save(const Rows &own, const Rows &opponent)
{
    return "Castle\r\n" + mark(own, 'B').join("\r\n") + "\r\n" +
           mark(halfTurn(opponent), 'R').join("\r\n") + "\r\n";
}

/// The object count as the connector takes it: the side letters of the rows.
inline int objectCount(const QByteArray &save)
{
    return int(save.count('B') + save.count('R'));
}

/// The lines of a text file without their CR LF ends and the empty end.
inline Rows lines(const QByteArray &text)
{
    Rows result = text.split('\n');
    result.removeLast();
    for (QByteArray &line : result)
        line.chop(1);
    return result;
}

} // namespace Armies
