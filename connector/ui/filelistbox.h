#pragma once

#include "gamefolder.h"

#include <QListWidget>

/// A file list box over the game folder: shows the files whose names match a
/// wildcard pattern ("*.map", "*Castle*.arm"), sorted, until refreshed.
class FileListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit FileListBox(const GameFolder &folder, QWidget *parent = nullptr);

    /// Sets the pattern and lists the folder again.
    void setPattern(const QString &pattern);
    QString pattern() const { return m_pattern; }

    /// Lists the folder again by the pattern; the selection is cleared.
    void refresh();

    /// The selected file name, or an empty text when none is selected.
    QString fileName() const;
    /// The listed file names.
    QStringList fileNames() const;

    /// Selects the listed file of that name (any letter case), as a click
    /// does; false when it is not listed.
    bool selectFile(const QString &name);

signals:
    /// The player chose a file, by click or by keyboard (also a click on the
    /// file already selected).
    void fileClicked(const QString &name);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void onCurrentRowChanged(int row);
    void onItemClicked(QListWidgetItem *item);

    GameFolder m_folder;
    QString m_pattern;
    bool m_refreshing = false;
    bool m_rowChangedByPress = false;
};
