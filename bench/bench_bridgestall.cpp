// One large request must not stall unrelated polls: HvdBridge on loopback
// with a fresh database; one game's side polls its session (answered "Wait")
// every few milliseconds while four clients post the largest form the server
// takes (64 KiB) into another session in a loop, each taking its message back
// again so that the queue stays short. Prints the polls' median, p99 and
// largest latency, first alone and then beside the large posts.
//
//   bench_bridgestall [--seconds S] [--server PATH]

#include "benchfigures.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One request on a connection of its own; the answer as read until the
// server closes, empty when the connection failed.
std::string exchange(int port, const std::string &page, const std::string &form)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return std::string();
    }
    const std::string request = "POST /Bridge/" + page +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                "application/x-www-form-urlencoded\r\nContent-Length: " +
                                std::to_string(form.size()) + "\r\nConnection: close\r\n\r\n" +
                                form;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t wrote = ::send(fd, request.data() + sent, request.size() - sent, 0);
        if (wrote <= 0)
            break;
        sent += std::size_t(wrote);
    }
    std::string answer;
    char buffer[65536];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, std::size_t(got));
    ::close(fd);
    return answer;
}

std::string bodyOf(const std::string &answer)
{
    const auto open = answer.find("<body>");
    const auto close = answer.rfind("</body>");
    return open != std::string::npos && close > open ? answer.substr(open + 6, close - open - 6)
                                                     : std::string();
}

struct Figures
{
    std::vector<double> latenciesMs;
    int failures = 0;
};

// Polls `key` for the Client every 5 ms until `stop`.
Figures pollUntil(int port, const std::string &key, const std::atomic<bool> &stop)
{
    Figures figures;
    while (!stop) {
        const auto start = Clock::now();
        const std::string answer =
            exchange(port, "GetData.asp", "SessionKey=" + key + "&DataOwner=Client");
        figures.latenciesMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (bodyOf(answer) != "Wait")
            ++figures.failures;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return figures;
}

void print(const char *what, const Figures &figures)
{
    if (figures.latenciesMs.empty())
        return;
    std::printf("%s: %zu polls, %d failed, median %.2f ms, p99 %.2f ms, max %.2f ms\n", what,
                figures.latenciesMs.size(), figures.failures, percentile(figures.latenciesMs, 50),
                percentile(figures.latenciesMs, 99), percentile(figures.latenciesMs, 100));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 10;
    QString serverPath = QStringLiteral(HVD_BRIDGE_SERVER_PATH);
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            seconds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--server"))
            serverPath = args[i + 1];
    }

    QTemporaryDir dir;
    QProcess server;
    server.start(serverPath,
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                  dir.filePath(QStringLiteral("stall.db")),
                  QStringLiteral("--max-connections-per-address"), QStringLiteral("1000")});
    int port = 0;
    static const QRegularExpression listening(QStringLiteral("Listening on [^:]+:(\\d+)"));
    while (port == 0 && server.waitForReadyRead(5000)) {
        const QRegularExpressionMatch match =
            listening.match(QString::fromLatin1(server.readAllStandardOutput()));
        if (match.hasMatch())
            port = match.captured(1).toInt();
    }
    if (port == 0) {
        std::fprintf(stderr, "bench_bridgestall: HvdBridge did not start: %s\n",
                     server.readAllStandardError().constData());
        return 1;
    }
    const std::string polled = bodyOf(exchange(port, "Connect.asp", "SessionName=Polled"));
    // Each poster its own session, so that its take finds its own message.
    std::vector<std::string> large;
    for (int i = 0; i < 4; ++i)
        large.push_back(bodyOf(exchange(port, "Connect.asp", "SessionName=Large")));
    if (polled.size() != 12 || std::any_of(large.begin(), large.end(), [](const std::string &key) {
            return key.size() != 12;
        })) {
        std::fprintf(stderr, "bench_bridgestall: no sessions\n");
        return 1;
    }

    // The polls alone, for comparison.
    std::atomic<bool> stop{false};
    Figures alone;
    {
        std::thread poller([&] { alone = pollUntil(port, polled, stop); });
        std::this_thread::sleep_for(std::chrono::seconds(std::max(1, seconds / 3)));
        stop = true;
        poller.join();
    }

    // The same polls beside four clients that post 64 KiB forms.
    stop = false;
    std::atomic<long> posted{0};
    std::atomic<long> taken{0};
    std::atomic<long> refused{0};
    std::vector<std::thread> posters;
    for (int i = 0; i < 4; ++i) {
        posters.emplace_back([&, key = large[size_t(i)]] {
            const std::string prefix = "SessionKey=" + key + "&DataOwner=Host&SessionData=";
            const std::string form = prefix + std::string(64 * 1024 - prefix.size(), 'x');
            while (!stop) {
                const std::string answer = exchange(port, "SendData.asp", form);
                if (answer.compare(0, 12, "HTTP/1.1 200") != 0) {
                    ++refused;
                    continue;
                }
                ++posted;
                // "Wait" while the last take is still being settled.
                for (int tries = 0; tries < 100; ++tries) {
                    const std::string back = bodyOf(
                        exchange(port, "GetData.asp", "SessionKey=" + key + "&DataOwner=Host"));
                    if (back.size() > 60000) {
                        ++taken;
                        break;
                    }
                }
            }
        });
    }
    const auto start = Clock::now();
    Figures beside;
    std::thread poller([&] { beside = pollUntil(port, polled, stop); });
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    poller.join();
    for (std::thread &poster : posters)
        poster.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    server.terminate();
    server.waitForFinished(5000);

    std::printf("large posts: %ld of 64 KiB (%.0f/s, %.1f MiB/s), %ld taken back, %ld refused\n",
                posted.load(), double(posted) / elapsed, double(posted) * 64.0 / 1024.0 / elapsed,
                taken.load(), refused.load());
    print("polls alone", alone);
    print("polls beside the large posts", beside);
    if (beside.latenciesMs.empty())
        return 1;
    std::printf("stall: polls beside four 64 KiB posters, p99 %.2f ms, max %.2f ms\n",
                percentile(beside.latenciesMs, 99), percentile(beside.latenciesMs, 100));
    return 0;
}
