#pragma once

#include "fuzzinput.h"
#include "gamefolder.h"
#include "messages.h"
#include "reassembly.h"
#include "session.h"
#include "textoutputbox.h"

#include <QByteArray>
#include <QDirIterator>
#include <QList>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <set>

/// When a payload holds more rows than a whole message (rows as Reassembly
/// counts them: lines after the header that hold more than blanks), where
/// the last row of a whole message ends, just past its line end; -1 otherwise.
inline qsizetype pastRowBound(const QByteArray &payload, int headerLines, int rows)
{
    if (Reassembly::countRows(payload, headerLines) <= rows)
        return -1;
    for (qsizetype at = payload.indexOf('\n'); at >= 0; at = payload.indexOf('\n', at + 1))
        if (Reassembly::countRows(payload.left(at + 1), headerLines) == rows)
            return at + 1;
    return -1;
}

/// The pieces in which a connection delivers a message: cut at up to seven
/// points that the input picks.
inline QList<QByteArray> cutPieces(const QByteArray &message, FuzzInput &input)
{
    std::set<qsizetype> points{0, message.size()};
    for (int cuts = input.byte() % 8; cuts > 0 && message.size() > 1; --cuts)
        points.insert(1 + input.number16() % (message.size() - 1));
    QList<QByteArray> pieces;
    for (auto at = points.begin(); std::next(at) != points.end(); ++at)
        pieces << message.mid(*at, *std::next(at) - *at);
    return pieces;
}

/// Every file and folder below a folder (relative name with forward
/// slashes, folders ending in "/") and its bytes.
inline QMap<QString, QByteArray> folderFiles(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        const QString name = QDir(root).relativeFilePath(file.fileName());
        files.insert(it.fileInfo().isDir() ? name + '/' : name,
                     file.open(QIODevice::ReadOnly) ? file.readAll() : "");
    }
    return files;
}

/// True when every file of the folder is one that a session writes or one of
/// the names given.
inline bool onlyFiles(const QString &root, QSet<QString> allowed)
{
    allowed += {"Send/", "Receive/", "Receive/AICommand.xml", "GameLog.txt"};
    const QList<QString> names = folderFiles(root).keys();
    return (QSet<QString>(names.begin(), names.end()) - allowed).isEmpty();
}

/// A session in a fresh game folder that records what it sends and counts
/// its completions.
template <typename S> struct SessionRun
{
    SessionRun(Session::Transport transport, const QStringList &samples)
        : session(folder, transport)
    {
        QDir(dir.path()).mkpath(QStringLiteral("Send"));
        QDir(dir.path()).mkpath(QStringLiteral("Receive"));
        for (const QString &name : samples)
            QFile::copy(QStringLiteral(HVD_DATA_DIR "/") + name, dir.filePath(name));
        session.setOutputBox(&box);
        session.setSendFunction([this](const QByteArray &message) {
            sent << message;
            return true;
        });
        QObject::connect(&session, &S::completed, [this] { ++completions; });
    }

    QTemporaryDir dir;
    GameFolder folder{dir.path()};
    TextOutputBox box;
    QList<QByteArray> sent;
    int completions = 0;
    S session;
};

/// The split check of both session targets: after a chat line from the peer
/// the message of the payload (the rest of the input past its cut points,
/// brought onto row letters) arrives whole in one run and cut where the
/// input picks in another; both keep their bounds and end with the same
/// files and state. A payload of more rows than the message holds is
/// refused whole; split, it is refused too or taken as the third run takes
/// its first rows alone.
template <typename Run, typename Make>
void checkSplitRuns(FuzzInput &input, Role peer, Make message, int headerLines, int rows,
                    const std::function<void(Run &)> &prepare = {})
{
    const QByteArray chat = input.until('\0');
    const QByteArray cutsAndPayload = input.rest();
    FuzzInput picks(cutsAndPayload);
    const QByteArray payload = rowLetters(cutsAndPayload.mid(15));
    const qsizetype bound = pastRowBound(payload, headerLines, rows);
    Run whole(Session::Transport::Tcp), split(Session::Transport::Tcp),
        first(Session::Transport::Tcp);
    for (Run *run : {&whole, &split, &first}) {
        if (prepare)
            prepare(*run);
        if (!chat.isEmpty())
            run->session.received(Messages::chatMessage(peer, chat));
    }
    whole.session.received(message(payload));
    for (const QByteArray &piece : cutPieces(message(payload), picks))
        split.session.received(piece);
    whole.checkBounds();
    split.checkBounds();
    if (bound >= 0) {
        FUZZ_CHECK(whole.completions == 0);
        if (split.completions == 0)
            return;
        first.session.received(message(payload.left(bound)));
        FUZZ_CHECK(first.completions > 0);
    }
    const Run &same = bound >= 0 ? first : whole;
    FUZZ_CHECK(folderFiles(same.dir.path()) == folderFiles(split.dir.path()));
    FUZZ_CHECK(same.state() == split.state());
}

/// Up to 64 arrivals separated by zero bytes, each handed to `arrive`; the
/// run keeps its bounds after each.
template <typename Run, typename Arrive>
void checkArrivals(Run &run, FuzzInput &input, Arrive arrive)
{
    for (int i = 0; i < 64 && !input.atEnd(); ++i) {
        arrive(input.until('\0'));
        run.checkBounds();
    }
}

/// Each session target's two checks, picked by the first byte of the input.
void checkSplit(FuzzInput &input);
void checkRaw(FuzzInput &input, Session::Transport transport);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzApplication();
    FuzzInput input(data, size);
    const int kind = input.byte() % 3;
    if (kind == 0)
        checkSplit(input);
    else
        checkRaw(input, kind == 1 ? Session::Transport::Tcp : Session::Transport::Bridge);
    return 0;
}
