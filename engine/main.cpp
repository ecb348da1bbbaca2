#include "boardwindow.h"
#include "enginefolder.h"
#include "enginegame.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <memory>

// The stand-in game engine: plays one game in the game folder (the working
// folder, or the program's own folder when the working folder holds no
// Control.ini) and ends with 0 when the game is played, 1 when its files
// cannot be used and 2 when nothing happened for too long. It shows the game
// in a board window unless its script says "window hidden"; then it needs no
// display at all. A shown window stays open after the game until it is
// closed, or until the script's idle time has passed once more.
int main(int argc, char *argv[])
{
    QString folder;
    EngineScript script;
    {
        // The program's folder is known only to an application object, and
        // the script decides which kind of application the engine needs.
        QCoreApplication probe(argc, argv);
        folder = EngineFolder::locate(QDir::currentPath(), probe.applicationDirPath());
        QString ignored;
        EngineGame::readScript(EngineFolder(folder), &script, nullptr, &ignored);
    }
    const bool windowed = !script.windowHidden;
    std::unique_ptr<QCoreApplication> app;
    if (windowed)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    EngineGame game(folder);
    QString error;
    if (!game.start(&error)) {
        std::fprintf(stderr, "HvdAIS2p: %s\n", qPrintable(error));
        return EngineGame::SetupFailed;
    }
    std::unique_ptr<BoardWindow> window;
    if (windowed) {
        window = std::make_unique<BoardWindow>(&game);
        window->showAsAsked();
        // Closing the window ends the game where it stands.
        QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &game, &EngineGame::stop);
    }
    const int lingerMs = game.script().idleExitSeconds * 1000;
    QObject::connect(
        &game, &EngineGame::finished, app.get(),
        [windowed, lingerMs](int exitCode) {
            if (!windowed || exitCode != EngineGame::Finished) {
                QCoreApplication::exit(exitCode);
            } else if (lingerMs > 0) {
                QTimer::singleShot(lingerMs, qApp,
                                   [exitCode] { QCoreApplication::exit(exitCode); });
            }
        },
        Qt::QueuedConnection);
    return app->exec();
}
