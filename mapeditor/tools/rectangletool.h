#pragma once

#include "maptool.h"

/// A drag with either button spans a rectangle from the cell of the press to
/// the cell under the pointer (clamped to the grid); the release fills it
/// with the selected code. A press outside the grid starts nothing.
class RectangleTool : public MapTool
{
public:
    using MapTool::MapTool;

    QString name() const override;
    void mousePressed(const QPoint &cell, Qt::MouseButton button) override;
    void mouseReleased(const QPoint &cell, Qt::MouseButton button, bool overView) override;
    void hoveredCellChanged(const QPoint &cell) override;
    QRect preview() const override;
    void deactivate() override;

private:
    QPoint m_anchor;
    QPoint m_corner;
    bool m_dragging = false;
};
