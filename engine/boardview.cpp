#include "boardview.h"

#include "boardcanvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

BoardView::BoardView(const BoardCanvas *canvas, QWidget *parent) : QWidget(parent), m_canvas(canvas)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(BoardCanvas::Cells * 8, BoardCanvas::Cells * 8);
}

QSize BoardView::sizeHint() const
{
    return m_canvas->image().size();
}

QRect BoardView::pictureRect() const
{
    const QSize picture = m_canvas->image().size().scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - picture.width()) / 2, (height() - picture.height()) / 2),
                 picture);
}

void BoardView::showChanged(const QRect &canvasPixels)
{
    const QRect picture = pictureRect();
    const double scale = double(picture.width()) / m_canvas->image().width();
    const QRectF mapped(picture.left() + canvasPixels.left() * scale,
                        picture.top() + canvasPixels.top() * scale, canvasPixels.width() * scale,
                        canvasPixels.height() * scale);
    update(mapped.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void BoardView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect picture = pictureRect();
    if (!picture.contains(event->rect()))
        painter.fillRect(event->rect(), Qt::black);
    if (picture.size() == m_canvas->image().size())
        painter.drawImage(picture.topLeft(), m_canvas->image());
    else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(picture, m_canvas->image());
    }
}

void BoardView::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    const QRect picture = pictureRect();
    const QPointF at = event->position() - QPointF(picture.topLeft());
    if (event->button() != Qt::LeftButton || at.x() < 0 || at.y() < 0 ||
        at.x() >= picture.width() || at.y() >= picture.height())
        return;
    const double cell = double(picture.width()) / BoardCanvas::Cells;
    emit cellClicked(int(at.y() / cell), int(at.x() / cell));
}

void BoardView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        emit directionPressed('N');
        break;
    case Qt::Key_Down:
        emit directionPressed('S');
        break;
    case Qt::Key_Right:
        emit directionPressed('E');
        break;
    case Qt::Key_Left:
        emit directionPressed('W');
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
