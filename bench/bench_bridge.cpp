// Load on the bridge server: HvdBridge on loopback with a fresh database and
// many simulated games at once. Each game registers, then plays strictly in
// turns like the HTTP windows: the side to move "thinks" for a few polls of
// the other side (answered "Wait"), posts its command, the other side's next
// poll fetches it, and the roles change. Requests are paced (open loop) so
// that all games together offer a fixed rate; each request is one connection
// with the form the connector sends. Prints requests per second and the
// median and 99th-percentile latency.
//
//   bench_bridge [--games N] [--rate REQUESTS_PER_SECOND] [--seconds S]
//                [--server PATH]

#include "httpsendreceive.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Stats
{
    std::vector<double> latenciesMs;
    qint64 failures = 0;
    qint64 skippedTicks = 0;
    qint64 movesDelivered = 0;
    bool recording = false;
};

// One request on a connection of its own, as the server closes after each.
class Request : public QObject
{
public:
    using Done = std::function<void(int status, const QByteArray &answer)>;

    Request(quint16 port, const QByteArray &path, const QByteArray &form, Stats &stats, Done done)
        : m_stats(stats), m_done(std::move(done))
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
        m_clock.start();
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }

private:
    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_response += m_socket.readAll();
        const double ms = m_clock.nsecsElapsed() / 1e6;
        int status = 0;
        if (m_response.startsWith("HTTP/1.1 "))
            status = m_response.mid(9, 3).toInt();
        const int split = m_response.indexOf("\r\n\r\n");
        const QByteArray answer = status == 200 && split > 0
                                      ? HTTPSendReceive::answerText(m_response.mid(split + 4))
                                      : QByteArray();
        if (m_stats.recording) {
            m_stats.latenciesMs.push_back(ms);
            if (status != 200)
                ++m_stats.failures;
        }
        m_done(status, answer);
        deleteLater();
    }

    QTcpSocket m_socket;
    QByteArray m_request;
    QByteArray m_response;
    QElapsedTimer m_clock;
    Stats &m_stats;
    Done m_done;
    bool m_finished = false;
};

// One game: two roles playing in strict turns through one session.
class Game : public QObject
{
public:
    Game(int number, quint16 port, int intervalMs, Stats &stats)
        : m_number(number), m_port(port), m_stats(stats)
    {
        m_timer.setInterval(intervalMs);
        connect(&m_timer, &QTimer::timeout, this, &Game::tick);
    }

    void registerSession(std::function<void(bool)> done)
    {
        new Request(m_port, "/Bridge/Connect.asp",
                    HTTPSendReceive::connectForm("BENCH: game " + QByteArray::number(m_number)),
                    m_stats, [this, done](int status, const QByteArray &answer) {
                        m_key = answer;
                        done(status == 200 && !answer.isEmpty());
                    });
    }

    void play(int firstDelayMs)
    {
        QTimer::singleShot(firstDelayMs, this, [this] {
            m_timer.start();
            tick();
        });
    }
    void stop() { m_timer.stop(); }

private:
    static QByteArray role(bool host) { return host ? "Host" : "Client"; }

    void tick()
    {
        if (m_busy) {
            ++m_stats.skippedTicks;
            return;
        }
        m_busy = true;
        const auto done = [this](int, const QByteArray &answer) {
            m_busy = false;
            if (m_posted && answer != "Wait" && answer.contains("<ROOT><COMMAND")) {
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
            new Request(m_port, "/Bridge/SendData.asp",
                        HTTPSendReceive::sendDataForm(m_key, role(!m_hostToMove), command), m_stats,
                        done);
            return;
        }
        if (m_thinking > 0)
            --m_thinking;
        // The waiting side polls for its own role.
        new Request(m_port, "/Bridge/GetData.asp",
                    HTTPSendReceive::getDataForm(m_key, role(!m_hostToMove)), m_stats, done);
    }

    int m_number;
    quint16 m_port;
    Stats &m_stats;
    QTimer m_timer;
    QByteArray m_key;
    bool m_busy = false;
    bool m_hostToMove = true;
    bool m_posted = false;
    int m_thinking = 0;
    int m_turn = 0;
};

double percentile(std::vector<double> &sorted, double p)
{
    if (sorted.empty())
        return 0;
    const size_t index = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return sorted[index];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int games = 1000;
    int rate = 6000;
    int seconds = 10;
    QString serverPath = QStringLiteral(HVD_BRIDGE_SERVER_PATH);
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--games"))
            games = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--rate"))
            rate = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--seconds"))
            seconds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--server"))
            serverPath = args[i + 1];
    }

    QTemporaryDir dir;
    QProcess server;
    server.start(serverPath, {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                              dir.filePath(QStringLiteral("bench.db"))});
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

    Stats stats;
    std::vector<std::unique_ptr<Game>> all;
    const int intervalMs = std::max(1, int(1000.0 * games / rate));
    for (int i = 0; i < games; ++i)
        all.push_back(std::make_unique<Game>(i, port, intervalMs, stats));

    // Register every game, fifty at a time.
    int registered = 0;
    int failed = 0;
    int next = 0;
    std::function<void()> registerNext = [&] {
        if (next >= games)
            return;
        Game *game = all[size_t(next++)].get();
        game->registerSession([&](bool ok) {
            ok ? ++registered : ++failed;
            if (registered + failed == games)
                app.exit(0);
            registerNext();
        });
    };
    for (int i = 0; i < std::min(50, games); ++i)
        registerNext();
    app.exec();
    if (failed > 0) {
        std::fprintf(stderr, "bench_bridge: %d registrations failed\n", failed);
        return 1;
    }

    // Play: a one-second warm-up, then the measured run.
    for (auto &game : all)
        game->play(int(QRandomGenerator::global()->bounded(intervalMs)));
    QElapsedTimer measured;
    QTimer::singleShot(1000, [&] {
        stats.recording = true;
        measured.start();
    });
    QTimer::singleShot(1000 + seconds * 1000, [&] {
        stats.recording = false;
        const double elapsed = measured.nsecsElapsed() / 1e9;
        for (auto &game : all)
            game->stop();
        std::vector<double> &lat = stats.latenciesMs;
        const size_t count = lat.size();
        std::sort(lat.begin(), lat.end());
        std::printf("games: %d\n", games);
        std::printf("offered rate: %d requests/s\n", rate);
        std::printf("requests: %zu in %.1f s\n", count, elapsed);
        std::printf("failed requests: %lld\n", static_cast<long long>(stats.failures));
        std::printf("skipped ticks (request still out): %lld\n",
                    static_cast<long long>(stats.skippedTicks));
        std::printf("moves delivered: %lld\n", static_cast<long long>(stats.movesDelivered));
        std::printf("median latency: %.2f ms\n", percentile(lat, 0.5));
        std::printf("p99 latency: %.2f ms\n", percentile(lat, 0.99));
        std::printf("max latency: %.2f ms\n", lat.empty() ? 0.0 : lat.back());
        std::printf("bridge: %.0f requests/s, median %.2f ms, p99 %.2f ms with %d sessions\n",
                    double(count) / elapsed, percentile(lat, 0.5), percentile(lat, 0.99), games);
        // Let the last requests finish before the server goes.
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    });
    app.exec();
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
