#include "enginegame.h"

#include "enginecommand.h"

#include <QDateTime>

namespace {

const QString ControlName = QStringLiteral("Control.ini");
const QString ScriptName = QStringLiteral("EngineScript.txt");
const QString LogName = QStringLiteral("EngineLog.txt");
const QString BoardName = QStringLiteral("EngineBoard.txt");
const QString SendName = QStringLiteral("Send\\AICommand.xml");
const QString ReceiveName = QStringLiteral("Receive\\AICommand.xml");

// The watcher reports files at once; the timer is only a safety net for
// file systems without notifications.
constexpr int FallbackPollMs = 500;
constexpr int UnfinishedWaitMs = 1000;

} // namespace

EngineGame::EngineGame(const QString &gameFolder, QObject *parent)
    : QObject(parent), m_folder(gameFolder)
{
    m_fallback.setInterval(FallbackPollMs);
    m_delay.setSingleShot(true);
    m_idle.setSingleShot(true);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &EngineGame::poll);
    connect(&m_fallback, &QTimer::timeout, this, &EngineGame::poll);
    connect(&m_delay, &QTimer::timeout, this, [this] {
        m_delayDone = true;
        poll();
    });
    connect(&m_idle, &QTimer::timeout, this, [this] { finish(IdleExit); });
}

bool EngineGame::readScript(const EngineFolder &folder, EngineScript *script, QStringList *warnings,
                            QString *error)
{
    if (!folder.fileExists(ScriptName)) {
        *script = EngineScript::personal();
        return true;
    }
    QList<QByteArray> lines;
    if (!folder.readLines(ScriptName, &lines, error))
        return false;
    *script = EngineScript::parse(lines, warnings);
    return true;
}

void EngineGame::loadTerrain(const QByteArray &mapName)
{
    // Without its map the game is played on open ground: the rules still
    // hold for the flags, and the connector's own tests need no map.
    const QString name = QString::fromLatin1(mapName);
    if (mapName.isEmpty() || !m_folder.fileExists(name))
        return;
    QList<QByteArray> lines;
    QString problem;
    if (!m_folder.readLines(name, &lines, &problem)) {
        log("NOTE: the map is not used: " + problem.toLatin1());
        return;
    }
    // The map file is laid out as the host sees the board; the client sees
    // it from the other end.
    const MapTerrain terrain = MapTerrain::fromMapLines(lines);
    m_board.setTerrain(m_host ? terrain : terrain.halfTurned());
}

bool EngineGame::start(QString *error)
{
    QString problem;
    m_folder.writeBytes(LogName, QByteArray(), nullptr);

    QList<QByteArray> control;
    if (!m_folder.readLines(ControlName, &control, &problem))
        return fail(problem, error);
    if (control.size() < 4)
        return fail(QStringLiteral("Control.ini holds %1 lines instead of 4").arg(control.size()),
                    error);
    const QByteArray role = control.at(3).trimmed().toLower();
    if (role != "host" && role != "client")
        return fail(QStringLiteral("Control.ini names the role \"%1\" instead of Host or Client")
                        .arg(QString::fromLatin1(control.at(3))),
                    error);
    m_host = role == "host";

    m_fullScreen = control.at(2).trimmed() == "1";

    const QString saveName = QString::fromLatin1(control.at(1).trimmed());
    QList<QByteArray> save;
    if (!m_folder.readLines(saveName, &save, &problem))
        return fail(problem, error);
    if (!Board::fromSave(save, m_host, &m_board, &problem))
        return fail(QStringLiteral("%1: %2").arg(saveName, problem), error);
    loadTerrain(control.at(0).trimmed());

    QStringList warnings;
    if (!readScript(m_folder, &m_script, &warnings, &problem))
        return fail(problem, error);
    for (const QString &warning : warnings)
        log("NOTE: " + warning.toLatin1());
    m_random.seed(m_script.seeded ? m_script.seed
                                  : quint32(QDateTime::currentMSecsSinceEpoch() & 0xffffffff));

    for (const QString &folder : {QStringLiteral("Send"), QStringLiteral("Receive")}) {
        const QString path = m_folder.path(folder);
        if (!m_watcher.addPath(path))
            return fail(QStringLiteral("The folder %1 of the game folder is missing").arg(folder),
                        error);
    }
    m_delay.setInterval(m_script.delayMs);
    m_idle.setInterval(m_script.idleExitSeconds * 1000);
    m_fallback.start();
    noteActivity();
    // A command that the connector handed over before the engine started is
    // taken on the first round.
    QTimer::singleShot(0, this, &EngineGame::poll);
    return true;
}

void EngineGame::poll()
{
    if (m_over)
        return;
    while (takeReceived()) {
    }
    // A received move may have ended the game.
    if (m_over)
        return;
    if (!ownMovesLeft() && m_received >= m_sent) {
        finish(Finished);
        return;
    }
    if (ownTurn() && ownMovesLeft())
        playOwnTurn();
}

bool EngineGame::takeReceived()
{
    if (m_over || !m_folder.fileExists(ReceiveName))
        return false;
    QByteArray bytes;
    if (!m_folder.readAll(ReceiveName, &bytes, nullptr))
        return false;
    // The connector publishes a finished file by renaming it. A file written
    // in place may still be growing: a command without its line end is taken
    // only once it has stayed unchanged for a while.
    if (!bytes.contains('\n')) {
        if (bytes != m_unfinished || !m_unfinishedAge.isValid()) {
            m_unfinished = bytes;
            m_unfinishedAge.start();
            return false;
        }
        if (!m_unfinishedAge.hasExpired(UnfinishedWaitMs))
            return false;
    }
    m_unfinishedAge.invalidate();
    if (!m_folder.removeFile(ReceiveName))
        return false; // taken again on a later round, never twice
    QByteArray command = bytes.left(bytes.indexOf('\n'));
    if (command.endsWith('\r'))
        command.chop(1);
    ++m_received;
    noteActivity();
    log("RCVD:" + command);
    Board::Move move;
    if (!EngineCommand::parse(command, &move)) {
        log("SKIP:" + command + " (not a command)");
    } else {
        const Board::MoveResult result = makeMove(move, 'R');
        if (result != Board::MoveResult::Moved && result != Board::MoveResult::Captured)
            log("SKIP:" + command + " (" + Board::describe(result) + ")");
    }
    emit stateChanged();
    return true;
}

Board::MoveResult EngineGame::makeMove(const Board::Move &move, char side)
{
    const Board::MoveResult result = m_board.check(move, side);
    if (result != Board::MoveResult::Moved && result != Board::MoveResult::Captured)
        return result;
    PlayedMove played;
    played.side = side;
    played.move = move;
    m_board.findFlag(move.flagId, &played.fromRow, &played.fromColumn);
    int takenId = 0;
    m_board.apply(move, side, &takenId);
    m_board.findFlag(move.flagId, &played.toRow, &played.toColumn);
    played.takenKind = m_board.kindOf(takenId);
    m_history.append(played);
    emit moved(m_history.last());
    if (m_board.loser())
        finish(Finished);
    return result;
}

void EngineGame::playOwnTurn()
{
    if (m_over || m_script.person)
        return;
    if (m_script.delayMs > 0 && !m_delayDone) {
        if (!m_delay.isActive())
            m_delay.start();
        return;
    }
    // The connector deletes the last command once it has read it; the next
    // one waits until then.
    if (m_folder.fileExists(SendName))
        return;
    m_delayDone = false;
    if (!sendOwnMove() && !ownMovesLeft() && m_received >= m_sent)
        finish(Finished);
}

bool EngineGame::sendOwnMove()
{
    Board::Move move;
    bool found = false;
    if (m_script.listed) {
        while (!found && m_nextListed < m_script.moves.size()) {
            move = m_script.moves.at(m_nextListed++);
            const Board::MoveResult result = m_board.check(move, 'B');
            found = result == Board::MoveResult::Moved || result == Board::MoveResult::Captured;
            if (!found)
                log("SKIP:" + EngineCommand::format(move) + " (" + Board::describe(result) + ")");
        }
    } else {
        const QList<Board::Move> legal = m_board.legalMoves('B');
        if (legal.isEmpty()) {
            log("SKIP: no legal move left");
            m_stuck = true;
        } else {
            move = legal.at(int(m_random.bounded(quint32(legal.size()))));
            found = true;
        }
    }
    if (!found)
        return false;

    return sendMove(move);
}

bool EngineGame::sendMove(const Board::Move &move)
{
    const QByteArray command = EngineCommand::format(move);
    QString problem;
    if (!m_folder.publish(SendName, command + "\r\n", &problem)) {
        log("ERROR: " + problem.toLatin1());
        finish(SetupFailed);
        return false;
    }
    ++m_sent;
    noteActivity();
    log("SENT:" + command);
    makeMove(move, 'B');
    emit stateChanged();
    if (!ownMovesLeft() && m_received >= m_sent)
        finish(Finished);
    return true;
}

bool EngineGame::playPerson(const Board::Move &move, QString *reason)
{
    const auto refuse = [reason](const char *text) {
        if (reason)
            *reason = QString::fromLatin1(text);
        return false;
    };
    if (m_over)
        return refuse(Board::reason(Board::MoveResult::GameOver));
    if (!m_script.person)
        return refuse("The script plays this side.");
    if (!ownTurn())
        return refuse("Wait for the opponent's move.");
    const Board::MoveResult result = m_board.check(move, 'B');
    if (result != Board::MoveResult::Moved && result != Board::MoveResult::Captured)
        return refuse(Board::reason(result));
    // The connector takes each command away before the next may be written.
    if (m_folder.fileExists(SendName))
        return refuse("The last move has not been taken yet.");
    return sendMove(move);
}

QByteArray EngineGame::roleOf(char side) const
{
    return (side == 'B') == m_host ? "Host" : "Client";
}

bool EngineGame::ownTurn() const
{
    // Host first, then strictly in turns.
    return m_host ? m_sent == m_received : m_sent < m_received;
}

bool EngineGame::ownMovesLeft() const
{
    if (m_stuck)
        return false;
    if (m_script.person)
        return true;
    if (m_script.listed)
        return m_nextListed < m_script.moves.size();
    return m_sent < m_script.moveCount;
}

void EngineGame::noteActivity()
{
    if (m_script.idleExitSeconds > 0)
        m_idle.start();
}

void EngineGame::finish(int exitCode)
{
    if (m_over)
        return;
    m_over = true;
    m_exitCode = exitCode;
    m_fallback.stop();
    m_delay.stop();
    m_idle.stop();
    m_watcher.removePaths(m_watcher.directories());
    if (const char loser = m_board.loser())
        log("OVER: " + roleOf(loser == 'B' ? 'R' : 'B') + " won");
    QString problem;
    if (!m_folder.writeBytes(BoardName, m_board.dump(m_host ? "Host" : "Client"), &problem))
        log("ERROR: " + problem.toLatin1());
    emit stateChanged();
    emit finished(exitCode);
}

void EngineGame::log(const QByteArray &line)
{
    m_folder.appendLine(LogName, line);
}

bool EngineGame::fail(const QString &text, QString *error)
{
    log("ERROR: " + text.toLatin1());
    if (error)
        *error = text;
    return false;
}
