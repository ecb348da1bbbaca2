#include "flagvaluecommand.h"

#include "mapdocument.h"

#include <QCoreApplication>

FlagValueCommand::FlagValueCommand(MapDocument *document, int index, QByteArray before,
                                   QByteArray after)
    : QUndoCommand(QCoreApplication::translate("MapDocument", "Flag %1").arg(index + 1)),
      m_document(document), m_index(index), m_before(std::move(before)), m_after(std::move(after))
{
}

void FlagValueCommand::undo()
{
    m_document->applyFlag(m_index, m_before);
}

void FlagValueCommand::redo()
{
    m_document->applyFlag(m_index, m_after);
}

bool FlagValueCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const FlagValueCommand *>(other);
    if (next->m_index != m_index)
        return false;
    m_after = next->m_after;
    // Typed back to where it began: the step goes from the history.
    setObsolete(m_after == m_before);
    return true;
}
