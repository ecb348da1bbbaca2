// Times the map editor: loading and drawing a map, and painting cells by a
// simulated drag with the left button. One figure a line, the headline last.
#include "editordialogs.h"
#include "form12.h"
#include "mapfile.h"
#include "palette.h"

#include <QApplication>
#include <QElapsedTimer>
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

    std::printf("load and draw a map, core only (a new document each time): %.3f ms\n", coreLoad);
    std::printf("load and draw a map in the window, view repainted: %.3f ms\n", windowLoad);
    std::printf("paint one cell by drag, view updated: %.4f ms (%d cells, %s)\n", perCell, cells,
                painted ? "painted" : "NOT PAINTED");
    std::printf("headline: load and draw %.2f ms (goal < 20), painted cell %.3f ms (goal < 1)\n",
                windowLoad, perCell);
    return painted ? 0 : 1;
}
