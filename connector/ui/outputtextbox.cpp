#include "outputtextbox.h"

#include "gamefolder.h"

#include <QTextCursor>

#include <algorithm>

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
    setMaximumBlockCount(MaxLines);
}

void OutputTextBox::replace(const QByteArray &text, bool caretToEnd)
{
    // The new part begins on a line of its own.
    const bool openLine = !m_text.isEmpty() && !m_text.endsWith('\r') && !m_text.endsWith('\n');
    m_text = text;
    trim();
    showPart(openLine ? "\r\n" + text : text, caretToEnd);
}

void OutputTextBox::append(const QByteArray &text)
{
    QByteArray added = text + "\r\n";
    // A CR at the end of the text before pairs with a LF at the start of
    // this one: one line end, shown once.
    const bool paired = m_text.endsWith('\r') && added.startsWith('\n');
    m_text += added;
    trim();
    showPart(paired ? added.mid(1) : added, true);
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

void OutputTextBox::showPart(const QByteArray &text, bool caretToEnd)
{
    // Only the new text is added to the document, so a long session stays
    // cheap; the document drops its oldest lines past MaxLines by itself.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    const int start = cursor.position();
    cursor.insertText(displayText(text.right(MaxBytes)));
    int dropped = 0;
    // A flood of long lines is bounded too; the newest line always stays.
    while (document()->characterCount() > 2 * MaxBytes && document()->blockCount() > 2) {
        QTextCursor first(document());
        first.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        dropped += first.selectionEnd();
        first.removeSelectedText();
    }
    if (caretToEnd) {
        moveCursor(QTextCursor::End);
        return;
    }
    QTextCursor caret(document());
    caret.setPosition(std::clamp(start - dropped, 0, document()->characterCount() - 1));
    setTextCursor(caret);
}

void OutputTextBox::trim()
{
    if (m_text.size() <= MaxBytes)
        return;
    // Keep the newest half, from a line start where there is one.
    QByteArray kept = m_text.right(MaxBytes / 2);
    const int lineStart = kept.indexOf("\r\n");
    if (lineStart >= 0 && lineStart < kept.size() / 2)
        kept = kept.mid(lineStart + 2);
    m_text = TrimmedNote + kept;
}
