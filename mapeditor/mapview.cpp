#include "mapview.h"

#include "mapdata.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

MapView::MapView(QWidget *parent) : QWidget(parent)
{
    // Moves are reported without a button held too: the title follows the
    // pointer.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(MapGeometry::viewSize());
}

void MapView::setImage(const QImage *image)
{
    m_image = image;
    update();
}

void MapView::refresh(const QRect &dirty)
{
    if (dirty.isEmpty()) {
        update();
        return;
    }
    const QRectF scaled(QPointF(dirty.topLeft()) * m_zoom, QSizeF(dirty.size()) * m_zoom);
    update(scaled.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void MapView::setZoom(double zoom)
{
    m_zoom = zoom;
    const QSize size = MapGeometry::viewSize();
    setFixedSize(int(std::ceil(size.width() * zoom)), int(std::ceil(size.height() * zoom)));
    update();
}

void MapView::setGridVisible(bool visible)
{
    m_grid = visible;
    update();
}

void MapView::setHoveredCell(const QPoint &cell)
{
    const QPoint next = MapData::inGrid(cell.x(), cell.y()) ? cell : QPoint();
    if (next == m_hovered)
        return;
    if (!m_hovered.isNull())
        update(cellsOnView(QRect(m_hovered, QSize(1, 1))));
    m_hovered = next;
    if (!m_hovered.isNull())
        update(cellsOnView(QRect(m_hovered, QSize(1, 1))));
}

void MapView::setPreview(const QRect &cells)
{
    if (cells == m_preview)
        return;
    if (!m_preview.isEmpty())
        update(cellsOnView(m_preview));
    m_preview = cells;
    if (!m_preview.isEmpty())
        update(cellsOnView(m_preview));
}

QRect MapView::cellsOnView(const QRect &cells) const
{
    const QRect pixels = m_geometry.cellRect(cells.left(), cells.top()) |
                         m_geometry.cellRect(cells.right(), cells.bottom());
    const QRectF scaled(QPointF(pixels.topLeft()) * m_zoom, QSizeF(pixels.size()) * m_zoom);
    return scaled.toAlignedRect().adjusted(-2, -2, 2, 2);
}

void MapView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (m_image) {
        const QRectF source(QPointF(event->rect().topLeft()) / m_zoom,
                            QSizeF(event->rect().size()) / m_zoom);
        painter.drawImage(QRectF(event->rect()), *m_image, source);
    }
    // The overlays are drawn over the picture, never into it.
    auto x = [this](int px) { return std::round(px * m_zoom); };
    const int first = m_geometry.cellWidth();
    const int last = m_geometry.cellWidth() * (MapData::Size + 1);
    if (m_grid) {
        painter.setPen(QColor(128, 128, 128, 170));
        for (int k = 1; k <= MapData::Size + 1; ++k) {
            const double at = x(k * first);
            painter.drawLine(QLineF(at, x(first), at, x(last)));
            painter.drawLine(QLineF(x(first), at, x(last), at));
        }
    }
    auto outline = [&](const QRect &cells, const QColor &colour, Qt::PenStyle style) {
        const QRect pixels = m_geometry.cellRect(cells.left(), cells.top()) |
                             m_geometry.cellRect(cells.right(), cells.bottom());
        QPen pen(colour);
        pen.setStyle(style);
        painter.setPen(pen);
        painter.drawRect(QRectF(x(pixels.left()), x(pixels.top()), x(pixels.width()) - 1,
                                x(pixels.height()) - 1));
    };
    if (!m_preview.isEmpty())
        outline(m_preview, Qt::cyan, Qt::DashLine);
    if (!m_hovered.isNull())
        outline(QRect(m_hovered, QSize(1, 1)), Qt::white, Qt::SolidLine);
}

void MapView::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved(toPicture(event->position()), event->buttons());
}

void MapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        m_pressed = event->button();
        emit pressed(toPicture(event->position()), m_pressed);
    }
}

void MapView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != m_pressed)
        return;
    m_pressed = Qt::NoButton;
    // Over the part of the view that shows, not a part scrolled away.
    const bool over = visibleRegion().contains(event->position().toPoint());
    emit released(toPicture(event->position()), event->button(), over);
}

void MapView::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    emit left();
}
