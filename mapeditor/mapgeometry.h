#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

/// Where the cells lie in the map view: cell (x, y) is the square of cell
/// width by cell height pixels whose top-left corner is at (x * width,
/// y * height). The band before cell 1 and everything after cell 40 belong to
/// no cell.
class MapGeometry
{
public:
    explicit MapGeometry(int cellWidth = 10, int cellHeight = 10)
        : m_cellWidth(cellWidth), m_cellHeight(cellHeight)
    {
    }

    int cellWidth() const { return m_cellWidth; }
    int cellHeight() const { return m_cellHeight; }

    /// The pixels of cell (x, y).
    QRect cellRect(int x, int y) const
    {
        return QRect(x * m_cellWidth, y * m_cellHeight, m_cellWidth, m_cellHeight);
    }

    /// The cell under a pointer position in view pixels: half a cell is taken
    /// off, the rest divided by the cell size and rounded to the nearest whole
    /// number, a quotient exactly halfway going to the even one. The result
    /// may lie outside 1 to 40.
    QPoint pointerToCell(const QPointF &pos) const;

    /// Rounds to the nearest whole number, halfway cases to the even one.
    static int roundHalfEven(double value);

    /// The size of the map view in pixels (6405 by 6285 twips).
    static QSize viewSize() { return QSize(427, 419); }

private:
    int m_cellWidth;
    int m_cellHeight;
};
