#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

/// Reads a fuzz input from the front: small numbers for choices and lengths,
/// then byte strings. Past the end every read gives zeros or empty text, so
/// every input is a valid one.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_bytes(reinterpret_cast<const char *>(data), qsizetype(size))
    {
    }
    explicit FuzzInput(const QByteArray &bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_at >= m_bytes.size(); }

    quint8 byte() { return atEnd() ? 0 : quint8(m_bytes.at(m_at++)); }
    quint16 number16()
    {
        const quint16 high = byte();
        return quint16(high << 8 | byte());
    }
    /// Text up to the next separator byte (not included), or to the end.
    QByteArray until(char separator)
    {
        qsizetype end = m_bytes.indexOf(separator, m_at);
        if (end < 0)
            end = m_bytes.size();
        const QByteArray piece = m_bytes.mid(m_at, end - m_at);
        m_at = end + 1;
        return piece;
    }
    QByteArray rest()
    {
        const QByteArray piece = m_bytes.mid(m_at);
        m_at = m_bytes.size();
        return piece;
    }

private:
    QByteArray m_bytes;
    qsizetype m_at = 0;
};

/// A broken invariant: says which and aborts, which libFuzzer reports as a
/// crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

/// A folder of the process's own for the targets that work on files.
inline QString fuzzFolder()
{
    static const QTemporaryDir dir;
    return dir.path();
}

/// Text brought onto the letters of army and save rows: digits, the side
/// letters, blanks and line ends (CR LF, and with 18 kinds now and then a
/// lone CR or LF).
inline QByteArray rowLetters(const QByteArray &raw, int kinds = 18)
{
    QByteArray rows;
    for (const char c : raw) {
        const int code = quint8(c) % kinds;
        rows += code < 14   ? QByteArray(1, "0123456789BR  "[code])
                : code < 16 ? QByteArray("\r\n")
                            : QByteArray(1, code == 16 ? '\r' : '\n');
    }
    return rows;
}

/// Text as the connector posts it in a form field: blanks as "+".
inline std::string plussed(QByteArray text)
{
    return text.replace(' ', '+').toStdString();
}

/// The application object that QtCore's timers and watchers need, made once
/// and kept to the end of the process (destroyed among the static objects at
/// exit, it would outlive parts of Qt it needs).
inline void fuzzApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}
