#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRgb>

/// The colours of the 59 known cell codes. Grass, flag placement, rock and
/// water grow brighter with the height; solid grows darker from "S02" on, and
/// "S01" stands apart in magenta.
class Palette
{
public:
    /// An empty palette; loadsettings() fills it.
    Palette() = default;

    /// Fills the table of known codes anew.
    void loadsettings();

    /// True when the code is one of the known codes (exact, case-sensitive).
    bool isKnown(const QByteArray &code) const { return m_colours.contains(code); }
    /// The colour of a known code; black for an unknown one.
    QRgb colour(const QByteArray &code) const { return m_colours.value(code, qRgb(0, 0, 0)); }
    /// The number of codes in the table.
    int size() const { return int(m_colours.size()); }

    /// The 59 known codes: T00-T10, M00-M10, S01-S20, W00-W05, X00-X10.
    static QList<QByteArray> knownCodes();
    /// The 58 codes offered for painting, in the picker's order: the known
    /// codes without "X00".
    static QList<QByteArray> pickerCodes();
    /// The code that painting starts with after every load.
    static QByteArray defaultCode() { return QByteArrayLiteral("T02"); }

private:
    QHash<QByteArray, QRgb> m_colours;
};
