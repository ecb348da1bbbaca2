#include "messages.h"

#include "gamefolder.h"

const char *const Messages::MapMarker = "MAP:";
const char *const Messages::ArmyMarker = "ARMYDATA:";
const char *const Messages::StartDataMarker = "SAVEDATA1:";
const char *const Messages::CommandMarker = "<Root><Command FlagID=";
const char *const Messages::BridgeCommandMarker = "<ROOT><COMMAND";

namespace {

/// What follows a marker's sent form: the marker, then skip characters (its
/// blank). Empty when the marker is missing or the text ends before.
QByteArray after(const QByteArray &text, const char *marker, int skip)
{
    const int at = text.indexOf(marker);
    if (at < 0)
        return QByteArray();
    return text.mid(at + int(qstrlen(marker)) + skip);
}

} // namespace

QByteArray Messages::mapMessage(const QByteArray &mapFileName)
{
    return QByteArray("MAP: ") + mapFileName;
}

QByteArray Messages::armyText(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

QByteArray Messages::armyMessage(const QByteArray &armyText)
{
    return QByteArray("ARMYDATA: ") + armyText;
}

QByteArray Messages::startDataMessage(const QByteArray &startData)
{
    return QByteArray("SAVEDATA1: ") + startData;
}

QByteArray Messages::chatMessage(Role role, const QByteArray &line)
{
    return QByteArray(role == Role::Host ? "SERVER: " : "CLIENT: ") + line;
}

bool Messages::isCommand(const QByteArray &text)
{
    return text.contains(CommandMarker);
}

bool Messages::isBridgeCommand(const QByteArray &text)
{
    return text.contains(BridgeCommandMarker);
}

bool Messages::hasMap(const QByteArray &text)
{
    return text.contains(MapMarker);
}

bool Messages::hasArmy(const QByteArray &text)
{
    return text.contains(ArmyMarker);
}

bool Messages::hasStartData(const QByteArray &text)
{
    return text.contains(StartDataMarker);
}

QByteArray Messages::mapPayload(const QByteArray &text)
{
    return trimBlanks(after(text, MapMarker, 0));
}

QByteArray Messages::armyPayload(const QByteArray &text)
{
    return after(text, ArmyMarker, 1);
}

QByteArray Messages::startDataPayload(const QByteArray &text)
{
    return trimBlanks(after(text, StartDataMarker, 1));
}

QByteArray Messages::printable(const QByteArray &text)
{
    QByteArray shown = text.left(80);
    for (char &c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = '?';
    }
    return text.size() > shown.size() ? shown + "..." : shown;
}

QByteArray Messages::trimBlanks(const QByteArray &text)
{
    int first = 0;
    int last = int(text.size());
    while (first < last && text.at(first) == ' ')
        ++first;
    while (last > first && text.at(last - 1) == ' ')
        --last;
    return text.mid(first, last - first);
}

QString Messages::mapNameProblem(const QByteArray &mapFileName)
{
    if (mapFileName.isEmpty())
        return QStringLiteral("the name is empty");
    if (mapFileName.size() > 255)
        return QStringLiteral("the name is longer than 255 characters");
    for (const char c : mapFileName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return QStringLiteral("the name holds a control character");
        if (c == '/' || c == '\\')
            return QStringLiteral("the name holds a path separator");
        if (c == ':')
            return QStringLiteral("the name holds a drive or a colon");
        if (c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            return QStringLiteral("the name holds a character that no file name may hold");
    }
    if (mapFileName.contains(".."))
        return QStringLiteral("the name holds \"..\"");
    if (mapFileName.size() <= 4)
        return QStringLiteral("the name is too short for a map file name");
    // The host names only files of its "*.map" list; anything else after a
    // "MAP:" is a chat line that mentions the marker, not a map.
    if (!mapFileName.toLower().endsWith(".map"))
        return QStringLiteral("the name does not end in .map");
    // Names that Windows takes for devices, whatever their extension.
    const QByteArray stem = mapFileName.left(mapFileName.indexOf('.')).trimmed().toUpper();
    static const QList<QByteArray> devices = {"CON", "PRN", "AUX", "NUL"};
    if (devices.contains(stem) ||
        (stem.size() == 4 && (stem.startsWith("COM") || stem.startsWith("LPT")) &&
         stem.at(3) >= '1' && stem.at(3) <= '9'))
        return QStringLiteral("the name is that of a device");
    return QString();
}

QByteArray Messages::mapBaseName(const QByteArray &mapFileName)
{
    return mapFileName.size() > 4 ? mapFileName.left(mapFileName.size() - 4) : QByteArray();
}

QString Messages::armyPattern(const QByteArray &mapFileName)
{
    return QLatin1Char('*') + GameFolder::toDisplay(mapBaseName(mapFileName)) +
           QStringLiteral("*.arm");
}
