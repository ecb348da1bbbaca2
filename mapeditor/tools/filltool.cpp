#include "filltool.h"

#include "mapdocument.h"

#include <QCoreApplication>

QString FillTool::name() const
{
    return QCoreApplication::translate("MapTool", "&Fill");
}

void FillTool::mouseReleased(const QPoint &cell, Qt::MouseButton, bool overView)
{
    if (overView)
        m_document->fill(cell.x(), cell.y());
}
