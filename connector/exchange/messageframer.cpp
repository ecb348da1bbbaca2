#include "messageframer.h"

#include "messages.h"
#include "reassembly.h"

#include <cstring>

namespace {

const QByteArray CommandEnd = QByteArrayLiteral("</Root>");
const QByteArray MapEnd = QByteArrayLiteral(".map");

bool matches(const QByteArray &data, qsizetype pos, const QByteArray &marker)
{
    return pos + marker.size() <= data.size() &&
           std::memcmp(data.constData() + pos, marker.constData(), size_t(marker.size())) == 0;
}

} // namespace

MessageFramer::MessageFramer(Role role, const Reassembly &large)
    : m_role(role), m_large(std::make_unique<Reassembly>(large))
{
    m_large->abandon();
    m_anywhere = {QByteArray(Messages::CommandMarker), QByteArrayLiteral("SERVER: "),
                  QByteArrayLiteral("CLIENT: "), large.marker()};
}

MessageFramer::~MessageFramer() = default;

QList<MessageFramer::Frame> MessageFramer::take(const QByteArray &arrived)
{
    QList<Frame> frames;
    scan(std::exchange(m_held, QByteArray()) + arrived, true, &frames);
    return frames;
}

QList<MessageFramer::Frame> MessageFramer::flush()
{
    QList<Frame> frames;
    scan(std::exchange(m_held, QByteArray()), false, &frames);
    if (m_state == State::Large && m_large->canEndEarly()) {
        // Nothing more came: the rows that arrived are the whole message.
        m_large->endEarly();
        frames.append({Frame::Kind::Completed, QByteArray(), m_large->payload(), m_begun});
        m_begun = false;
        m_state = State::AfterLarge;
    }
    return frames;
}

bool MessageFramer::isWaiting() const
{
    return !m_held.isEmpty() || (m_state == State::Large && m_large->canEndEarly());
}

void MessageFramer::reset()
{
    m_held.clear();
    if (m_state == State::Large)
        m_large->abandon();
    m_state = State::Start;
    m_skip = 0;
}

void MessageFramer::scan(const QByteArray &data, bool more, QList<Frame> *frames)
{
    qsizetype pos = 0;
    while (pos < data.size()) {
        switch (m_state) {
        case State::Start:
            pos = scanAtStart(data, pos, more, frames);
            break;
        case State::Large:
        case State::Dropping:
            pos = scanLarge(data, pos, more, frames);
            break;
        case State::AfterLarge: {
            // Blank lines behind a whole message belong to it (a player's
            // army file may end in some); anything else is a message again.
            qsizetype end = pos;
            while (end < data.size() &&
                   (data.at(end) == ' ' || data.at(end) == '\r' || data.at(end) == '\n'))
                ++end;
            if (end > pos)
                frames->append({Frame::Kind::Blank, data.mid(pos, end - pos)});
            if (end < data.size())
                m_state = State::Start;
            pos = end;
            break;
        }
        }
    }
}

qsizetype MessageFramer::scanLarge(const QByteArray &data, qsizetype pos, bool more,
                                   QList<Frame> *frames)
{
    qsizetype start = pos;
    auto emitPiece = [&](Frame::Kind kind, qsizetype end) {
        if (end > start || kind != Frame::Kind::Piece) {
            const bool whole = kind == Frame::Kind::Completed;
            frames->append({kind, data.mid(start, end - start),
                            whole ? m_large->payload() : QByteArray(), m_begun});
            m_begun = false;
        }
        start = end;
    };
    const Frame::Kind pieceKind =
        m_state == State::Large ? Frame::Kind::Piece : Frame::Kind::Dropped;
    while (pos < data.size()) {
        if (m_skip > 0) {
            // The marker and the blank after it are no part of the payload.
            const qsizetype skipped = qMin<qsizetype>(m_skip, data.size() - pos);
            m_skip -= int(skipped);
            pos += skipped;
            continue;
        }
        const bool rowStart = m_state == State::Large
                                  ? m_large->atRowStart()
                                  : (pos == 0 ? m_dropLineStart : data.at(pos - 1) == '\n');
        if (rowStart && markerAt(data, pos, true) > 0) {
            // Another message begins: this one had fewer rows.
            if (m_state == State::Large && m_large->canEndEarly()) {
                m_large->endEarly();
                emitPiece(Frame::Kind::Completed, pos);
            } else {
                if (m_state == State::Large)
                    m_large->abandon();
                emitPiece(pieceKind, pos);
            }
            m_state = State::Start;
            return pos;
        }
        if (rowStart && more && cutMarkerAt(data, pos, true)) {
            emitPiece(pieceKind, pos);
            m_held = data.mid(pos);
            return data.size();
        }
        const qsizetype lf = data.indexOf('\n', pos);
        const qsizetype end = lf < 0 ? data.size() : lf + 1;
        if (m_state == State::Dropping) {
            // A new message of the awaited kind ends the dropping wherever its
            // marker stands, so that a peer can send it again.
            const qsizetype marker = data.indexOf(m_large->marker(), pos);
            if (marker >= 0 && marker < end) {
                emitPiece(pieceKind, marker);
                m_state = State::Start;
                return marker;
            }
            m_dropLineStart = lf >= 0;
            pos = end;
            continue;
        }
        const Reassembly::Step step = m_large->append(data.mid(pos, end - pos));
        pos = end;
        if (step == Reassembly::Step::Overflowed) {
            emitPiece(Frame::Kind::Oversized, pos);
            m_state = State::Dropping;
            m_dropLineStart = lf >= 0;
            return pos;
        }
        if (step == Reassembly::Step::Completed) {
            // Whole after its last row. What follows in this arrival is blank
            // lines, another message or the end; anything else is a further
            // row, and the message is refused.
            qsizetype next = pos;
            while (next < data.size() &&
                   (data.at(next) == ' ' || data.at(next) == '\r' || data.at(next) == '\n'))
                ++next;
            if (next == data.size() || markerAt(data, next, true) > 0 ||
                (more && cutMarkerAt(data, next, true))) {
                emitPiece(Frame::Kind::Completed, pos);
                if (next > pos)
                    frames->append({Frame::Kind::Blank, data.mid(pos, next - pos)});
                m_state = next == data.size() ? State::AfterLarge : State::Start;
                return next;
            }
            m_large->abandon();
            emitPiece(Frame::Kind::TooManyRows, pos);
            m_state = State::Dropping;
            m_dropLineStart = true;
            return pos;
        }
    }
    emitPiece(pieceKind, data.size());
    return data.size();
}

qsizetype MessageFramer::scanAtStart(const QByteArray &data, qsizetype pos, bool more,
                                     QList<Frame> *frames)
{
    const qsizetype size = data.size();
    const auto hold = [&](qsizetype from) {
        m_held = data.mid(from);
        return size;
    };
    const int length = markerAt(data, pos, true);
    if (length == 0 || matches(data, pos, "SERVER: ") || matches(data, pos, "CLIENT: ")) {
        // A chat line or other text.
        if (length == 0 && more && cutMarkerAt(data, pos, true))
            return hold(pos);
        const qsizetype end = textEnd(data, pos + length);
        if (end == size && more) {
            const qsizetype cut = cutMarkerFrom(data, pos + length);
            if (cut >= 0) {
                // Hold the line with the cut marker, so that a command joined
                // behind it arrives in one batch with it.
                if (size - pos > MaxHeld) {
                    frames->append({Frame::Kind::Text, data.mid(pos, cut - pos)});
                    return hold(cut);
                }
                return hold(pos);
            }
        }
        frames->append({Frame::Kind::Text, data.mid(pos, end - pos)});
        return end;
    }
    if (matches(data, pos, m_large->marker())) {
        m_large->begin();
        m_begun = true;
        m_skip = length + 1;
        m_state = State::Large;
        return pos;
    }
    if (matches(data, pos, Messages::CommandMarker)) {
        const qsizetype next = textEnd(data, pos + length);
        const qsizetype close = data.indexOf(CommandEnd, pos + length);
        qsizetype end = next;
        if (close >= 0 && close < next)
            end = close + CommandEnd.size();
        else if (next == size && more && size - pos <= MaxHeld)
            return hold(pos); // the rest of the command may be on its way
        frames->append({Frame::Kind::Command, data.mid(pos, end - pos)});
        return end;
    }
    // The map message: it ends after ".map" where the next message or the end
    // follows, or without ".map" where the next message begins.
    qsizetype end = -1;
    for (qsizetype i = pos + length; i < size && end < 0; ++i) {
        if (data.mid(i, MapEnd.size()).toLower() == MapEnd) {
            const qsizetype after = i + MapEnd.size();
            if (after == size || markerAt(data, after, true) > 0 ||
                (more && cutMarkerAt(data, after, true)))
                end = after;
        } else if (markerAt(data, i, true) > 0) {
            end = i;
        }
    }
    if (end < 0) {
        if (more && size - pos <= MaxHeld)
            return hold(pos);
        end = size;
    }
    frames->append({Frame::Kind::Map, data.mid(pos, end - pos)});
    return end;
}

qsizetype MessageFramer::textEnd(const QByteArray &data, qsizetype from) const
{
    qsizetype end = data.size();
    for (const QByteArray &marker : m_anywhere) {
        const qsizetype at = data.indexOf(marker, from);
        if (at >= 0 && at < end)
            end = at;
    }
    return end;
}

int MessageFramer::markerAt(const QByteArray &data, qsizetype pos, bool startOnly) const
{
    for (const QByteArray &marker : m_anywhere) {
        if (matches(data, pos, marker))
            return int(marker.size());
    }
    if (startOnly && m_role == Role::Client && matches(data, pos, Messages::MapMarker))
        return int(qstrlen(Messages::MapMarker));
    return 0;
}

bool MessageFramer::cutMarkerAt(const QByteArray &data, qsizetype pos, bool startOnly) const
{
    const qsizetype rest = data.size() - pos;
    if (rest <= 0)
        return false;
    const auto cut = [&](const QByteArray &marker) {
        return marker.size() > rest &&
               std::memcmp(data.constData() + pos, marker.constData(), size_t(rest)) == 0;
    };
    for (const QByteArray &marker : m_anywhere) {
        if (cut(marker))
            return true;
    }
    return startOnly && m_role == Role::Client && cut(QByteArray(Messages::MapMarker));
}

qsizetype MessageFramer::cutMarkerFrom(const QByteArray &data, qsizetype from) const
{
    qsizetype longest = 0;
    for (const QByteArray &marker : m_anywhere)
        longest = qMax(longest, marker.size());
    for (qsizetype at = qMax(from, data.size() - longest + 1); at < data.size(); ++at) {
        if (cutMarkerAt(data, at, false))
            return at;
    }
    return -1;
}
