#pragma once

#include <QByteArray>

/// Puts one kind of large message (the army or the start data message) back
/// together from the pieces that the connection delivers, whatever the
/// points where it was split, the marker itself included.
///
/// A message begins where its marker is found in the arrived text (or across
/// the end of the previous arrival and the start of this one); its payload
/// starts after the marker's blank. Later arrivals are appended until the
/// payload holds its whole number of line ends. A complete payload stays
/// complete until the next marker begins a new message. A payload that grows
/// past the limit is dropped, and so is everything after it until a new
/// message begins.
class Reassembly
{
public:
    /// What one arrival did.
    enum class Step {
        None,            ///< not part of this kind of message: the text is the caller's
        Started,         ///< a message began and is not yet complete
        Grew,            ///< a further piece was added; not yet complete
        Completed,       ///< this arrival made the payload complete
        AlreadyComplete, ///< the payload was complete before; nothing was added
        Overflowed,      ///< the payload passed the limit and was dropped
        Dropped,         ///< a piece of a dropped message, dropped in turn
    };

    /// marker: "ARMYDATA:"; lineEnds: the CR LF pairs of a whole payload;
    /// limit: the largest payload kept.
    Reassembly(const QByteArray &marker, int lineEnds, int limit);

    /// Takes one arrival. before receives the text of this arrival in front of
    /// a marker that begins a message (a joined chat line, for example); after
    /// receives text that followed the last line end of a message completed by
    /// this arrival (unless it is only blanks and line ends, which are
    /// dropped), for the caller to take as an arrival of its own. The payload
    /// ends with its last line end, however the message was split.
    Step take(const QByteArray &arrived, QByteArray *before = nullptr, QByteArray *after = nullptr);
    /// Takes a whole message's payload at once (the bridge): complete or not,
    /// it is used as it is; false when it is over the limit and was dropped.
    bool takeWhole(const QByteArray &payload);

    /// The payload so far, as it arrived (not trimmed).
    QByteArray payload() const { return m_payload; }
    /// True once the payload holds its whole number of line ends.
    bool isComplete() const { return m_complete; }
    int limit() const { return m_limit; }

private:
    Step append(const QByteArray &piece, QByteArray *after);
    void rememberTail(const QByteArray &joined);
    void splitOffRest(QByteArray *after);

    QByteArray m_marker;
    int m_lineEnds;
    int m_limit;
    QByteArray m_payload;
    QByteArray m_tail; // end of the previous arrivals that may begin a marker
    int m_skip = 0;    // characters of the marker's blank still to skip
    int m_counted = 0; // CR LF pairs in m_payload
    bool m_filling = false;
    bool m_complete = false;
    bool m_dropping = false;
};
