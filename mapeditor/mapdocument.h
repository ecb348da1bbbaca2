#pragma once

#include "mapcanvas.h"
#include "mapdata.h"
#include "palette.h"

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QUndoStack>

struct CellChange;
struct LoadedMap;

/// What the editor knows about the open map, without widgets: the map grid
/// and its flags, the picture of the map view, the swatch and the selected
/// code, the pointer cell, the changed flag and the undo history. Every edit
/// is an undo command on the document's stack; the window turns its events
/// into calls of this class (mostly through the tools) and redraws from its
/// signals.
class MapDocument : public QObject
{
    Q_OBJECT

public:
    explicit MapDocument(QObject *parent = nullptr);
    ~MapDocument() override;

    /// Loads the map file `fileName` from the folder under the map name
    /// `mapName` (New Map loads the default map under the new name): fills
    /// the palette, reads the file, draws the whole map and makes "T02" the
    /// selected code and the swatch. The load is one undo step, which brings
    /// back the cells, flags and name from before it; the loaded map becomes
    /// the one that unsaved differences are measured against. A file that
    /// cannot be read leaves the state of an empty file, false and a message.
    /// The changed flag is not touched.
    bool load(const QString &folder, const QString &fileName, const QString &mapName,
              QString *error = nullptr);
    /// Loads the map file `name` under its own name.
    bool load(const QString &folder, const QString &name, QString *error = nullptr)
    {
        return load(folder, name, name, error);
    }

    /// The map name, which Reset Map reads and Save Changes writes.
    QString name() const { return m_name; }
    /// The author typed a map name; not an undo step.
    void setName(const QString &name);

    /// Writes the map grid and the flags under `name`; on success clears the
    /// changed flag and takes the map as saved. On a refusal or failure
    /// nothing changes and the message says why.
    bool save(const QString &folder, const QString &name, QString *error = nullptr);

    /// A choice from the terrain picker: the swatch takes the code's colour
    /// and the code becomes the selected code. An unknown code changes
    /// nothing and gives false.
    bool pick(const QByteArray &code);
    /// The pick tool: the code of cell (x, y) becomes the selected code, as
    /// if chosen in the picker. False (and nothing changes)
    /// for a cell outside the grid or an unknown code.
    bool pickCell(int x, int y);

    /// Called for every mouse move over the view, with the position in the
    /// pixels of the map picture (the view has taken its zoom off): stores
    /// and returns the pointer cell, which may lie outside the grid.
    QPoint setPointer(const QPointF &imagePos);
    /// True when the pointer cell lies in the grid.
    bool pointerInGrid() const { return MapData::inGrid(m_pointer.x(), m_pointer.y()); }
    /// The window title for the pointer cell: "HvMapEd(name) X: x  Y: y   G: code";
    /// empty while the pointer cell lies outside the grid.
    QString statusTitle(const QString &mapName) const;

    /// Opens a stroke: the cells painted until endStroke() are one undo step.
    void beginStroke();
    /// Closes the stroke that beginStroke() opened.
    void endStroke();
    /// Paints cell (x, y) with the selected code, as part of the open stroke
    /// (a step of its own when none is open). A cell that already holds the
    /// selected code is left alone. Returns the pixels painted.
    QRect paint(int x, int y);
    /// Flood-fills with the selected code the cells connected to (x, y)
    /// (through their sides) that hold the same code as (x, y). One undo
    /// step; false when nothing changed.
    bool fill(int x, int y);
    /// Fills the cells of the rectangle between two corner cells (clamped
    /// to the grid) with the selected code. One undo step; false when
    /// nothing changed.
    bool fillRectangle(const QPoint &corner, const QPoint &otherCorner);
    /// Sets flag allotment `index` (0 to 11) to the text typed into its box.
    /// Typing into one box merges into one undo step.
    void setFlag(int index, const QByteArray &value);

    /// Applies cell changes forwards (redo) or backwards (undo); called by
    /// the undo commands only.
    void applyCells(const QList<CellChange> &changes, bool forwards);
    /// Sets a flag value; called by the undo commands only.
    void applyFlag(int index, const QByteArray &value);
    /// Puts a loaded map (redo) or the map from before a load (undo) in
    /// place; called by the undo commands only.
    void applyLoad(const LoadedMap &state, bool loading);

    /// The changed flag of the window: set by a click that paints a cell,
    /// cleared at start-up and by a save, kept over loads. Undoing back to
    /// the map as last loaded or saved gives it back the value it had then.
    bool isChanged() const { return m_changed; }
    void setChanged(bool changed);
    /// True when closing must ask: the changed flag is set, or the grid or
    /// the flags differ from the map as last loaded or saved.
    bool isModified() const;

    QUndoStack *undoStack() { return &m_undo; }
    const MapData &map() const { return m_map; }
    const QImage &view() const { return m_canvas.image(); }
    const MapGeometry &geometry() const { return m_canvas.geometry(); }
    const Palette &palette() const { return m_palette; }
    QRgb swatch() const { return m_swatch; }
    QByteArray selectedCode() const { return m_selected; }
    QPoint pointerCell() const { return m_pointer; }

signals:
    /// Cells changed by an edit, undo or redo; `pixels` in the map picture.
    void cellsChanged(const QRect &pixels);
    /// A flag value changed by undo or redo (not by the typing itself).
    void flagChanged(int index, const QByteArray &value);
    /// The selected code changed (a pick, the pick tool or a load); the
    /// swatch has its colour.
    void selectedCodeChanged(const QByteArray &code);
    /// A load or its undo replaced the whole map, its flags and its name.
    void mapReplaced();
    /// The map name changed by a load or its undo (not by the typing itself).
    void nameChanged(const QString &name);
    /// isModified() changed.
    void modifiedChanged(bool modified);

private:
    CellChange changeFor(int x, int y) const;
    bool pushCells(QList<CellChange> changes, const QString &text, int kind);
    void updateModified();

    Palette m_palette;
    MapCanvas m_canvas;
    MapData m_map;
    MapData m_saved;
    QString m_name;
    QUndoStack m_undo;
    QByteArray m_selected;
    QRgb m_swatch;
    QPoint m_pointer;
    int m_stroke = 0;
    bool m_strokeOpen = false;
    bool m_changed = false;
    bool m_changedWhenSaved = false;
    bool m_modified = false;
};
