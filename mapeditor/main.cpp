#include "form12.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(Form12::programTitle());
    // The game folder is the folder of the program itself.
    Form12 window(QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
