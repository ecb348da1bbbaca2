#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

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
