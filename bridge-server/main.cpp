// HvdBridge: the bridge server that passes session messages between a host's
// and a client's connector when they have no direct TCP/IP connection.
// Options and their defaults: see usage() and the README. With --port 0 a
// free port is chosen; the first line on standard output always says
// "Listening on ADDRESS:PORT".

#include "httpserver.h"
#include "metrics.h"
#include "pages.h"
#include "store.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include <pthread.h>
#include <sys/resource.h>

namespace {

struct Options
{
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string db = "HvdBridge.db";
    Store::Limits store;
    HttpServer::Limits http;
};

void usage()
{
    std::cerr << "usage: HvdBridge [--port N] [--host ADDRESS] [--db FILE] [--idle-minutes N]\n"
                 "                 [--unjoined-idle-minutes N] [--max-sessions N]\n"
                 "                 [--max-sessions-per-address N] [--max-waiting N] [--threads N]\n"
                 "                 [--request-seconds N] [--max-connections N]\n"
                 "                 [--max-connections-per-address N] [--trusted-proxy ADDRESS]\n"
                 "                 [--wal-limit-kib N]\n";
}

bool number(const char *text, int min, int *out)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (!end || *end || end == text || value < min || value > 1000000)
        return false;
    *out = int(value);
    return true;
}

bool parse(int argc, char **argv, Options *options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h")
            return false;
        if (i + 1 >= argc) {
            std::cerr << "HvdBridge: " << name << " needs a value\n";
            return false;
        }
        const char *value = argv[++i];
        int amount = 0;
        bool ok = true;
        if (name == "--port")
            ok = number(value, 0, &options->port) && options->port <= 65535;
        else if (name == "--host")
            options->host = value;
        else if (name == "--db")
            options->db = value;
        else if (name == "--trusted-proxy")
            options->http.trustedProxy = value;
        else if (!number(value, 1, &amount))
            ok = false;
        else if (name == "--idle-minutes" || name == "--idle-seconds")
            options->store.idleSeconds = name == "--idle-minutes" ? int64_t(amount) * 60 : amount;
        else if (name == "--unjoined-idle-minutes" || name == "--unjoined-idle-seconds")
            options->store.unjoinedIdleSeconds =
                name == "--unjoined-idle-minutes" ? int64_t(amount) * 60 : amount;
        else if (name == "--threads")
            options->http.threads = amount;
        else if (name == "--max-waiting")
            options->store.maxWaiting = amount;
        else if (name == "--max-sessions")
            options->store.maxSessions = amount;
        else if (name == "--max-sessions-per-address")
            options->store.maxSessionsPerAddress = amount;
        else if (name == "--request-seconds")
            options->http.requestSeconds = amount;
        else if (name == "--max-connections")
            options->http.maxConnections = amount;
        else if (name == "--max-connections-per-address")
            options->http.maxConnectionsPerAddress = amount;
        else if (name == "--wal-limit-kib")
            options->store.walLimitBytes = int64_t(amount) * 1024;
        else {
            std::cerr << "HvdBridge: unknown option " << name << "\n";
            return false;
        }
        if (!ok) {
            std::cerr << "HvdBridge: bad value \"" << value << "\" for " << name << "\n";
            return false;
        }
    }
    return true;
}

// Room for every connection allowed: the soft limit of open files goes up to
// the hard one, and the connections stay below what that allows.
void fitConnectionsToFileLimit(HttpServer::Limits *limits)
{
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return;
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
    }
    const auto room = int64_t(files.rlim_cur) - 64;
    if (files.rlim_cur != RLIM_INFINITY && room < limits->maxConnections)
        limits->maxConnections = int(std::max<int64_t>(16, room));
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, &options)) {
        usage();
        return 2;
    }
    options.http.maxBodyBytes = Pages::MaxBodyBytes;
    fitConnectionsToFileLimit(&options.http);

    // SIGINT and SIGTERM are taken by one thread that stops the server, so
    // the store writes its last state on the way out.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Store store(options.store);
    std::string error;
    if (!store.open(options.db, &error)) {
        std::cerr << "HvdBridge: " << error << "\n";
        return 1;
    }
    store.sweep();

    Pages pages(store);
    HttpServer server(options.http,
                      [&pages](const HttpServer::Request &request, HttpServer::Response &response) {
                          pages.handle(request, response);
                      });
    // Figures on GET /metrics.
    Metrics metrics;
    server.setMetrics(&metrics);
    int port = 0;
    if (!server.listen(options.host, options.port, &port, &error)) {
        std::cerr << "HvdBridge: " << error << "\n";
        return 1;
    }
    std::cout << "Listening on " << options.host << ":" << port << std::endl;

    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread sweeper([&] {
        std::unique_lock<std::mutex> lock(mutex);
        // Checkpoint 50 times a second, so that the write-ahead log is
        // copied back long before it reaches its limit even under steady
        // writes; expire and save request times every 10 seconds.
        for (int round = 1;
             !wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return stopping; });
             ++round) {
            lock.unlock();
            store.checkpoint();
            if (round % 500 == 0)
                store.sweep();
            lock.lock();
        }
    });
    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // stop() before run() is kept: run() then returns at once.
        server.stop();
    });

    server.run();

    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    sweeper.join();
    // The signal thread still waits when the server stopped for another
    // reason; wake it so it can be joined.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    store.sweep();
    std::cout << "Stopped" << std::endl;
    return 0;
}
