#pragma once

#include "outputbox.h"

#include <QByteArray>

/// An output box that keeps its text as written, for tests of the core.
class TextOutputBox : public OutputBox
{
public:
    void replace(const QByteArray &text, bool caretToEnd) override
    {
        m_text = text;
        m_caretAtEnd = caretToEnd;
    }
    void append(const QByteArray &text) override
    {
        m_text += text + "\r\n";
        m_caretAtEnd = true;
    }

    QByteArray text() const { return m_text; }
    bool caretAtEnd() const { return m_caretAtEnd; }

private:
    QByteArray m_text;
    bool m_caretAtEnd = false;
};
