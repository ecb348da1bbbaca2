#include "filelistbox.h"

#include <QAccessible>
#include <QMouseEvent>

FileListBox::FileListBox(const GameFolder &folder, QWidget *parent)
    : QListWidget(parent), m_folder(folder)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::currentRowChanged, this, &FileListBox::onCurrentRowChanged);
    connect(this, &QListWidget::itemClicked, this, &FileListBox::onItemClicked);
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    refresh();
}

void FileListBox::refresh()
{
    m_refreshing = true;
    clear();
    addItems(m_pattern.isEmpty() ? QStringList() : m_folder.list(m_pattern));
    setCurrentRow(-1);
    m_refreshing = false;
    // The list's accessible children are cells kept per row once a screen
    // reader has asked for them; the items they stood for are gone now.
    // Without being told, the list goes on handing out the old cells (empty
    // texts, rows that are no longer there), and the reader asks for rows
    // that do not exist. The list drops them and the reader hears of the new
    // list once it stands, in one event.
    QAccessibleTableModelChangeEvent changed(this, QAccessibleTableModelChangeEvent::ModelReset);
    if (QAccessibleInterface *list = QAccessible::queryAccessibleInterface(this)) {
        if (QAccessibleTableInterface *table = list->tableInterface())
            table->modelChange(&changed);
    }
    QAccessible::updateAccessibility(&changed);
}

QString FileListBox::fileName() const
{
    const QListWidgetItem *item = currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

QStringList FileListBox::fileNames() const
{
    QStringList names;
    for (int i = 0; i < count(); ++i)
        names << item(i)->text();
    return names;
}

bool FileListBox::selectFile(const QString &name)
{
    for (int i = 0; i < count(); ++i) {
        if (item(i)->text().compare(name, Qt::CaseInsensitive) == 0) {
            if (currentRow() == i && item(i)->isSelected())
                emit fileClicked(item(i)->text());
            else
                setCurrentRow(i);
            return true;
        }
    }
    return false;
}

void FileListBox::mousePressEvent(QMouseEvent *event)
{
    // A press that moves the selection reports the choice at once; the click
    // that follows must not report it a second time.
    m_rowChangedByPress = false;
    QListWidget::mousePressEvent(event);
}

void FileListBox::onCurrentRowChanged(int row)
{
    if (m_refreshing || row < 0)
        return;
    m_rowChangedByPress = true;
    emit fileClicked(item(row)->text());
}

void FileListBox::onItemClicked(QListWidgetItem *clicked)
{
    if (!m_rowChangedByPress && clicked)
        emit fileClicked(clicked->text());
    m_rowChangedByPress = false;
}
