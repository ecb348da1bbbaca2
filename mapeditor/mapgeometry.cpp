#include "mapgeometry.h"

#include <cmath>
#include <limits>

QPoint MapGeometry::pointerToCell(const QPointF &pos) const
{
    const double x = (pos.x() - m_cellWidth / 2.0) / m_cellWidth;
    const double y = (pos.y() - m_cellHeight / 2.0) / m_cellHeight;
    return QPoint(roundHalfEven(x), roundHalfEven(y));
}

int MapGeometry::roundHalfEven(double value)
{
    // A pointer far outside the view must not overflow: such cells are simply
    // outside the grid.
    constexpr double limit = std::numeric_limits<int>::max() / 2;
    if (!(value > -limit))
        return -int(limit);
    if (!(value < limit))
        return int(limit);
    const double below = std::floor(value);
    const double rest = value - below;
    if (rest > 0.5)
        return int(below) + 1;
    if (rest < 0.5)
        return int(below);
    return std::fmod(below, 2.0) == 0.0 ? int(below) : int(below) + 1;
}
