#pragma once

#include "cellscommand.h"

/// A rectangle of cells filled with one code.
class RectangleCommand : public CellsCommand
{
public:
    RectangleCommand(MapDocument *document, QList<CellChange> changes);
};
