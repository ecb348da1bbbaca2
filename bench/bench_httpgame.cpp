// A game through the real HvdBridge between a host and a client HTTP window
// in one process (offscreen), with pretend engines in-process that move in
// turns as the stand-in engine's script does, the host first:
//
// - relay: the time from one engine writing "\Send\AICommand.xml" until the
//   other engine's "\Receive\AICommand.xml" appears, median and p99, for a
//   bridge that holds polls (50 moves each way) and for one started with
//   --hold-seconds 0 (a few moves only: every move waits out five-second
//   pauses there);
// - chat: with the holding bridge, after the moves, a chat line typed in one
//   window until it shows in the other's box, the host's and the client's
//   lines in turn, each typed the moment the other's has shown (so two lines
//   make one round trip), median and p99 of the round trips;
// - idle: with the holding bridge, the process's CPU time and the GetData
//   requests the bridge counted over 30 seconds of a running game in which
//   nobody moves (the client's poll held, the host's player to move).
//
// Usage: bench_httpgame [N] [M]   (N moves each way with holding, default 50;
//                                  M moves each way without, default 2)

#include "../tests/bridge-server/bridgeserverprocess.h"
#include "../tests/tcpip/tcpwindowtesting.h"
#include "benchfigures.h"
#include "benchgamefolder.h"
#include "clientbridgesession.h"
#include "clientsession.h"
#include "filelistbox.h"
#include "hostbridgesession.h"
#include "hostsession.h"
#include "hvdclienthttp.h"
#include "hvdhosthttp.h"
#include "tempgamefolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "bench_httpgame: %s\n", what);
    std::exit(1);
}

/// The GetData requests the bridge has answered so far (its /metrics).
long getDataRequests(const QUrl &bridge)
{
    QNetworkAccessManager network;
    QUrl url = bridge;
    url.setPath(QStringLiteral("/metrics"));
    QNetworkReply *reply = network.get(QNetworkRequest(url));
    QEventLoop wait;
    QObject::connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
    wait.exec();
    long count = 0;
    static const QRegularExpression line(
        QStringLiteral("^hvdbridge_requests_total\\{page=\"GetData.asp\",[^}]*\\} (\\d+)$"),
        QRegularExpression::MultilineOption);
    auto matches = line.globalMatch(QString::fromLatin1(reply->readAll()));
    while (matches.hasNext())
        count += matches.next().captured(1).toLong();
    reply->deleteLater();
    return count;
}

struct Figures
{
    double handshakeMs = 0;
    std::vector<double> latencies;
    std::vector<double> chatRoundTrips;
    double idleWall = 0;
    double idleCpu = 0;
    long idlePolls = 0;
};

/// Registration, selections and start as players who click as soon as the
/// windows let them, then `moves` moves each way; the idle phase when asked.
Figures play(const QUrl &bridge, int moves, bool idle)
{
    Figures figures;
    RecordedBoxes boxes;
    TempGameFolder hostTmp, clientTmp;
    if (!prepare(hostTmp) || !prepare(clientTmp))
        fail("cannot prepare the game folders");
    QEventLoop phase;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [] { fail("timed out"); });
    limit.start(120000 + moves * 25000);
    QElapsedTimer clock;
    clock.start();

    HvdHostHTTP host(GameFolder(hostTmp.path()), bridge);
    HvdClientHTTP client(GameFolder(clientTmp.path()), bridge);
    HostSession *hostSession = host.hostBridge()->hostSession();
    QObject::connect(host.hostBridge(), &HostBridgeSession::registered, &phase, &QEventLoop::quit);
    phase.exec();
    control<FileListBox>(&host, "File1")->selectFile(QStringLiteral("Castle.map"));
    control<FileListBox>(&host, "File2")->selectFile(QStringLiteral("Castle_Guard.arm"));
    control<QLineEdit>(&client, "MyPort")
        ->setText(control<QLabel>(&host, "MyPort")->text().trimmed());
    ClientSession *clientSession = client.clientBridge()->clientSession();
    QObject::connect(clientSession, &ClientSession::mapReceived, &phase, [&] {
        QTimer::singleShot(0, &phase, [&] {
            control<FileListBox>(&client, "File1")->selectFile(QStringLiteral("Castle_Siege.arm"));
            button(&client, "Command2")->click();
        });
    });
    int ready = 0;
    auto onReady = [&] {
        if (++ready == 2)
            phase.quit();
    };
    QObject::connect(hostSession, &HostSession::completed, &phase, onReady);
    QObject::connect(clientSession, &ClientSession::completed, &phase, onReady);
    const qint64 sentAt = clock.nsecsElapsed();
    button(&client, "Command3")->click();
    button(&host, "Command2")->click();
    phase.exec();
    figures.handshakeMs = double(clock.nsecsElapsed() - sentAt) / 1e6;
    button(&host, "Command1")->click();
    button(&client, "Command1")->click();
    if (!hostSession->gameRunning() || !clientSession->gameRunning() || !boxes.boxes().isEmpty())
        fail("the game did not start");

    // The engines move in turns, the host first; each takes the other's
    // command away before it writes its own, as the engine contract says.
    const QString hostSend = hostTmp.file(QStringLiteral("Send/AICommand.xml"));
    const QString clientSend = clientTmp.file(QStringLiteral("Send/AICommand.xml"));
    const QString hostReceive = hostTmp.file(QStringLiteral("Receive/AICommand.xml"));
    const QString clientReceive = clientTmp.file(QStringLiteral("Receive/AICommand.xml"));
    std::vector<double> &latencies = figures.latencies;
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
        if (int(latencies.size()) < 2 * moves)
            write(nextSend);
        else
            phase.quit();
    };
    QFileSystemWatcher clientEngine({clientTmp.file(QStringLiteral("Receive"))});
    QFileSystemWatcher hostEngine({hostTmp.file(QStringLiteral("Receive"))});
    QObject::connect(&clientEngine, &QFileSystemWatcher::directoryChanged, &phase,
                     [&] { arrived(clientReceive, clientSend); });
    QObject::connect(&hostEngine, &QFileSystemWatcher::directoryChanged, &phase,
                     [&] { arrived(hostReceive, hostSend); });
    QTimer::singleShot(0, &phase, [&] { write(hostSend); });
    phase.exec();

    if (idle) {
        // Chat, once both chat lines are open.
        std::vector<double> legs;
        QByteArray expected;
        QWidget *target = nullptr;
        qint64 typedAt = 0;
        auto type = [&] {
            const bool fromHost = legs.size() % 2 == 0;
            target = fromHost ? static_cast<QWidget *>(&client) : &host;
            const QByteArray line = "line " + QByteArray::number(int(legs.size()));
            expected = (fromHost ? "SERVER: " : "CLIENT: ") + line + "\r\n";
            auto *chatLine =
                control<QLineEdit>(fromHost ? static_cast<QWidget *>(&host) : &client, "txtSend");
            chatLine->setText(QString::fromLatin1(line));
            typedAt = clock.nsecsElapsed();
            QTest::keyClick(chatLine, Qt::Key_Return);
        };
        auto shown = [&] {
            if (!target || !output(target)->text().endsWith(expected))
                return;
            target = nullptr;
            legs.push_back(double(clock.nsecsElapsed() - typedAt) / 1e6);
            if (legs.size() % 2 == 0)
                figures.chatRoundTrips.push_back(legs[legs.size() - 2] + legs.back());
            if (int(legs.size()) < 2 * moves)
                QTimer::singleShot(0, &phase, type);
            else
                phase.quit();
        };
        QObject::connect(output(&host), &QPlainTextEdit::textChanged, &phase, shown);
        QObject::connect(output(&client), &QPlainTextEdit::textChanged, &phase, shown);
        QTimer open;
        QObject::connect(&open, &QTimer::timeout, &phase, [&] {
            if (control<QLineEdit>(&host, "txtSend")->isEnabled() &&
                control<QLineEdit>(&client, "txtSend")->isEnabled()) {
                open.stop();
                type();
            }
        });
        open.start(20);
        phase.exec();

        // The host's player is to move; the client's poll is held.
        const long pollsBefore = getDataRequests(bridge);
        const double cpuBefore = cpuSeconds();
        QElapsedTimer idleClock;
        idleClock.start();
        QTimer::singleShot(30000, Qt::PreciseTimer, &phase, &QEventLoop::quit);
        phase.exec();
        figures.idleWall = double(idleClock.elapsed()) / 1000.0;
        figures.idleCpu = cpuSeconds() - cpuBefore;
        figures.idlePolls = getDataRequests(bridge) - pollsBefore;
    }
    if (!boxes.boxes().isEmpty())
        fail(qPrintable(boxes.boxes().first().text));
    host.close();
    client.close();
    return figures;
}

void printRelay(const char *name, const Figures &figures)
{
    std::printf("%s: handshake, both 'Send' clicks to both Ready to Start: %.1f ms\n", name,
                figures.handshakeMs);
    std::printf("%s: moves relayed: %zu\n", name, figures.latencies.size());
    std::printf("%s: relay p99: %.3f ms\n", name, percentile(figures.latencies, 99));
    std::printf("%s: relay median: %.3f ms\n", name, percentile(figures.latencies, 50));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int moves = std::max(1, argc > 1 ? QByteArray(argv[1]).toInt() : 50);
    const int plainMoves = std::max(1, argc > 2 ? QByteArray(argv[2]).toInt() : 2);

    BridgeServerProcess holding, plain;
    if (!holding.start() || !plain.start({QStringLiteral("--hold-seconds"), QStringLiteral("0")}))
        fail("cannot start HvdBridge");
    const Figures held = play(holding.url(), moves, true);
    const Figures unheld = play(plain.url(), plainMoves, false);

    printRelay("holding bridge", held);
    std::printf("holding bridge: idle over %.1f s: CPU %.3f s = %.3f%% of one core (goal < 1), "
                "%ld GetData requests (goal at most one per %d s)\n",
                held.idleWall, held.idleCpu, 100.0 * held.idleCpu / held.idleWall, held.idlePolls,
                HTTPSendReceive::MaxWaitSeconds);
    std::printf("holding bridge: chat round trips: %zu\n", held.chatRoundTrips.size());
    std::printf("holding bridge: chat round trip p99: %.3f ms\n",
                percentile(held.chatRoundTrips, 99));
    std::printf("holding bridge: chat round trip median: %.3f ms (goal < 50)\n",
                percentile(held.chatRoundTrips, 50));
    printRelay("bridge that does not hold (a few moves only)", unheld);
    std::printf(
        "httpgame: holding median %.3f ms, p99 %.3f ms (goals < 20, < 100); without "
        "holding median %.0f ms, p99 %.0f ms; idle CPU %.3f%%, %ld polls in %.0f s; chat round "
        "trip median %.3f ms (goal < 50)\n",
        percentile(held.latencies, 50), percentile(held.latencies, 99),
        percentile(unheld.latencies, 50), percentile(unheld.latencies, 99),
        100.0 * held.idleCpu / held.idleWall, held.idlePolls, held.idleWall,
        percentile(held.chatRoundTrips, 50));
    return 0;
}
