#pragma once

#include <QByteArray>

/// The status box of a session window (txtOutput), as the core writes to it.
/// Texts carry their own CR LF line ends.
class OutputBox
{
public:
    virtual ~OutputBox() = default;
    /// Sets the whole text; with caretToEnd the insertion point goes to the end.
    virtual void replace(const QByteArray &text, bool caretToEnd) = 0;
    /// Appends the text and CR LF, then places the insertion point at the end.
    virtual void append(const QByteArray &text) = 0;
};
