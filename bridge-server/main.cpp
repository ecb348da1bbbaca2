// HvdBridge: the bridge server that passes session messages between a host's
// and a client's connector when they have no direct TCP/IP connection.
// Options and their defaults: see --help and the README. With --port 0 a
// free port is chosen; the first line on standard output always says
// "Listening on ADDRESS:PORT".

#include "httpserver.h"
#include "metrics.h"
#include "pages.h"
#include "store.h"
#include "storefactory.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
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
    std::string store;
    Store::Limits limits;
    HttpServer::Limits http;
    int holdSeconds = 25;
    bool chat = true;
};

// Returns -1 to go on, else the exit code (0 after --help, 2 on a bad
// command line).
int parse(int argc, char **argv, Options *options)
{
    CLI::App app("HvdBridge: the bridge server that passes session messages between a host's "
                 "and a client's connector.",
                 "HvdBridge");
    // An option given twice takes its last value, as before CLI11.
    app.option_defaults()->always_capture_default()->multi_option_policy(
        CLI::MultiOptionPolicy::TakeLast);
    int idleMinutes = int(options->limits.idleSeconds / 60);
    int unjoinedMinutes = int(options->limits.unjoinedIdleSeconds / 60);
    int idleSeconds = 0;
    int unjoinedSeconds = 0;
    int walKib = int(options->limits.walLimitBytes / 1024);
    const auto count = CLI::Range(1, 1000000);
    app.add_option("--port", options->port, "TCP port to listen on; 0 picks a free one")
        ->check(CLI::Range(0, 65535));
    app.add_option("--host", options->host, "address to listen on");
    app.add_option("--store", options->store,
                   "where sessions are kept: sqlite:FILE (one server) or "
                   "redis://HOST:PORT[/DB] (shared by several servers); default sqlite:FILE "
                   "with the file of --db");
    app.add_option("--db", options->db, "the SQLite file (the same as --store sqlite:FILE)");
    app.add_option("--idle-minutes", idleMinutes, "a joined session expires after this long idle")
        ->check(count);
    app.add_option("--idle-seconds", idleSeconds, "the same in seconds (overrides the minutes)")
        ->check(count)
        ->default_str("");
    app.add_option("--unjoined-idle-minutes", unjoinedMinutes,
                   "a session that no client joined expires after this long idle")
        ->check(count);
    app.add_option("--unjoined-idle-seconds", unjoinedSeconds,
                   "the same in seconds (overrides the minutes)")
        ->check(count)
        ->default_str("");
    app.add_option("--max-sessions", options->limits.maxSessions, "the most open sessions")
        ->check(count);
    app.add_option("--max-sessions-per-address", options->limits.maxSessionsPerAddress,
                   "the most open sessions registered from one client address")
        ->check(count);
    app.add_option("--max-waiting", options->limits.maxWaiting,
                   "the most messages waiting for one role of a session")
        ->check(count);
    app.add_option("--threads", options->http.threads, "worker threads")->check(count);
    app.add_option("--request-seconds", options->http.requestSeconds,
                   "the whole time a request may take, from connecting to the last byte")
        ->check(count);
    app.add_option("--max-connections", options->http.maxConnections,
                   "the most connections at once")
        ->check(count);
    app.add_option("--max-connections-per-address", options->http.maxConnectionsPerAddress,
                   "the most connections at once from one client address")
        ->check(count);
    app.add_option("--hold-seconds", options->holdSeconds,
                   "the longest a GetData poll that asks for it is held open until a message "
                   "comes; 0 holds none")
        ->check(CLI::Range(0, 3600));
    app.add_flag("!--no-chat", options->chat,
                 "no chat queues (HostChat, ClientChat) and no X-Bridge-Chat on the answers");
    app.add_option("--trusted-proxy", options->http.trustedProxy,
                   "address of a reverse proxy whose X-Forwarded-For names the client");
    app.add_option("--wal-limit-kib", walKib,
                   "SQLite: the write-ahead log is restarted once it holds this much")
        ->check(count);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    options->limits.idleSeconds = idleSeconds ? idleSeconds : int64_t(idleMinutes) * 60;
    options->limits.unjoinedIdleSeconds =
        unjoinedSeconds ? unjoinedSeconds : int64_t(unjoinedMinutes) * 60;
    options->limits.walLimitBytes = int64_t(walKib) * 1024;
    if (options->store.empty())
        options->store = "sqlite:" + options->db;
    // A shared post or take not settled well after the longest request
    // belonged to a server that went away.
    options->limits.settleSeconds = std::max<int64_t>(
        60, 3 * int64_t(options->http.requestSeconds + options->http.lingerSeconds));
    return -1;
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
    if (const int code = parse(argc, argv, &options); code >= 0)
        return code;
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

    std::string error;
    const std::unique_ptr<Store> opened = StoreFactory::open(options.store, options.limits, &error);
    if (!opened) {
        std::cerr << "HvdBridge: " << error << "\n";
        return 1;
    }
    Store &store = *opened;
    store.sweep();

    Pages pages(store, options.holdSeconds, options.chat);
    HttpServer server(options.http,
                      [&pages](const HttpServer::Request &request, HttpServer::Response &response) {
                          pages.handle(request, response);
                      });
    // Figures on GET /metrics.
    Metrics metrics;
    metrics.setGauges([&store] {
        const Store::Counts counts = store.counts();
        Metrics::Gauges gauges;
        gauges.sessions = counts.sessions;
        gauges.waiting = counts.waiting;
        gauges.errors = counts.errors;
        return gauges;
    });
    server.setMetrics(&metrics);
    // A post made visible answers the poll held for it.
    store.setWakeHandler([&server](const std::string &id, Store::Role role) {
        server.wake(Pages::holdKey(id, int(role)));
    });
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
