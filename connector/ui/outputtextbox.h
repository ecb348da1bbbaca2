#pragma once

#include "outputbox.h"

#include <QByteArray>
#include <QPlainTextEdit>

/// The status and chat box of a session window (txtOutput). It keeps the text
/// as the core wrote it since its last replace, bytes with CR LF line ends,
/// and shows it one byte per character. The player never types into it.
///
/// What it shows is a history: a replace starts a new part below the old
/// text instead of wiping it, so a chat line stays readable while the moves
/// of a game come and go. The history keeps its last MaxLines lines (and
/// about twice MaxBytes characters), the core's text its last MaxBytes: a peer
/// that floods the connection with text cannot make the window slow or eat
/// the memory; the oldest text goes first.
class OutputTextBox : public QPlainTextEdit, public OutputBox
{
    Q_OBJECT

public:
    static constexpr int MaxBytes = 256 * 1024;
    static constexpr int MaxLines = 300;

    explicit OutputTextBox(QWidget *parent = nullptr);

    void replace(const QByteArray &text, bool caretToEnd) override;
    void append(const QByteArray &text) override;

    /// The text as written since the last replace, bytes with their CR LF
    /// line ends.
    QByteArray text() const { return m_text; }
    /// What the box shows: the history, lines ended by LF.
    QString shownText() const { return toPlainText(); }
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
    void showPart(const QByteArray &text, bool caretToEnd);
    void trim();

    QByteArray m_text;
    bool m_passFocus = true;
};
