#pragma once

#include "mapdata.h"

#include <QByteArray>
#include <QString>

/// The map file: 40 grid rows of "code " forty times, the line "[FLAGS]" and
/// twelve flag lines, every line ended by CR LF. The default map "Base.map" is
/// the template of every new map and is never written.
class MapFile
{
public:
    /// The name of the default map.
    static QString defaultMapName();
    /// The message that refuses to write over the default map.
    static QString refusalText();
    /// True when the name, in any letter case, is the default map's name.
    static bool isDefaultMapName(const QString &name);

    /// Reads file bytes the editor's way: the grid is rebuilt from the trimmed
    /// non-blank lines before "[FLAGS]", four characters a cell, whatever the
    /// line breaks; the twelve lines after "[FLAGS]" are the flags, untrimmed.
    /// A line ends at CR LF or at a lone CR; a lone LF is part of the line.
    static MapData parse(const QByteArray &bytes);
    /// The 53 lines of a map file, flags trimmed of spaces.
    static QByteArray serialize(const MapData &map);
    /// True when the map can be written so that it reads back cell for cell:
    /// every code three characters without spaces or line breaks, no line
    /// break in a flag. Otherwise false and a message naming the first fault.
    static bool canWrite(const MapData &map, QString *error = nullptr);

    /// The path of a map name in the folder. Backslashes count as folder
    /// separators; an existing file whose name differs only in letter case is
    /// the same map.
    static QString path(const QString &folder, const QString &name);

    /// Reads the map; on failure gives the state of an empty file (every cell
    /// empty, every flag "0"), false and a message.
    static bool read(const QString &folder, const QString &name, MapData *map,
                     QString *error = nullptr);
    /// Creates or replaces the map file as a whole (an old file stays intact
    /// when writing fails). Refuses the default map, in any spelling that
    /// names it, and maps that would not read back; false and a message then.
    static bool write(const QString &folder, const QString &name, const MapData &map,
                      QString *error = nullptr);
};
