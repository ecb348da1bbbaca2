#pragma once

#include <QWidget>

class BoardCanvas;

/// The board in the window: shows the kept picture of a BoardCanvas, scaled
/// to the widget with its shape kept, and reports clicks on cells and the
/// arrow keys as directions (up is north, away from the own side).
class BoardView : public QWidget
{
    Q_OBJECT

public:
    explicit BoardView(const BoardCanvas *canvas, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    /// Shows a changed part of the picture (pixels of the canvas).
    void showChanged(const QRect &canvasPixels);
    /// Where the picture lies in the widget.
    QRect pictureRect() const;

signals:
    /// A cell was clicked.
    void cellClicked(int row, int column);
    /// An arrow key gave a direction letter N, S, E or W.
    void directionPressed(char direction);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    const BoardCanvas *m_canvas;
};
