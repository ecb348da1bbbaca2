#include "startsequence.h"

#include "gamefolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

const char *const StartSequence::EngineName = "HvdAIS2p.EXE";

QByteArray StartSequence::gameLogHeader(const QDateTime &now)
{
    return "GameLog: " + now.toString(QStringLiteral("MM-dd-yyyy HH:mm:ss")).toLatin1();
}

QByteArray StartSequence::controlIni(Role role, const QByteArray &mapFileName, bool fullScreen)
{
    const bool host = role == Role::Host;
    QByteArray text;
    text += mapFileName + "\r\n";
    text += QByteArray(host ? "HostGame.sav" : "ClientGame.sav") + "\r\n";
    text += QByteArray(fullScreen ? "1" : "0") + "\r\n";
    text += QByteArray(host ? "Host" : "Client") + "\r\n";
    return text;
}

bool StartSequence::run(const GameFolder &folder, Role role, const QByteArray &mapFileName,
                        bool fullScreen, QString *error, const QDateTime &now,
                        const EngineProgram &engine)
{
    if (!folder.writeValue(QStringLiteral("GameLog.txt"), gameLogHeader(now), error))
        return false;
    if (!folder.writeBytes(QStringLiteral("Control.ini"), controlIni(role, mapFileName, fullScreen),
                           error))
        return false;
    return startEngine(folder, error, engine);
}

bool StartSequence::startEngine(const GameFolder &folder, QString *error,
                                const EngineProgram &engine)
{
    const QString program = folder.path(QLatin1String(EngineName));
    const QFileInfo info(program);
    if (!info.isFile()) {
        if (error)
            *error = QStringLiteral("Cannot start the game engine: %1 is missing")
                         .arg(QDir::toNativeSeparators(program));
        return false;
    }
    QProcess process;
    if (!engine.prepare(&process, program, folder.root(), error))
        return false;
    if (!process.startDetached()) {
        if (error)
            *error = QStringLiteral("Cannot start the game engine %1: %2")
                         .arg(QDir::toNativeSeparators(program), process.errorString());
        return false;
    }
    return true;
}

QByteArray StartSequence::startNote(const GameFolder &folder)
{
    if (!EngineProgram::needsWine(folder.path(QLatin1String(EngineName))))
        return QByteArray();
    return "The engine is a Windows program and starts through Wine; its first start can take a "
           "minute.";
}
