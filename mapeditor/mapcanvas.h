#pragma once

#include "mapgeometry.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>

class Palette;

/// The kept picture of the map view: black where nothing is drawn, the cells
/// in their colours. The view shows it as it stands, so covering and
/// uncovering the window never changes a colour.
class MapCanvas
{
public:
    explicit MapCanvas(const QSize &size = MapGeometry::viewSize());

    const QImage &image() const { return m_image; }
    const MapGeometry &geometry() const { return m_geometry; }

    /// Draws a whole map from the codes in row order. An unknown code takes
    /// the colour of the cell drawn just before it, black before the first
    /// known code. Returns the colour of the last cell drawn.
    QRgb drawMap(const QList<QByteArray> &codes, const Palette &palette);

    /// Fills cell (x, y) with one colour; returns the pixels that changed.
    QRect stamp(int x, int y, QRgb colour);

private:
    QImage m_image;
    MapGeometry m_geometry;
};
