#pragma once

#include "mapdata.h"

#include <QList>
#include <QString>
#include <QStringList>

/// What makes a map unfit for play, worked out from the file that the editor
/// would write, read the way the connector reads it for a random army: the
/// rows by line, four characters a cell, the first character the terrain;
/// the twelve counts as whole numbers; the flag placement cells ("X") in
/// reading order, of which the first is never the home cell.
class MapCheck
{
public:
    /// The limits that the connector holds maps to.
    static constexpr int MaxPlacementCells = 20;
    static constexpr int FirstFlagRow = 4, LastFlagRow = 30;
    static constexpr int FirstFlagColumn = 4, LastFlagColumn = 38;

    /// Checks the map as it would be saved.
    explicit MapCheck(const MapData &map);

    /// One line per problem; empty when the map is fit for play.
    const QStringList &problems() const { return m_problems; }
    bool isFit() const { return m_problems.isEmpty(); }

    /// How many cells hold a known code of each terrain type, and how many
    /// an unknown or empty code, one line each ("Grass (T): 1500").
    QStringList terrainCounts() const;
    /// The number of cells whose known code begins with `letter`.
    int terrainCount(char letter) const;
    /// The cells that hold an unknown or empty code.
    int unknownCount() const { return m_unknown; }
    /// The flag placement cells in reading order, as the connector finds them.
    int placementCount() const { return m_placements; }

private:
    void checkCodes(const MapData &map);
    void checkRandomArmy(const MapData &map);

    QStringList m_problems;
    int m_counts[5] = {};
    int m_unknown = 0;
    int m_placements = 0;
};
