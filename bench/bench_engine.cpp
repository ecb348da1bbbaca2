// Times the stand-in engine's board window: a full redraw of the board
// (terrain, flags, marks) shown in the view, and one move (the flag's cells
// and the marks of the last moves stamped again, the view repainted). One
// figure a line, the headline last.
#include "benchfigures.h"
#include "board.h"
#include "boardcanvas.h"
#include "boardview.h"
#include "mapterrain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <cstdio>

namespace {

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed();
    return lines;
}

/// The rows of an army file marked with a side letter, half-turned if asked.
QList<QByteArray> armyRows(const QString &name, char side, bool turn)
{
    QList<QByteArray> rows = fileLines(QStringLiteral(HVD_DATA_DIR "/") + name).mid(1, 40);
    for (QByteArray &row : rows) {
        row = row.leftJustified(160, ' ');
        for (int i = 0; i < 160; i += 4) {
            if (row.at(i) == '0' && row.mid(i, 3) != "000")
                row[i] = side;
        }
        if (turn) {
            QByteArray turned;
            for (int i = 156; i >= 0; i -= 4)
                turned += row.mid(i, 4);
            row = turned;
        }
    }
    if (turn)
        std::reverse(rows.begin(), rows.end());
    return rows;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // The host's board on Castle.map with both sample armies, 47 flags.
    Board board;
    QString error;
    if (!Board::fromSave(QList<QByteArray>{"Castle"} +
                             armyRows(QStringLiteral("Castle_Guard.arm"), 'B', false) +
                             armyRows(QStringLiteral("Castle_Siege.arm"), 'R', true),
                         true, &board, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    board.setTerrain(
        MapTerrain::fromMapLines(fileLines(QStringLiteral(HVD_DATA_DIR "/Castle.map"))));
    BoardCanvas canvas(QImage(QStringLiteral(HVD_DATA_DIR "/../engine/art/banners.png")));
    BoardView view(&canvas);
    view.resize(canvas.image().size());
    view.show();
    if (!QTest::qWaitForWindowExposed(&view))
        return 1;

    BoardCanvas::Marks marks;
    marks.ownFrom = QPoint(4, 33);
    marks.ownTo = QPoint(4, 32);
    marks.opponentFrom = QPoint(5, 7);
    marks.opponentTo = QPoint(5, 8);
    constexpr int redraws = 300;
    std::vector<double> redrawMs;
    QElapsedTimer timer;
    for (int i = 0; i < redraws; ++i) {
        timer.start();
        canvas.redraw(board, marks);
        view.repaint();
        redrawMs.push_back(timer.nsecsElapsed() / 1e6);
    }

    // Moves of both sides in turns, each shown the way the window shows it.
    constexpr int moves = 2000;
    std::vector<double> moveMs;
    QRandomGenerator random(7);
    int made = 0;
    for (int i = 0; i < moves; ++i) {
        const char side = i % 2 ? 'R' : 'B';
        const QList<Board::Move> legal = board.legalMoves(side);
        if (legal.isEmpty() || board.loser())
            break;
        const Board::Move move = legal.at(int(random.bounded(quint32(legal.size()))));
        timer.start();
        int fromRow = 0;
        int fromColumn = 0;
        board.findFlag(move.flagId, &fromRow, &fromColumn);
        board.apply(move, side);
        int toRow = 0;
        int toColumn = 0;
        board.findFlag(move.flagId, &toRow, &toColumn);
        QVector<QPoint> changed = marks.cells();
        (side == 'B' ? marks.ownFrom : marks.opponentFrom) = QPoint(fromColumn, fromRow);
        (side == 'B' ? marks.ownTo : marks.opponentTo) = QPoint(toColumn, toRow);
        changed += marks.cells();
        QRect dirty;
        for (const QPoint &cell : changed)
            dirty |= canvas.stamp(board, marks, cell.y(), cell.x());
        view.repaint(dirty);
        moveMs.push_back(timer.nsecsElapsed() / 1e6);
        ++made;
    }

    const double redrawMedian = percentile(redrawMs, 50);
    const double redrawWorst = percentile(redrawMs, 99);
    const double moveMedian = percentile(moveMs, 50);
    const double moveWorst = percentile(moveMs, 99);
    std::printf("full redraw of the board, view repainted: median %.3f ms, p99 %.3f ms (%d)\n",
                redrawMedian, redrawWorst, redraws);
    std::printf("one move, changed cells stamped and shown: median %.4f ms, p99 %.4f ms (%d)\n",
                moveMedian, moveWorst, made);
    std::printf("headline: full redraw %.2f ms p99 (goal < 5), move %.3f ms p99 (goal < 1)\n",
                redrawWorst, moveWorst);
    return redrawWorst < 5 && moveWorst < 1 ? 0 : 1;
}
