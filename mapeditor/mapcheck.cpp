#include "mapcheck.h"

#include "mapfile.h"
#include "palette.h"

#include <QPoint>
#include <array>

namespace {

constexpr char letters[] = {'T', 'M', 'W', 'S', 'X'};
const char *const terrainNames[] = {"Grass", "Rock", "Water", "Solid", "AI Flag Placement"};

/// The connector's terrain classes: 1 grass and placement cells, 2 rock,
/// 3 solid, 4 water; any other letter takes the class of the cell before.
int terrainClass(char letter, int previous)
{
    switch (letter) {
    case 'T':
    case 'X':
        return 1;
    case 'M':
        return 2;
    case 'S':
        return 3;
    case 'W':
        return 4;
    default:
        return previous;
    }
}

QString cellName(int x, int y)
{
    return QStringLiteral("X: %1  Y: %2").arg(x).arg(y);
}

} // namespace

MapCheck::MapCheck(const MapData &map)
{
    checkCodes(map);
    checkRandomArmy(map);
}

void MapCheck::checkCodes(const MapData &map)
{
    Palette palette;
    palette.loadsettings();
    int empty = 0;
    QPoint firstUnknown, firstEmpty;
    QByteArray unknownCode;
    for (int y = 1; y <= MapData::Size; ++y) {
        for (int x = 1; x <= MapData::Size; ++x) {
            const QByteArray code = map.cell(x, y);
            if (palette.isKnown(code)) {
                for (int t = 0; t < 5; ++t)
                    m_counts[t] += code.at(0) == letters[t] ? 1 : 0;
                continue;
            }
            ++m_unknown;
            if (code.isEmpty()) {
                if (empty++ == 0)
                    firstEmpty = QPoint(x, y);
            } else if (unknownCode.isEmpty()) {
                unknownCode = code;
                firstUnknown = QPoint(x, y);
            }
        }
    }
    const int unknown = m_unknown - empty;
    if (unknown > 0)
        m_problems << QStringLiteral("%1 cell(s) hold an unknown code, the first at %2 (\"%3\").")
                          .arg(unknown)
                          .arg(cellName(firstUnknown.x(), firstUnknown.y()),
                               QString::fromLatin1(unknownCode));
    if (empty > 0)
        m_problems << QStringLiteral("%1 cell(s) hold no code, the first at %2.")
                          .arg(empty)
                          .arg(cellName(firstEmpty.x(), firstEmpty.y()));
}

void MapCheck::checkRandomArmy(const MapData &map)
{
    // The file as the editor writes it, line by line.
    const QList<QByteArray> lines = MapFile::serialize(map).split('\n');
    auto line = [&](int number) {
        QByteArray text = number <= lines.size() ? lines.at(number - 1) : QByteArray();
        if (text.endsWith('\r'))
            text.chop(1);
        return text;
    };

    // Rows 0 and 41 and columns 0 and 41 lie off the board and read as class 0.
    std::array<std::array<int, MapData::Size + 2>, MapData::Size + 2> terrain{};
    QList<QPoint> placements; // (column, row)
    int previous = 0;
    for (int row = 1; row <= MapData::Size; ++row) {
        const QByteArray text = line(row);
        for (int column = 1; column <= MapData::Size; ++column) {
            const qsizetype at = 4 * (column - 1);
            const char letter = at < text.size() ? text.at(at) : '\0';
            previous = terrainClass(letter, previous);
            terrain[row][column] = previous;
            if (letter == 'X')
                placements.append(QPoint(column, row));
        }
    }
    m_placements = int(placements.size());
    if (placements.size() < 2)
        m_problems << QStringLiteral("%1 flag placement cell(s) (X): a random army needs two at "
                                     "least, and the first in reading order is never its home.")
                          .arg(placements.size());
    if (placements.size() > MaxPlacementCells)
        m_problems << QStringLiteral("%1 flag placement cells (X): the connector refuses a map "
                                     "with more than %2 for a random army.")
                          .arg(placements.size())
                          .arg(MaxPlacementCells);

    std::array<int, MapData::FlagCount + 1> count{};
    bool countsOk = true;
    for (int kind = 1; kind <= MapData::FlagCount; ++kind) {
        const QByteArray text = line(41 + kind).trimmed();
        bool ok = false;
        count[kind] = text.toShort(&ok);
        if (!ok) {
            countsOk = false;
            m_problems << QStringLiteral("Flag %1 (\"%2\") is not a whole number from -32768 to "
                                         "32767.")
                              .arg(kind)
                              .arg(QString::fromLatin1(text.left(20)));
        }
    }
    if (!countsOk || placements.size() < 2)
        return;

    // Every placement cell after the first can become the home; the kind 12
    // flag stands on it and kind 10 guards on its grass sides; the rest must
    // find free grass in the flag area.
    auto inArea = [](int column, int row) {
        return row >= FirstFlagRow && row <= LastFlagRow && column >= FirstFlagColumn &&
               column <= LastFlagColumn;
    };
    int grass = 0;
    for (int row = FirstFlagRow; row <= LastFlagRow; ++row)
        for (int column = FirstFlagColumn; column <= LastFlagColumn; ++column)
            grass += terrain[row][column] == 1 ? 1 : 0;
    // The first home that leaves too little room is told, as the connector does.
    const qsizetype homes = std::min<qsizetype>(placements.size(), MaxPlacementCells);
    for (qsizetype i = 1; i < homes; ++i) {
        const QPoint home = placements.at(i);
        int needed = 0;
        for (int kind = 1; kind <= 11; ++kind)
            needed += std::max<int>(count[kind], 0);
        int free = grass - (inArea(home.x(), home.y()) ? 1 : 0);
        int guards = count[10];
        const QPoint sides[] = {home + QPoint(0, 1), home - QPoint(0, 1), home + QPoint(1, 0),
                                home - QPoint(1, 0)};
        for (const QPoint &side : sides) {
            if (guards > 0 && terrain[side.y()][side.x()] == 1) {
                --guards;
                --needed;
                free -= inArea(side.x(), side.y()) ? 1 : 0;
            }
        }
        if (needed > free) {
            m_problems << QStringLiteral("The flag allotments need %1 free grass cells in rows %2 "
                                         "to %3 and columns %4 to %5, which hold only %6.")
                              .arg(needed)
                              .arg(FirstFlagRow)
                              .arg(LastFlagRow)
                              .arg(FirstFlagColumn)
                              .arg(LastFlagColumn)
                              .arg(std::max(free, 0));
            return;
        }
    }
}

QStringList MapCheck::terrainCounts() const
{
    QStringList lines;
    for (int t = 0; t < 5; ++t)
        lines << QStringLiteral("%1 (%2): %3")
                     .arg(QLatin1String(terrainNames[t]), QString(QLatin1Char(letters[t])))
                     .arg(m_counts[t]);
    lines << QStringLiteral("Unknown or empty: %1").arg(m_unknown);
    return lines;
}

int MapCheck::terrainCount(char letter) const
{
    for (int t = 0; t < 5; ++t)
        if (letters[t] == letter)
            return m_counts[t];
    return 0;
}
