#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <Qt>

class MapDocument;

/// A tool of the map editor: turns the mouse over the map view into edits of
/// the document. The window calls these hooks with cells (which may lie
/// outside the grid); the document's pointer cell has already followed the
/// pointer when mouseMoved and hoveredCellChanged are called.
class MapTool
{
public:
    explicit MapTool(MapDocument *document) : m_document(document) {}
    virtual ~MapTool() = default;
    MapTool(const MapTool &) = delete;
    MapTool &operator=(const MapTool &) = delete;

    /// The tool's name, as its menu entry shows it.
    virtual QString name() const = 0;

    /// The left or right button went down over the view, at `cell`.
    virtual void mousePressed(const QPoint &cell, Qt::MouseButton button)
    {
        Q_UNUSED(cell)
        Q_UNUSED(button)
    }
    /// The pointer moved over the view (or, with a button held, beyond it).
    virtual void mouseMoved(const QPoint &cell, Qt::MouseButtons buttons)
    {
        Q_UNUSED(cell)
        Q_UNUSED(buttons)
    }
    /// The button that went down over the view came up at `cell`; `overView`
    /// tells whether the pointer was still over the view, which makes the
    /// press and the release a click.
    virtual void mouseReleased(const QPoint &cell, Qt::MouseButton button, bool overView) = 0;
    /// The pointer moved onto another cell.
    virtual void hoveredCellChanged(const QPoint &cell) { Q_UNUSED(cell) }

    /// The cells that the tool outlines while it works (in cells, from 1);
    /// empty when it outlines nothing.
    virtual QRect preview() const { return QRect(); }
    /// Another tool is taken: unfinished work is dropped.
    virtual void deactivate() {}

protected:
    MapDocument *m_document;
};
