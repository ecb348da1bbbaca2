#pragma once

#include "outputbox.h"

#include <QByteArray>
#include <QPlainTextEdit>

/// The status and chat box of a session window (txtOutput). It keeps the text
/// as the core wrote it, bytes with CR LF line ends, and shows it one byte per
/// character. The player never types into it.
///
/// The box keeps its last MaxBytes bytes: a peer that floods the connection
/// with text cannot make the window slow or eat the memory; the oldest text
/// goes first, and the box says so in its first line.
class OutputTextBox : public QPlainTextEdit, public OutputBox
{
    Q_OBJECT

public:
    static constexpr int MaxBytes = 256 * 1024;

    explicit OutputTextBox(QWidget *parent = nullptr);

    void replace(const QByteArray &text, bool caretToEnd) override;
    void append(const QByteArray &text) override;

    /// The text as written, bytes with their CR LF line ends.
    QByteArray text() const { return m_text; }
    /// True when the insertion point stands at the end of the text.
    bool caretAtEnd() const;

    /// Whether the box, while enabled, hands the focus on to the chat line as
    /// soon as it gets it (the TCP/IP windows); otherwise it keeps it.
    void setPassFocus(bool pass) { m_passFocus = pass; }

signals:
    /// The box got the focus while enabled and passes it on.
    void focusPassed();

protected:
    void focusInEvent(QFocusEvent *event) override;

private:
    void redraw(bool caretToEnd);
    bool trim();

    QByteArray m_text;
    bool m_passFocus = true;
};
