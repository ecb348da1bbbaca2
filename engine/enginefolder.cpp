#include "enginefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString describe(const QFile &file, const QString &what)
{
    return QStringLiteral("%1 %2: %3")
        .arg(what, QDir::toNativeSeparators(file.fileName()), file.errorString());
}

} // namespace

EngineFolder::EngineFolder(const QString &root) : m_files(root) {}

bool EngineFolder::readAll(const QString &name, QByteArray *bytes, QString *error) const
{
    QFile file(path(name));
    if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = describe(file, QStringLiteral("Cannot open"));
        return false;
    }
    // Read one byte more than allowed, so a file that grows while it is read
    // is caught as well.
    *bytes = file.size() > MaxFileBytes ? QByteArray() : file.read(MaxFileBytes + 1);
    if (file.size() > MaxFileBytes || bytes->size() > MaxFileBytes) {
        bytes->clear();
        if (error)
            *error = QStringLiteral("%1 is larger than %2 bytes")
                         .arg(QDir::toNativeSeparators(file.fileName()))
                         .arg(MaxFileBytes);
        return false;
    }
    return true;
}

bool EngineFolder::readLines(const QString &name, QList<QByteArray> *lines, QString *error) const
{
    QByteArray bytes;
    if (!readAll(name, &bytes, error))
        return false;
    *lines = GameFolder::splitLines(bytes);
    return true;
}

bool EngineFolder::appendLine(const QString &name, const QByteArray &line) const
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = line + "\r\n";
    return file.write(bytes) == bytes.size();
}

bool EngineFolder::publish(const QString &name, const QByteArray &bytes, QString *error) const
{
    const QString target = path(name);
    const QString temporary = target + QStringLiteral(".part");
    QFile::remove(temporary);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        if (error)
            *error = describe(file, QStringLiteral("Cannot write"));
        file.remove();
        return false;
    }
    file.close();
    if (!QFile::rename(temporary, target)) {
        if (error)
            *error = describe(file, QStringLiteral("Cannot rename"));
        QFile::remove(temporary);
        return false;
    }
    return true;
}

bool EngineFolder::removeFile(const QString &name) const
{
    const QString file = path(name);
    return QFileInfo(file).isFile() && QFile::remove(file);
}

QString EngineFolder::locate(const QString &workingFolder, const QString &programFolder)
{
    if (EngineFolder(workingFolder).fileExists(QStringLiteral("Control.ini")))
        return QDir(workingFolder).absolutePath();
    return QDir(programFolder).absolutePath();
}
