#include "terrainpalette.h"

namespace {

constexpr quint32 rgb(int red, int green, int blue)
{
    return quint32(red) << 16 | quint32(green) << 8 | quint32(blue);
}

/// The height of a code of the letter within first..last, or -1.
int heightOf(const QByteArray &code, char letter, int first, int last)
{
    if (code.size() != 3 || code.at(0) != letter || code.at(1) < '0' || code.at(1) > '9' ||
        code.at(2) < '0' || code.at(2) > '9')
        return -1;
    const int height = (code.at(1) - '0') * 10 + (code.at(2) - '0');
    return height >= first && height <= last ? height : -1;
}

bool lookUp(const QByteArray &code, quint32 *colour)
{
    int h = -1;
    if ((h = heightOf(code, 'T', 0, 10)) >= 0)
        *colour = rgb(0, 85 + 17 * h, 0);
    else if ((h = heightOf(code, 'X', 0, 10)) >= 0)
        *colour = rgb(85 + 17 * h, 85 + 17 * h, 0);
    else if ((h = heightOf(code, 'M', 0, 10)) >= 0)
        *colour = rgb(64 + 16 * h, 64 + 16 * h, 64 + 16 * h);
    else if ((h = heightOf(code, 'W', 0, 5)) >= 0)
        *colour = rgb(0, 0, 170 + 17 * h);
    else if ((h = heightOf(code, 'S', 1, 20)) >= 0) {
        // The darkest solids do not follow the step of 17.
        static const int darkest[] = {32, 24, 22, 20, 18, 16, 8};
        *colour = h == 1    ? rgb(238, 0, 238)
                  : h <= 13 ? rgb(221 - 17 * (h - 2), 0, 0)
                            : rgb(darkest[h - 14], 0, 0);
    } else
        return false;
    return true;
}

} // namespace

bool TerrainPalette::isKnown(const QByteArray &code)
{
    quint32 colour = 0;
    return lookUp(code, &colour);
}

quint32 TerrainPalette::colour(const QByteArray &code)
{
    quint32 colour = 0;
    return lookUp(code, &colour) ? colour : 0;
}
