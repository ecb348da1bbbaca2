#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QVector>

class Board;

/// The kept picture of the board window: 40 by 40 cells in the map editor's
/// terrain colours, the flags as their kind's banner (own flags on a light
/// disc, the opponent's mirrored on a dark disc with a red rim; two flags on
/// one cell share it), and frames for the last move of each side and the
/// selected flag. A whole board is drawn once; after that only the cells
/// that change are stamped again.
class BoardCanvas
{
public:
    static constexpr int CellSize = 24;
    static constexpr int Cells = 40;

    /// What the board marks besides terrain and flags, as (column, row)
    /// points; (-1, -1) marks nothing.
    struct Marks
    {
        QPoint selected{-1, -1};
        QPoint ownFrom{-1, -1};
        QPoint ownTo{-1, -1};
        QPoint opponentFrom{-1, -1};
        QPoint opponentTo{-1, -1};
        /// The cells that carry a mark.
        QVector<QPoint> cells() const;
    };

    /// Cuts the twelve banners out of the artwork's strip (64 by 60 pixels
    /// each, from x = 2 on, on a plain background).
    explicit BoardCanvas(const QImage &bannerStrip);

    const QImage &image() const { return m_image; }
    /// The pixels of cell (row, column) in the picture.
    static QRect cellRect(int row, int column);

    /// Draws the whole board.
    void redraw(const Board &board, const Marks &marks);
    /// Draws one cell again; returns its pixels.
    QRect stamp(const Board &board, const Marks &marks, int row, int column);

private:
    void drawCell(QPainter &painter, const Board &board, const Marks &marks, int row,
                  int column) const;

    QImage m_image;
    QVector<QImage> m_own;      ///< per kind 1 to 12 (index 0: a flag of no kind)
    QVector<QImage> m_opponent; ///< the same for the opponent's flags
};
