#include "fillcommand.h"

#include <QCoreApplication>

FillCommand::FillCommand(MapDocument *document, QList<CellChange> changes)
    : CellsCommand(document, std::move(changes), QCoreApplication::translate("MapDocument", "Fill"))
{
}
