#include "rectanglecommand.h"

#include <QCoreApplication>

RectangleCommand::RectangleCommand(MapDocument *document, QList<CellChange> changes)
    : CellsCommand(document, std::move(changes),
                   QCoreApplication::translate("MapDocument", "Rectangle"))
{
}
