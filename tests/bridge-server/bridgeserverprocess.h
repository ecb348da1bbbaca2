#pragma once

// Runs the real HvdBridge on 127.0.0.1 with a database in a temporary folder,
// on a free port that the server reports on its first line. Shared by the
// bridge module's and the server's tests.

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

class BridgeServerProcess
{
public:
    BridgeServerProcess() = default;
    ~BridgeServerProcess() { stop(); }

    /// Starts the server (again, on a new port, with the same database);
    /// `extra` are more options. False when it does not report listening.
    bool start(const QStringList &extra = {})
    {
        stop();
        m_process.setProgram(QStringLiteral(HVD_BRIDGE_SERVER_PATH));
        m_process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                           QStringLiteral("--db"), databasePath()} +
                               extra);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        static const QRegularExpression listening(
            QStringLiteral("^Listening on 127\\.0\\.0\\.1:(\\d+)"));
        while (m_process.waitForReadyRead(5000)) {
            while (m_process.canReadLine()) {
                const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
                const QRegularExpressionMatch match = listening.match(line);
                if (match.hasMatch()) {
                    m_port = match.captured(1).toInt();
                    return m_port > 0;
                }
            }
        }
        return false;
    }

    /// Ends the server the way an operator does (SIGTERM); true when it exits
    /// cleanly.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
            return false;
        }
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    /// Ends the server without warning (SIGKILL), as a crash would.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    int port() const { return m_port; }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("bridge.db")); }
    QByteArray errors() { return m_process.readAllStandardError(); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};
