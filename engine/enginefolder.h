#pragma once

#include "gamefolder.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// The engine's view of the game folder: names are given the way the game
/// spells them ("Send\AICommand.xml") and matched without regard to letter
/// case (the connector's game-folder lookup does it); text files are bytes
/// with CR LF line ends. Reading is the engine's own: it bounds every file.
class EngineFolder
{
public:
    explicit EngineFolder(const QString &root);

    QString root() const { return m_files.root(); }
    /// The host path of a game file name, reusing an existing spelling.
    QString path(const QString &name) const { return m_files.path(name); }
    bool fileExists(const QString &name) const { return m_files.fileExists(name); }

    /// Game files are a few kilobytes; a larger file is refused unread.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

    /// The whole file, when it is no larger than MaxFileBytes.
    bool readAll(const QString &name, QByteArray *bytes, QString *error) const;
    /// The file's lines without their line ends (CR LF or a bare LF).
    bool readLines(const QString &name, QList<QByteArray> *lines, QString *error) const;
    /// Creates the file anew with the bytes as they are.
    bool writeBytes(const QString &name, const QByteArray &bytes, QString *error) const
    {
        return m_files.writeBytes(name, bytes, error);
    }
    /// Appends one line and CR LF, creating the file when missing.
    bool appendLine(const QString &name, const QByteArray &line) const;
    /// Writes the bytes under a temporary name and renames them onto the name,
    /// so a reader never sees half a file. The name must be free.
    bool publish(const QString &name, const QByteArray &bytes, QString *error) const;
    bool removeFile(const QString &name) const;

    /// The folder that holds the game: the working folder when it holds
    /// Control.ini, else the folder of the program.
    static QString locate(const QString &workingFolder, const QString &programFolder);

private:
    GameFolder m_files;
};
