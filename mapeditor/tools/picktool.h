#pragma once

#include "maptool.h"

/// A click with either button makes the clicked cell's code the selected
/// code, as if it had been chosen in the terrain picker.
class PickTool : public MapTool
{
public:
    using MapTool::MapTool;

    QString name() const override;
    void mouseReleased(const QPoint &cell, Qt::MouseButton button, bool overView) override;
};
