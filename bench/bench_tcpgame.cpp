// A TCP/IP game between a host window and a client window in one process
// (offscreen), over a loopback socket, with pretend engines in-process:
//
// - handshake: from the click on "Connect to Host" until both windows are
//   "Ready to Start" (the players' clicks follow at once, with Castle.map and
//   the sample armies);
// - relay: the time from one engine writing "\Send\AICommand.xml" until the
//   other engine's "\Receive\AICommand.xml" appears, host and client moving
//   in turns as real engines do;
// - idle: the process's CPU time over ten seconds of a running game in which
//   nobody moves.
//
// Usage: bench_tcpgame [N]   (N moves in all, at least 500; default 1000)

#include "../tests/tcpip/tcpwindowtesting.h"
#include "benchfigures.h"
#include "benchgamefolder.h"
#include "clientsession.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"
#include "tempgamefolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "bench_tcpgame: %s\n", what);
    std::exit(1);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int moves = std::max(500, argc > 1 ? QByteArray(argv[1]).toInt() : 1000);

    RecordedBoxes boxes;
    TempGameFolder hostTmp, clientTmp;
    if (!prepare(hostTmp) || !prepare(clientTmp))
        fail("cannot prepare the game folders");
    HvdHostTCPIP host(GameFolder(hostTmp.path()), HvdHostTCPIP::AnyFreePort);
    HvdClientTCPIP client{GameFolder(clientTmp.path())};
    host.show();
    client.show();
    QTimer::singleShot(60000, &app, [] { fail("timed out"); });
    // A loop of its own for each phase: quitting the application would close
    // the windows.
    QEventLoop phase;

    // The handshake, each player clicking as soon as the window lets them.
    QElapsedTimer clock;
    clock.start();
    int ready = 0;
    qint64 readyAt = 0;
    QObject::connect(host.session(), &HostSession::controlsChanged, &app, [&] {
        if (host.session()->sendEnabled() && button(&host, "Command2")->isEnabled()) {
            control<FileListBox>(&host, "File1")->selectFile(QStringLiteral("Castle.map"));
            control<FileListBox>(&host, "File2")->selectFile(QStringLiteral("Castle_Guard.arm"));
            QTimer::singleShot(0, &app, [&] { button(&host, "Command2")->click(); });
        }
    });
    QObject::connect(client.session(), &ClientSession::mapReceived, &app, [&] {
        QTimer::singleShot(0, &app, [&] {
            control<FileListBox>(&client, "File1")->selectFile(QStringLiteral("Castle_Siege.arm"));
            button(&client, "Command2")->click();
        });
    });
    auto onReady = [&] {
        if (++ready == 2) {
            readyAt = clock.nsecsElapsed();
            phase.quit();
        }
    };
    QObject::connect(host.session(), &HostSession::completed, &app, onReady);
    QObject::connect(client.session(), &ClientSession::completed, &app, onReady);
    control<QLineEdit>(&client, "HostIP")->setText(QStringLiteral("127.0.0.1"));
    control<QLineEdit>(&client, "HostPort")->setText(QString::number(host.listeningPort()));
    const qint64 connectAt = clock.nsecsElapsed();
    button(&client, "Command3")->click();
    phase.exec();
    const double handshakeMs = double(readyAt - connectAt) / 1e6;

    button(&host, "Command1")->click();
    button(&client, "Command1")->click();
    if (!host.session()->gameRunning() || !client.session()->gameRunning() ||
        !boxes.boxes().isEmpty())
        fail("the game did not start");

    // The engines move in turns, the host first; each takes the other's
    // command away before it writes its own, as the engine contract says.
    const QString hostSend = hostTmp.file(QStringLiteral("Send/AICommand.xml"));
    const QString clientSend = clientTmp.file(QStringLiteral("Send/AICommand.xml"));
    const QString hostReceive = hostTmp.file(QStringLiteral("Receive/AICommand.xml"));
    const QString clientReceive = clientTmp.file(QStringLiteral("Receive/AICommand.xml"));
    std::vector<double> latencies;
    latencies.reserve(size_t(moves));
    qint64 writtenAt = 0;
    auto write = [&](const QString &file) {
        const int n = int(latencies.size());
        const QByteArray command = "<Root><Command FlagID='" + QByteArray::number(5001 + n % 24) +
                                   "' Direction='" + "NSEW"[n % 4] +
                                   "' SerpentJump='No'/></Root>\r\n";
        writtenAt = clock.nsecsElapsed();
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(command) != command.size())
            fail("cannot write a command");
    };
    auto arrived = [&](const QString &received, const QString &nextSend) {
        if (!QFile::exists(received))
            return;
        latencies.push_back(double(clock.nsecsElapsed() - writtenAt) / 1e6);
        QFile::remove(received);
        if (int(latencies.size()) < moves)
            write(nextSend);
        else
            phase.quit();
    };
    QFileSystemWatcher clientEngine({clientTmp.file(QStringLiteral("Receive"))});
    QFileSystemWatcher hostEngine({hostTmp.file(QStringLiteral("Receive"))});
    QObject::connect(&clientEngine, &QFileSystemWatcher::directoryChanged, &app,
                     [&] { arrived(clientReceive, clientSend); });
    QObject::connect(&hostEngine, &QFileSystemWatcher::directoryChanged, &app,
                     [&] { arrived(hostReceive, hostSend); });
    QTimer::singleShot(0, &app, [&] { write(hostSend); });
    phase.exec();

    // A running game in which nobody moves.
    const double cpuBefore = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    QTimer::singleShot(10000, Qt::PreciseTimer, &phase, &QEventLoop::quit);
    phase.exec();
    const double idleWall = double(idle.elapsed()) / 1000.0;
    const double idleCpu = cpuSeconds() - cpuBefore;

    if (!boxes.boxes().isEmpty())
        fail(qPrintable(boxes.boxes().first().text));
    const double median = percentile(latencies, 50);
    const double p99 = percentile(latencies, 99);
    const double idlePercent = 100.0 * idleCpu / idleWall;
    std::printf("handshake, Connect to Host to both Ready to Start: %.1f ms (goal < 200)\n",
                handshakeMs);
    std::printf("moves relayed: %zu\n", latencies.size());
    std::printf("relay max: %.3f ms\n", *std::max_element(latencies.begin(), latencies.end()));
    std::printf("relay p99: %.3f ms (goal < 20)\n", p99);
    std::printf("relay median: %.3f ms (goal < 5)\n", median);
    std::printf("idle CPU over %.1f s: %.3f s = %.3f%% of one core (goal < 1)\n", idleWall, idleCpu,
                idlePercent);
    std::printf("tcpgame: handshake %.1f ms, relay median %.3f ms, p99 %.3f ms, idle CPU %.3f%%\n",
                handshakeMs, median, p99, idlePercent);
    return 0;
}
