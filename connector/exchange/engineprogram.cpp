#include "engineprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

EngineProgram::Kind EngineProgram::kindOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Kind::Other;
    const QByteArray dos = file.read(0x40);
    if (dos.size() < 0x40 || !dos.startsWith("MZ"))
        return Kind::Other;
    const quint32 offset = qFromLittleEndian<quint32>(dos.constData() + 0x3C);
    if (offset > file.size() - 6 || !file.seek(offset))
        return Kind::Other;
    const QByteArray pe = file.read(6);
    if (pe.size() < 6 || !pe.startsWith(QByteArray("PE\0\0", 4)))
        return Kind::Other;
    switch (qFromLittleEndian<quint16>(pe.constData() + 4)) {
    case 0x014C:
        return Kind::WindowsI386;
    case 0x8664:
        return Kind::WindowsX8664;
    default:
        return Kind::Other;
    }
}

EngineProgram::EngineProgram(QProcessEnvironment environment, QString wineDir)
    : m_environment(std::move(environment)), m_wineDir(std::move(wineDir))
{
}

bool EngineProgram::needsWine(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    return kindOf(path) != Kind::Other;
#endif
}

bool EngineProgram::prepare(QProcess *process, const QString &path, const QString &workingDir,
                            QString *error) const
{
    process->setWorkingDirectory(workingDir);
    if (!needsWine(path)) {
        process->setProgram(path);
        return true;
    }
    const Kind kind = kindOf(path);
    const QString wine = wineFor(kind);
    if (wine.isEmpty()) {
        if (error) {
            *error =
                QStringLiteral(
                    "Cannot start the game engine %1: it is a Windows program, and Wine, which "
                    "starts Windows programs, is not installed.\n\nInstall Wine and click "
                    "\"Start\" again (on Debian: sudo apt install wine).%2")
                    .arg(QDir::toNativeSeparators(path),
                         kind == Kind::WindowsI386
                             ? QStringLiteral(" This engine is a 32-bit program: it also needs "
                                              "wine32 (sudo dpkg --add-architecture i386, "
                                              "sudo apt update, sudo apt install wine32).")
                             : QString());
        }
        return false;
    }
    // Quiet, and no offer to download Mono or Gecko on the first start; the
    // player's own settings and WINEPREFIX stay as they are.
    QProcessEnvironment environment = m_environment;
    if (!environment.contains(QStringLiteral("WINEDEBUG")))
        environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    if (!environment.contains(QStringLiteral("WINEDLLOVERRIDES")))
        environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    process->setProcessEnvironment(environment);
    process->setProgram(wine);
    process->setArguments({path});
    return true;
}

QString EngineProgram::wineFor(Kind kind) const
{
    const QStringList paths = m_environment.value(QStringLiteral("PATH"))
                                  .split(QDir::listSeparator(), Qt::SkipEmptyParts);
    // An empty list would make findExecutable search the connector's own PATH.
    if (!paths.isEmpty()) {
        const QString onPath = QStandardPaths::findExecutable(QStringLiteral("wine"), paths);
        if (!onPath.isEmpty())
            return onPath;
    }
    const QFileInfo debian(m_wineDir + (kind == Kind::WindowsX8664 ? QStringLiteral("/wine64")
                                                                   : QStringLiteral("/wine")));
    return debian.isFile() && debian.isExecutable() ? debian.absoluteFilePath() : QString();
}
