#pragma once

#include <QByteArray>
#include <QUndoCommand>

class MapDocument;

/// A new text in one flag allotment box. Typing on in the same box merges
/// into the same command, so a typed number is one undo step.
class FlagValueCommand : public QUndoCommand
{
public:
    static constexpr int Id = 2;

    FlagValueCommand(MapDocument *document, int index, QByteArray before, QByteArray after);

    void undo() override;
    void redo() override;
    int id() const override { return Id; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    MapDocument *m_document;
    int m_index;
    QByteArray m_before;
    QByteArray m_after;
};
