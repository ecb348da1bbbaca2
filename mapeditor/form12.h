#pragma once

#include "editordialogs.h"
#include "mapdocument.h"

#include <QLineEdit>
#include <QList>
#include <QString>
#include <QWidget>
#include <memory>

class MapView;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

/// The map editor window: shows a map of the game folder, lets the author
/// paint terrain codes with the mouse, type the twelve flag allotments and
/// save the map under a name of its own.
class Form12 : public QWidget
{
    Q_OBJECT

public:
    /// Opens "Base.map" of the game folder. The boxes are shown through
    /// `dialogs`; without it, message boxes and an input dialog.
    explicit Form12(const QString &gameFolder, std::unique_ptr<EditorDialogs> dialogs = nullptr,
                    QWidget *parent = nullptr);
    ~Form12() override;

    /// The title of the program, carried by every box of the window.
    static QString programTitle() { return QStringLiteral("HvdMapEditor"); }

    /// Loads and shows the map named in Text1 (the palette is filled anew
    /// first); leaves the changed flag alone.
    void loadmap();

    const MapDocument &document() const { return m_document; }
    QString gameFolder() const { return m_folder; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void centre();
    void setSwatch(QRgb colour);
    /// Asks to save a changed map; false when a wanted save did not happen.
    bool unload();
    bool saveChanges();

    void on_Command1_clicked();
    void on_Command47_clicked();
    void on_Command15_clicked();
    void on_Command2_clicked();
    void on_File1_activated(QListWidgetItem *item);
    void on_Combo1_activated(int index);
    void on_Picture17_mouseMoved(const QPointF &pos, Qt::MouseButtons buttons);
    void on_Picture17_clicked();

    QString m_folder;
    std::unique_ptr<EditorDialogs> m_dialogs;
    MapDocument m_document;
    bool m_unloaded = false;

    QGroupBox *m_frame6 = nullptr;
    MapView *m_picture17 = nullptr;
    QLabel *m_image1 = nullptr;
    QList<QLineEdit *> m_flagBoxes;
    QLineEdit *m_text1 = nullptr;
    QListWidget *m_file1 = nullptr;
    QLabel *m_picture18 = nullptr;
    QComboBox *m_combo1 = nullptr;
};
