#pragma once

#include "maptool.h"

/// A click with either button flood-fills the connected cells that hold the
/// clicked cell's code with the selected code.
class FillTool : public MapTool
{
public:
    using MapTool::MapTool;

    QString name() const override;
    void mouseReleased(const QPoint &cell, Qt::MouseButton button, bool overView) override;
};
