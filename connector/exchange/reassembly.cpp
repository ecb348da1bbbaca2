#include "reassembly.h"

#include "armyflip.h"
#include "gamefolder.h"

Reassembly::Reassembly(const QByteArray &marker, int headerLines, int rows, int limit)
    : m_marker(marker), m_headerLines(headerLines), m_rows(rows), m_limit(limit)
{
}

void Reassembly::begin()
{
    m_payload.clear();
    m_linesEnded = 0;
    m_rowCount = 0;
    m_lineHasText = false;
    m_complete = false;
}

Reassembly::Step Reassembly::append(const QByteArray &piece)
{
    if (m_payload.size() + piece.size() > m_limit) {
        abandon();
        return Step::Overflowed;
    }
    m_payload += piece;
    for (const char c : piece) {
        if (c == '\n') {
            // A line ends: it is a row when it held text and is no header.
            if (m_linesEnded >= m_headerLines && m_lineHasText)
                ++m_rowCount;
            ++m_linesEnded;
            m_lineHasText = false;
        } else if (c != ' ' && c != '\r') {
            m_lineHasText = true;
        }
    }
    if (m_rowCount >= m_rows && !m_lineHasText && m_payload.endsWith('\n')) {
        m_complete = true;
        return Step::Completed;
    }
    return Step::Grew;
}

bool Reassembly::atRowStart() const
{
    return m_linesEnded >= m_headerLines && m_payload.endsWith('\n');
}

bool Reassembly::canEndEarly() const
{
    return !m_complete && m_rowCount > 0 && m_payload.endsWith('\n');
}

void Reassembly::endEarly()
{
    m_complete = true;
}

void Reassembly::abandon()
{
    begin();
}

bool Reassembly::takeWhole(const QByteArray &payload, QString *problem)
{
    abandon();
    QString why;
    const int rows = countRows(payload, m_headerLines);
    if (payload.size() > m_limit)
        why = QStringLiteral("it is larger than %1 characters").arg(m_limit);
    else if (rows > m_rows)
        why = QStringLiteral("it has %1 rows, more than %2").arg(rows).arg(m_rows);
    if (!why.isEmpty()) {
        if (problem)
            *problem = why;
        return false;
    }
    m_payload = payload;
    m_rowCount = rows;
    m_complete = true;
    return true;
}

int Reassembly::countRows(const QByteArray &text, int headerLines)
{
    const QList<QByteArray> lines = GameFolder::splitLines(text);
    int rows = 0;
    for (qsizetype i = headerLines; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        line.replace('\r', ' ');
        if (!isBlankLine(line))
            ++rows;
    }
    return rows;
}
