#include "commandrelay.h"

#include "command.h"
#include "messages.h"
#include "outputbox.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QList>
#include <QTimer>

namespace {

const QString SendFolder = QStringLiteral("\\Send");
const QString SendFile = QStringLiteral("\\Send\\AICommand.xml");
const QString ReceiveFolder = QStringLiteral("\\Receive");
const QString ReceiveTmp = QStringLiteral("\\Receive\\AICommand.tmp");
const QString ReceiveFile = QStringLiteral("\\Receive\\AICommand.xml");
const QString GameLog = QStringLiteral("GameLog.txt");

/// How often the relay looks at its files when no change was signalled: a
/// safety net for file systems whose changes are not reported.
constexpr int FallbackIntervalMs = 250;
/// How long a command file without a line end must stay unchanged before it
/// counts as completely written.
constexpr int SettleMs = 100;

} // namespace

struct CommandRelay::Private
{
    explicit Private(const GameFolder &f, Role r) : folder(f), role(r) {}

    GameFolder folder;
    Role role;
    qint16 objectCount = 0;
    OutputBox *box = nullptr;
    SendFunction send;
    bool running = false;
    bool taking = true;
    bool inSendPath = false;
    bool inPublish = false;

    QFileSystemWatcher watcher;
    QTimer fallback;
    QTimer settle;

    // A command file seen without a line end, and since when it looks so.
    QByteArray unfinished;
    bool hasUnfinished = false;
    QElapsedTimer unfinishedSince;

    // Converted commands that wait for "\Receive\AICommand.xml" to be free.
    QList<QByteArray> pending;
    bool watchingReceive = false;
    // The last reason the waiting commands could not be written, told once.
    QString toldWait;

    // Own commands that found no connection, converted, with the text as the
    // engine wrote it (for the log), oldest first.
    struct Unsent
    {
        QByteArray command;
        QByteArray asRead;
    };
    QList<Unsent> unsent;
    // The player has been told that the engine's next command stays in Send.
    bool toldFull = false;
};

CommandRelay::CommandRelay(const GameFolder &folder, Role role, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(folder, role))
{
    d->fallback.setInterval(FallbackIntervalMs);
    d->settle.setSingleShot(true);
    connect(&d->fallback, &QTimer::timeout, this, [this] {
        checkSendFile();
        publishPending();
    });
    connect(&d->settle, &QTimer::timeout, this, &CommandRelay::checkSendFile);
    connect(&d->watcher, &QFileSystemWatcher::fileChanged, this, &CommandRelay::checkSendFile);
    connect(&d->watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString &path) {
        if (path == d->folder.path(ReceiveFolder))
            publishPending();
        else
            checkSendFile();
    });
}

CommandRelay::~CommandRelay() = default;

void CommandRelay::setObjectCount(qint16 count)
{
    d->objectCount = count;
}

qint16 CommandRelay::objectCount() const
{
    return d->objectCount;
}

void CommandRelay::setOutputBox(OutputBox *box)
{
    d->box = box;
}

void CommandRelay::setSendFunction(SendFunction send)
{
    d->send = std::move(send);
}

void CommandRelay::start()
{
    if (d->running)
        return;
    d->running = true;
    if (d->folder.folderExists(SendFolder))
        d->watcher.addPath(d->folder.path(SendFolder));
    updateFallback();
    // The first look runs from the event loop, not inside the caller's handler.
    QTimer::singleShot(0, this, &CommandRelay::checkSendFile);
}

void CommandRelay::stop()
{
    if (!d->running)
        return;
    d->running = false;
    // Kept commands live only as long as the window.
    d->unsent.clear();
    d->toldFull = false;
    d->settle.stop();
    d->hasUnfinished = false;
    const QString sendFolder = d->folder.path(SendFolder);
    const QString sendFile = d->folder.path(SendFile);
    for (const QString &path : {sendFolder, sendFile}) {
        if (d->watcher.files().contains(path) || d->watcher.directories().contains(path))
            d->watcher.removePath(path);
    }
    updateFallback();
}

bool CommandRelay::isRunning() const
{
    return d->running;
}

void CommandRelay::setTakingEnabled(bool enabled)
{
    d->taking = enabled;
    if (enabled && d->running)
        QTimer::singleShot(0, this, &CommandRelay::checkSendFile);
}

QString CommandRelay::commandProblem(const QByteArray &command) const
{
    if (command.size() > MaxCommandLength)
        return QStringLiteral("it is longer than %1 characters").arg(MaxCommandLength);
    // A number outside the game's flags would be converted into another
    // flag's number, or into no number at all.
    const QByteArray digits = command.mid(23, 4);
    bool number = digits.size() == 4;
    for (const char c : digits)
        number = number && c >= '0' && c <= '9';
    const int flag = number ? digits.toInt() : 0;
    const int last = 5000 + d->objectCount;
    if (!number)
        return QStringLiteral("it holds no flag number at characters 24 to 27");
    if (d->objectCount <= 0)
        return QStringLiteral("its flag number %1 names no flag: the game's flags are not known "
                              "yet")
            .arg(GameFolder::toDisplay(digits));
    if (flag < 5001 || flag > last)
        return QStringLiteral("its flag number %1 is not one of 5001 to %2")
            .arg(GameFolder::toDisplay(digits))
            .arg(last);
    return QString();
}

QByteArray CommandRelay::handOver(const QByteArray &arrived)
{
    QString problem = commandProblem(arrived);
    if (problem.isEmpty() && d->pending.size() >= MaxWaitingCommands)
        problem = QStringLiteral("%1 commands already wait for the engine").arg(d->pending.size());
    if (!problem.isEmpty()) {
        if (d->box)
            d->box->append("A command from the other player was refused (" +
                           GameFolder::fromDisplay(problem) + "): " + Messages::printable(arrived));
        emit handOverFailed(arrived, problem);
        return QByteArray();
    }
    QByteArray command = arrived;
    if (d->role == Role::Host)
        AdjustCommand(command, d->objectCount);
    if (d->box)
        d->box->replace("RECEIVED:\r\n", true);
    d->pending.append(command);
    // "RECEIVED:" has just replaced the box: a wait is told again.
    d->toldWait.clear();
    publishPending();
    return command;
}

int CommandRelay::pendingHandOvers() const
{
    return int(d->pending.size());
}

QByteArray CommandRelay::ReadCommandFile()
{
    if (!d->folder.fileExists(SendFile)) {
        d->hasUnfinished = false;
        return QByteArray();
    }
    // Watch the file itself before reading it, so that a write that lands
    // after the read below is signalled.
    const QString path = d->folder.path(SendFile);
    if (d->running && !d->watcher.files().contains(path))
        d->watcher.addPath(path);

    QByteArray bytes;
    if (!d->folder.readAll(SendFile, &bytes))
        return QByteArray();
    QByteArray line;
    const qsizetype lf = bytes.indexOf('\n');
    if (lf >= 0) {
        line = bytes.left(lf);
    } else {
        // No line end yet: the engine may still be writing. The line is taken
        // once the file has stayed the same for a while; an empty file waits.
        if (bytes.isEmpty() || !d->hasUnfinished || d->unfinished != bytes) {
            d->unfinished = bytes;
            d->hasUnfinished = true;
            d->unfinishedSince.start();
            if (d->running)
                d->settle.start(SettleMs);
            return QByteArray();
        }
        const qint64 waited = d->unfinishedSince.elapsed();
        if (waited < SettleMs) {
            if (d->running)
                d->settle.start(int(SettleMs - waited));
            return QByteArray();
        }
        line = bytes;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    d->hasUnfinished = false;
    d->settle.stop();
    // A file that cannot be deleted is taken again at a later look.
    if (!d->folder.removeFile(SendFile))
        return QByteArray();
    return line;
}

int CommandRelay::waitingToSend() const
{
    return int(d->unsent.size());
}

QByteArray CommandRelay::waitingLine() const
{
    const qsizetype count = d->unsent.size();
    return QByteArray::number(count) + (count == 1 ? " move waits" : " moves wait") +
           " for the connection.";
}

int CommandRelay::sendWaiting()
{
    if (d->unsent.isEmpty())
        return 0;
    int went = 0;
    while (!d->unsent.isEmpty()) {
        const Private::Unsent next = d->unsent.first();
        if (!d->send || !d->send(next.command))
            break;
        d->unsent.removeFirst();
        ++went;
        commandWent(next.command, next.asRead);
    }
    if (!d->unsent.isEmpty()) {
        if (d->box)
            d->box->append(waitingLine());
        return went;
    }
    // The engine's next command may have waited in Send for room.
    d->toldFull = false;
    if (d->running)
        QTimer::singleShot(0, this, &CommandRelay::checkSendFile);
    return went;
}

void CommandRelay::checkSendFile()
{
    if (!d->running || !d->taking || d->inSendPath)
        return;
    if (d->unsent.size() >= MaxUnsentCommands) {
        // No room: the command stays in its file, where the engine keeps it.
        if (!d->toldFull && d->folder.fileExists(SendFile)) {
            d->toldFull = true;
            if (d->box)
                d->box->append(waitingLine() +
                               " The engine's next move stays in \\Send\\AICommand.xml until "
                               "they have gone.");
        }
        return;
    }
    d->inSendPath = true;
    const QByteArray asRead = ReadCommandFile();
    if (!asRead.isEmpty())
        sendCommand(asRead);
    d->inSendPath = false;
}

void CommandRelay::sendCommand(const QByteArray &asRead)
{
    if (d->role == Role::Host) {
        // The host converts its engine's command; a flag number outside the
        // game's would reach the client as another flag's.
        const QString problem = commandProblem(asRead);
        if (!problem.isEmpty()) {
            if (d->box)
                d->box->replace("NOT SENT (" + GameFolder::fromDisplay(problem) +
                                    "): " + Messages::printable(asRead) + "\r\n",
                                true);
            emit sendFailed(asRead);
            return;
        }
    }
    QByteArray command = asRead;
    if (d->role == Role::Host)
        AdjustCommand(command, d->objectCount);
    // A command never overtakes one that waits for the connection.
    if (d->unsent.isEmpty() && d->send && d->send(command)) {
        commandWent(command, asRead);
        return;
    }
    d->unsent.append({command, asRead});
    if (d->box) {
        d->box->replace("NOT SENT (no connection): " + command + "\r\n", true);
        d->box->append(waitingLine());
    }
    emit sendFailed(command);
}

void CommandRelay::commandWent(const QByteArray &command, const QByteArray &asRead)
{
    if (d->box)
        d->box->replace("SENT: \r\n" + command + "\r\n", true);
    d->folder.appendValue(GameLog, "SENT:" + asRead);
    emit commandSent(command, asRead);
}

void CommandRelay::publishPending()
{
    if (d->inPublish)
        return;
    d->inPublish = true;
    while (!d->pending.isEmpty()) {
        // The engine has not yet taken the previous command: wait for it.
        if (QFileInfo::exists(d->folder.path(ReceiveFile)))
            break;
        const QByteArray command = d->pending.first();
        QString error;
        if (!d->folder.folderExists(ReceiveFolder)) {
            // The connector never makes the folder: the command waits for the
            // player to put it right.
            error = d->folder.missingFolderLine(QStringLiteral("Receive"));
        } else if (d->folder.writeValue(ReceiveTmp, command, &error) &&
                   d->folder.renameFile(ReceiveTmp, ReceiveFile, &error)) {
            d->pending.removeFirst();
            d->toldWait.clear();
            d->folder.appendValue(GameLog, "RCVD:" + command);
            emit commandHandedOver(command);
            continue;
        }
        // The name was taken between the look and the rename: wait again.
        if (QFileInfo::exists(d->folder.path(ReceiveFile)))
            break;
        // Kept, in order, and tried again; the player hears of it once.
        if (error != d->toldWait && d->box) {
            d->box->append(GameFolder::fromDisplay(error));
            d->box->append(QByteArray::number(d->pending.size()) +
                           (d->pending.size() == 1 ? " move waits" : " moves wait") +
                           " to be handed to the engine.");
        }
        d->toldWait = error;
        break;
    }
    const bool wait = !d->pending.isEmpty();
    if (wait != d->watchingReceive) {
        const QString receiveFolder = d->folder.path(ReceiveFolder);
        if (wait && d->folder.folderExists(ReceiveFolder))
            d->watchingReceive = d->watcher.addPath(receiveFolder);
        else if (!wait && d->watchingReceive)
            d->watchingReceive = !d->watcher.removePath(receiveFolder);
    }
    updateFallback();
    d->inPublish = false;
}

void CommandRelay::updateFallback()
{
    const bool needed = d->running || !d->pending.isEmpty();
    if (needed && !d->fallback.isActive())
        d->fallback.start();
    else if (!needed)
        d->fallback.stop();
}
