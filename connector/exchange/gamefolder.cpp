#include "gamefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString describe(const QFile &file, const QString &what)
{
    return QStringLiteral("%1 %2: %3")
        .arg(what, QDir::toNativeSeparators(file.fileName()), file.errorString());
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

GameFolder::GameFolder(const QString &root) : m_root(QDir(root).absolutePath()) {}

QString GameFolder::path(const QString &name) const
{
    QString current = m_root;
    const QStringList parts = QString(name)
                                  .replace(QLatin1Char('\\'), QLatin1Char('/'))
                                  .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString exact = current + QLatin1Char('/') + part;
        if (part == QLatin1String(".") || part == QLatin1String("..") || QFileInfo::exists(exact)) {
            current = exact;
            continue;
        }
        // Another spelling of the same name may exist on a file system that
        // tells letter case apart; take the first such entry.
        const QStringList entries = QDir(current).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        QString found = part;
        for (const QString &entry : entries) {
            if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                found = entry;
                break;
            }
        }
        current += QLatin1Char('/') + found;
    }
    return current;
}

bool GameFolder::fileExists(const QString &name) const
{
    const QFileInfo info(path(name));
    return info.exists() && info.isFile();
}

bool GameFolder::folderExists(const QString &name) const
{
    return QFileInfo(path(name)).isDir();
}

bool GameFolder::readAll(const QString &name, QByteArray *bytes, QString *error) const
{
    QFile file(path(name));
    if (QFileInfo(file.fileName()).isDir()) {
        setError(error, QStringLiteral("Cannot read %1: it is a folder")
                            .arg(QDir::toNativeSeparators(file.fileName())));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, describe(file, QStringLiteral("Cannot open")));
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        setError(error, describe(file, QStringLiteral("Cannot read")));
        return false;
    }
    return true;
}

bool GameFolder::readLines(const QString &name, QList<QByteArray> *lines, QString *error) const
{
    QByteArray bytes;
    if (!readAll(name, &bytes, error))
        return false;
    *lines = splitLines(bytes);
    return true;
}

bool GameFolder::readFirstLine(const QString &name, QByteArray *line, QString *error) const
{
    QByteArray bytes;
    if (!readAll(name, &bytes, error))
        return false;
    if (bytes.isEmpty()) {
        setError(error, QStringLiteral("%1 holds no line").arg(name));
        return false;
    }
    const QList<QByteArray> lines = splitLines(bytes);
    *line = lines.isEmpty() ? QByteArray() : lines.first();
    return true;
}

bool GameFolder::writeBytes(const QString &name, const QByteArray &bytes, QString *error) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        setError(error, describe(file, QStringLiteral("Cannot create")));
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        setError(error, describe(file, QStringLiteral("Cannot write")));
        return false;
    }
    return true;
}

bool GameFolder::writeValue(const QString &name, const QByteArray &value, QString *error) const
{
    return writeBytes(name, value + "\r\n", error);
}

bool GameFolder::appendValue(const QString &name, const QByteArray &value, QString *error) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        setError(error, describe(file, QStringLiteral("Cannot open")));
        return false;
    }
    const QByteArray bytes = value + "\r\n";
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        setError(error, describe(file, QStringLiteral("Cannot write")));
        return false;
    }
    return true;
}

bool GameFolder::removeFile(const QString &name, QString *error) const
{
    QFile file(path(name));
    if (!QFileInfo(file.fileName()).isFile())
        return !QFileInfo::exists(file.fileName());
    if (!file.remove()) {
        setError(error, describe(file, QStringLiteral("Cannot delete")));
        return false;
    }
    return true;
}

bool GameFolder::renameFile(const QString &from, const QString &to, QString *error) const
{
    QFile file(path(from));
    const QString target = path(to);
    if (QFileInfo::exists(target)) {
        setError(error, QStringLiteral("Cannot rename %1: %2 exists")
                            .arg(QDir::toNativeSeparators(file.fileName()),
                                 QDir::toNativeSeparators(target)));
        return false;
    }
    if (!file.rename(target)) {
        setError(error, describe(file, QStringLiteral("Cannot rename")));
        return false;
    }
    return true;
}

void GameFolder::clearStaleCommands() const
{
    for (const char *name : {"\\Send\\AICommand.xml", "\\Receive\\AICommand.xml"}) {
        if (fileExists(QLatin1String(name)))
            removeFile(QLatin1String(name));
    }
}

QString GameFolder::missingFolderLine(const QString &folder) const
{
    return QStringLiteral("the game folder has no %1 folder: %2")
        .arg(folder, QDir::toNativeSeparators(path(folder)));
}

QStringList GameFolder::missingFolderLines() const
{
    QStringList lines;
    for (const QString &folder : {QStringLiteral("Send"), QStringLiteral("Receive")}) {
        if (!folderExists(folder))
            lines << missingFolderLine(folder);
    }
    return lines;
}

QStringList GameFolder::list(const QString &pattern) const
{
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                                QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    const QStringList entries = QDir(m_root).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &entry : entries) {
        if (re.match(entry).hasMatch())
            names << entry;
    }
    names.sort(Qt::CaseInsensitive);
    return names;
}

QList<QByteArray> GameFolder::splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) {
            lines << bytes.mid(start);
            break;
        }
        qsizetype end = lf;
        if (end > start && bytes.at(end - 1) == '\r')
            --end;
        lines << bytes.mid(start, end - start);
        start = lf + 1;
    }
    return lines;
}

QString GameFolder::toDisplay(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray GameFolder::fromDisplay(const QString &text)
{
    return text.toLatin1();
}
