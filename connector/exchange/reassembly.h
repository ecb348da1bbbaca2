#pragma once

#include <QByteArray>
#include <QString>

/// The payload of one kind of large message (the army or the start data
/// message) as it is put together again: the rows that came so far and whether
/// the message is whole.
///
/// Completion counts rows, not characters or line ends: a row is a line that
/// holds more than blanks, so blank lines that a player left in an army file
/// never make the message whole early. The army text has a header line before
/// its rows. A message is whole after its last row; one with fewer rows is made
/// whole by the caller (endEarly()) when it knows that nothing more belongs to
/// it. A complete payload stays complete until the next message begins.
class Reassembly
{
public:
    /// What one piece did.
    enum class Step {
        Grew,       ///< added; the message is not yet whole
        Completed,  ///< this piece ended the last row
        Overflowed, ///< the payload passed the size limit and was dropped
    };

    /// marker: "ARMYDATA:"; headerLines: lines before the rows (1 for the
    /// army); rows: the rows of a whole message; limit: the largest payload.
    Reassembly(const QByteArray &marker, int headerLines, int rows, int limit);

    QByteArray marker() const { return m_marker; }
    int rowLimit() const { return m_rows; }
    int limit() const { return m_limit; }

    /// A marker begins a new message: the payload starts empty.
    void begin();
    /// Adds a piece that holds at most one line end (LF), as its last byte.
    Step append(const QByteArray &piece);
    /// True while the payload stands at the start of a line after the header,
    /// where a message of another kind may begin.
    bool atRowStart() const;
    /// True when the message could end here: it holds a row and stands at the
    /// end of a line.
    bool canEndEarly() const;
    /// Makes the message whole with the rows it holds.
    void endEarly();
    /// Gives the message up: not complete, nothing kept.
    void abandon();

    /// Takes a whole message's payload at once (the bridge). False, with the
    /// reason, when it is larger than the limit or holds more rows than a
    /// whole message; nothing is kept then.
    bool takeWhole(const QByteArray &payload, QString *problem = nullptr);

    /// The payload so far, as it arrived (not trimmed).
    QByteArray payload() const { return m_payload; }
    bool isComplete() const { return m_complete; }
    /// Rows counted so far.
    int rows() const { return m_rowCount; }

    /// The rows of a text: its lines after the header lines that hold more
    /// than blanks.
    static int countRows(const QByteArray &text, int headerLines);

private:
    QByteArray m_marker;
    int m_headerLines;
    int m_rows;
    int m_limit;
    QByteArray m_payload;
    int m_linesEnded = 0;       // LF seen so far
    int m_rowCount = 0;         // rows among them
    bool m_lineHasText = false; // the open line holds more than blanks
    bool m_complete = false;
};
