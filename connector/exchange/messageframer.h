#pragma once

#include "role.h"

#include <QByteArray>
#include <QList>
#include <memory>

class Reassembly;

/// Cuts what a TCP connection delivers into the session messages it holds.
///
/// The protocol has no framing: a message is a marker and its payload, and one
/// arrival may hold several messages, or a piece of one. A message can begin at
/// the start of the stream or right after a message that ended; a command
/// ("<Root><Command FlagID=") and the awaited large message ("ARMYDATA:" on the
/// host, "SAVEDATA1:" on the client) also where they follow a chat line joined
/// in front of them. Inside a large message, a message of another kind can
/// begin only at the start of a row.
///
/// Where each message ends:
/// - a command at the first "</Root>" after its marker; without one, at the
///   next message or at the end of what arrived (engines that end commands
///   differently);
/// - a map message ("MAP:", client only) after its ".map", when the next
///   message or the end of what arrived follows; a "MAP:" inside a chat line is
///   chat;
/// - a large message after its last row (40 army rows after the header, 80
///   start data rows), blank lines not counted; with fewer rows, at the next
///   message, or once nothing more has come for WaitMs (flush());
/// - a chat line ("SERVER: ", "CLIENT: ") and any other text at the next
///   message or the end of what arrived.
///
/// When what arrived ends in a way that leaves a message open (a command
/// without "</Root>", a map name without ".map", a marker cut in two), that
/// part is held back until the next arrival or until flush(); every byte that
/// comes in goes out in exactly one frame, in order.
class MessageFramer
{
public:
    /// How long a held piece waits for the rest of its message. Pieces of one
    /// send follow each other within a round trip; two seconds cover a lost
    /// segment that is sent again (TCP waits one second before the first
    /// retransmission) and are short for a player waiting for a move.
    static constexpr int WaitMs = 2000;
    /// The most that is held back for a message other than a large one; a
    /// command is far shorter (about 70 characters).
    static constexpr int MaxHeld = 1024;

    struct Frame
    {
        enum class Kind {
            Text,        ///< chat ("SERVER: ", "CLIENT: ") or other text
            Map,         ///< a map message
            Command,     ///< a command, from its marker to its end
            Piece,       ///< a piece of the large message that left it open
            Completed,   ///< the piece that made the large message whole
            TooManyRows, ///< the large message went on past its last row
            Oversized,   ///< the large message passed its size limit
            Dropped,     ///< the rest of a refused large message
            Blank,       ///< blank lines behind a whole large message
        };
        Kind kind;
        QByteArray text;      ///< the bytes as they arrived
        QByteArray payload{}; ///< Completed: the whole message's payload
        bool begins = false;  ///< Piece, Completed: the piece holds the marker
    };

    /// large: the kind of large message the role awaits (its marker, rows
    /// and size limit); the framer fills a copy of its own.
    MessageFramer(Role role, const Reassembly &large);
    ~MessageFramer();

    /// Takes one arrival; returns the frames that are settled.
    QList<Frame> take(const QByteArray &arrived);
    /// Nothing more came for WaitMs: settles what is held back, and makes a
    /// large message with fewer rows whole when it stands at a line end.
    QList<Frame> flush();
    /// True when flush() would settle something.
    bool isWaiting() const;
    /// A new connection: nothing of the old stream is held, a large message
    /// in progress is given up; a whole one stays whole.
    void reset();

private:
    enum class State { Start, Large, Dropping, AfterLarge };

    void scan(const QByteArray &data, bool more, QList<Frame> *frames);
    qsizetype scanLarge(const QByteArray &data, qsizetype pos, bool more, QList<Frame> *frames);
    qsizetype scanAtStart(const QByteArray &data, qsizetype pos, bool more, QList<Frame> *frames);
    /// Where text from pos (a chat line or other text) ends: at the next
    /// command, chat line or large message marker; size() when none follows.
    qsizetype textEnd(const QByteArray &data, qsizetype from) const;
    /// The length of the marker that begins at pos, or 0. startOnly: the
    /// markers that count only where a message begins (the map) included.
    int markerAt(const QByteArray &data, qsizetype pos, bool startOnly) const;
    /// True when the data from pos is a marker cut short by the end.
    bool cutMarkerAt(const QByteArray &data, qsizetype pos, bool startOnly) const;
    /// Where a marker cut short by the end of the data begins, at from or
    /// later; -1 when the data ends in none.
    qsizetype cutMarkerFrom(const QByteArray &data, qsizetype from) const;

    Role m_role;
    std::unique_ptr<Reassembly> m_large;
    bool m_begun = false;         // the next piece is the first of its message
    QList<QByteArray> m_anywhere; // markers that may follow a chat line
    QByteArray m_held;
    State m_state = State::Start;
    int m_skip = 0;               // characters of the large marker and its blank still to skip
    bool m_dropLineStart = false; // while dropping: the last piece ended a line
};
