#pragma once

#include "maptool.h"

/// The default tool: a drag with the left button paints the cell under the
/// pointer at every move; a click with either button paints the cell of the
/// last move and sets the changed flag; a move with only the right button
/// held swallows the click that follows. A press to its release is one undo
/// step.
class PaintTool : public MapTool
{
public:
    using MapTool::MapTool;

    QString name() const override;
    void mousePressed(const QPoint &cell, Qt::MouseButton button) override;
    void mouseMoved(const QPoint &cell, Qt::MouseButtons buttons) override;
    void mouseReleased(const QPoint &cell, Qt::MouseButton button, bool overView) override;
    void deactivate() override;

    bool skipClick() const { return m_skipClick; }

private:
    bool m_skipClick = false;
};
