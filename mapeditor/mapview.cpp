#include "mapview.h"

#include <QMouseEvent>
#include <QPainter>

MapView::MapView(QWidget *parent) : QWidget(parent)
{
    // Moves are reported without a button held too: the title follows the
    // pointer.
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MapView::setImage(const QImage *image)
{
    m_image = image;
    update();
}

void MapView::refresh(const QRect &dirty)
{
    if (dirty.isEmpty())
        update();
    else
        update(dirty);
}

void MapView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    if (m_image)
        painter.drawImage(event->rect(), *m_image, event->rect());
}

void MapView::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved(event->position(), event->buttons());
}

void MapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        m_pressed = event->button();
}

void MapView::mouseReleaseEvent(QMouseEvent *event)
{
    const bool over = rect().contains(event->position().toPoint());
    if (event->button() == m_pressed) {
        m_pressed = Qt::NoButton;
        if (over)
            emit clicked();
    }
}
