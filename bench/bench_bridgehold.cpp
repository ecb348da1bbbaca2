// Held polls on the bridge server, SQLite and Redis side by side in one run,
// all on loopback:
//
// 1. Wake latency: a poll held (WaitSeconds) on one instance, then a post for
//    its role; from the post's answer (read, connection closed, as the
//    connector does) to the held poll's answer. SQLite on one instance,
//    Redis on one instance and across two instances on one redis-server
//    (held on the second, posted to the first).
// 2. Many polls held at once on one instance (10,000 by default): the growth
//    of the server's resident size per held poll, the latency of plain polls
//    made beside them (wrk), and whether every held poll was answered "Wait"
//    within its time + 1 s.
// 3. Plain polls (no WaitSeconds, nothing waiting) under wrk against HvdBridge
//    and against nginx serving a fixed page with the same wrk options, nginx
//    with its own configuration in a temporary folder, one worker.
//
// Prints one figure a line, the headline last.
//
//   bench_bridgehold [--rounds 200] [--held 10000] [--hold 20] [--wrk-seconds 3]
//                    [--wrk-connections 32] [--server PATH]

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "benchfigures.h"

namespace {

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

std::string postRequest(const std::string &page, const std::string &form)
{
    return "POST /Bridge/" + page +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " +
           std::to_string(form.size()) + "\r\n\r\n" + form;
}

std::string getData(const std::string &key, const char *owner, int waitSeconds = 0)
{
    std::string form = "SessionKey=" + key + "&DataOwner=" + owner;
    if (waitSeconds > 0)
        form += "&WaitSeconds=" + std::to_string(waitSeconds);
    return postRequest("GetData.asp", form);
}

int connectTo(quint16 port, bool blocking = true)
{
    const int fd = socket(AF_INET, SOCK_STREAM | (blocking ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

/// Reads until the server closes, then closes our end.
std::string readAll(int fd)
{
    std::string answer;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        answer.append(buffer, size_t(got));
    close(fd);
    return answer;
}

std::string body(const std::string &answer)
{
    const auto open = answer.find("<body>");
    const auto end = answer.rfind("</body>");
    return open != std::string::npos && end != std::string::npos && end > open
               ? answer.substr(open + 6, end - open - 6)
               : std::string();
}

std::string roundTrip(quint16 port, const std::string &request)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return {};
    if (write(fd, request.data(), request.size()) != ssize_t(request.size())) {
        close(fd);
        return {};
    }
    return readAll(fd);
}

std::string newSession(quint16 port)
{
    const std::string answer = roundTrip(port, postRequest("Connect.asp", "SessionName=BENCH"));
    return answer.compare(0, 12, "HTTP/1.1 200") == 0 ? body(answer) : std::string();
}

long residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

/// Processes that the bench starts and ends.
class Processes
{
public:
    ~Processes()
    {
        for (auto &process : m_list) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(1000);
        }
    }

    /// HvdBridge on a free port; 0 when it does not start.
    quint16 bridge(const QString &path, const QString &store, qint64 *pid = nullptr)
    {
        QProcess &server = add();
        server.start(path,
                     {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--store"),
                      store, QStringLiteral("--max-sessions"), QStringLiteral("30000"),
                      QStringLiteral("--max-sessions-per-address"), QStringLiteral("30000"),
                      QStringLiteral("--max-connections"), QStringLiteral("30000"),
                      QStringLiteral("--max-connections-per-address"), QStringLiteral("100000")});
        static const QRegularExpression listening(QStringLiteral("Listening on [^:]+:(\\d+)"));
        while (server.waitForReadyRead(5000)) {
            const QRegularExpressionMatch match =
                listening.match(QString::fromLatin1(server.readAllStandardOutput()));
            if (match.hasMatch()) {
                if (pid)
                    *pid = server.processId();
                return quint16(match.captured(1).toUInt());
            }
        }
        std::fprintf(stderr, "bench_bridgehold: HvdBridge did not start: %s\n",
                     server.readAllStandardError().constData());
        return 0;
    }

    /// A redis-server of the bench's own; its address, empty when it does not answer.
    QString redis(const QString &dir)
    {
        const quint16 port = freePort();
        QProcess &redis = add();
        redis.start(QStringLiteral("redis-server"),
                    {QStringLiteral("--port"), QString::number(port), QStringLiteral("--bind"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("--dir"), dir,
                     QStringLiteral("--save"), QString(), QStringLiteral("--appendonly"),
                     QStringLiteral("yes"), QStringLiteral("--maxclients"),
                     QStringLiteral("1000")});
        for (int attempt = 0; attempt < 50 && redis.waitForStarted(5000); ++attempt) {
            if (roundTrip(port, "PING\r\nQUIT\r\n").compare(0, 5, "+PONG") == 0)
                return QStringLiteral("redis://127.0.0.1:%1").arg(port);
            QThread::msleep(100);
        }
        std::fprintf(stderr, "bench_bridgehold: redis-server did not start\n");
        return {};
    }

    /// nginx answering every request with a fixed page; its port, 0 when it
    /// does not start.
    quint16 nginx(const QString &dir)
    {
        const quint16 port = freePort();
        QFile config(dir + QStringLiteral("/nginx.conf"));
        if (!config.open(QIODevice::WriteOnly))
            return 0;
        config.write(QStringLiteral("daemon off;\nmaster_process off;\nworker_processes 1;\n"
                                    "pid %1/nginx.pid;\nerror_log %1/error.log;\n"
                                    "events { worker_connections 4096; }\n"
                                    "http {\n access_log off;\n client_body_temp_path %1/body;\n"
                                    " proxy_temp_path %1/proxy;\n fastcgi_temp_path %1/fastcgi;\n"
                                    " uwsgi_temp_path %1/uwsgi;\n scgi_temp_path %1/scgi;\n"
                                    " server {\n  listen 127.0.0.1:%2;\n"
                                    "  location / { default_type text/html; "
                                    "return 200 \"<html><body>Wait</body></html>\"; }\n }\n}\n")
                         .arg(dir)
                         .arg(port)
                         .toUtf8());
        config.close();
        QProcess &nginx = add();
        nginx.start(QStringLiteral("nginx"),
                    {QStringLiteral("-p"), dir, QStringLiteral("-e"), dir + "/error.log",
                     QStringLiteral("-c"), config.fileName()});
        for (int attempt = 0; attempt < 50 && nginx.waitForStarted(5000); ++attempt) {
            if (roundTrip(port, "GET / HTTP/1.0\r\n\r\n").find("Wait") != std::string::npos)
                return port;
            QThread::msleep(100);
        }
        std::fprintf(stderr, "bench_bridgehold: nginx did not start: %s\n",
                     nginx.readAllStandardError().constData());
        return 0;
    }

private:
    QProcess &add()
    {
        m_list.push_back(std::make_unique<QProcess>());
        return *m_list.back();
    }

    std::vector<std::unique_ptr<QProcess>> m_list;
};

struct Wake
{
    std::vector<double> ms;
    int wrong = 0;
};

/// Held on `holdPort`, posted on `postPort`, `rounds` times.
Wake wakeLatency(quint16 postPort, quint16 holdPort, int rounds)
{
    Wake wake;
    const std::string key = newSession(postPort);
    // The holding instance has served this session once (as a real poller's
    // instance has) before it holds.
    body(roundTrip(holdPort, getData(key, "Client")));
    for (int round = 0; round < rounds; ++round) {
        const int held = connectTo(holdPort);
        const std::string poll = getData(key, "Client", 10);
        if (held < 0 || write(held, poll.data(), poll.size()) != ssize_t(poll.size())) {
            ++wake.wrong;
            continue;
        }
        // Let the poll be parked before the post.
        QThread::msleep(5);
        const std::string move = "move" + std::to_string(round);
        roundTrip(postPort,
                  postRequest("SendData.asp",
                              "SessionKey=" + key + "&DataOwner=Client&SessionData=" + move));
        const double posted = nowMs();
        const std::string answer = readAll(held);
        wake.ms.push_back(std::max(0.0, nowMs() - posted));
        wake.wrong += body(answer) != move;
    }
    return wake;
}

struct Wrk
{
    double requestsPerSecond = 0;
    double p99Ms = 0;
    double medianMs = 0;
    long non2xx = 0;
    std::string errors;
};

double wrkMs(const QString &value)
{
    static const QRegularExpression number(QStringLiteral("^([0-9.]+)(us|ms|s)$"));
    const QRegularExpressionMatch match = number.match(value);
    if (!match.hasMatch())
        return -1;
    const double figure = match.captured(1).toDouble();
    return match.captured(2) == QLatin1String("us")   ? figure / 1000
           : match.captured(2) == QLatin1String("ms") ? figure
                                                      : figure * 1000;
}

QStringList wrkArguments(quint16 port, const QString &script, int seconds, int connections)
{
    return {QStringLiteral("-t2"),
            QStringLiteral("-c%1").arg(connections),
            QStringLiteral("-d%1s").arg(seconds),
            QStringLiteral("--latency"),
            QStringLiteral("-s"),
            script,
            QStringLiteral("http://127.0.0.1:%1/Bridge/GetData.asp").arg(port)};
}

Wrk wrkFigures(const QByteArray &output)
{
    Wrk wrk;
    for (const QByteArray &raw : output.split('\n')) {
        const QString line = QString::fromLatin1(raw).simplified();
        const QStringList words = line.split(' ');
        if (line.startsWith(QLatin1String("Requests/sec:")))
            wrk.requestsPerSecond = words.value(1).toDouble();
        else if (line.startsWith(QLatin1String("99% ")))
            wrk.p99Ms = wrkMs(words.value(1));
        else if (line.startsWith(QLatin1String("50% ")))
            wrk.medianMs = wrkMs(words.value(1));
        else if (line.startsWith(QLatin1String("Non-2xx")))
            wrk.non2xx = words.last().toLong();
        else if (line.startsWith(QLatin1String("Socket errors:")))
            wrk.errors = line.mid(15).toStdString();
    }
    return wrk;
}

/// wrk making plain polls against `port` (a POST of the body in `script`),
/// with `extra` arguments.
Wrk runWrk(quint16 port, const QString &script, int seconds, int connections,
           const QStringList &extra = {})
{
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"), extra + wrkArguments(port, script, seconds, connections));
    wrk.waitForFinished(seconds * 1000 + 30000);
    return wrkFigures(wrk.readAllStandardOutput());
}

QString wrkScript(const QString &dir, const QString &name, const std::string &key)
{
    const QString path = dir + QLatin1Char('/') + name;
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write(
        "wrk.method = \"POST\"\nwrk.body = \"SessionKey=" + QByteArray::fromStdString(key) +
        "&DataOwner=Host\"\nwrk.headers[\"Content-Type\"] = "
        "\"application/x-www-form-urlencoded\"\n");
    return path;
}

/// Polls the server on `port` holds now, from /metrics.
int heldNow(quint16 port)
{
    const std::string metrics = roundTrip(port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    const auto at = metrics.find("\nhvdbridge_held_polls ");
    return at == std::string::npos ? -1 : std::atoi(metrics.c_str() + at + 22);
}

struct Held
{
    int count = 0;
    int parked = 0;
    double parkMs = 0;
    double kibPerPoll = 0;
    Wrk beside;
    int answeredWait = 0;
    int late = 0;
    double latestOverMs = 0;
};

/// `count` polls held at once on the server on `port` (process `pid`), wrk
/// polling plainly beside them.
Held manyHeld(quint16 port, qint64 pid, int count, int hold, const QString &dir, int wrkSeconds,
              int wrkConnections)
{
    Held held;
    held.count = count;
    std::vector<std::string> keys;
    for (int i = 0; i < (count + 1) / 2; ++i)
        keys.push_back(newSession(port));
    const std::string plainKey = newSession(port);
    roundTrip(port, getData(plainKey, "Host"));
    QThread::msleep(300);
    const long before = residentKiB(pid);

    struct Poll
    {
        int fd = -1;
        double sent = 0;
        double done = 0;
        std::string request;
        std::size_t written = 0;
        std::string answer;
    };
    std::vector<Poll> polls{size_t(count)};
    const int epoll = epoll_create1(0);
    std::map<int, size_t> byFd;
    int open = 0;
    const auto service = [&](int timeoutMs) {
        epoll_event events[256];
        const int ready = epoll_wait(epoll, events, 256, timeoutMs);
        for (int e = 0; e < ready; ++e) {
            Poll &poll = polls[events[e].data.u64];
            if (events[e].events & EPOLLOUT && poll.written < poll.request.size()) {
                const ssize_t sent = write(poll.fd, poll.request.data() + poll.written,
                                           poll.request.size() - poll.written);
                if (sent > 0 && (poll.written += size_t(sent)) == poll.request.size()) {
                    // The server's hold starts about now.
                    poll.sent = nowMs();
                    epoll_event interest{EPOLLIN, {}};
                    interest.data.u64 = events[e].data.u64;
                    epoll_ctl(epoll, EPOLL_CTL_MOD, poll.fd, &interest);
                }
            }
            if (events[e].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                char buffer[4096];
                ssize_t got;
                while ((got = read(poll.fd, buffer, sizeof buffer)) > 0)
                    poll.answer.append(buffer, size_t(got));
                if (got == 0 || (got < 0 && errno != EAGAIN)) {
                    poll.done = nowMs();
                    epoll_ctl(epoll, EPOLL_CTL_DEL, poll.fd, nullptr);
                    close(poll.fd);
                    --open;
                }
            }
        }
    };
    const double opening = nowMs();
    for (int i = 0; i < count; ++i) {
        Poll &poll = polls[size_t(i)];
        poll.request = getData(keys[size_t(i / 2)], i % 2 ? "Client" : "Host", hold);
        poll.fd = connectTo(port, false);
        epoll_event interest{EPOLLOUT, {}};
        interest.data.u64 = uint64_t(i);
        if (poll.fd >= 0 && epoll_ctl(epoll, EPOLL_CTL_ADD, poll.fd, &interest) == 0)
            ++open;
        // 2,000 new polls a second: a busy server's arrival rate (10,000
        // players holding 25 s polls make 400 a second).
        if (i % 100 == 99) {
            const double due = opening + (i + 1) / 2.0;
            while (nowMs() < due)
                service(1);
        }
    }
    // Until the server holds them all (its gauge), at most 20 s.
    const double allSent = nowMs();
    while ((held.parked = heldNow(port)) < count && nowMs() < allSent + 20000)
        for (const double until = nowMs() + 100; nowMs() < until;)
            service(10);
    held.parkMs = nowMs() - allSent;
    const long after = residentKiB(pid);
    held.kibPerPoll = double(after - before) / count;

    // Plain polls beside the held ones, while they are still held.
    QProcess wrk;
    wrk.start(QStringLiteral("wrk"),
              wrkArguments(port, wrkScript(dir, QStringLiteral("beside.lua"), plainKey), wrkSeconds,
                           wrkConnections));
    while (!wrk.waitForFinished(1))
        service(10);
    held.beside = wrkFigures(wrk.readAllStandardOutput());

    const double deadline = nowMs() + (hold + 5) * 1000.0;
    while (open > 0 && nowMs() < deadline)
        service(10);
    for (Poll &poll : polls) {
        if (poll.done == 0 && poll.fd >= 0)
            close(poll.fd);
        const double over = (poll.done > 0 ? poll.done : nowMs()) - poll.sent - hold * 1000.0;
        held.latestOverMs = std::max(held.latestOverMs, over);
        held.late += poll.done == 0 || over > 1000;
        held.answeredWait += body(poll.answer) == "Wait";
    }
    close(epoll);
    return held;
}

void printWake(const char *what, const Wake &wake)
{
    std::printf("wake latency, %s: median %.2f ms, p99 %.2f ms (%zu rounds, %d wrong)\n", what,
                wake.ms.empty() ? 0.0 : percentile(wake.ms, 50),
                wake.ms.empty() ? 0.0 : percentile(wake.ms, 99), wake.ms.size(), wake.wrong);
}

void printHeld(const char *what, const Held &held, int hold)
{
    std::printf("%s: %d polls held at once (%d held by the server %.1f s after the last was "
                "sent), %.2f KiB resident per held poll\n",
                what, held.count, held.parked, held.parkMs / 1000, held.kibPerPoll);
    std::printf("%s: plain polls beside them %.0f requests/s, median %.2f ms, p99 %.2f ms "
                "(non-2xx %ld%s%s)\n",
                what, held.beside.requestsPerSecond, held.beside.medianMs, held.beside.p99Ms,
                held.beside.non2xx, held.beside.errors.empty() ? "" : ", socket errors ",
                held.beside.errors.c_str());
    std::printf("%s: held polls answered \"Wait\" %d of %d, later than %d s + 1 s: %d (latest "
                "%+.0f ms)\n",
                what, held.answeredWait, held.count, hold, held.late, held.latestOverMs);
}

void printWrk(const char *what, const Wrk &wrk)
{
    std::printf("plain polls, %s: %.0f requests/s, median %.2f ms, p99 %.2f ms (non-2xx %ld%s%s)\n",
                what, wrk.requestsPerSecond, wrk.medianMs, wrk.p99Ms, wrk.non2xx,
                wrk.errors.empty() ? "" : ", socket errors ", wrk.errors.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 200;
    int heldCount = 10000;
    int hold = 20;
    int wrkSeconds = 3;
    int wrkConnections = 32;
    QString serverPath = QStringLiteral(HVD_BRIDGE_SERVER_PATH);
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const int value = std::max(1, args[i + 1].toInt());
        if (args[i] == QLatin1String("--rounds"))
            rounds = value;
        else if (args[i] == QLatin1String("--held"))
            heldCount = value;
        else if (args[i] == QLatin1String("--hold"))
            hold = std::min(value, 25);
        else if (args[i] == QLatin1String("--wrk-seconds"))
            wrkSeconds = value;
        else if (args[i] == QLatin1String("--wrk-connections"))
            wrkConnections = value;
        else if (args[i] == QLatin1String("--server"))
            serverPath = args[i + 1];
    }
    // A socket a held poll in the bench and in the server, with room to
    // spare; the servers inherit the limit.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    const rlim_t wanted = rlim_t(heldCount) + 2048;
    if (files.rlim_cur < wanted) {
        files.rlim_cur = wanted;
        files.rlim_max = std::max(files.rlim_max, wanted);
        if (setrlimit(RLIMIT_NOFILE, &files) != 0)
            std::fprintf(stderr, "bench_bridgehold: cannot raise the file limit to %lu\n",
                         static_cast<unsigned long>(wanted));
    }

    QTemporaryDir dir;
    Processes processes;
    qint64 sqlitePid = 0;
    qint64 redisPid = 0;
    const QString redisUrl = processes.redis(dir.path());
    const quint16 sqlite =
        processes.bridge(serverPath, "sqlite:" + dir.filePath(QStringLiteral("b.db")), &sqlitePid);
    const quint16 redisA =
        redisUrl.isEmpty() ? 0 : processes.bridge(serverPath, redisUrl, &redisPid);
    const quint16 redisB = redisUrl.isEmpty() ? 0 : processes.bridge(serverPath, redisUrl);
    const quint16 nginx = processes.nginx(dir.path());
    if (!sqlite || !redisA || !redisB)
        return 1;

    const Wake wakeSqlite = wakeLatency(sqlite, sqlite, rounds);
    const Wake wakeRedis = wakeLatency(redisA, redisA, rounds);
    const Wake wakeAcross = wakeLatency(redisA, redisB, rounds);
    printWake("SQLite, one instance", wakeSqlite);
    printWake("Redis, one instance", wakeRedis);
    printWake("Redis, held on one instance and posted to another", wakeAcross);

    const Held heldSqlite =
        manyHeld(sqlite, sqlitePid, heldCount, hold, dir.path(), wrkSeconds, wrkConnections);
    printHeld("SQLite", heldSqlite, hold);
    const Held heldRedis =
        manyHeld(redisA, redisPid, heldCount, hold, dir.path(), wrkSeconds, wrkConnections);
    printHeld("Redis", heldRedis, hold);

    const QString plain = wrkScript(dir.path(), QStringLiteral("plain.lua"), newSession(sqlite));
    const QString plainRedis =
        wrkScript(dir.path(), QStringLiteral("plainredis.lua"), newSession(redisA));
    const Wrk wrkSqlite = runWrk(sqlite, plain, wrkSeconds, wrkConnections);
    const Wrk wrkRedis = runWrk(redisA, plainRedis, wrkSeconds, wrkConnections);
    const Wrk wrkNginx = nginx ? runWrk(nginx, plain, wrkSeconds, wrkConnections) : Wrk();
    printWrk("HvdBridge on SQLite", wrkSqlite);
    printWrk("HvdBridge on Redis", wrkRedis);
    printWrk("nginx, fixed page", wrkNginx);
    // HvdBridge answers one request a connection; nginx so too, for scale.
    if (nginx)
        printWrk("nginx, fixed page, a connection a request",
                 runWrk(nginx, plain, wrkSeconds, wrkConnections,
                        {QStringLiteral("-H"), QStringLiteral("Connection: close")}));
    const double ratio = wrkNginx.requestsPerSecond > 0
                             ? wrkSqlite.requestsPerSecond / wrkNginx.requestsPerSecond
                             : 0;
    std::printf("plain polls against nginx: %.3fx on SQLite, %.3fx on Redis\n", ratio,
                wrkNginx.requestsPerSecond > 0
                    ? wrkRedis.requestsPerSecond / wrkNginx.requestsPerSecond
                    : 0);

    std::printf("held polls: wake p99 %.1f ms SQLite, %.1f ms Redis, %.1f ms across two Redis "
                "instances; %d held: plain p99 %.1f / %.1f ms, %.1f / %.1f KiB each, %d / %d "
                "late (SQLite / Redis); plain polls %.1fk/s against nginx %.1fk/s (%.2fx)\n",
                wakeSqlite.ms.empty() ? 0.0 : percentile(wakeSqlite.ms, 99),
                wakeRedis.ms.empty() ? 0.0 : percentile(wakeRedis.ms, 99),
                wakeAcross.ms.empty() ? 0.0 : percentile(wakeAcross.ms, 99), heldCount,
                heldSqlite.beside.p99Ms, heldRedis.beside.p99Ms, heldSqlite.kibPerPoll,
                heldRedis.kibPerPoll, heldSqlite.late, heldRedis.late,
                wrkSqlite.requestsPerSecond / 1000, wrkNginx.requestsPerSecond / 1000, ratio);
    return 0;
}
