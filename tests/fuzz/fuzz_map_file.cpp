// The map editor's map reader and writer on any file bytes.
//
// Input: the bytes of a map file.
// Invariants:
// - Reading gives 1600 cells of at most three characters and twelve flags.
// - A map that canWrite accepts reads back from its written form cell for
//   cell, with its flags trimmed of spaces, and writing that again gives the
//   same bytes; the same holds through a real file in a folder.
// - The default map is never written, in any spelling of its name.

#include "fuzzinput.h"
#include "mapfile.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

std::unique_ptr<QTemporaryDir> folder;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder = std::make_unique<QTemporaryDir>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const MapData map = MapFile::parse(FuzzInput(data, size).rest());
    FUZZ_CHECK(map.cells.size() == MapData::CellCount && map.flags.size() == MapData::FlagCount);
    for (const QByteArray &cell : map.cells)
        FUZZ_CHECK(cell.size() <= 3);
    QString error;
    if (!MapFile::canWrite(map, &error)) {
        FUZZ_CHECK(!error.isEmpty() && !MapFile::write(folder->path(), "Fuzz.map", map, &error));
        return 0;
    }
    const QByteArray written = MapFile::serialize(map);
    const MapData back = MapFile::parse(written);
    FUZZ_CHECK(back.cells == map.cells);
    static const QRegularExpression outerSpaces(QStringLiteral("^ +| +\\z"));
    for (int i = 0; i < MapData::FlagCount; ++i)
        FUZZ_CHECK(back.flags.at(i) ==
                   QString::fromLatin1(map.flags.at(i)).remove(outerSpaces).toLatin1());
    FUZZ_CHECK(MapFile::serialize(back) == written);

    MapData fromFile;
    FUZZ_CHECK(MapFile::write(folder->path(), "Fuzz.map", map, &error));
    FUZZ_CHECK(MapFile::read(folder->path(), "FUZZ.MAP", &fromFile, &error));
    FUZZ_CHECK(fromFile.cells == back.cells && fromFile.flags == back.flags);
    FUZZ_CHECK(!MapFile::write(folder->path(), "bASE.mAP", map, &error));
    FUZZ_CHECK(error == MapFile::refusalText());
    return 0;
}
