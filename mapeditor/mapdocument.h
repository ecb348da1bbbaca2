#pragma once

#include "mapcanvas.h"
#include "mapdata.h"
#include "palette.h"

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>

/// What the editor window knows about the open map, without widgets: the map
/// grid, the picture of the map view, the swatch and the selected code, the
/// pointer cell, the changed flag and the skip-click flag. The window turns
/// its events into calls of this class and shows the results.
class MapDocument
{
public:
    MapDocument();

    /// Loads the map named `name` from the folder: fills the palette, reads
    /// the file, draws the whole map and makes "T02" the selected code and the
    /// swatch. A file that cannot be read leaves the state of an empty file,
    /// false and a message. The changed flag is not touched.
    bool load(const QString &folder, const QString &name, QString *error = nullptr);

    /// Writes the map grid and the given flags under `name`, then clears the
    /// changed flag. On a refusal or failure the flag stays and the message
    /// says why.
    bool save(const QString &folder, const QString &name, const QList<QByteArray> &flags,
              QString *error = nullptr);

    /// A choice from the terrain picker: the swatch takes the code's colour
    /// and the code becomes the selected code. An unknown code changes nothing.
    void pick(const QByteArray &code);

    /// A mouse move over the view: stores the pointer cell and, when it lies
    /// in the grid, gives the title for it (the code before any painting);
    /// with the left button alone it paints that cell, with the right button
    /// alone it sets the skip-click flag. Returns the pixels painted (empty
    /// when none).
    QRect mouseMove(const QPointF &pos, Qt::MouseButtons buttons, const QString &mapName,
                    QString *title);

    /// A click over the view: swallowed once after a right-button move,
    /// otherwise paints the pointer cell and sets the changed flag. Returns
    /// the pixels painted (empty when none).
    QRect click();

    /// True when the pointer cell lies in the grid.
    bool pointerInGrid() const { return MapData::inGrid(m_pointer.x(), m_pointer.y()); }
    /// The window title for the pointer cell: "HvMapEd(name) X: x  Y: y   G: code".
    QString statusTitle(const QString &mapName) const;

    const MapData &map() const { return m_map; }
    const QImage &view() const { return m_canvas.image(); }
    const Palette &palette() const { return m_palette; }
    QRgb swatch() const { return m_swatch; }
    QByteArray selectedCode() const { return m_selected; }
    QPoint pointerCell() const { return m_pointer; }
    bool isChanged() const { return m_changed; }
    void setChanged(bool changed) { m_changed = changed; }
    bool skipClick() const { return m_skipClick; }

private:
    QRect paint(int x, int y);

    Palette m_palette;
    MapCanvas m_canvas;
    MapData m_map;
    QByteArray m_selected;
    QRgb m_swatch;
    QPoint m_pointer;
    bool m_changed = false;
    bool m_skipClick = false;
};
