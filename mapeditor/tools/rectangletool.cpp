#include "rectangletool.h"

#include "mapdocument.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

QPoint clamped(const QPoint &cell)
{
    return QPoint(std::clamp(cell.x(), 1, MapData::Size), std::clamp(cell.y(), 1, MapData::Size));
}

} // namespace

QString RectangleTool::name() const
{
    return QCoreApplication::translate("MapTool", "&Rectangle");
}

void RectangleTool::mousePressed(const QPoint &cell, Qt::MouseButton)
{
    m_dragging = MapData::inGrid(cell.x(), cell.y());
    m_anchor = m_corner = cell;
}

void RectangleTool::hoveredCellChanged(const QPoint &cell)
{
    if (m_dragging)
        m_corner = clamped(cell);
}

void RectangleTool::mouseReleased(const QPoint &cell, Qt::MouseButton, bool)
{
    if (!m_dragging)
        return;
    m_dragging = false;
    m_document->fillRectangle(m_anchor, clamped(cell));
}

QRect RectangleTool::preview() const
{
    if (!m_dragging)
        return QRect();
    return QRect(m_anchor, m_corner).normalized();
}

void RectangleTool::deactivate()
{
    m_dragging = false;
}
