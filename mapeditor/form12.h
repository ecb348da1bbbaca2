#pragma once

#include "editordialogs.h"
#include "mapdocument.h"

#include <QLineEdit>
#include <QList>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

class MapTool;
class MapView;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QToolBar;

/// The map editor window: shows a map of the game folder, lets the author
/// paint terrain codes with the mouse and the tools, type the twelve flag
/// allotments and save the map under a name of its own. Above the form's
/// client area a menu bar and a tool strip, below it a status bar; the map
/// check panel opens beside it.
class Form12 : public QWidget
{
    Q_OBJECT

public:
    /// The tools, in the order of their menu entries.
    enum Tool { Paint, Fill, Rectangle, Pick };

    /// Opens "Base.map" of the game folder. The boxes are shown through
    /// `dialogs`; without it, message boxes and an input dialog.
    explicit Form12(const QString &gameFolder, std::unique_ptr<EditorDialogs> dialogs = nullptr,
                    QWidget *parent = nullptr);
    ~Form12() override;

    /// The title of the program, carried by every box of the window.
    static QString programTitle() { return QStringLiteral("HvdMapEditor"); }
    /// The zoom levels of the map view, in percent.
    static QList<int> zoomLevels() { return {50, 75, 100, 150, 200, 300, 400}; }

    /// Loads and shows the map named in Text1 (the palette is filled anew
    /// first); leaves the changed flag alone. The load is one undo step.
    void loadmap() { loadmap(m_text1->text(), m_text1->text()); }

    const MapDocument &document() const { return m_document; }
    QString gameFolder() const { return m_folder; }
    Tool tool() const { return m_toolIndex; }
    /// The zoom of the map view in percent.
    int zoomPercent() const { return zoomLevels().at(m_zoomIndex); }

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildActions();
    void loadmap(const QString &fileName, const QString &mapName);
    void fillMapList();
    void centre();
    void setSwatch(QRgb colour);
    void showFlags();
    /// Asks to save a changed map; false when a wanted save did not happen.
    bool unload();
    bool saveChanges();
    void setTool(Tool tool);
    void setZoom(int index);
    void updateStatus();
    void updateMapCheck();

    void on_Command1_clicked();
    void on_Command47_clicked();
    void on_Command15_clicked();
    void on_Command2_clicked();
    void on_File1_activated(QListWidgetItem *item);
    void on_Combo1_activated(int index);
    void on_Picture17_pressed(const QPointF &pos, Qt::MouseButton button);
    void on_Picture17_mouseMoved(const QPointF &pos, Qt::MouseButtons buttons);
    void on_Picture17_released(const QPointF &pos, Qt::MouseButton button, bool overView);
    void on_Picture17_left();
    void on_document_cellsChanged(const QRect &pixels);
    void on_document_selectedCodeChanged(const QByteArray &code);
    void on_document_mapReplaced();

    QString m_folder;
    std::unique_ptr<EditorDialogs> m_dialogs;
    MapDocument m_document;
    std::vector<std::unique_ptr<MapTool>> m_tools;
    Tool m_toolIndex = Paint;
    int m_zoomIndex = 2;
    bool m_unloaded = false;
    bool m_showingFlags = false;

    QMenuBar *m_menuBar = nullptr;
    QToolBar *m_toolStrip = nullptr;
    QStatusBar *m_statusBar = nullptr;
    QLabel *m_statusSaved = nullptr;
    QLabel *m_statusCell = nullptr;
    QLabel *m_statusZoom = nullptr;
    QList<QAction *> m_toolActions;
    QAction *m_gridAction = nullptr;
    QAction *m_checkAction = nullptr;
    QGroupBox *m_checkPanel = nullptr;
    QListWidget *m_checkList = nullptr;

    QWidget *m_client = nullptr;
    QGroupBox *m_frame6 = nullptr;
    QScrollArea *m_mapScroll = nullptr;
    MapView *m_picture17 = nullptr;
    QLabel *m_image1 = nullptr;
    QList<QLineEdit *> m_flagBoxes;
    QLineEdit *m_text1 = nullptr;
    QListWidget *m_file1 = nullptr;
    QLabel *m_picture18 = nullptr;
    QComboBox *m_combo1 = nullptr;
};
