#pragma once

// A throwaway redis-server for one test: on a free loopback port, with its
// append-only file (fsync on every write) in a temporary folder and nothing
// written anywhere else. Stopping and starting again keeps the port and the
// folder, as an operator's restart does.

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

/// Skips the test when redis-server is not installed; fails it instead when
/// CI is set, where a missing tool must not pass as a skip.
#define HVD_REQUIRE_REDIS_SERVER()                                                                 \
    if (RedisServerProcess::program().isEmpty()) {                                                 \
        QVERIFY2(!qEnvironmentVariableIsSet("CI"), "redis-server is not installed");               \
        QSKIP("redis-server is not installed");                                                    \
    }

class RedisServerProcess
{
public:
    ~RedisServerProcess() { kill(); }

    static QString program() { return QStandardPaths::findExecutable("redis-server"); }

    /// Starts the server (again); false when it does not answer.
    bool start()
    {
        if (m_port == 0) {
            QTcpServer probe;
            m_port = probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
        }
        m_process.start(program(),
                        {QStringLiteral("--port"), QString::number(m_port),
                         QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--dir"), m_dir.path(), QStringLiteral("--save"), QString(),
                         QStringLiteral("--appendonly"), QStringLiteral("yes"),
                         QStringLiteral("--appendfsync"), QStringLiteral("always")});
        // The answer must come from this process, not from another test's
        // server that took the port first.
        const QByteArray ours = "process_id:" + QByteArray::number(m_process.processId());
        for (int attempt = 0; attempt < 100 && m_process.waitForStarted(5000); ++attempt) {
            if (command("INFO server").contains(ours))
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    /// Ends the server without warning (SIGKILL): only what it wrote to its
    /// append-only file is there after start().
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    /// Sends one inline command; the raw answer, empty when none came.
    QByteArray command(const QByteArray &line) const
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        // QUIT: the server closes once it has answered, which ends the read.
        socket.write(line + "\r\nQUIT\r\n");
        QByteArray answer;
        while (socket.waitForReadyRead(2000))
            answer += socket.readAll();
        return answer;
    }

    int port() const { return m_port; }
    QString url() const { return QStringLiteral("redis://127.0.0.1:%1").arg(m_port); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};
