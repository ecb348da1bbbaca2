#include "painttool.h"

#include "mapdocument.h"

#include <QCoreApplication>

QString PaintTool::name() const
{
    return QCoreApplication::translate("MapTool", "&Paint");
}

void PaintTool::mousePressed(const QPoint &, Qt::MouseButton)
{
    m_document->beginStroke();
}

void PaintTool::mouseMoved(const QPoint &cell, Qt::MouseButtons buttons)
{
    if (buttons == Qt::LeftButton && MapData::inGrid(cell.x(), cell.y()))
        m_document->paint(cell.x(), cell.y());
    if (buttons == Qt::RightButton)
        m_skipClick = true;
}

void PaintTool::mouseReleased(const QPoint &, Qt::MouseButton, bool overView)
{
    if (overView) {
        // The click paints the cell of the last move, not of the release.
        if (m_skipClick) {
            m_skipClick = false;
        } else if (m_document->pointerInGrid()) {
            const QPoint cell = m_document->pointerCell();
            m_document->paint(cell.x(), cell.y());
            m_document->setChanged(true);
        }
    }
    m_document->endStroke();
}

void PaintTool::deactivate()
{
    m_document->endStroke();
}
