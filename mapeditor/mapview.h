#pragma once

#include "mapgeometry.h"

#include <QImage>
#include <QPointF>
#include <QWidget>

/// The map view: shows the kept picture of the map at a zoom, with a grid
/// overlay, the hovered cell and a tool's rectangle outlined on top of it,
/// and reports the mouse in the pixels of the picture (the zoom taken off):
/// presses of the left or right button, moves (with the buttons held) and
/// the release of the pressed button, over the view or not.
class MapView : public QWidget
{
    Q_OBJECT

public:
    explicit MapView(QWidget *parent = nullptr);

    /// The kept picture that the view shows; it belongs to the caller and
    /// must outlive the view.
    void setImage(const QImage *image);
    /// Redraws the pixels of the picture that changed (all when empty).
    void refresh(const QRect &dirty = QRect());

    /// The zoom factor; at 1 a pixel of the picture is a pixel of the view.
    double zoom() const { return m_zoom; }
    /// Resizes the view to the picture at the new zoom.
    void setZoom(double zoom);
    bool gridVisible() const { return m_grid; }
    void setGridVisible(bool visible);
    /// Outlines one cell (none when it lies outside the grid).
    void setHoveredCell(const QPoint &cell);
    /// Outlines a rectangle of cells (none when empty).
    void setPreview(const QRect &cells);

signals:
    void pressed(const QPointF &pos, Qt::MouseButton button);
    void mouseMoved(const QPointF &pos, Qt::MouseButtons buttons);
    void released(const QPointF &pos, Qt::MouseButton button, bool overView);
    /// The pointer left the view.
    void left();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QPointF toPicture(const QPointF &pos) const { return pos / m_zoom; }
    /// The view pixels of a rectangle of cells, with room for an outline.
    QRect cellsOnView(const QRect &cells) const;

    const QImage *m_image = nullptr;
    MapGeometry m_geometry;
    double m_zoom = 1.0;
    bool m_grid = false;
    QPoint m_hovered;
    QRect m_preview;
    Qt::MouseButton m_pressed = Qt::NoButton;
};
