#pragma once

#include "cellscommand.h"

/// A flood fill: the connected cells of one code, given a new code.
class FillCommand : public CellsCommand
{
public:
    FillCommand(MapDocument *document, QList<CellChange> changes);
};
