#pragma once

#include <QByteArray>
#include <QList>
#include <QVector>

/// The terrain of a map file as the engine plays it: 40 rows of 40 cell codes
/// taken by line position (not the editor's reader, which lets rows break
/// anywhere: the engine reads the cells where the game's engine finds them) (lines 1 to 40, four
/// characters a cell, the code its first three), with the colour of every cell worked out once in
/// the file's reading order, where an unknown code takes the colour of the cell before it (black
/// before the first known code), as the map editor draws it.
class MapTerrain
{
public:
    static constexpr int Size = 40;

    /// Terrain that holds no map: every cell empty, passable and black.
    MapTerrain();

    /// The terrain of a map file's lines; cells past the end of a short line
    /// or of a short file are empty.
    static MapTerrain fromMapLines(const QList<QByteArray> &lines);

    /// The same terrain seen from the other end of the board.
    MapTerrain halfTurned() const;

    /// True once a map was read.
    bool hasMap() const { return m_hasMap; }
    QByteArray code(int row, int column) const { return m_codes.at(row * Size + column); }
    quint32 colour(int row, int column) const { return m_colours.at(row * Size + column); }
    /// Water ("W..") and solid ("S..") cells stop a flag; grass, rock, flag
    /// placement and unknown codes do not.
    bool isPassable(int row, int column) const;

private:
    bool m_hasMap = false;
    QVector<QByteArray> m_codes;
    QVector<quint32> m_colours;
};
