#include "randomarmy.h"

#include "gamefolder.h"

#include <QRandomGenerator>

namespace {

constexpr int MapLineCount = 53; // 40 rows, "[FLAGS]", twelve counts
constexpr int FlagsLine = 41;    // 1-based

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
        // Unknown letters and cells past the end of a short row take the
        // class of the cell read before them.
        return previous;
    }
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

RandomArmy::RandomArmy(quint32 seed) : m_random(seed) {}

bool RandomArmy::readMap(const QList<QByteArray> &lines, const QString &mapName, QString *error)
{
    m_mapName = mapName;
    m_terrain = {};
    m_army = {};
    m_count = {};
    m_placementCells.clear();
    m_homeRow = m_homeColumn = 0;

    if (lines.size() < MapLineCount) {
        setError(error, QStringLiteral("Random army: map %1 ends after line %2; a map has %3 "
                                       "lines (40 terrain rows, [FLAGS] and 12 flag counts)")
                            .arg(mapName)
                            .arg(lines.size())
                            .arg(MapLineCount));
        return false;
    }

    int previous = 0;
    for (int row = 1; row <= BoardSize; ++row) {
        const QByteArray &line = lines.at(row - 1);
        for (int column = 1; column <= BoardSize; ++column) {
            const qsizetype at = 4 * (column - 1);
            const char letter = at < line.size() ? line.at(at) : '\0';
            previous = terrainClass(letter, previous);
            m_terrain[row][column] = quint8(previous);
            if (letter == 'X')
                m_placementCells.append({row, column});
        }
    }

    for (int kind = 1; kind <= FlagKinds; ++kind) {
        const int lineNumber = FlagsLine + kind;
        const QByteArray text = lines.at(lineNumber - 1).trimmed();
        bool ok = false;
        const qint16 count = text.toShort(&ok);
        if (!ok) {
            setError(error, QStringLiteral("Random army: map %1, line %2: the count of flag %3 "
                                           "(\"%4\") is not a whole number from -32768 to 32767")
                                .arg(mapName)
                                .arg(lineNumber)
                                .arg(kind)
                                .arg(GameFolder::toDisplay(text.left(20))));
            return false;
        }
        m_count[kind] = count;
    }

    if (m_placementCells.size() < 2) {
        setError(error, QStringLiteral("Random army: map %1 has no second flag placement cell (X)")
                            .arg(mapName));
        return false;
    }
    if (m_placementCells.size() > MaxPlacementCells) {
        setError(error, QStringLiteral("Random army: map %1 has %2 flag placement cells (X); "
                                       "at most %3 are allowed")
                            .arg(mapName)
                            .arg(m_placementCells.size())
                            .arg(MaxPlacementCells));
        return false;
    }
    // A home cell on the board's edge is fine: the grids reach one cell past
    // every edge, and those cells read as class 0, so no guard stands there.
    return true;
}

QList<RandomArmy::Cell> RandomArmy::guardsOf(Cell home) const
{
    QList<Cell> guards;
    int left = m_count[10];
    const Cell sides[] = {{home.row + 1, home.column},
                          {home.row - 1, home.column},
                          {home.row, home.column + 1},
                          {home.row, home.column - 1}};
    for (const Cell &side : sides) {
        if (left > 0 && m_terrain[side.row][side.column] == 1) {
            guards.append(side);
            --left;
        }
    }
    return guards;
}

QString RandomArmy::capacityProblem(Cell home) const
{
    const QList<Cell> guards = guardsOf(home);
    auto inFlagArea = [](Cell c) {
        return c.row >= FirstFlagRow && c.row <= LastFlagRow && c.column >= FirstFlagColumn &&
               c.column <= LastFlagColumn;
    };
    int needed = -int(guards.size());
    for (int kind = 1; kind <= 11; ++kind)
        needed += qMax<int>(m_count[kind], 0);
    int free = inFlagArea(home) ? -1 : 0;
    for (const Cell &guard : guards)
        free -= inFlagArea(guard) ? 1 : 0;
    for (int row = FirstFlagRow; row <= LastFlagRow; ++row) {
        for (int column = FirstFlagColumn; column <= LastFlagColumn; ++column)
            free += m_terrain[row][column] == 1 ? 1 : 0;
    }
    if (needed <= free)
        return {};
    return QStringLiteral("Random army: map %1 allots %2 more flags than the %3 free grass "
                          "cells in rows %4 to %5 and columns %6 to %7 can hold")
        .arg(m_mapName)
        .arg(needed)
        .arg(qMax(free, 0))
        .arg(FirstFlagRow)
        .arg(LastFlagRow)
        .arg(FirstFlagColumn)
        .arg(LastFlagColumn);
}

bool RandomArmy::placeArmy(QString *error)
{
    // Checked for every possible home before the first draw, so that a map
    // either always works or never does.
    for (qsizetype i = 1; i < m_placementCells.size(); ++i) {
        const QString problem = capacityProblem(m_placementCells.at(i));
        if (!problem.isEmpty()) {
            setError(error, problem);
            return false;
        }
    }

    m_army = {};
    // Slot k (2 to 20) is the k-th placement cell; the map has slot 2 at least.
    Cell home;
    for (;;) {
        const int slot = RandomInt(1, 19) + 1;
        if (slot <= m_placementCells.size()) {
            home = m_placementCells.at(slot - 1);
            break;
        }
    }
    m_homeRow = home.row;
    m_homeColumn = home.column;
    m_army[home.row][home.column] = 12;

    std::array<int, FlagKinds + 1> left;
    for (int kind = 1; kind <= FlagKinds; ++kind)
        left[kind] = m_count[kind];
    for (const Cell &guard : guardsOf(home)) {
        m_army[guard.row][guard.column] = 10;
        --left[10];
    }
    // Kind 12 is the home flag alone, whatever its count says.
    for (int kind = 11; kind >= 1; --kind) {
        while (left[kind] > 0)
            left[kind] -= PlaceRandomFlag(qint16(kind), home.row, home.column);
    }
    return true;
}

qint16 RandomArmy::PlaceRandomFlag(qint16 kind, int homeRow, int homeColumn)
{
    for (;;) {
        const int row = RandomInt(1, 27) + 3;
        const int column = RandomInt(1, 35) + 3;
        const bool near = row >= homeRow - 6 && row <= homeRow + 6 && column >= homeColumn - 12 &&
                          column <= homeColumn + 12;
        if (m_terrain[row][column] != 1)
            continue;
        // A far candidate is taken only one time in twelve.
        const int draw = near ? 3 : RandomInt(1, 12);
        if (draw == 3 && m_army[row][column] == 0) {
            m_army[row][column] = quint8(kind);
            return 1;
        }
    }
}

int RandomArmy::RandomInt(int low, int high)
{
    const double u = double(m_random()) / 4294967296.0; // mt19937 gives 32 bits
    return low + int(u * double(high - low + 1));
}

QByteArray RandomArmy::armyFile(const QByteArray &header) const
{
    QByteArray out;
    out.reserve(header.size() + 2 + BoardSize * (4 * BoardSize + 2));
    out += header;
    out += "\r\n";
    for (int row = 1; row <= BoardSize; ++row) {
        for (int column = 1; column <= BoardSize; ++column) {
            const int v = m_army[row][column];
            out += '0';
            out += char('0' + v / 10);
            out += char('0' + v % 10);
            out += ' ';
        }
        out += "\r\n";
    }
    return out;
}

namespace Module1 {

bool CreateRandomArmy(const GameFolder &folder, const QString &mapFileName, QString *error)
{
    return CreateRandomArmy(folder, mapFileName, QRandomGenerator::system()->generate(), error);
}

bool CreateRandomArmy(const GameFolder &folder, const QString &mapFileName, quint32 seed,
                      QString *error)
{
    // Only a map of the game folder itself: no folders, no way out of it.
    if (mapFileName.isEmpty() || mapFileName.contains(QLatin1Char('/')) ||
        mapFileName.contains(QLatin1Char('\\')) || mapFileName.contains(QLatin1Char(':')) ||
        mapFileName.contains(QLatin1String(".."))) {
        setError(error,
                 QStringLiteral("Random army: \"%1\" is not the name of a map in the game folder")
                     .arg(mapFileName));
        return false;
    }

    QList<QByteArray> lines;
    QString readError;
    if (!folder.fileExists(mapFileName)) {
        setError(error,
                 QStringLiteral("Random army: map %1 is not in the game folder").arg(mapFileName));
        return false;
    }
    if (!folder.readLines(mapFileName, &lines, &readError)) {
        setError(
            error,
            QStringLiteral("Random army: map %1 cannot be read (%2)").arg(mapFileName, readError));
        return false;
    }

    RandomArmy army(seed);
    if (!army.readMap(lines, mapFileName, error) || !army.placeArmy(error))
        return false;

    QString writeError;
    const QByteArray header =
        GameFolder::fromDisplay(mapFileName.chopped(qMin<qsizetype>(4, mapFileName.size())));
    // A new file rather than the old one cut to nothing: some file systems
    // flush a truncated file to disk at once, which costs milliseconds.
    folder.removeFile(QStringLiteral("Random.arm"));
    if (!folder.writeBytes(QStringLiteral("Random.arm"), army.armyFile(header), &writeError)) {
        setError(error, QStringLiteral("Random army: %1").arg(writeError));
        return false;
    }
    return true;
}

} // namespace Module1
