// The random army's map reader and placement on any map file bytes.
//
// Input: four bytes of seed, then the bytes of the map file.
// Invariants:
// - A map is refused with an error text and no "Random.arm", or served with
//   an army file of the map's base name and 40 rows of 40 cells "000 " to
//   "012 ".
// - The army holds one home flag (kind 12), on a placement cell "X" of the
//   map that is not the first, and of every other kind exactly its allotment
//   (none for an allotment below one); flags other than the home and its
//   guards stand in rows 4 to 30 and columns 4 to 38, every flag on a grass
//   cell.
// - Equal seeds give equal armies.

#include "fuzzinput.h"
#include "gamefolder.h"
#include "randomarmy.h"

#include <QPoint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const quint32 seed = quint32(input.number16()) << 16 | input.number16();
    const QByteArray map = input.rest();
    const GameFolder folder(fuzzFolder());
    FUZZ_CHECK(folder.writeBytes("Fuzz.map", map));

    QByteArray armies[2];
    for (QByteArray &army : armies) {
        folder.removeFile("Random.arm");
        QString error;
        const bool ok = Module1::CreateRandomArmy(folder, "Fuzz.map", seed, &error);
        FUZZ_CHECK(folder.readAll("Random.arm", &army) == ok && (ok || !error.isEmpty()));
        if (!ok) {
            FUZZ_CHECK(&army == armies); // equal seeds, equal outcomes
            return 0;
        }
    }
    const QByteArray army = armies[0];
    FUZZ_CHECK(armies[1] == army);

    const QList<QByteArray> mapLines = GameFolder::splitLines(map);
    const QList<QByteArray> lines = GameFolder::splitLines(army);
    FUZZ_CHECK(mapLines.size() >= 53 && army.endsWith("\r\n") && lines.size() == 41 &&
               lines.first() == "Fuzz");

    // The terrain class of every cell as the map gives it: grass (T and X)
    // takes flags; an unknown letter, or a cell past the end of a short row,
    // has the class of the cell read before it. The first placement cell of
    // the map never holds the home.
    int terrain = 0;
    int firstX = -1;
    int counts[13] = {};
    QList<std::pair<QPoint, int>> flags; // row and column, kind: all but the home
    QPoint home;
    for (int row = 1; row <= 40; ++row) {
        const QByteArray &mapRow = mapLines.at(row - 1);
        const QByteArray &line = lines.at(row);
        FUZZ_CHECK(line.size() == 160);
        for (int column = 1; column <= 40; ++column) {
            const char letter = 4 * (column - 1) < mapRow.size() ? mapRow.at(4 * (column - 1)) : 0;
            const int known = QByteArray("TXMSW").indexOf(letter);
            terrain = known < 0 ? terrain : known < 2 ? 1 : known;
            if (letter == 'X' && firstX < 0)
                firstX = row * 41 + column;
            const QByteArray cell = line.mid(4 * (column - 1), 4);
            const int kind = cell.mid(1, 2).toInt();
            FUZZ_CHECK(cell.at(0) == '0' && cell.at(3) == ' ' && kind >= 0 && kind <= 12 &&
                       (kind == 0 || terrain == 1));
            ++counts[kind];
            if (kind == 12) {
                FUZZ_CHECK(letter == 'X' && row * 41 + column != firstX);
                home = QPoint(row, column);
            } else if (kind != 0) {
                flags << std::pair(QPoint(row, column), kind);
            }
        }
    }
    FUZZ_CHECK(counts[12] == 1);
    // Flags other than the home and its guards (kind 10 next to it) stand in
    // rows 4 to 30 and columns 4 to 38.
    for (const auto &[at, kind] : flags) {
        const bool guard = kind == 10 && (at - home).manhattanLength() == 1;
        FUZZ_CHECK(guard || (at.x() >= 4 && at.x() <= 30 && at.y() >= 4 && at.y() <= 38));
    }
    for (int kind = 1; kind <= 11; ++kind)
        FUZZ_CHECK(counts[kind] == qMax(int(mapLines.at(40 + kind).trimmed().toShort()), 0));
    return 0;
}
