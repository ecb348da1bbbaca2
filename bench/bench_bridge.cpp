// Load on the bridge server: HvdBridge on loopback with a fresh database and
// many simulated games at once. Each game registers, then plays strictly in
// turns like the HTTP windows: the side to move "thinks" for a few polls of
// the other side (answered "Wait"), posts its command, the other side's next
// poll fetches it, and the roles change. Requests are paced (open loop) so
// that all games together offer a fixed rate; each request is one connection
// with the form the connector sends. The games are spread over a few client
// threads so that the load generator does not become the bottleneck. Prints
// requests per second and the median and 99th-percentile latency.
//
// With --store redis the bench starts its own redis-server (append-only file
// on, fsync every second unless --appendfsync says otherwise) in a temporary
// folder, or uses the one a redis://HOST:PORT address names; --instances N
// starts N servers on it, and each request goes to the next of them in turn,
// as a round-robin load balancer sends it.
//
//   bench_bridge [--games N] [--rate REQUESTS_PER_SECOND] [--seconds S]
//                [--threads N] [--server PATH] [--store sqlite|redis|redis://HOST:PORT]
//                [--instances N] [--appendfsync always|everysec] [--server-threads N]

#include "httpsendreceive.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Shared by all client threads: the clock and the measured window.
struct Window
{
    QElapsedTimer clock;
    std::atomic<qint64> fromMs{-1};
    std::atomic<qint64> toMs{-1};
    bool contains(qint64 ms) const
    {
        const qint64 from = fromMs.load();
        return from >= 0 && ms >= from && ms < toMs.load();
    }
};

// What one client thread saw inside the measured window.
struct Stats
{
    std::vector<double> latenciesMs;
    qint64 failures = 0;
    qint64 skippedTicks = 0;
    qint64 movesDelivered = 0;
};

// One request on a connection of its own, as the server closes after each.
class Request : public QObject
{
public:
    using Done = std::function<void(int status, const QByteArray &answer)>;

    Request(quint16 port, const QByteArray &path, const QByteArray &form, const Window &window,
            Stats &stats, Done done)
        : m_window(window), m_stats(stats), m_done(std::move(done)),
          m_startNs(window.clock.nsecsElapsed())
    {
        QByteArray body(1, '\0');
        HTTPSendReceive::ToPostBytes(body, form);
        m_request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                    "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        connect(&m_socket, &QTcpSocket::connected, this, [this] { m_socket.write(m_request); });
        connect(&m_socket, &QTcpSocket::readyRead, this,
                [this] { m_response += m_socket.readAll(); });
        connect(&m_socket, &QTcpSocket::disconnected, this, &Request::finish);
        connect(&m_socket, &QTcpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) {
                    if (error != QAbstractSocket::RemoteHostClosedError)
                        finish();
                });
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }

private:
    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_response += m_socket.readAll();
        const qint64 endNs = m_window.clock.nsecsElapsed();
        int status = 0;
        if (m_response.startsWith("HTTP/1.1 "))
            status = m_response.mid(9, 3).toInt();
        const int split = m_response.indexOf("\r\n\r\n");
        const QByteArray answer = status == 200 && split > 0
                                      ? HTTPSendReceive::answerText(m_response.mid(split + 4))
                                      : QByteArray();
        if (m_window.contains(m_startNs / 1000000)) {
            m_stats.latenciesMs.push_back(double(endNs - m_startNs) / 1e6);
            if (status != 200)
                ++m_stats.failures;
        }
        m_done(status, answer);
        deleteLater();
    }

    QTcpSocket m_socket;
    QByteArray m_request;
    QByteArray m_response;
    const Window &m_window;
    Stats &m_stats;
    Done m_done;
    qint64 m_startNs;
    bool m_finished = false;
};

// One game: two roles playing in strict turns through one session.
class Game : public QObject
{
public:
    Game(int number, const std::vector<quint16> &ports, const Window &window, Stats &stats)
        : m_number(number), m_ports(ports), m_window(window), m_stats(stats), m_next(size_t(number))
    {
    }

    void registerSession(std::function<void(bool)> done)
    {
        new Request(port(), "/Bridge/Connect.asp",
                    HTTPSendReceive::connectForm("BENCH: game " + QByteArray::number(m_number)),
                    m_window, m_stats, [this, done](int status, const QByteArray &answer) {
                        m_key = answer;
                        done(status == 200 && !answer.isEmpty());
                    });
    }

    /// The game's turn to make a request (paced by its client thread).
    void tick()
    {
        const bool measured = m_window.contains(m_window.clock.elapsed());
        if (m_busy) {
            if (measured)
                ++m_stats.skippedTicks;
            return;
        }
        m_busy = true;
        const auto done = [this](int, const QByteArray &answer) {
            m_busy = false;
            if (m_posted && answer.contains("<ROOT><COMMAND")) {
                if (m_window.contains(m_window.clock.elapsed()))
                    ++m_stats.movesDelivered;
                m_posted = false;
                m_hostToMove = !m_hostToMove;
                m_thinking = 3;
            }
        };
        if (!m_posted && m_thinking == 0) {
            // The side to move posts its command to the other role.
            const QByteArray command = "<Root><Command FlagID=\"" +
                                       QByteArray::number(5001 + m_turn % 24) +
                                       "\" Direction=\"N\" SerpentJump=\"No\"/></Root>";
            ++m_turn;
            m_posted = true;
            new Request(port(), "/Bridge/SendData.asp",
                        HTTPSendReceive::sendDataForm(m_key, role(!m_hostToMove), command),
                        m_window, m_stats, done);
            return;
        }
        if (m_thinking > 0)
            --m_thinking;
        // The waiting side polls for its own role.
        new Request(port(), "/Bridge/GetData.asp",
                    HTTPSendReceive::getDataForm(m_key, role(!m_hostToMove)), m_window, m_stats,
                    done);
    }

private:
    static QByteArray role(bool host) { return host ? "Host" : "Client"; }
    quint16 port() { return m_ports[m_next++ % m_ports.size()]; }

    int m_number;
    const std::vector<quint16> &m_ports;
    const Window &m_window;
    Stats &m_stats;
    QByteArray m_key;
    bool m_busy = false;
    bool m_hostToMove = true;
    bool m_posted = false;
    int m_thinking = 0;
    int m_turn = 0;
    size_t m_next;
};

// A client thread: registers its share of the games, plays them from the
// start time and stops at the end time.
class Client : public QThread
{
public:
    Client(int first, int count, const std::vector<quint16> &ports, double ratePerSecond,
           Window &window)
        : m_first(first), m_count(count), m_ports(ports), m_rate(ratePerSecond), m_window(window)
    {
    }

    std::atomic<int> registered{0};
    std::atomic<int> failed{0};
    Stats stats;

protected:
    void run() override
    {
        std::vector<std::unique_ptr<Game>> games;
        for (int i = 0; i < m_count; ++i)
            games.push_back(std::make_unique<Game>(m_first + i, m_ports, m_window, stats));
        // One pacing timer per thread instead of one per game: each round
        // gives the turn to as many games, in rotation, as the rate asks for.
        QElapsedTimer played;
        qint64 ticksGiven = 0;
        size_t turn = 0;
        QTimer pace;
        pace.setTimerType(Qt::PreciseTimer);
        pace.setInterval(2);
        QObject::connect(&pace, &QTimer::timeout, [&] {
            const qint64 due = qint64(double(played.nsecsElapsed()) / 1e9 * m_rate);
            for (; ticksGiven < due; ++ticksGiven) {
                games[turn]->tick();
                turn = (turn + 1) % games.size();
            }
        });
        // Register, 25 at a time, then play.
        int next = 0;
        std::function<void()> registerNext = [&] {
            if (next >= m_count)
                return;
            games[size_t(next++)]->registerSession([&](bool ok) {
                ok ? ++registered : ++failed;
                if (registered + failed == m_count) {
                    played.start();
                    pace.start();
                }
                registerNext();
            });
        };
        for (int i = 0; i < std::min(25, m_count); ++i)
            registerNext();
        // Stop a little after the window closes, letting answers come in.
        QTimer end;
        end.setInterval(50);
        QObject::connect(&end, &QTimer::timeout, [&] {
            const qint64 to = m_window.toMs.load();
            if (to >= 0 && m_window.clock.elapsed() > to)
                pace.stop();
            if (to >= 0 && m_window.clock.elapsed() > to + 500)
                quit();
        });
        end.start();
        exec();
    }

private:
    int m_first;
    int m_count;
    const std::vector<quint16> &m_ports;
    double m_rate;
    Window &m_window;
};

// CPU seconds a process has used so far, from /proc (Linux); -1 elsewhere.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) / 100.0;
}

double percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
}

} // namespace

int main(int argc, char **argv)
{
    // Qt's own event dispatcher: cheaper than GLib's with many sockets.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    int games = 1000;
    int rate = 6000;
    int seconds = 10;
    int threads = 2;
    int instances = 1;
    QStringList serverThreads;
    QString store = QStringLiteral("sqlite");
    QString appendFsync = QStringLiteral("everysec");
    QString serverPath = QStringLiteral(HVD_BRIDGE_SERVER_PATH);
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--games"))
            games = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--rate"))
            rate = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--seconds"))
            seconds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--threads"))
            threads = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--server"))
            serverPath = args[i + 1];
        else if (args[i] == QLatin1String("--store"))
            store = args[i + 1];
        else if (args[i] == QLatin1String("--instances"))
            instances = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--appendfsync"))
            appendFsync = args[i + 1];
        else if (args[i] == QLatin1String("--server-threads"))
            serverThreads = QStringList{QStringLiteral("--threads"), args[i + 1]};
    }
    threads = std::min(threads, games);

    QTemporaryDir dir;
    // A redis-server of the bench's own, on a free loopback port.
    QProcess redis;
    QString storeArg;
    if (store == QLatin1String("redis")) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 redisPort = probe.serverPort();
        probe.close();
        redis.start(QStringLiteral("redis-server"),
                    {QStringLiteral("--port"), QString::number(redisPort), QStringLiteral("--bind"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("--dir"), dir.path(),
                     QStringLiteral("--save"), QString(), QStringLiteral("--appendonly"),
                     QStringLiteral("yes"), QStringLiteral("--appendfsync"), appendFsync});
        bool answers = false;
        for (int attempt = 0; attempt < 50 && !answers && redis.waitForStarted(5000); ++attempt) {
            QTcpSocket ping;
            ping.connectToHost(QHostAddress::LocalHost, redisPort);
            answers = ping.waitForConnected(200) && ping.write("PING\r\n") > 0 &&
                      ping.waitForReadyRead(500) && ping.readAll().startsWith("+PONG");
            if (!answers)
                QThread::msleep(100);
        }
        if (!answers) {
            std::fprintf(stderr, "bench_bridge: redis-server did not start\n");
            return 1;
        }
        storeArg = QStringLiteral("redis://127.0.0.1:%1").arg(redisPort);
    } else if (store.startsWith(QLatin1String("redis://"))) {
        storeArg = store;
    } else {
        instances = 1;
        storeArg = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("bench.db"));
    }

    std::vector<std::unique_ptr<QProcess>> servers;
    std::vector<quint16> ports;
    for (int n = 0; n < instances; ++n) {
        servers.push_back(std::make_unique<QProcess>());
        QProcess &server = *servers.back();
        server.start(serverPath,
                     {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--store"),
                      storeArg,
                      // Every game comes from 127.0.0.1 here.
                      QStringLiteral("--max-sessions"), QString::number(std::max(1000, games + 10)),
                      QStringLiteral("--max-sessions-per-address"), QString::number(games + 10),
                      QStringLiteral("--max-connections-per-address"), QStringLiteral("100000")});
        quint16 port = 0;
        static const QRegularExpression listening(QStringLiteral("Listening on [^:]+:(\\d+)"));
        while (port == 0 && server.waitForReadyRead(5000)) {
            const QRegularExpressionMatch match =
                listening.match(QString::fromLatin1(server.readAllStandardOutput()));
            if (match.hasMatch())
                port = quint16(match.captured(1).toUInt());
        }
        if (port == 0) {
            std::fprintf(stderr, "bench_bridge: HvdBridge did not start: %s\n",
                         server.readAllStandardError().constData());
            return 1;
        }
        ports.push_back(port);
    }
    const auto serversCpu = [&] {
        double sum = 0;
        for (auto &server : servers)
            sum += cpuSeconds(server->processId());
        return sum;
    };

    Window window;
    window.clock.start();
    std::vector<std::unique_ptr<Client>> clients;
    for (int t = 0; t < threads; ++t) {
        const int first = games * t / threads;
        const int count = games * (t + 1) / threads - first;
        clients.push_back(
            std::make_unique<Client>(first, count, ports, double(rate) * count / games, window));
        clients.back()->start();
    }

    // Once every game is registered: a one-second warm-up, then the window.
    double serverCpuAtStart = -1;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        int done = 0;
        for (auto &client : clients)
            done += client->registered + client->failed;
        if (done < games)
            return;
        watch.stop();
        const qint64 from = window.clock.elapsed() + 1000;
        window.toMs = from + seconds * 1000;
        window.fromMs = from;
        QTimer::singleShot(1000, [&] { serverCpuAtStart = serversCpu(); });
        QTimer::singleShot(1000 + seconds * 1000, &app, &QCoreApplication::quit);
    });
    watch.start();
    // The write-ahead log's largest size during the run, sampled.
    qint64 largestWal = 0;
    const QString walPath = dir.filePath(QStringLiteral("bench.db-wal"));
    QTimer walWatch;
    walWatch.setInterval(5);
    QObject::connect(&walWatch, &QTimer::timeout,
                     [&] { largestWal = std::max(largestWal, QFileInfo(walPath).size()); });
    walWatch.start();
    app.exec();
    const double serverCpu = serversCpu() - serverCpuAtStart;
    const double redisCpu = redis.state() == QProcess::Running ? cpuSeconds(redis.processId()) : -1;
    for (auto &client : clients)
        client->wait();
    for (auto &server : servers) {
        server->terminate();
        server->waitForFinished(5000);
    }
    redis.terminate();
    redis.waitForFinished(5000);

    Stats all;
    int failedRegistrations = 0;
    for (auto &client : clients) {
        failedRegistrations += client->failed;
        all.latenciesMs.insert(all.latenciesMs.end(), client->stats.latenciesMs.begin(),
                               client->stats.latenciesMs.end());
        all.failures += client->stats.failures;
        all.skippedTicks += client->stats.skippedTicks;
        all.movesDelivered += client->stats.movesDelivered;
    }
    std::vector<double> &lat = all.latenciesMs;
    std::sort(lat.begin(), lat.end());
    const double rps = double(lat.size()) / seconds;
    std::printf("store: %s, %d instance(s)%s\n", qPrintable(store), instances,
                store == QLatin1String("redis")
                    ? qPrintable(QStringLiteral(", appendfsync ") + appendFsync)
                    : "");
    std::printf("games: %d\n", games);
    std::printf("client threads: %d\n", threads);
    std::printf("offered rate: %d requests/s\n", rate);
    std::printf("requests: %zu in %d s\n", lat.size(), seconds);
    std::printf("failed registrations: %d\n", failedRegistrations);
    std::printf("failed requests: %lld\n", static_cast<long long>(all.failures));
    std::printf("skipped ticks (request still out): %lld\n",
                static_cast<long long>(all.skippedTicks));
    std::printf("moves delivered: %lld\n", static_cast<long long>(all.movesDelivered));
    if (serverCpuAtStart >= 0 && !lat.empty())
        std::printf("server CPU: %.0f%% of a core, %.0f us per request\n",
                    100.0 * serverCpu / seconds, 1e6 * serverCpu / double(lat.size()));
    if (redisCpu >= 0)
        std::printf("redis-server CPU over the whole run: %.1f s\n", redisCpu);
    std::printf("largest write-ahead log: %.1f MiB\n", double(largestWal) / (1024.0 * 1024.0));
    std::printf("median latency: %.2f ms\n", percentile(lat, 0.5));
    std::printf("p90 latency: %.2f ms\n", percentile(lat, 0.90));
    std::printf("p95 latency: %.2f ms\n", percentile(lat, 0.95));
    std::printf("p99 latency: %.2f ms\n", percentile(lat, 0.99));
    std::printf("max latency: %.2f ms\n", lat.empty() ? 0.0 : lat.back());
    std::printf("bridge (%s, %d instance(s)): %.0f requests/s, median %.2f ms, p99 %.2f ms with "
                "%d sessions\n",
                qPrintable(store), instances, rps, percentile(lat, 0.5), percentile(lat, 0.99),
                games);
    return 0;
}
