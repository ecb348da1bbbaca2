#pragma once

#include <QByteArray>
#include <QList>

/// One map as the editor holds it: the 1600 cell codes in row order (y from 1
/// to 40 from the top, within a row x from 1 to 40 from the left) and the
/// twelve flag allotments. Codes and flags are bytes, exactly as in the file.
struct MapData
{
    static constexpr int Size = 40;
    static constexpr int CellCount = Size * Size;
    static constexpr int FlagCount = 12;

    /// Every cell empty and every flag "0": the state of an empty file.
    QList<QByteArray> cells = QList<QByteArray>(CellCount);
    QList<QByteArray> flags = QList<QByteArray>(FlagCount, QByteArray("0"));

    /// True when (x, y) is a cell of the grid; both count from 1.
    static bool inGrid(int x, int y) { return x >= 1 && x <= Size && y >= 1 && y <= Size; }
    /// The position of cell (x, y) in row order.
    static int index(int x, int y) { return (y - 1) * Size + (x - 1); }

    QByteArray cell(int x, int y) const { return cells.at(index(x, y)); }
    void setCell(int x, int y, const QByteArray &code) { cells[index(x, y)] = code; }
};
