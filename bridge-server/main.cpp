// HvdBridge: the bridge server that passes session messages between a host's
// and a client's connector when they have no direct TCP/IP connection.
//
//   HvdBridge [--port N] [--host ADDRESS] [--db FILE] [--idle-minutes N]
//             [--idle-seconds N] [--threads N] [--max-waiting N]
//             [--max-sessions N]
//
// Defaults: port 8080, address 127.0.0.1 (give --host 0.0.0.0 to serve other
// computers), database "HvdBridge.db" in the current folder, sessions expire
// after 120 minutes without requests, 32 worker threads, 500 messages waiting
// per role at most, 1000 open sessions at most. --idle-seconds sets the expiry more finely (for
// tests). With --port 0 a free port is chosen; the first line on standard output always says
// "Listening on ADDRESS:PORT".

#include "pages.h"
#include "store.h"

#include <httplib.h>

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
#include <sys/socket.h>

namespace {

struct Options
{
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string db = "HvdBridge.db";
    int64_t idleSeconds = 120 * 60;
    int threads = 32;
    int maxWaiting = 500;
    int maxSessions = 1000;
};

void usage()
{
    std::cerr << "usage: HvdBridge [--port N] [--host ADDRESS] [--db FILE] [--idle-minutes N]"
                 " [--threads N] [--max-waiting N] [--max-sessions N]\n";
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
        bool ok = true;
        if (name == "--port")
            ok = number(value, 0, &options->port) && options->port <= 65535;
        else if (name == "--host")
            options->host = value;
        else if (name == "--db")
            options->db = value;
        else if (name == "--idle-minutes" || name == "--idle-seconds") {
            int amount = 0;
            ok = number(value, 1, &amount);
            options->idleSeconds = name == "--idle-minutes" ? int64_t(amount) * 60 : amount;
        } else if (name == "--threads")
            ok = number(value, 1, &options->threads);
        else if (name == "--max-waiting")
            ok = number(value, 1, &options->maxWaiting);
        else if (name == "--max-sessions")
            ok = number(value, 1, &options->maxSessions);
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

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, &options)) {
        usage();
        return 2;
    }

    // SIGINT and SIGTERM are taken by one thread that stops the server, so
    // the store writes its last state on the way out.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Store store(options.idleSeconds, options.maxWaiting, options.maxSessions);
    std::string error;
    if (!store.open(options.db, &error)) {
        std::cerr << "HvdBridge: " << error << "\n";
        return 1;
    }
    store.sweep();

    httplib::Server server;
    const int threads = options.threads;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    // One request per connection: a connector polls every few seconds, and a
    // connection kept open between polls would hold a worker thread idle.
    server.set_keep_alive_max_count(1);
    // Headers and body go out in two writes; without this the body could
    // wait for the acknowledgement of the headers.
    server.set_tcp_nodelay(true);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_payload_max_length(Pages::MaxBodyBytes);
    Pages pages(store);
    pages.install(server);
    // SO_REUSEADDR only: the library's default also sets SO_REUSEPORT, which
    // would let a second server take the same port silently and split the
    // sessions between the two. The socket is kept to widen its backlog.
    int listenSocket = -1;
    server.set_socket_options([&listenSocket](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listenSocket = socket;
    });

    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.host);
        if (port < 0) {
            std::cerr << "HvdBridge: cannot listen on " << options.host << "\n";
            return 1;
        }
    } else if (!server.bind_to_port(options.host, port)) {
        std::cerr << "HvdBridge: cannot listen on " << options.host << ":" << port
                  << " (is the port in use?)\n";
        return 1;
    }
    // The library listens with a backlog of 5, which drops connections under
    // a burst of polls (the client then retries only after a second or more).
    if (listenSocket >= 0)
        ::listen(listenSocket, SOMAXCONN);
    std::cout << "Listening on " << options.host << ":" << port << std::endl;

    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread sweeper([&] {
        std::unique_lock<std::mutex> lock(mutex);
        // Checkpoint every second, expire and save request times every 30.
        for (int round = 1; !wake.wait_for(lock, std::chrono::seconds(1), [&] { return stopping; });
             ++round) {
            lock.unlock();
            store.checkpoint();
            if (round % 30 == 0)
                store.sweep();
            lock.lock();
        }
    });
    std::atomic<bool> finished{false};
    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // A signal that comes before the accept loop has started would be
        // lost by stop() (the loop would start afterwards and never end), so
        // wait until the loop runs.
        while (!server.is_running() && !finished)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        server.stop();
    });

    server.listen_after_bind();

    finished = true;
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
