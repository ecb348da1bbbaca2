// Saves a picture of the editor window, opened on the "Base.map" of a folder,
// with the grid on, the map check showing and the pointer over one cell.
//
//   mapeditor_screenshot FOLDER OUT.png
#include "form12.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: mapeditor_screenshot FOLDER OUT.png\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    Form12 window(QString::fromLocal8Bit(argv[1]));
    window.show();
    window.findChild<QAction *>(QStringLiteral("actionGrid"))->setChecked(true);
    window.findChild<QAction *>(QStringLiteral("actionMapCheck"))->setChecked(true);
    int result = 1;
    QTimer::singleShot(300, &window, [&] {
        // The pointer over cell (12, 9): the title, the outline and the status bar follow.
        QWidget *view = window.findChild<QWidget *>(QStringLiteral("Picture17"));
        const QPointF at(125, 95);
        QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        result = window.grab().save(out) ? 0 : 1;
        window.hide();
        app.quit();
    });
    app.exec();
    return result;
}
