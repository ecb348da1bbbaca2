#pragma once

#include "outputbox.h"

#include <QByteArray>

/// An output box that keeps its text as written, for tests of the core.
struct TextOutputBox : public OutputBox
{
    void replace(const QByteArray &newText, bool caretToEnd) override
    {
        text = newText;
        caretAtEnd = caretToEnd;
    }
    void append(const QByteArray &line) override
    {
        text += line + "\r\n";
        caretAtEnd = true;
    }

    QByteArray text;
    bool caretAtEnd = false;
};
