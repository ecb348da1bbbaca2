#include "mapcanvas.h"

#include "mapdata.h"
#include "palette.h"

#include <algorithm>

MapCanvas::MapCanvas(const QSize &size) : m_image(size, QImage::Format_RGB32)
{
    m_image.fill(qRgb(0, 0, 0));
}

QRgb MapCanvas::drawMap(const QList<QByteArray> &codes, const Palette &palette)
{
    QRgb current = qRgb(0, 0, 0);
    for (int y = 1; y <= MapData::Size; ++y) {
        for (int x = 1; x <= MapData::Size; ++x) {
            const int k = MapData::index(x, y);
            const QByteArray code = k < codes.size() ? codes.at(k) : QByteArray();
            if (palette.isKnown(code))
                current = palette.colour(code);
            stamp(x, y, current);
        }
    }
    return current;
}

QRect MapCanvas::stamp(int x, int y, QRgb colour)
{
    const QRect cell = m_geometry.cellRect(x, y).intersected(m_image.rect());
    for (int row = cell.top(); row <= cell.bottom(); ++row) {
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(row));
        std::fill(line + cell.left(), line + cell.right() + 1, colour);
    }
    return cell;
}
