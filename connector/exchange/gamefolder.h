#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// The game folder: the folder that holds the connector, the engine and every
/// game file. Every file access of the connector goes through this type.
///
/// Names are given the way the game spells them, relative to the folder and
/// with backslashes ("\Send\AICommand.xml", "HostGame.Sav"). They are matched
/// without regard to letter case: when a file or folder of another spelling
/// exists, that spelling is used, so "HostGame.Sav" and "HostGame.sav" are one
/// file on every file system.
///
/// Text files are bytes, one byte per character. Every value written is
/// followed by CR LF; lines are read up to their line end (CR LF, or a bare LF
/// from a file edited elsewhere), which is not part of the line.
class GameFolder
{
public:
    explicit GameFolder(const QString &root);

    /// The folder itself, as an absolute path.
    QString root() const { return m_root; }

    /// The host path of a game file name, reusing the existing spelling of
    /// each part of the name when one exists in another letter case.
    QString path(const QString &name) const;

    /// True when the name is an existing file, not a folder. Never fails.
    bool fileExists(const QString &name) const;
    /// True when the name is an existing folder.
    bool folderExists(const QString &name) const;

    /// The whole file as bytes; false and an error text when it cannot be read.
    bool readAll(const QString &name, QByteArray *bytes, QString *error = nullptr) const;
    /// The file's lines, without their line ends.
    bool readLines(const QString &name, QList<QByteArray> *lines, QString *error = nullptr) const;
    /// The first line of the file; false when it cannot be read or holds no line.
    bool readFirstLine(const QString &name, QByteArray *line, QString *error = nullptr) const;

    /// Creates the file anew and writes the bytes as they are.
    bool writeBytes(const QString &name, const QByteArray &bytes, QString *error = nullptr) const;
    /// Creates the file anew and writes the value followed by CR LF.
    bool writeValue(const QString &name, const QByteArray &value, QString *error = nullptr) const;
    /// Appends the value followed by CR LF, creating the file when missing.
    bool appendValue(const QString &name, const QByteArray &value, QString *error = nullptr) const;

    /// Deletes a file (never a folder); false when it was there and stays.
    bool removeFile(const QString &name, QString *error = nullptr) const;
    /// Renames a file; the target name must be free.
    bool renameFile(const QString &from, const QString &to, QString *error = nullptr) const;

    /// Deletes "\Send\AICommand.xml" and then "\Receive\AICommand.xml" where
    /// they exist as files, so an earlier game's command is never taken as a
    /// move of this one. A folder of either name is left alone.
    void clearStaleCommands() const;

    /// "the game folder has no Receive folder: " and the path where it belongs,
    /// for a folder of the game installation ("Send", "Receive").
    QString missingFolderLine(const QString &folder) const;
    /// That line for each of "Send" and "Receive" that is missing; the
    /// connector never makes them, it tells the player.
    QStringList missingFolderLines() const;

    /// The files of the folder whose names match the wildcard pattern ("*.map",
    /// "*Castle*.arm"), without regard to letter case, sorted by name.
    QStringList list(const QString &pattern) const;

    /// Splits file bytes into lines at CR LF (or a bare LF). Text after the
    /// last line end is a line of its own; a final line end adds no line.
    static QList<QByteArray> splitLines(const QByteArray &bytes);
    /// The text of a byte string for a window (one byte per character).
    static QString toDisplay(const QByteArray &bytes);
    /// The bytes of a window text (one byte per character).
    static QByteArray fromDisplay(const QString &text);

private:
    QString m_root;
};
