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

#include <QTemporaryDir>

namespace {

std::unique_ptr<QTemporaryDir> folderDir;

bool turnsBack(const QByteArray &row)
{
    return row.size() % 4 == 0 && row.size() <= 160;
}

QByteArray readBack(const GameFolder &folder, const QString &name)
{
    QByteArray bytes;
    FUZZ_CHECK(folder.readAll(name, &bytes));
    return bytes;
}

void checkArmyFlip(const GameFolder &folder, const QList<QByteArray> &lines)
{
    QString error;
    if (!FlipArmySave(folder, "Input.arm", "Once.tmp", &error)) {
        FUZZ_CHECK(lines.isEmpty());
        return;
    }
    FUZZ_CHECK(!lines.isEmpty());
    const QByteArray once = readBack(folder, "Once.tmp");
    FUZZ_CHECK(once.startsWith("\r\n") && once.endsWith("\r\n"));
    FUZZ_CHECK(FlipArmySave(folder, "Once.tmp", "Twice.tmp", &error));
    const QList<QByteArray> twice = GameFolder::splitLines(readBack(folder, "Twice.tmp"));
    FUZZ_CHECK(twice.size() == lines.size());
    FUZZ_CHECK(twice.first().isEmpty());
    for (qsizetype i = 1; i < lines.size(); ++i)
        FUZZ_CHECK(!turnsBack(lines.at(i)) || twice.at(i) == lines.at(i));
}

void checkSaveFlip(const GameFolder &folder, const QList<QByteArray> &lines)
{
    QString error;
    if (!FlipSave(folder, "Input.sav", "Once.tmp", &error)) {
        FUZZ_CHECK(lines.isEmpty());
        return;
    }
    FUZZ_CHECK(!lines.isEmpty());
    const QByteArray once = readBack(folder, "Once.tmp");
    FUZZ_CHECK(once.startsWith(lines.first() + "\r\n"));
    FUZZ_CHECK(FlipSave(folder, "Once.tmp", "Twice.tmp", &error));
    const QList<QByteArray> twice = GameFolder::splitLines(readBack(folder, "Twice.tmp"));
    FUZZ_CHECK(twice.first() == lines.first());
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

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folderDir = std::make_unique<QTemporaryDir>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray bytes = input.rest();
    const GameFolder folder(folderDir->path());
    FUZZ_CHECK(folder.writeBytes("Input.arm", bytes) && folder.writeBytes("Input.sav", bytes));
    const QList<QByteArray> lines = GameFolder::splitLines(bytes);
    checkArmyFlip(folder, lines);
    checkSaveFlip(folder, lines);

    int sides = 0;
    for (const char c : bytes)
        sides += c == 'B' || c == 'R';
    FUZZ_CHECK(maxCount(bytes) == qint16(quint16(sides)));
    return 0;
}
