// Time to make "Random.arm" for every sample map: 1000 runs each, reading the
// map and writing the army through the game folder as the windows do, and the
// placement alone on a map already read. Goal: under 1 ms a run.

#include "gamefolder.h"
#include "randomarmy.h"
#include "tempgamefolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TempGameFolder tmp;
    if (!tmp.copySamples()) {
        std::fprintf(stderr, "no sample maps in %s\n", HVD_DATA_DIR);
        return 1;
    }
    const GameFolder folder(tmp.path());
    const int runs = 1000;
    double worst = 0;
    for (const QString &map : folder.list(QStringLiteral("*.map"))) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < runs; ++i) {
            QString error;
            if (!Module1::CreateRandomArmy(folder, map, quint32(i), &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        }
        const double whole = timer.nsecsElapsed() / 1000.0 / runs;

        QList<QByteArray> lines;
        folder.readLines(map, &lines);
        timer.restart();
        for (int i = 0; i < runs; ++i) {
            RandomArmy army{quint32(i)};
            if (!army.readMap(lines, map, nullptr) || !army.placeArmy(nullptr))
                return 1;
        }
        const double placing = timer.nsecsElapsed() / 1000.0 / runs;
        std::printf("%s: %.1f us a run with files, %.1f us placing alone\n", qPrintable(map), whole,
                    placing);
        worst = qMax(worst, whole);
    }
    std::printf("random army, slowest map: %.1f us a run (goal under 1000 us)\n", worst);
    return worst < 1000 ? 0 : 1;
}
