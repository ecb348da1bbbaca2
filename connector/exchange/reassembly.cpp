#include "reassembly.h"

#include <algorithm>

Reassembly::Reassembly(const QByteArray &marker, int lineEnds, int limit)
    : m_marker(marker), m_lineEnds(lineEnds), m_limit(limit)
{
}

Reassembly::Step Reassembly::take(const QByteArray &arrived, QByteArray *before, QByteArray *after)
{
    const QByteArray joined = m_tail + arrived;
    const int tailSize = int(m_tail.size());
    rememberTail(joined);
    const int at = int(joined.indexOf(m_marker));
    if (at >= 0) {
        // A marker begins a new message, whatever came before: the rest of a
        // message that never completed is given up, as is a complete one.
        if (before)
            *before = arrived.left(std::max(0, at - tailSize));
        m_dropping = false;
        m_filling = true;
        m_complete = false;
        m_payload.clear();
        m_counted = 0;
        // The payload starts after the marker and its blank; when the arrival
        // ends before that, the rest of the marker's text is skipped later.
        const int start = at + int(m_marker.size()) + 1;
        m_skip = std::max(0, start - int(joined.size()));
        const Step step = append(joined.mid(std::min(start, int(joined.size()))), after);
        return step == Step::Grew ? Step::Started : step;
    }
    if (m_dropping)
        return Step::Dropped;
    if (m_filling)
        return append(arrived, after);
    if (m_complete)
        return Step::AlreadyComplete;
    return Step::None;
}

bool Reassembly::takeWhole(const QByteArray &payload)
{
    m_tail.clear();
    m_skip = 0;
    m_dropping = false;
    m_filling = false;
    if (payload.size() > m_limit) {
        m_payload.clear();
        m_counted = 0;
        m_complete = false;
        return false;
    }
    m_payload = payload;
    m_counted = int(payload.count("\r\n"));
    m_complete = true;
    return true;
}

Reassembly::Step Reassembly::append(const QByteArray &arrived, QByteArray *after)
{
    QByteArray piece = arrived;
    if (m_skip > 0) {
        const int skipped = std::min(m_skip, int(piece.size()));
        piece.remove(0, skipped);
        m_skip -= skipped;
    }
    if (m_payload.size() + piece.size() > m_limit) {
        m_payload.clear();
        m_counted = 0;
        m_filling = false;
        m_dropping = true;
        return Step::Overflowed;
    }
    // A CR LF may be split between two pieces.
    if (m_payload.endsWith('\r') && piece.startsWith('\n'))
        ++m_counted;
    m_counted += int(piece.count("\r\n"));
    m_payload += piece;
    if (m_counted >= m_lineEnds) {
        m_filling = false;
        m_complete = true;
        splitOffRest(after);
        return Step::Completed;
    }
    return Step::Grew;
}

void Reassembly::rememberTail(const QByteArray &joined)
{
    // The longest end of the text that could be the beginning of a marker
    // whose rest is still on the way.
    for (int n = std::min(int(m_marker.size()) - 1, int(joined.size())); n > 0; --n) {
        if (joined.endsWith(m_marker.left(n))) {
            m_tail = m_marker.left(n);
            return;
        }
    }
    m_tail.clear();
}

void Reassembly::splitOffRest(QByteArray *after)
{
    int end = 0;
    for (int n = 0; n < m_lineEnds; ++n)
        end = int(m_payload.indexOf("\r\n", end)) + 2;
    const QByteArray rest = m_payload.mid(end);
    // The message ends with its last line end, wherever the connection split
    // it: blank lines that came in the same piece would otherwise stay in the
    // payload, and the same lines in a later piece would not.
    m_payload.truncate(end);
    m_counted = m_lineEnds;
    m_tail.clear();
    // Blanks and line ends alone are no text of their own; text sent after
    // the message (a chat line) came joined to its last piece.
    if (std::all_of(rest.begin(), rest.end(),
                    [](char c) { return c == ' ' || c == '\r' || c == '\n'; }))
        return;
    if (after)
        *after = rest;
}
