#include "mapfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QByteArray flagsLine("[FLAGS]");
const QByteArray lineEnd("\r\n");

/// Only spaces count as trimmed characters; a tab stays.
QByteArray trimSpaces(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    return text.mid(begin, end - begin);
}

/// Hands out the lines of file bytes: a line ends at CR LF or at a lone CR.
class LineReader
{
public:
    explicit LineReader(const QByteArray &bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    QByteArray next()
    {
        const qsizetype cr = m_bytes.indexOf('\r', m_pos);
        const qsizetype end = cr < 0 ? m_bytes.size() : cr;
        const QByteArray line = m_bytes.mid(m_pos, end - m_pos);
        m_pos = end + 1;
        if (cr >= 0 && m_pos < m_bytes.size() && m_bytes.at(m_pos) == '\n')
            ++m_pos;
        return line;
    }

private:
    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
};

QString display(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

} // namespace

QString MapFile::defaultMapName()
{
    return QStringLiteral("Base.map");
}

QString MapFile::refusalText()
{
    return QStringLiteral(
        "Not Saved! Base.map cannot be overwritten. Please rename your map and try again.");
}

bool MapFile::isDefaultMapName(const QString &name)
{
    return name.toLower() == QLatin1String("base.map");
}

MapData MapFile::parse(const QByteArray &bytes)
{
    MapData map;
    QByteArray grid;
    QByteArray last;
    LineReader lines(bytes);
    while (!lines.atEnd()) {
        if (trimSpaces(last) == flagsLine) {
            for (int i = 0; i < MapData::FlagCount && !lines.atEnd(); ++i)
                map.flags[i] = lines.next();
            break;
        }
        last = lines.next();
        const QByteArray trimmed = trimSpaces(last);
        if (!trimmed.isEmpty()) {
            grid += trimmed;
            grid += ' ';
        }
    }
    // Four characters a cell; a grid text that ends early leaves the last
    // cells short or empty.
    for (int k = 0; k < MapData::CellCount; ++k) {
        const qsizetype at = qsizetype(k) * 4;
        if (at >= grid.size())
            break;
        map.cells[k] = grid.mid(at, 3);
    }
    return map;
}

QByteArray MapFile::serialize(const MapData &map)
{
    QByteArray out;
    out.reserve(MapData::Size * (MapData::Size * 4 + 2) + 64);
    for (int y = 1; y <= MapData::Size; ++y) {
        for (int x = 1; x <= MapData::Size; ++x) {
            out += map.cell(x, y);
            out += ' ';
        }
        out += lineEnd;
    }
    out += flagsLine + lineEnd;
    for (const QByteArray &flag : map.flags)
        out += trimSpaces(flag) + lineEnd;
    return out;
}

bool MapFile::canWrite(const MapData &map, QString *error)
{
    int bad = 0;
    int firstX = 0;
    int firstY = 0;
    QByteArray firstCode;
    for (int y = 1; y <= MapData::Size; ++y) {
        for (int x = 1; x <= MapData::Size; ++x) {
            const QByteArray code = map.cell(x, y);
            const bool fits = code.size() == 3 && !code.contains(' ') && !code.contains('\r') &&
                              !code.contains('\n');
            if (fits)
                continue;
            if (bad++ == 0) {
                firstX = x;
                firstY = y;
                firstCode = code;
            }
        }
    }
    if (bad > 0) {
        if (error) {
            *error = QStringLiteral("Not Saved! %1 cell(s) of the map hold no terrain code, the "
                                    "first at X: %2  Y: %3 (\"%4\"). Paint them and try again.")
                         .arg(bad)
                         .arg(firstX)
                         .arg(firstY)
                         .arg(display(firstCode));
        }
        return false;
    }
    for (int i = 0; i < map.flags.size(); ++i) {
        if (map.flags.at(i).contains('\r') || map.flags.at(i).contains('\n')) {
            if (error)
                *error = QStringLiteral("Not Saved! Flag %1 holds a line break.").arg(i + 1);
            return false;
        }
    }
    return true;
}

QString MapFile::path(const QString &folder, const QString &name)
{
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    const QDir dir(slash < 0 ? folder : QDir(folder).filePath(relative.left(slash)));
    const QString fileName = relative.mid(slash + 1);
    const QString direct = dir.filePath(fileName);
    if (fileName.isEmpty() || QFileInfo::exists(direct))
        return direct;
    // Names match without regard to letter case, as the game treats them.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return direct;
}

bool MapFile::read(const QString &folder, const QString &name, MapData *map, QString *error)
{
    *map = MapData();
    const QString filePath = path(folder, name);
    const QFileInfo info(filePath);
    QString reason;
    if (name.isEmpty())
        reason = QStringLiteral("no map name is given");
    else if (!info.exists())
        reason = QStringLiteral("the file does not exist");
    else if (!info.isFile())
        reason = QStringLiteral("it is not a file");
    if (reason.isEmpty()) {
        QFile file(filePath);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            if (file.error() == QFileDevice::NoError) {
                *map = parse(bytes);
                return true;
            }
        }
        reason = file.errorString();
    }
    if (error)
        *error = QStringLiteral("Cannot read map \"%1\": %2.").arg(name, reason);
    return false;
}

bool MapFile::write(const QString &folder, const QString &name, const MapData &map, QString *error)
{
    const QString filePath = path(folder, name);
    // "./Base.map", "base.map " and the like name the default map on some file
    // systems; it is refused by what it points at, not only by its spelling.
    const QFileInfo target(filePath);
    const QFileInfo base(path(folder, defaultMapName()));
    const bool sameAsBase =
        base.exists() && target.exists() && target.canonicalFilePath() == base.canonicalFilePath();
    if (isDefaultMapName(name) || sameAsBase) {
        if (error)
            *error = refusalText();
        return false;
    }
    if (name.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("Not Saved! Please enter a name for your map.");
        return false;
    }
    if (!canWrite(map, error))
        return false;
    QSaveFile file(filePath);
    const QByteArray bytes = serialize(map);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Not Saved! Cannot write map \"%1\": %2.")
                         .arg(name, file.errorString());
        return false;
    }
    return true;
}
