// Command relay latency and idle cost. One relay (host) takes each command
// that a pretend engine writes into its game folder's "\Send\AICommand.xml"
// and hands it through an in-process send function to a second relay (client)
// in another game folder; the time from the start of the write until
// "\Receive\AICommand.xml" appears there is one latency sample. The pretend
// engine on the client removes the file when it appears and only then writes
// the next command on the host. Afterwards both relays sit idle for five
// seconds and the process's CPU time is measured.
//
// Usage: bench_relay [N]   (N commands, at least 1000; default 1000)

#include "benchfigures.h"
#include "commandrelay.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = std::max(1000, argc > 1 ? QByteArray(argv[1]).toInt() : 1000);

    TempGameFolder hostTmp;
    TempGameFolder clientTmp;
    CommandRelay host(GameFolder(hostTmp.path()), Role::Host);
    CommandRelay client(GameFolder(clientTmp.path()), Role::Client);
    host.setObjectCount(24);
    host.setSendFunction([&client](const QByteArray &command) {
        client.handOver(command);
        return true;
    });
    client.setSendFunction([&host](const QByteArray &command) {
        host.handOver(command);
        return true;
    });
    host.start();
    client.start();

    const QString sendFile = hostTmp.file(QStringLiteral("Send/AICommand.xml"));
    const QString receiveFile = clientTmp.file(QStringLiteral("Receive/AICommand.xml"));
    std::vector<double> latencies;
    latencies.reserve(size_t(count));
    QElapsedTimer clock;
    qint64 writtenAt = 0;
    int written = 0;
    bool failed = false;

    auto writeNext = [&] {
        const QByteArray command = "<Root><Command FlagID='" +
                                   QByteArray::number(5001 + written % 24) + "' Direction='" +
                                   "NSEW"[written % 4] + "' SerpentJump='No'/></Root>\r\n";
        writtenAt = clock.nsecsElapsed();
        QFile file(sendFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(command) != command.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(sendFile));
            failed = true;
            app.quit();
        }
        ++written;
    };

    QFileSystemWatcher engine({clientTmp.file(QStringLiteral("Receive"))});
    QObject::connect(&engine, &QFileSystemWatcher::directoryChanged, &app, [&] {
        if (int(latencies.size()) >= count || !QFile::exists(receiveFile))
            return;
        latencies.push_back(double(clock.nsecsElapsed() - writtenAt) / 1e6);
        QFile::remove(receiveFile);
        if (int(latencies.size()) < count)
            writeNext();
        else
            app.quit();
    });
    QTimer::singleShot(120000, &app, [&] {
        std::fprintf(stderr, "timed out after %zu commands\n", latencies.size());
        failed = true;
        app.quit();
    });

    clock.start();
    QTimer::singleShot(0, &app, writeNext);
    app.exec();
    if (failed)
        return 1;

    // Both relays running, nothing to do.
    const double cpuBefore = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    QTimer::singleShot(5000, &app, &QCoreApplication::quit);
    app.exec();
    const double idleWall = double(idle.elapsed()) / 1000.0;
    const double idleCpu = cpuSeconds() - cpuBefore;

    const double median = percentile(latencies, 50);
    const double p99 = percentile(latencies, 99);
    const double worst = *std::max_element(latencies.begin(), latencies.end());
    const double idlePercent = 100.0 * idleCpu / idleWall;
    std::printf("commands: %d\n", count);
    std::printf("latency max: %.3f ms\n", worst);
    std::printf("latency p99: %.3f ms (goal < 20)\n", p99);
    std::printf("latency median: %.3f ms (goal < 5)\n", median);
    std::printf("idle CPU of both relays over %.1f s: %.3f s = %.3f%% of one core (goal < 1)\n",
                idleWall, idleCpu, idlePercent);
    std::printf("relay: median %.3f ms, p99 %.3f ms, idle CPU %.3f%%\n", median, p99, idlePercent);
    return 0;
}
