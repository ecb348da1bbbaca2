#include "outputtextbox.h"

#include "gamefolder.h"

#include <QTextCursor>

namespace {

const QByteArray TrimmedNote = "(older text dropped)\r\n";

QString displayText(const QByteArray &bytes)
{
    QByteArray lines = bytes;
    lines.replace("\r\n", "\n");
    lines.replace('\r', '\n');
    return GameFolder::toDisplay(lines);
}

} // namespace

OutputTextBox::OutputTextBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    // Read-only, yet it looks like the white text box it replaces and keeps
    // showing its caret.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);
    setUndoRedoEnabled(false);
}

void OutputTextBox::replace(const QByteArray &text, bool caretToEnd)
{
    m_text = text;
    trim();
    redraw(caretToEnd);
}

void OutputTextBox::append(const QByteArray &text)
{
    const QByteArray added = text + "\r\n";
    m_text += added;
    if (trim()) {
        redraw(true);
        return;
    }
    // Only the new text is added to the document, so a long session of
    // appends stays cheap. A CR at the end of the old text may pair with a
    // LF at the start of the new one: show the whole text again then.
    if (m_text.size() > added.size() && m_text.at(m_text.size() - added.size() - 1) == '\r' &&
        added.startsWith('\n')) {
        redraw(true);
        return;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(displayText(added));
    moveCursor(QTextCursor::End);
}

bool OutputTextBox::caretAtEnd() const
{
    return textCursor().atEnd();
}

void OutputTextBox::focusInEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusInEvent(event);
    if (m_passFocus && isEnabled())
        emit focusPassed();
}

void OutputTextBox::redraw(bool caretToEnd)
{
    setPlainText(displayText(m_text));
    moveCursor(caretToEnd ? QTextCursor::End : QTextCursor::Start);
}

bool OutputTextBox::trim()
{
    if (m_text.size() <= MaxBytes)
        return false;
    // Keep the newest half, from a line start where there is one.
    QByteArray kept = m_text.right(MaxBytes / 2);
    const int lineStart = kept.indexOf("\r\n");
    if (lineStart >= 0 && lineStart < kept.size() / 2)
        kept = kept.mid(lineStart + 2);
    m_text = TrimmedNote + kept;
    return true;
}
