#pragma once

#include <QProcessEnvironment>
#include <QString>

class QProcess;

/// How the engine program is started: directly, or through Wine when it is a
/// Windows program and the connector runs on another system (players keep
/// the original engine, a Windows program, in their game folder).
class EngineProgram
{
public:
    /// What the first bytes of a program say it is.
    enum class Kind { Other, WindowsI386, WindowsX8664 };

    /// "MZ", at the offset held at 0x3C "PE\0\0" and the machine 0x014C
    /// (i386) or 0x8664 (x86-64) make a Windows program; a short, truncated
    /// or lying header is Other.
    static Kind kindOf(const QString &path);

    /// environment: the one the engine starts in, whose PATH is searched for
    /// "wine"; wineDir: where "wine64" (x86-64) and "wine" (i386) are found
    /// when the PATH has no "wine".
    explicit EngineProgram(
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(),
        QString wineDir = QStringLiteral("/usr/lib/wine"));

    /// True when the program at path is started through Wine on this system.
    static bool needsWine(const QString &path);

    /// Sets up process to start the program at path from the folder
    /// workingDir. A Windows program with no Wine to start it gives false
    /// and, in error, what the player can do.
    bool prepare(QProcess *process, const QString &path, const QString &workingDir,
                 QString *error) const;

private:
    QString wineFor(Kind kind) const;

    QProcessEnvironment m_environment;
    QString m_wineDir;
};
