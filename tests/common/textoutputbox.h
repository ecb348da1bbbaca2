#pragma once

#include "outputbox.h"

#include <QByteArray>

/// An output box that keeps its text as written, for tests of the core.
struct TextOutputBox : public OutputBox
{
    void replace(const QByteArray &newText, bool) override { text = newText; }
    void append(const QByteArray &line) override { text += line + "\r\n"; }

    QByteArray text;
};
