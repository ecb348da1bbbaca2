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

using Flip = bool (*)(const GameFolder &, const QString &, const QString &, QString *);

/// Flips the input twice; the lines of both results.
QList<QByteArray> flipTwice(const GameFolder &folder, Flip flip, const QString &input,
                            const QList<QByteArray> &lines, QByteArray *once)
{
    QString error;
    if (!flip(folder, input, "Once.tmp", &error)) {
        FUZZ_CHECK(lines.isEmpty());
        return {};
    }
    QByteArray twice;
    FUZZ_CHECK(!lines.isEmpty() && folder.readAll("Once.tmp", once));
    FUZZ_CHECK(flip(folder, "Once.tmp", "Twice.tmp", &error) &&
               folder.readAll("Twice.tmp", &twice));
    return GameFolder::splitLines(twice);
}

void checkArmyFlip(const GameFolder &folder, const QList<QByteArray> &lines)
{
    QByteArray once;
    const QList<QByteArray> twice = flipTwice(folder, &FlipArmySave, "Input.arm", lines, &once);
    if (lines.isEmpty())
        return;
    FUZZ_CHECK(once.startsWith("\r\n") && once.endsWith("\r\n"));
    FUZZ_CHECK(twice.size() == lines.size() && twice.first().isEmpty());
    for (qsizetype i = 1; i < lines.size(); ++i)
        FUZZ_CHECK(!turnsBack(lines.at(i)) || twice.at(i) == lines.at(i));
}

void checkSaveFlip(const GameFolder &folder, const QList<QByteArray> &lines)
{
    QByteArray once;
    const QList<QByteArray> twice = flipTwice(folder, &FlipSave, "Input.sav", lines, &once);
    if (lines.isEmpty())
        return;
    FUZZ_CHECK(once.startsWith(lines.first() + "\r\n") && twice.first() == lines.first());
    QList<QByteArray> rows{lines.first()};
    bool exact = true;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        exact = exact && (isBlankLine(lines.at(i)) || turnsBack(lines.at(i)));
        if (!isBlankLine(lines.at(i)))
            rows << lines.at(i);
    }
    FUZZ_CHECK(!exact || twice == rows);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray bytes = input.rest();
    const GameFolder folder(fuzzFolder());
    FUZZ_CHECK(folder.writeBytes("Input.arm", bytes) && folder.writeBytes("Input.sav", bytes));
    const QList<QByteArray> lines = GameFolder::splitLines(bytes);
    checkArmyFlip(folder, lines);
    checkSaveFlip(folder, lines);
    FUZZ_CHECK(maxCount(bytes) == qint16(quint16(bytes.count('B') + bytes.count('R'))));
    return 0;
}
