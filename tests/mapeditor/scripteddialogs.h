#pragma once

#include "editordialogs.h"

#include <QList>
#include <QStringList>

/// Answers the editor's boxes from a script and records what they showed.
class ScriptedDialogs : public EditorDialogs
{
public:
    QStringList titles;
    QStringList messages;
    QStringList questions;
    QStringList prompts;
    /// Answers of the input box in turn; an empty text is Cancel.
    QStringList inputs;
    /// Answers of the Yes/No box in turn; No when none is left.
    QList<bool> answers;

    void message(QWidget *, const QString &title, const QString &text) override
    {
        titles << title;
        messages << text;
    }
    bool askYesNo(QWidget *, const QString &title, const QString &question) override
    {
        titles << title;
        questions << question;
        return !answers.isEmpty() && answers.takeFirst();
    }
    QString input(QWidget *, const QString &title, const QString &prompt) override
    {
        titles << title;
        prompts << prompt;
        return inputs.isEmpty() ? QString() : inputs.takeFirst();
    }
};
