#pragma once

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
                    const QDateTime &now = QDateTime::currentDateTime());

    /// Starts the engine of the game folder without waiting for it.
    static bool startEngine(const GameFolder &folder, QString *error);
};
