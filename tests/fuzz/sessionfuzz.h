#pragma once

#include "fuzzinput.h"
#include "reassembly.h"
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
