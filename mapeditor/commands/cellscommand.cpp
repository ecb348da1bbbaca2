#include "cellscommand.h"

#include "mapdocument.h"

CellsCommand::CellsCommand(MapDocument *document, QList<CellChange> changes, const QString &text)
    : QUndoCommand(text), m_document(document), m_changes(std::move(changes))
{
}

void CellsCommand::undo()
{
    m_document->applyCells(m_changes, false);
}

void CellsCommand::redo()
{
    m_document->applyCells(m_changes, true);
}
