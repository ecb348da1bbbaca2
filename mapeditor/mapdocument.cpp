#include "mapdocument.h"

#include "mapfile.h"

MapDocument::MapDocument() : m_selected(Palette::defaultCode()), m_swatch(qRgb(0, 0, 0))
{
    m_palette.loadsettings();
    m_swatch = m_palette.colour(m_selected);
}

bool MapDocument::load(const QString &folder, const QString &name, QString *error)
{
    m_palette.loadsettings();
    const bool ok = MapFile::read(folder, name, &m_map, error);
    m_canvas.drawMap(m_map.cells, m_palette);
    m_selected = Palette::defaultCode();
    m_swatch = m_palette.colour(m_selected);
    return ok;
}

bool MapDocument::save(const QString &folder, const QString &name, const QList<QByteArray> &flags,
                       QString *error)
{
    MapData data = m_map;
    data.flags = flags;
    data.flags.resize(MapData::FlagCount);
    if (!MapFile::write(folder, name, data, error))
        return false;
    m_changed = false;
    return true;
}

void MapDocument::pick(const QByteArray &code)
{
    if (!m_palette.isKnown(code))
        return;
    m_swatch = m_palette.colour(code);
    m_selected = code;
}

QRect MapDocument::mouseMove(const QPointF &pos, Qt::MouseButtons buttons, const QString &mapName,
                             QString *title)
{
    m_pointer = m_canvas.geometry().pointerToCell(pos);
    if (title)
        *title = statusTitle(mapName);
    QRect painted;
    if (buttons == Qt::LeftButton && pointerInGrid())
        painted = paint(m_pointer.x(), m_pointer.y());
    if (buttons == Qt::RightButton)
        m_skipClick = true;
    return painted;
}

QRect MapDocument::click()
{
    if (m_skipClick) {
        m_skipClick = false;
        return QRect();
    }
    if (!pointerInGrid())
        return QRect();
    const QRect painted = paint(m_pointer.x(), m_pointer.y());
    m_changed = true;
    return painted;
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

QRect MapDocument::paint(int x, int y)
{
    m_map.setCell(x, y, m_selected);
    return m_canvas.stamp(x, y, m_swatch);
}
