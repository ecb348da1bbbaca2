#include "gamefolder.h"
#include "hvdconnect.h"

#include <QApplication>

// HvdConnect works in the folder that holds it: the game folder.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setWindowIcon(HvdConnect::programIcon());
    auto *launcher = new HvdConnect(GameFolder(QCoreApplication::applicationDirPath()));
    launcher->show();
    return app.exec();
}
