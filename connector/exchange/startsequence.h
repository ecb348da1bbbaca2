#pragma once

#include "engineprogram.h"
#include "role.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

class GameFolder;

/// What the "Start" button of every session window runs before the relay
/// starts: a new GameLog.txt, a new Control.ini and the engine, started
/// detached from the game folder.
class StartSequence
{
public:
    /// The engine program that the connector starts.
    static const char *const EngineName;

    /// "GameLog: mm-dd-yyyy hh:mm:ss", the first line of the game log.
    static QByteArray gameLogHeader(const QDateTime &now);
    /// The four lines of Control.ini, each followed by CR LF.
    static QByteArray controlIni(Role role, const QByteArray &mapFileName, bool fullScreen);

    /// Writes GameLog.txt and Control.ini and starts the engine. On failure the
    /// error text names the file and the reason; later steps are skipped.
    static bool run(const GameFolder &folder, Role role, const QByteArray &mapFileName,
                    bool fullScreen, QString *error,
                    const QDateTime &now = QDateTime::currentDateTime(),
                    const EngineProgram &engine = EngineProgram());

    /// Starts the engine of the game folder without waiting for it (a
    /// Windows engine through Wine on other systems).
    static bool startEngine(const GameFolder &folder, QString *error,
                            const EngineProgram &engine = EngineProgram());

    /// The output box's line after a start through Wine; empty when the
    /// folder's engine starts directly.
    static QByteArray startNote(const GameFolder &folder);
};
