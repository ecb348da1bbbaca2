#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <random>

class GameFolder;

/// One run of the random army generator: the map's terrain classes, its flag
/// allotments and placement cells, the army being built and the pseudo-random
/// sequence of the run, seeded once when the run is made.
///
/// Board rows and columns count from 1 to 40, as in the map file. Terrain
/// classes: 1 grass (and "X" placement cells), 2 rock, 3 solid, 4 water; the
/// edges around the board read as class 0. Only class 1 cells take a flag.
class RandomArmy
{
public:
    static constexpr int BoardSize = 40;
    static constexpr int FlagKinds = 12;
    /// Placement cells that a map may hold; the first one is never the home.
    static constexpr int MaxPlacementCells = 20;
    /// The part of the board where PlaceRandomFlag puts flags.
    static constexpr int FirstFlagRow = 4, LastFlagRow = 30;
    static constexpr int FirstFlagColumn = 4, LastFlagColumn = 38;

    explicit RandomArmy(quint32 seed);

    /// Takes the map's lines (without line ends): 40 terrain rows, the
    /// "[FLAGS]" line (not examined) and twelve flag counts. Refuses, with an
    /// error text naming mapName, a map that the generator cannot serve:
    /// too few lines, a count that is no 16-bit whole number, fewer than two
    /// or more than 20 "X" cells. "X" cells on the board's edges are homes
    /// like any other.
    bool readMap(const QList<QByteArray> &lines, const QString &mapName, QString *error);

    /// Chooses the home cell among the placement cells after the first, sets
    /// the kind 12 flag there with kind 10 guards on its grass sides, and
    /// places the rest of the allotment. Refuses a map whose allotment cannot
    /// fit on the free grass of the flag area, before drawing anything.
    bool placeArmy(QString *error);

    /// Places one flag of the kind on a free class 1 cell of the flag area,
    /// preferring the 13 by 25 window around the home cell. Returns 1.
    qint16 PlaceRandomFlag(qint16 kind, int homeRow, int homeColumn);

    /// A whole number from low to high inclusive: low + int(u * (high - low + 1))
    /// for the next u of the run's sequence, 0 <= u < 1.
    int RandomInt(int low, int high);

    /// The army file: the header line, then 40 rows of 40 cells "000 " to
    /// "012 ", CR LF after every line.
    QByteArray armyFile(const QByteArray &header) const;

    int homeRow() const { return m_homeRow; }
    int homeColumn() const { return m_homeColumn; }

private:
    struct Cell
    {
        int row = 0;
        int column = 0;
    };
    using Grid = std::array<std::array<quint8, BoardSize + 2>, BoardSize + 2>;

    /// The kind 10 guards that the home cell gets: the grass cells below,
    /// above, right and left of it, as long as kind 10 flags are left.
    QList<Cell> guardsOf(Cell home) const;
    /// Error text when the allotment cannot fit with this home cell.
    QString capacityProblem(Cell home) const;

    std::mt19937 m_random;
    Grid m_terrain{};
    Grid m_army{};
    std::array<qint16, FlagKinds + 1> m_count{}; // index 1..12
    QList<Cell> m_placementCells;                // in reading order; [0] is slot 1
    QString m_mapName;
    int m_homeRow = 0;
    int m_homeColumn = 0;
};

/// The free-standing module of the connector's shared functions.
namespace Module1 {

/// Makes "Random.arm" in the game folder from the map file of that folder:
/// line 1 the map file name less its last four characters, then the army.
/// The name must be a bare file name. On a map the generator cannot serve,
/// or when a file cannot be read or written, returns false with an error
/// text for a message box, and writes nothing. Seeded from the system's
/// random source once per call.
bool CreateRandomArmy(const GameFolder &folder, const QString &mapFileName, QString *error);

/// The same with a given seed: equal seeds and maps give equal armies.
bool CreateRandomArmy(const GameFolder &folder, const QString &mapFileName, quint32 seed,
                      QString *error);

} // namespace Module1
