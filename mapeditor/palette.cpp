#include "palette.h"

namespace {

QByteArray code(char letter, int height)
{
    QByteArray text(1, letter);
    text += QByteArray::number(height).rightJustified(2, '0');
    return text;
}

void appendRange(QList<QByteArray> *codes, char letter, int first, int last)
{
    for (int h = first; h <= last; ++h)
        codes->append(code(letter, h));
}

} // namespace

void Palette::loadsettings()
{
    m_colours.clear();
    for (int h = 0; h <= 10; ++h) {
        m_colours.insert(code('T', h), qRgb(0, 85 + 17 * h, 0));
        m_colours.insert(code('X', h), qRgb(85 + 17 * h, 85 + 17 * h, 0));
        m_colours.insert(code('M', h), qRgb(64 + 16 * h, 64 + 16 * h, 64 + 16 * h));
    }
    for (int h = 0; h <= 5; ++h)
        m_colours.insert(code('W', h), qRgb(0, 0, 170 + 17 * h));
    m_colours.insert(code('S', 1), qRgb(238, 0, 238));
    for (int h = 2; h <= 13; ++h)
        m_colours.insert(code('S', h), qRgb(221 - 17 * (h - 2), 0, 0));
    // The darkest solids do not follow the step of 17.
    const int darkest[] = {32, 24, 22, 20, 18, 16, 8};
    for (int h = 14; h <= 20; ++h)
        m_colours.insert(code('S', h), qRgb(darkest[h - 14], 0, 0));
}

QList<QByteArray> Palette::knownCodes()
{
    QList<QByteArray> codes = pickerCodes();
    codes.append(code('X', 0));
    return codes;
}

QList<QByteArray> Palette::pickerCodes()
{
    QList<QByteArray> codes;
    appendRange(&codes, 'T', 0, 10);
    appendRange(&codes, 'M', 0, 10);
    appendRange(&codes, 'S', 1, 20);
    appendRange(&codes, 'W', 0, 5);
    appendRange(&codes, 'X', 1, 10);
    return codes;
}
