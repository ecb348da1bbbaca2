#include "mapterrain.h"

#include "palette.h"

#include <algorithm>

MapTerrain::MapTerrain() : m_codes(Size * Size), m_colours(Size * Size, 0) {}

MapTerrain MapTerrain::fromMapLines(const QList<QByteArray> &lines)
{
    MapTerrain terrain;
    terrain.m_hasMap = true;
    // The map editor's colours, from its map library.
    Palette palette;
    palette.loadsettings();
    quint32 current = 0;
    for (int row = 0; row < Size; ++row) {
        const QByteArray line = row < lines.size() ? lines.at(row) : QByteArray();
        for (int column = 0; column < Size; ++column) {
            const QByteArray code = line.mid(column * 4, 3);
            if (palette.isKnown(code))
                current = palette.colour(code) & 0xffffff;
            terrain.m_codes[row * Size + column] = code;
            terrain.m_colours[row * Size + column] = current;
        }
    }
    return terrain;
}

MapTerrain MapTerrain::halfTurned() const
{
    MapTerrain turned = *this;
    std::reverse(turned.m_codes.begin(), turned.m_codes.end());
    std::reverse(turned.m_colours.begin(), turned.m_colours.end());
    return turned;
}

bool MapTerrain::isPassable(int row, int column) const
{
    const QByteArray &code = m_codes.at(row * Size + column);
    return !code.startsWith('W') && !code.startsWith('S');
}
