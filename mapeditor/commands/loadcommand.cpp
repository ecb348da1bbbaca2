#include "loadcommand.h"

#include "mapdocument.h"

#include <QCoreApplication>

LoadCommand::LoadCommand(MapDocument *document, LoadedMap before, LoadedMap after)
    : QUndoCommand(QCoreApplication::translate("MapDocument", "Load %1").arg(after.name)),
      m_document(document), m_before(std::move(before)), m_after(std::move(after))
{
}

void LoadCommand::undo()
{
    m_document->applyLoad(m_before, false);
}

void LoadCommand::redo()
{
    m_document->applyLoad(m_after, true);
}
