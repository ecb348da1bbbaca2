#include "mapdocument.h"

#include "commands/fillcommand.h"
#include "commands/flagvaluecommand.h"
#include "commands/loadcommand.h"
#include "commands/paintstrokecommand.h"
#include "commands/rectanglecommand.h"
#include "mapfile.h"

#include <algorithm>

MapDocument::MapDocument(QObject *parent)
    : QObject(parent), m_selected(Palette::defaultCode()), m_swatch(qRgb(0, 0, 0))
{
    m_palette.loadsettings();
    m_swatch = m_palette.colour(m_selected);
    m_saved = m_map;
    connect(&m_undo, &QUndoStack::indexChanged, this, [this] {
        if (m_undo.isClean())
            m_changed = m_changedWhenSaved;
        updateModified();
    });
}

MapDocument::~MapDocument() = default;

bool MapDocument::load(const QString &folder, const QString &fileName, const QString &mapName,
                       QString *error)
{
    m_palette.loadsettings();
    LoadedMap after;
    const bool ok = MapFile::read(folder, fileName, &after.map, error);
    after.canvas.drawMap(after.map.cells, m_palette);
    after.name = mapName;
    after.saved = after.map;
    m_strokeOpen = false;
    m_undo.push(new LoadCommand(this, LoadedMap{m_map, m_canvas, m_name, m_saved}, after));
    // The loaded file is the new point of comparison; a changed flag that was
    // set before the load stays set.
    m_changedWhenSaved = m_changed;
    m_undo.setClean();
    updateModified();
    return ok;
}

void MapDocument::setName(const QString &name)
{
    m_name = name;
}

void MapDocument::applyLoad(const LoadedMap &state, bool loading)
{
    m_map = state.map;
    m_canvas = state.canvas;
    m_saved = state.saved;
    m_name = state.name;
    if (loading) {
        m_selected = Palette::defaultCode();
        m_swatch = m_palette.colour(m_selected);
    }
    emit nameChanged(m_name);
    emit mapReplaced();
    emit selectedCodeChanged(m_selected);
    updateModified();
}

bool MapDocument::save(const QString &folder, const QString &name, QString *error)
{
    if (!MapFile::write(folder, name, m_map, error))
        return false;
    m_saved = m_map;
    m_changed = false;
    m_changedWhenSaved = false;
    m_undo.setClean();
    updateModified();
    return true;
}

bool MapDocument::pick(const QByteArray &code)
{
    if (!m_palette.isKnown(code))
        return false;
    m_swatch = m_palette.colour(code);
    m_selected = code;
    emit selectedCodeChanged(m_selected);
    return true;
}

bool MapDocument::pickCell(int x, int y)
{
    return MapData::inGrid(x, y) && pick(m_map.cell(x, y));
}

QPoint MapDocument::setPointer(const QPointF &imagePos)
{
    m_pointer = m_canvas.geometry().pointerToCell(imagePos);
    return m_pointer;
}

QString MapDocument::statusTitle(const QString &mapName) const
{
    if (!pointerInGrid())
        return QString();
    return QStringLiteral("HvMapEd(") + mapName + QStringLiteral(") X: ") +
           QString::number(m_pointer.x()) + QStringLiteral("  Y: ") +
           QString::number(m_pointer.y()) + QStringLiteral(" ") + QStringLiteral("  G: ") +
           QString::fromLatin1(m_map.cell(m_pointer.x(), m_pointer.y()));
}

void MapDocument::beginStroke()
{
    ++m_stroke;
    m_strokeOpen = true;
}

void MapDocument::endStroke()
{
    m_strokeOpen = false;
}

CellChange MapDocument::changeFor(int x, int y) const
{
    CellChange change;
    change.index = MapData::index(x, y);
    change.before = m_map.cell(x, y);
    change.after = m_selected;
    change.colourBefore = m_canvas.image().pixel(m_canvas.geometry().cellRect(x, y).topLeft());
    change.colourAfter = m_swatch;
    return change;
}

QRect MapDocument::paint(int x, int y)
{
    if (!MapData::inGrid(x, y))
        return QRect();
    const CellChange change = changeFor(x, y);
    if (change.before == change.after && change.colourBefore == change.colourAfter)
        return QRect();
    // Outside a stroke every painted cell is a step of its own.
    if (!m_strokeOpen)
        ++m_stroke;
    m_undo.push(new PaintStrokeCommand(this, m_stroke, change));
    return m_canvas.geometry().cellRect(x, y);
}

bool MapDocument::fill(int x, int y)
{
    if (!MapData::inGrid(x, y))
        return false;
    const QByteArray target = m_map.cell(x, y);
    if (target == m_selected)
        return false;
    QList<CellChange> changes;
    QList<bool> seen(MapData::CellCount, false);
    QList<QPoint> open{QPoint(x, y)};
    seen[MapData::index(x, y)] = true;
    while (!open.isEmpty()) {
        const QPoint cell = open.takeLast();
        changes.append(changeFor(cell.x(), cell.y()));
        const QPoint sides[] = {cell + QPoint(1, 0), cell - QPoint(1, 0), cell + QPoint(0, 1),
                                cell - QPoint(0, 1)};
        for (const QPoint &side : sides) {
            if (!MapData::inGrid(side.x(), side.y()))
                continue;
            const int k = MapData::index(side.x(), side.y());
            if (!seen.at(k) && m_map.cells.at(k) == target) {
                seen[k] = true;
                open.append(side);
            }
        }
    }
    // Row order makes the change list easy to read back in a test or a dump.
    std::sort(changes.begin(), changes.end(),
              [](const CellChange &a, const CellChange &b) { return a.index < b.index; });
    m_strokeOpen = false;
    m_undo.push(new FillCommand(this, std::move(changes)));
    return true;
}

bool MapDocument::fillRectangle(const QPoint &corner, const QPoint &otherCorner)
{
    auto clamp = [](int v) { return std::clamp(v, 1, MapData::Size); };
    const int left = clamp(std::min(corner.x(), otherCorner.x()));
    const int right = clamp(std::max(corner.x(), otherCorner.x()));
    const int top = clamp(std::min(corner.y(), otherCorner.y()));
    const int bottom = clamp(std::max(corner.y(), otherCorner.y()));
    QList<CellChange> changes;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const CellChange change = changeFor(x, y);
            if (change.before != change.after || change.colourBefore != change.colourAfter)
                changes.append(change);
        }
    }
    if (changes.isEmpty())
        return false;
    m_strokeOpen = false;
    m_undo.push(new RectangleCommand(this, std::move(changes)));
    return true;
}

void MapDocument::setFlag(int index, const QByteArray &value)
{
    if (index < 0 || index >= MapData::FlagCount || m_map.flags.at(index) == value)
        return;
    m_strokeOpen = false;
    m_undo.push(new FlagValueCommand(this, index, m_map.flags.at(index), value));
}

void MapDocument::applyCells(const QList<CellChange> &changes, bool forwards)
{
    QRect dirty;
    const MapGeometry &geometry = m_canvas.geometry();
    auto apply = [&](const CellChange &change) {
        const int x = change.index % MapData::Size + 1;
        const int y = change.index / MapData::Size + 1;
        m_map.cells[change.index] = forwards ? change.after : change.before;
        m_canvas.stamp(x, y, forwards ? change.colourAfter : change.colourBefore);
        dirty |= geometry.cellRect(x, y);
    };
    if (forwards)
        std::for_each(changes.begin(), changes.end(), apply);
    else
        std::for_each(changes.rbegin(), changes.rend(), apply);
    emit cellsChanged(dirty);
    updateModified();
}

void MapDocument::applyFlag(int index, const QByteArray &value)
{
    m_map.flags[index] = value;
    emit flagChanged(index, value);
    updateModified();
}

void MapDocument::setChanged(bool changed)
{
    m_changed = changed;
    if (m_undo.isClean())
        m_changedWhenSaved = changed;
    updateModified();
}

bool MapDocument::isModified() const
{
    return m_changed || m_map.cells != m_saved.cells || m_map.flags != m_saved.flags;
}

void MapDocument::updateModified()
{
    const bool modified = isModified();
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}
