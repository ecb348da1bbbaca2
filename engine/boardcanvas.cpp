#include "boardcanvas.h"

#include "board.h"

#include <QPainter>

namespace {

constexpr int Kinds = 12;
const QColor OwnMark(0, 230, 255);
const QColor OpponentMark(255, 140, 0);
const QColor SelectedMark(255, 255, 0);

/// One banner of the strip with its background made transparent.
QImage bannerOf(const QImage &strip, int kind)
{
    QImage banner =
        strip.copy(2 + (kind - 1) * 64, 0, 64, 60).convertToFormat(QImage::Format_ARGB32);
    if (banner.isNull())
        return banner;
    const QRgb background = strip.pixel(0, 0);
    for (int y = 0; y < banner.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(banner.scanLine(y));
        for (int x = 0; x < banner.width(); ++x) {
            const QRgb p = line[x];
            if (qAbs(qRed(p) - qRed(background)) + qAbs(qGreen(p) - qGreen(background)) +
                    qAbs(qBlue(p) - qBlue(background)) <
                24)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return banner;
}

/// A flag as drawn on a cell: a disc of its side with the banner on it.
QImage sprite(const QImage &banner, bool own)
{
    const int size = BoardCanvas::CellSize;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(QPen(own ? QColor(255, 255, 255) : QColor(230, 0, 0), 1.5));
    painter.setBrush(own ? QColor(245, 245, 235) : QColor(25, 25, 25));
    // The disc fills the cell and the banner nearly the disc, so the kind
    // stays readable when the window shows the board smaller.
    painter.drawEllipse(QRectF(0.75, 0.75, size - 1.5, size - 1.5));
    if (!banner.isNull())
        painter.drawImage(QRectF(1.5, 1.5, size - 3, size - 3),
                          own ? banner : banner.mirrored(true, false));
    return image;
}

void frame(QPainter &painter, const QRect &cell, const QColor &colour, int width)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const QRect inner = cell.adjusted(width, width, -width, -width);
    painter.drawRect(QRect(cell.left(), cell.top(), cell.width(), width));
    painter.drawRect(QRect(cell.left(), inner.bottom() + 1, cell.width(), width));
    painter.drawRect(QRect(cell.left(), inner.top(), width, inner.height()));
    painter.drawRect(QRect(inner.right() + 1, inner.top(), width, inner.height()));
}

} // namespace

QVector<QPoint> BoardCanvas::Marks::cells() const
{
    QVector<QPoint> marked;
    for (const QPoint &cell : {selected, ownFrom, ownTo, opponentFrom, opponentTo}) {
        if (cell.x() >= 0 && !marked.contains(cell))
            marked.append(cell);
    }
    return marked;
}

BoardCanvas::BoardCanvas(const QImage &bannerStrip)
    : m_image(Cells * CellSize, Cells * CellSize, QImage::Format_RGB32)
{
    m_image.fill(Qt::black);
    for (int kind = 0; kind <= Kinds; ++kind) {
        const QImage banner = kind ? bannerOf(bannerStrip, kind) : QImage();
        m_own.append(sprite(banner, true));
        m_opponent.append(sprite(banner, false));
    }
}

QRect BoardCanvas::cellRect(int row, int column)
{
    return QRect(column * CellSize, row * CellSize, CellSize, CellSize);
}

void BoardCanvas::redraw(const Board &board, const Marks &marks)
{
    QPainter painter(&m_image);
    for (int row = 0; row < Cells; ++row) {
        for (int column = 0; column < Cells; ++column)
            drawCell(painter, board, marks, row, column);
    }
}

QRect BoardCanvas::stamp(const Board &board, const Marks &marks, int row, int column)
{
    if (row < 0 || row >= Cells || column < 0 || column >= Cells)
        return QRect();
    QPainter painter(&m_image);
    drawCell(painter, board, marks, row, column);
    return cellRect(row, column);
}

void BoardCanvas::drawCell(QPainter &painter, const Board &board, const Marks &marks, int row,
                           int column) const
{
    const QRect cell = cellRect(row, column);
    painter.fillRect(cell, QColor::fromRgb(QRgb(board.terrain().colour(row, column))));
    const auto kind = [&board](int id) {
        const int k = board.kindOf(id);
        return k >= 1 && k <= Kinds ? k : 0;
    };
    const int own = board.flagAt(row, column, 'B');
    const int opponent = board.flagAt(row, column, 'R');
    if (own && opponent) {
        // Two flags on one cell: the own one up left, the opponent's down right.
        const int half = CellSize * 3 / 4;
        painter.drawImage(QRect(cell.topLeft(), QSize(half, half)), m_own.at(kind(own)));
        painter.drawImage(QRect(cell.bottomRight() - QPoint(half - 1, half - 1), QSize(half, half)),
                          m_opponent.at(kind(opponent)));
    } else if (own) {
        painter.drawImage(cell.topLeft(), m_own.at(kind(own)));
    } else if (opponent) {
        painter.drawImage(cell.topLeft(), m_opponent.at(kind(opponent)));
    }
    const QPoint at(column, row);
    if (at == marks.opponentFrom || at == marks.opponentTo)
        frame(painter, cell, OpponentMark, at == marks.opponentTo ? 2 : 1);
    if (at == marks.ownFrom || at == marks.ownTo)
        frame(painter, cell, OwnMark, at == marks.ownTo ? 2 : 1);
    if (at == marks.selected)
        frame(painter, cell, SelectedMark, 3);
}
