#pragma once

#include "fuzzinput.h"
#include "gamefolder.h"
#include "reassembly.h"
#include "session.h"
#include "textoutputbox.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>

/// Text brought onto the letters of army and save rows: digits, the side
/// letters, blanks and line ends (CR LF, and now and then a lone CR or LF).
inline QByteArray rowLetters(const QByteArray &raw)
{
    static const char letters[] = "0123456789BR  ";
    QByteArray rows;
    for (const char c : raw) {
        const quint8 code = quint8(c) % 18;
        if (code < 14)
            rows += letters[code];
        else if (code < 16)
            rows += "\r\n";
        else
            rows += code == 16 ? '\r' : '\n';
    }
    return rows;
}

/// When a payload holds more rows than a whole message (rows as Reassembly
/// counts them: lines after the header that hold more than blanks), where
/// the last row of a whole message ends, just past its line end; -1 otherwise.
inline qsizetype pastRowBound(const QByteArray &payload, int headerLines, int rows)
{
    if (Reassembly::countRows(payload, headerLines) <= rows)
        return -1;
    int lines = 0;
    int counted = 0;
    bool text = false;
    for (qsizetype at = 0; at < payload.size(); ++at) {
        const char c = payload.at(at);
        if (c != '\n') {
            text = text || (c != ' ' && c != '\r');
            continue;
        }
        if (lines++ >= headerLines && text && ++counted == rows)
            return at + 1;
        text = false;
    }
    return -1;
}

/// The pieces in which a connection delivers a message: cut at up to seven
/// points that the input picks.
inline QList<QByteArray> cutPieces(const QByteArray &message, FuzzInput &input)
{
    const int cuts = input.byte() % 8;
    QList<qsizetype> points;
    for (int i = 0; i < cuts; ++i) {
        const quint16 at = input.number16();
        if (message.size() > 1)
            points << 1 + at % (message.size() - 1);
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    QList<QByteArray> pieces;
    qsizetype from = 0;
    for (const qsizetype at : points) {
        pieces << message.mid(from, at - from);
        from = at;
    }
    pieces << message.mid(from);
    return pieces;
}

/// True when every file of the folder is one of the names given (folders
/// end in "/").
inline bool onlyFiles(const QMap<QString, QByteArray> &files, const QSet<QString> &allowed)
{
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (!allowed.contains(it.key())) {
            std::fprintf(stderr, "unexpected file %s\n", qPrintable(it.key()));
            return false;
        }
    }
    return true;
}

/// True when the two folders hold the same files with the same bytes; names
/// the files otherwise.
inline bool sameFiles(const QString &one, const QString &other)
{
    const auto a = folderFiles(one);
    const auto b = folderFiles(other);
    for (auto it = a.begin(); it != a.end(); ++it) {
        if (b.value(it.key(), "(missing)") != it.value())
            std::fprintf(stderr, "%s differs\n", qPrintable(it.key()));
    }
    return a == b;
}

/// A fresh game folder with Send and Receive, and the sample files named.
inline std::unique_ptr<QTemporaryDir> gameFolderWith(const QStringList &samples)
{
    auto dir = std::make_unique<QTemporaryDir>();
    QDir(dir->path()).mkpath(QStringLiteral("Send"));
    QDir(dir->path()).mkpath(QStringLiteral("Receive"));
    for (const QString &name : samples)
        QFile::copy(QStringLiteral(HVD_DATA_DIR "/") + name, dir->path() + QLatin1Char('/') + name);
    return dir;
}

/// A session in a fresh game folder that records what it sends and counts
/// its completions.
template <typename S> struct SessionRun
{
    SessionRun(Session::Transport transport, const QStringList &samples)
        : dir(gameFolderWith(samples)), folder(dir->path()), session(folder, transport)
    {
        session.setOutputBox(&box);
        session.setSendFunction([this](const QByteArray &message) {
            sent << message;
            return true;
        });
        QObject::connect(&session, &S::completed, [this] { ++completions; });
    }

    std::unique_ptr<QTemporaryDir> dir;
    GameFolder folder;
    TextOutputBox box;
    QList<QByteArray> sent;
    int completions = 0;
    S session;
};

/// The split check of both session targets: the message of the payload
/// arrives whole in one run and cut where the input picks in another; both
/// keep their bounds and end with the same files and state. A payload of
/// more rows than the message holds (bound: where they end) is refused
/// whole; split, it is refused too or taken as the third run takes its first
/// rows alone.
template <typename Run, typename Make>
void checkSplitRuns(Run &whole, Run &split, Run &first, const QByteArray &payload, Make message,
                    qsizetype bound, FuzzInput &picks)
{
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
    FUZZ_CHECK(sameFiles(same.dir->path(), split.dir->path()));
    FUZZ_CHECK(same.state() == split.state());
}

/// Each session target's two checks, picked by the first byte of the input.
void checkSplit(FuzzInput &input);
void checkRaw(FuzzInput &input, Session::Transport transport);

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int kind = input.byte() % 3;
    if (kind == 0)
        checkSplit(input);
    else
        checkRaw(input, kind == 1 ? Session::Transport::Tcp : Session::Transport::Bridge);
    return 0;
}
