#include "paintstrokecommand.h"

#include <QCoreApplication>

PaintStrokeCommand::PaintStrokeCommand(MapDocument *document, int stroke, const CellChange &change)
    : CellsCommand(document, {change}, QCoreApplication::translate("MapDocument", "Paint")),
      m_stroke(stroke)
{
}

bool PaintStrokeCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const PaintStrokeCommand *>(other);
    if (next->m_stroke != m_stroke)
        return false;
    // A cell painted twice keeps both changes; undo runs them backwards.
    m_changes += next->m_changes;
    return true;
}
