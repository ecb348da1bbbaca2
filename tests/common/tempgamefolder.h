#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

/// A temporary game folder for a test: Send and Receive exist, and the
/// sample maps and armies and the stand-in engine can be copied in.
class TempGameFolder
{
public:
    TempGameFolder() : m_dir(QDir::tempPath() + QStringLiteral("/hvdtest-XXXXXX"))
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("Send"));
        QDir(m_dir.path()).mkpath(QStringLiteral("Receive"));
    }

    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }

    /// Copies the sample maps and armies of data/ into the folder.
    bool copySamples() const
    {
        const QDir data(QStringLiteral(HVD_DATA_DIR));
        const QStringList names =
            data.entryList({QStringLiteral("*.map"), QStringLiteral("*.arm")}, QDir::Files);
        for (const QString &name : names) {
            if (!QFile::copy(data.filePath(name), file(name)))
                return false;
        }
        return !names.isEmpty();
    }

    /// Copies the stand-in engine (or another program) in under the name
    /// that the connector starts.
    bool installEngine(const char *program = HVD_ENGINE_PATH) const
    {
        const QString target = file(QStringLiteral("HvdAIS2p.EXE"));
        return QFile::copy(QString::fromLocal8Bit(program), target) &&
               QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner);
    }

    /// Writes raw bytes to a file of the folder.
    bool write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(file(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    /// The raw bytes of a file of the folder, empty when missing.
    QByteArray read(const QString &name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
};
