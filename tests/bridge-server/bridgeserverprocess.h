#pragma once

// Runs the real HvdBridge on 127.0.0.1 with a database in a temporary folder,
// on a free port that the server reports on its first line. Shared by the
// bridge module's, the server's and the end-to-end tests.

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

class BridgeServerProcess
{
public:
    ~BridgeServerProcess() { stop(); }

    /// Starts the server (again, on a new port unless `extra` names one, with
    /// the same database); false when it does not report listening.
    bool start(const QStringList &extra = {})
    {
        stop();
        m_process.start(QStringLiteral(HVD_BRIDGE_SERVER_PATH),
                        QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                    QStringLiteral("--db"), databasePath()} +
                            extra);
        static const QRegularExpression listening(
            QStringLiteral("^Listening on 127\\.0\\.0\\.1:(\\d+)"));
        while (m_process.waitForReadyRead(5000)) {
            while (m_process.canReadLine()) {
                const QRegularExpressionMatch match =
                    listening.match(QString::fromLatin1(m_process.readLine()));
                if (match.hasMatch())
                    return (m_port = match.captured(1).toInt()) > 0;
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
        if (m_process.waitForFinished(5000))
            return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
        kill();
        return false;
    }

    /// Ends the server without warning (SIGKILL), as a crash would.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    int port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port)); }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("bridge.db")); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};
