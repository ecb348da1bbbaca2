#pragma once

#include "mapcanvas.h"
#include "mapdata.h"

#include <QString>
#include <QUndoCommand>

class MapDocument;

/// Everything that a load replaces: the map, its picture (where unknown codes
/// show colours taken from the cells drawn before them), the map name and the
/// map as last loaded or saved, which unsaved differences are measured
/// against.
struct LoadedMap
{
    MapData map;
    MapCanvas canvas;
    QString name;
    MapData saved;
};

/// A load over the open map (Reset Map, New Map, a map chosen from the list):
/// one undo step, so work that was not saved can be brought back.
class LoadCommand : public QUndoCommand
{
public:
    LoadCommand(MapDocument *document, LoadedMap before, LoadedMap after);

    void undo() override;
    void redo() override;

private:
    MapDocument *m_document;
    LoadedMap m_before;
    LoadedMap m_after;
};
