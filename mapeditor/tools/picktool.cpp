#include "picktool.h"

#include "mapdocument.h"

#include <QCoreApplication>

QString PickTool::name() const
{
    return QCoreApplication::translate("MapTool", "P&ick");
}

void PickTool::mouseReleased(const QPoint &cell, Qt::MouseButton, bool overView)
{
    if (overView)
        m_document->pickCell(cell.x(), cell.y());
}
