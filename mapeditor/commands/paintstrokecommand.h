#pragma once

#include "cellscommand.h"

/// The cells painted by one stroke of the paint tool, from the press of a
/// button to its release: each painted cell is pushed on its own and merges
/// into the stroke's command, so the whole stroke is one undo step.
class PaintStrokeCommand : public CellsCommand
{
public:
    static constexpr int Id = 1;

    PaintStrokeCommand(MapDocument *document, int stroke, const CellChange &change);

    int id() const override { return Id; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    int m_stroke;
};
