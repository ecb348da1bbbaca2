#pragma once

#include <QImage>
#include <QPointF>
#include <QWidget>

/// The map view: shows the kept picture of the map and reports mouse moves
/// (with the buttons held) and clicks, a press and release of the left or
/// right button over the view.
class MapView : public QWidget
{
    Q_OBJECT

public:
    explicit MapView(QWidget *parent = nullptr);

    /// The kept picture that the view shows; it belongs to the caller and
    /// must outlive the view.
    void setImage(const QImage *image);
    /// Redraws the pixels that changed in the picture (all when empty).
    void refresh(const QRect &dirty = QRect());

signals:
    void mouseMoved(const QPointF &pos, Qt::MouseButtons buttons);
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    const QImage *m_image = nullptr;
    Qt::MouseButton m_pressed = Qt::NoButton;
};
