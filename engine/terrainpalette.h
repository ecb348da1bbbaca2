#pragma once

#include <QByteArray>

/// The colours of the terrain codes, the same table the map editor paints
/// with: grass, flag placement, rock and water grow brighter with the height,
/// solid grows darker from "S02" on and "S01" stands apart in magenta. The
/// engine keeps its own copy; a test holds it against the editor's.
class TerrainPalette
{
public:
    /// True for one of the 59 known codes (exact, case-sensitive).
    static bool isKnown(const QByteArray &code);
    /// The colour of a known code as 0xRRGGBB; black for an unknown one.
    static quint32 colour(const QByteArray &code);
};
