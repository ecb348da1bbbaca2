#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <QUndoCommand>

class MapDocument;

/// One cell of an edit: its position in row order, its code and the colour
/// of its square in the view before and after. The colour is kept because a
/// cell with an unknown code shows the colour of the cell drawn before it at
/// the last load, which its code alone cannot tell.
struct CellChange
{
    int index = 0;
    QByteArray before;
    QByteArray after;
    QRgb colourBefore = 0;
    QRgb colourAfter = 0;
};

/// What the edits of cells share: the changes, applied forwards by redo and
/// backwards, in reverse order, by undo.
class CellsCommand : public QUndoCommand
{
public:
    CellsCommand(MapDocument *document, QList<CellChange> changes, const QString &text);

    void undo() override;
    void redo() override;

    const QList<CellChange> &changes() const { return m_changes; }

protected:
    MapDocument *m_document;
    QList<CellChange> m_changes;
};
