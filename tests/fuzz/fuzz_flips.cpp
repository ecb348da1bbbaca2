// The flips of army and save files (FlipArmySave, FlipSave) and the count of
// side letters, on any file bytes.
//
// Input: the bytes of the file, flipped both as an army file and as a save.
// Invariants:
// - Each flip writes its file (a file with no line at all is refused), the
//   army flip starting with an empty line, the save flip with the first line.
// - Flipping the result again gives every row back whose length is a whole
//   number of cells up to 40 of them, in its place; the save flip loses only
//   its blank rows.
// - maxCount counts the side letters of the text.

#include "armyflip.h"
#include "fuzzinput.h"
#include "gamefolder.h"

namespace {

/// A row of whole cells, up to 40 of them, turns back exactly.
bool turnsBack(const QByteArray &row)
{
    return row.size() % 4 == 0 && row.size() <= 160;
}

/// Flips the input file twice: the bytes of the first result, the lines of
/// the second. A file with no line is refused.
std::pair<QByteArray, QList<QByteArray>>
flipTwice(const GameFolder &folder, decltype(&FlipSave) flip, const QString &input, bool empty)
{
    QString error;
    QByteArray once, twice;
    FUZZ_CHECK(flip(folder, input, "Once.tmp", &error) == !empty);
    if (!empty)
        FUZZ_CHECK(folder.readAll("Once.tmp", &once) &&
                   flip(folder, "Once.tmp", "Twice.tmp", &error) &&
                   folder.readAll("Twice.tmp", &twice));
    return {once, GameFolder::splitLines(twice)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const GameFolder folder(fuzzFolder());
    FUZZ_CHECK(folder.writeBytes("Input.arm", bytes) && folder.writeBytes("Input.sav", bytes));
    FUZZ_CHECK(maxCount(bytes) == qint16(quint16(bytes.count('B') + bytes.count('R'))));
    const QList<QByteArray> lines = GameFolder::splitLines(bytes);
    const auto [army, armyTwice] = flipTwice(folder, &FlipArmySave, "Input.arm", lines.isEmpty());
    const auto [save, saveTwice] = flipTwice(folder, &FlipSave, "Input.sav", lines.isEmpty());
    if (lines.isEmpty())
        return 0;
    FUZZ_CHECK(army.startsWith("\r\n") && army.endsWith("\r\n") &&
               armyTwice.size() == lines.size() && armyTwice.first().isEmpty());
    FUZZ_CHECK(save.startsWith(lines.first() + "\r\n") && saveTwice.first() == lines.first());
    // The save flip loses only the blank rows.
    QList<QByteArray> rows{lines.first()};
    bool exact = true;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        FUZZ_CHECK(!turnsBack(lines.at(i)) || armyTwice.at(i) == lines.at(i));
        exact = exact && (isBlankLine(lines.at(i)) || turnsBack(lines.at(i)));
        if (!isBlankLine(lines.at(i)))
            rows << lines.at(i);
    }
    FUZZ_CHECK(!exact || saveTwice == rows);
    return 0;
}
