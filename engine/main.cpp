#include "enginefolder.h"
#include "enginegame.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

// The stand-in game engine: plays one game in the game folder (the working
// folder, or the program's own folder when the working folder holds no
// Control.ini) and ends with 0 when the game is played, 1 when its files
// cannot be used and 2 when nothing happened for too long.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    EngineGame game(EngineFolder::locate(QDir::currentPath(), app.applicationDirPath()));
    QObject::connect(
        &game, &EngineGame::finished, &app, [](int exitCode) { QCoreApplication::exit(exitCode); },
        Qt::QueuedConnection);
    QString error;
    if (!game.start(&error)) {
        std::fprintf(stderr, "HvdAIS2p: %s\n", qPrintable(error));
        return EngineGame::SetupFailed;
    }
    return app.exec();
}
