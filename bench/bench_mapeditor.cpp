// Times the map editor: loading and drawing a map, painting cells by a
// simulated drag with the left button, and a fill of the whole map and its
// undo. One figure a line, the headline last.
#include "editordialogs.h"
#include "form12.h"
#include "mapfile.h"
#include "palette.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

class SilentDialogs : public EditorDialogs
{
public:
    void message(QWidget *, const QString &, const QString &) override {}
    bool askYesNo(QWidget *, const QString &, const QString &) override { return false; }
    QString input(QWidget *, const QString &, const QString &) override { return QString(); }
};

double msSince(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    MapData map;
    const QList<QByteArray> codes = Palette::knownCodes();
    for (int k = 0; k < MapData::CellCount; ++k)
        map.cells[k] = codes.at((k / 3 + k / 40) % codes.size());
    QFile base(dir.filePath(QStringLiteral("Base.map")));
    if (!base.open(QIODevice::WriteOnly) || base.write(MapFile::serialize(map)) < 0)
        return 1;
    base.close();

    constexpr int loads = 100;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < loads; ++i) {
        MapDocument document;
        document.load(dir.path(), QStringLiteral("Base.map"));
    }
    const double coreLoad = msSince(timer) / loads;

    Form12 window(dir.path(), std::make_unique<SilentDialogs>());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    auto *reset = window.findChild<QPushButton *>(QStringLiteral("Command1"));
    auto *view = window.findChild<QWidget *>(QStringLiteral("Picture17"));
    timer.restart();
    for (int i = 0; i < loads; ++i) {
        reset->click();
        view->repaint();
    }
    const double windowLoad = msSince(timer) / loads;

    // A drag over 1000 cells, row by row, each move shown before the next.
    constexpr int cells = 1000;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(15, 15));
    timer.restart();
    for (int i = 0; i < cells; ++i) {
        const int x = 1 + i % 40;
        const int y = 1 + i / 40;
        QTest::mouseMove(view, QPoint(10 * x + 5, 10 * y + 5));
        view->repaint();
    }
    const double perCell = msSince(timer) / cells;
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(600, 600));
    const bool painted = window.document().map().cell(40, 25) == "T02";

    // A fill of the whole map and its undo: in the document alone, then in
    // the window by the fill tool's click and Ctrl+Z, the view repainted.
    MapData grass;
    grass.cells.fill("T02");
    QFile flat(dir.filePath(QStringLiteral("Flat.map")));
    if (!flat.open(QIODevice::WriteOnly) || flat.write(MapFile::serialize(grass)) < 0)
        return 1;
    flat.close();
    constexpr int fills = 200;
    MapDocument document;
    document.load(dir.path(), QStringLiteral("Flat.map"));
    double fillMs = 0, undoMs = 0;
    bool filled = true;
    for (int i = 0; i < fills; ++i) {
        document.pick(i % 2 ? "T02" : "W03");
        timer.restart();
        document.fill(1, 1);
        fillMs += msSince(timer);
        filled = filled && document.map().cell(40, 40) == (i % 2 ? "T02" : "W03");
        timer.restart();
        document.undoStack()->undo();
        undoMs += msSince(timer);
        filled = filled && document.map().cell(40, 40) == "T02";
    }
    fillMs /= fills;
    undoMs /= fills;

    window.findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("Flat.map"));
    reset->click();
    window.findChild<QAction *>(QStringLiteral("actionFill"))->trigger();
    auto *undo = window.findChild<QAction *>(QStringLiteral("actionUndo"));
    // The picker's next entry after "T00" becomes the selected code.
    auto *picker = window.findChild<QComboBox *>(QStringLiteral("Combo1"));
    picker->setCurrentIndex(0);
    QTest::keyClick(picker, Qt::Key_Down);
    double windowFillMs = 0, windowUndoMs = 0;
    for (int i = 0; i < fills; ++i) {
        QTest::mouseMove(view, QPoint(15, 15));
        timer.restart();
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(15, 15));
        view->repaint();
        windowFillMs += msSince(timer);
        filled = filled && window.document().map().cell(40, 40) == "T01";
        timer.restart();
        undo->trigger();
        view->repaint();
        windowUndoMs += msSince(timer);
        filled = filled && window.document().map().cell(40, 40) == "T02";
    }
    windowFillMs /= fills;
    windowUndoMs /= fills;

    std::printf("load and draw a map, core only (a new document each time): %.3f ms\n", coreLoad);
    std::printf("load and draw a map in the window, view repainted: %.3f ms\n", windowLoad);
    std::printf("paint one cell by drag, view updated: %.4f ms (%d cells, %s)\n", perCell, cells,
                painted ? "painted" : "NOT PAINTED");
    std::printf("fill the whole map (1600 cells), document only: %.3f ms\n", fillMs);
    std::printf("undo that fill, document only: %.3f ms\n", undoMs);
    std::printf("fill the whole map by a click of the fill tool, view repainted: %.3f ms\n",
                windowFillMs);
    std::printf("undo that fill by the Undo action, view repainted: %.3f ms (%s)\n", windowUndoMs,
                filled ? "filled and undone" : "NOT FILLED");
    std::printf("headline: load and draw %.2f ms (goal < 20), painted cell %.3f ms (goal < 1), "
                "whole-map fill %.2f ms and its undo %.2f ms (goal < 5 each)\n",
                windowLoad, perCell, fillMs, undoMs);
    return painted && filled ? 0 : 1;
}
