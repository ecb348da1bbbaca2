#include "form12.h"

#include "mapcheck.h"
#include "mapfile.h"
#include "mapview.h"
#include "messageboxdialogs.h"
#include "tools/filltool.h"
#include "tools/painttool.h"
#include "tools/picktool.h"
#include "tools/rectangletool.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

/// Design positions are in twips; the window works in pixels.
constexpr int twips(int value)
{
    return value / 15;
}

QRect designRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

/// Every control is named for assistive tools by its caption or the label
/// that names it, and described by its design name.
template <typename W> W *named(W *widget, const QString &designName, const QString &accessible)
{
    widget->setObjectName(designName);
    widget->setAccessibleName(accessible);
    widget->setAccessibleDescription(designName);
    return widget;
}

/// Captions keep the design's size: a platform font wider than the design's
/// is made smaller until the caption fits (with room for the box beside it).
void fitCaption(QLabel *label, int room = -1)
{
    if (room < 0)
        room = label->width();
    QFont font = label->font();
    while (QFontMetricsF(font).horizontalAdvance(label->text()) > room - 3 &&
           font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
}

/// The map name and the answer of the input box are trimmed of spaces only.
QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

/// Shows the busy pointer while a load runs, the arrow again afterwards.
class BusyPointer
{
public:
    BusyPointer() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QGuiApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;
};

} // namespace

Form12::Form12(const QString &gameFolder, std::unique_ptr<EditorDialogs> dialogs, QWidget *parent)
    : QWidget(parent), m_folder(gameFolder), m_dialogs(std::move(dialogs))
{
    Q_INIT_RESOURCE(mapeditor);
    if (!m_dialogs)
        m_dialogs = std::make_unique<MessageBoxDialogs>();
    m_tools.push_back(std::make_unique<PaintTool>(&m_document));
    m_tools.push_back(std::make_unique<FillTool>(&m_document));
    m_tools.push_back(std::make_unique<RectangleTool>(&m_document));
    m_tools.push_back(std::make_unique<PickTool>(&m_document));
    buildControls();
    buildActions();

    // Start-up: the default map, the list, the picker's codes. The first load
    // is no step that undo could take back.
    for (const QByteArray &code : Palette::pickerCodes())
        m_combo1->addItem(QString::fromLatin1(code));
    fillMapList();
    loadmap(MapFile::defaultMapName(), MapFile::defaultMapName());
    m_document.undoStack()->clear();
    m_document.setChanged(false);
    updateStatus();
}

Form12::~Form12() = default;

void Form12::buildControls()
{
    setObjectName(QStringLiteral("Form12"));
    setWindowTitle(QStringLiteral("Halvard Map Editor"));
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("Form12"));
    setWindowIcon(QIcon(QStringLiteral(":/mapeditor/icon.png")));

    // The form's client area keeps its design size; the menu bar and the
    // tool strip stand above it, the status bar below, the map check beside.
    m_client = named(new QWidget(this), QStringLiteral("client"), QStringLiteral("Map editor"));
    m_client->setFixedSize(twips(6795), twips(9600));
    QWidget *form = m_client;

    m_frame6 = named(new QGroupBox(QStringLiteral("Map View"), form), QStringLiteral("Frame6"),
                     QStringLiteral("Map View"));
    m_frame6->setGeometry(designRect(120, 120, 6615, 7815));

    // At 100% the view fills its design rectangle exactly; zoomed in, it
    // scrolls inside it.
    m_mapScroll =
        named(new QScrollArea(m_frame6), QStringLiteral("mapScroll"), QStringLiteral("Map View"));
    m_mapScroll->setFrameShape(QFrame::NoFrame);
    m_mapScroll->setGeometry(designRect(120, 240, 6405, 6285));
    m_mapScroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_mapScroll->setBackgroundRole(QPalette::Dark);
    m_picture17 = named(new MapView, QStringLiteral("Picture17"), QStringLiteral("Map View"));
    m_picture17->setImage(&m_document.view());
    m_mapScroll->setWidget(m_picture17);

    const QString flagsCaption = QStringLiteral("Alloted Flags for Selected Map");
    auto *label1 =
        named(new QLabel(flagsCaption, m_frame6), QStringLiteral("Label1"), flagsCaption);
    label1->setAlignment(Qt::AlignCenter);
    label1->setGeometry(designRect(480, 6600, 5775, 255));
    fitCaption(label1);

    m_image1 = named(new QLabel(m_frame6), QStringLiteral("Image1"),
                     QStringLiteral("Banners of the twelve flag kinds"));
    m_image1->setScaledContents(true);
    m_image1->setPixmap(QPixmap(QStringLiteral(":/mapeditor/banners.png")));
    m_image1->setGeometry(designRect(480, 6840, 5775, 450));

    QPalette flagColours;
    flagColours.setColor(QPalette::Base, Qt::black);
    flagColours.setColor(QPalette::Text, Qt::yellow);
    for (int i = 0; i < MapData::FlagCount; ++i) {
        const QString name = QStringLiteral("Text%1").arg(i + 2);
        auto *box = named(new QLineEdit(QStringLiteral("0"), m_frame6), name,
                          QStringLiteral("%1 %2").arg(flagsCaption).arg(i + 1));
        box->setAlignment(Qt::AlignCenter);
        box->setPalette(flagColours);
        box->setGeometry(designRect(480 + 480 * i, 7320, 495, 375));
        m_flagBoxes.append(box);
    }

    const QString mapCaption = QStringLiteral("Selected Map");
    auto *label3 = named(new QLabel(mapCaption, form), QStringLiteral("Label3"), mapCaption);
    label3->setGeometry(designRect(120, 8040, 1215, 255));
    // The design lets the map name box overlap the end of its caption.
    fitCaption(label3, twips(1200 - 120));
    m_text1 = named(new QLineEdit(form), QStringLiteral("Text1"), mapCaption);
    m_text1->setGeometry(designRect(1200, 8040, 2895, 285));

    const QString terrainCaption = QStringLiteral("Selected Terrain Type / Height");
    auto *label2 =
        named(new QLabel(terrainCaption, form), QStringLiteral("Label2"), terrainCaption);
    label2->setAlignment(Qt::AlignCenter);
    label2->setToolTip(
        QStringLiteral("T = Grass, M = Rock, W = Water, S = Solid, X = AI Flag Placement Option"));
    label2->setGeometry(designRect(4200, 8040, 2535, 255));
    fitCaption(label2);

    m_file1 = named(new QListWidget(form), QStringLiteral("File1"), QStringLiteral("Map files"));
    m_file1->setGeometry(designRect(120, 8400, 3975, 675));

    m_picture18 = named(new QLabel(form), QStringLiteral("Picture18"),
                        terrainCaption + QStringLiteral(" colour"));
    m_picture18->setGeometry(designRect(4200, 8400, 375, 315));

    m_combo1 = named(new QComboBox(form), QStringLiteral("Combo1"), terrainCaption);
    m_combo1->setEditable(true);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
    // Typed text chooses nothing: no completion, and Enter in the text field
    // is kept from the combo box, which would take a matching text as chosen.
    m_combo1->setCompleter(nullptr);
    m_combo1->lineEdit()->installEventFilter(this);
    m_combo1->setMaxVisibleItems(20);
    m_combo1->setGeometry(designRect(4560, 8400, 2175, 315));

    struct Button
    {
        const char *name;
        const char *caption;
        QRect rect;
        void (Form12::*handler)();
    };
    const Button buttons[] = {
        {"Command1", "&Reset Map", designRect(120, 9120, 1935, 375), &Form12::on_Command1_clicked},
        {"Command47", "&New Map", designRect(2160, 9120, 1935, 375), &Form12::on_Command47_clicked},
        {"Command15", "&Save Changes", designRect(4200, 9120, 1575, 375),
         &Form12::on_Command15_clicked},
        {"Command2", "&Close", designRect(5880, 9120, 855, 375), &Form12::on_Command2_clicked},
    };
    for (const Button &b : buttons) {
        const QString caption = QString::fromLatin1(b.caption);
        auto *button = named(new QPushButton(caption, form), QString::fromLatin1(b.name),
                             QString(caption).remove(QLatin1Char('&')));
        button->setGeometry(b.rect);
        connect(button, &QPushButton::clicked, this, b.handler);
    }

    connect(m_file1, &QListWidget::itemActivated, this, &Form12::on_File1_activated);
    connect(m_combo1, qOverload<int>(&QComboBox::activated), this, &Form12::on_Combo1_activated);
    connect(m_picture17, &MapView::pressed, this, &Form12::on_Picture17_pressed);
    connect(m_picture17, &MapView::mouseMoved, this, &Form12::on_Picture17_mouseMoved);
    connect(m_picture17, &MapView::released, this, &Form12::on_Picture17_released);
    connect(m_picture17, &MapView::left, this, &Form12::on_Picture17_left);
    for (int i = 0; i < MapData::FlagCount; ++i) {
        connect(m_flagBoxes.at(i), &QLineEdit::textChanged, this, [this, i](const QString &text) {
            if (!m_showingFlags)
                m_document.setFlag(i, text.toLatin1());
        });
    }
    connect(&m_document, &MapDocument::cellsChanged, this, &Form12::on_document_cellsChanged);
    connect(&m_document, &MapDocument::selectedCodeChanged, this,
            &Form12::on_document_selectedCodeChanged);
    connect(&m_document, &MapDocument::mapReplaced, this, &Form12::on_document_mapReplaced);
    connect(&m_document, &MapDocument::nameChanged, m_text1, &QLineEdit::setText);
    connect(m_text1, &QLineEdit::textChanged, &m_document, &MapDocument::setName);
    connect(&m_document, &MapDocument::flagChanged, this,
            [this](int index, const QByteArray &value) {
                m_showingFlags = true;
                m_flagBoxes.at(index)->setText(QString::fromLatin1(value));
                m_showingFlags = false;
                updateMapCheck();
            });
    connect(&m_document, &MapDocument::modifiedChanged, this, &Form12::updateStatus);

    m_menuBar = named(new QMenuBar(this), QStringLiteral("menuBar"), QStringLiteral("Menu bar"));
    m_toolStrip = named(new QToolBar(this), QStringLiteral("toolStrip"), QStringLiteral("Tools"));
    m_toolStrip->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_toolStrip->setIconSize(QSize(12, 12));
    m_statusBar =
        named(new QStatusBar(this), QStringLiteral("statusBar"), QStringLiteral("Status"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusSaved = named(new QLabel(m_statusBar), QStringLiteral("statusSaved"),
                          QStringLiteral("Unsaved changes"));
    m_statusCell = named(new QLabel(m_statusBar), QStringLiteral("statusCell"),
                         QStringLiteral("Hovered cell"));
    m_statusZoom =
        named(new QLabel(m_statusBar), QStringLiteral("statusZoom"), QStringLiteral("Zoom"));
    // Room for "X: 40  Y: 40  G: S20", so the bar does not jump.
    m_statusCell->setMinimumWidth(
        m_statusCell->fontMetrics().horizontalAdvance(QStringLiteral("X: 40  Y: 40  G: S20")) + 8);
    m_statusBar->addWidget(m_statusSaved, 1);
    m_statusBar->addPermanentWidget(m_statusCell);
    m_statusBar->addPermanentWidget(m_statusZoom);

    m_checkPanel = named(new QGroupBox(QStringLiteral("Map Check"), this),
                         QStringLiteral("mapCheck"), QStringLiteral("Map Check"));
    m_checkPanel->setFixedWidth(250);
    m_checkList = named(new QListWidget(m_checkPanel), QStringLiteral("mapCheckList"),
                        QStringLiteral("Map Check"));
    m_checkList->setWordWrap(true);
    auto *checkLayout = new QVBoxLayout(m_checkPanel);
    checkLayout->addWidget(m_checkList);
    m_checkPanel->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setMenuBar(m_menuBar);
    layout->addWidget(m_toolStrip);
    auto *row = new QHBoxLayout;
    row->setSpacing(0);
    row->addWidget(m_client, 0, Qt::AlignTop);
    row->addWidget(m_checkPanel);
    layout->addLayout(row);
    layout->addWidget(m_statusBar);
}

void Form12::buildActions()
{
    auto action = [this](const QString &text, const QString &name,
                         const QList<QKeySequence> &keys) {
        auto *a = new QAction(text, this);
        a->setObjectName(name);
        a->setShortcuts(keys);
        a->setIconText(QString(text).remove(QLatin1Char('&')));
        addAction(a);
        return a;
    };

    QMenu *file = m_menuBar->addMenu(QStringLiteral("&File"));
    const struct
    {
        const char *text;
        const char *name;
        QKeySequence key;
        void (Form12::*handler)();
    } fileActions[] = {
        {"&New Map", "actionNewMap", QKeySequence::New, &Form12::on_Command47_clicked},
        {"&Reset Map", "actionResetMap", QKeySequence(Qt::Key_F5), &Form12::on_Command1_clicked},
        {"&Save Changes", "actionSave", QKeySequence::Save, &Form12::on_Command15_clicked},
        {"&Close", "actionClose", QKeySequence(Qt::CTRL | Qt::Key_W), &Form12::on_Command2_clicked},
    };
    for (const auto &f : fileActions) {
        QAction *a = action(QString::fromLatin1(f.text), QString::fromLatin1(f.name), {f.key});
        connect(a, &QAction::triggered, this, f.handler);
        file->addAction(a);
    }

    QMenu *edit = m_menuBar->addMenu(QStringLiteral("&Edit"));
    QAction *undo = m_document.undoStack()->createUndoAction(this, QStringLiteral("&Undo"));
    undo->setObjectName(QStringLiteral("actionUndo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setIconText(QStringLiteral("Undo"));
    QAction *redo = m_document.undoStack()->createRedoAction(this, QStringLiteral("&Redo"));
    redo->setObjectName(QStringLiteral("actionRedo"));
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    redo->setIconText(QStringLiteral("Redo"));
    // A stroke still open ends before the history moves.
    for (QAction *a : {undo, redo}) {
        connect(a, &QAction::triggered, &m_document, &MapDocument::endStroke, Qt::DirectConnection);
        addAction(a);
        edit->addAction(a);
    }

    QMenu *view = m_menuBar->addMenu(QStringLiteral("&View"));
    m_gridAction = action(QStringLiteral("&Grid"), QStringLiteral("actionGrid"),
                          {QKeySequence(Qt::CTRL | Qt::Key_G)});
    m_gridAction->setCheckable(true);
    connect(m_gridAction, &QAction::toggled, m_picture17, &MapView::setGridVisible);
    QAction *zoomIn =
        action(QStringLiteral("Zoom &In"), QStringLiteral("actionZoomIn"),
               {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(zoomIn, &QAction::triggered, this, [this] { setZoom(m_zoomIndex + 1); });
    QAction *zoomOut = action(QStringLiteral("Zoom &Out"), QStringLiteral("actionZoomOut"),
                              {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    connect(zoomOut, &QAction::triggered, this, [this] { setZoom(m_zoomIndex - 1); });
    QAction *zoomReset = action(QStringLiteral("&Actual Size"), QStringLiteral("actionZoomReset"),
                                {QKeySequence(Qt::CTRL | Qt::Key_0)});
    connect(zoomReset, &QAction::triggered, this,
            [this] { setZoom(int(zoomLevels().indexOf(100))); });
    m_checkAction = action(QStringLiteral("Map &Check"), QStringLiteral("actionMapCheck"),
                           {QKeySequence(Qt::Key_F7)});
    m_checkAction->setCheckable(true);
    connect(m_checkAction, &QAction::toggled, this, [this](bool on) {
        m_checkPanel->setVisible(on);
        updateMapCheck();
    });
    view->addActions({m_gridAction, zoomIn, zoomOut, zoomReset});
    view->addSeparator();
    view->addAction(m_checkAction);

    QMenu *tools = m_menuBar->addMenu(QStringLiteral("&Tools"));
    auto *group = new QActionGroup(this);
    const char *const toolNames[] = {"actionPaint", "actionFill", "actionRectangle", "actionPick"};
    const Qt::Key toolKeys[] = {Qt::Key_B, Qt::Key_F, Qt::Key_R, Qt::Key_I};
    for (int t = 0; t < int(m_tools.size()); ++t) {
        QAction *a = action(m_tools.at(t)->name(), QString::fromLatin1(toolNames[t]),
                            {QKeySequence(toolKeys[t])});
        a->setCheckable(true);
        a->setChecked(t == Paint);
        group->addAction(a);
        tools->addAction(a);
        connect(a, &QAction::triggered, this, [this, t] { setTool(Tool(t)); });
        m_toolActions.append(a);
    }

    m_toolStrip->addActions(m_toolActions);
    m_toolStrip->addSeparator();
    m_toolStrip->addActions({undo, redo});
    m_toolStrip->addSeparator();
    m_toolStrip->addActions({m_gridAction, zoomIn, zoomOut});
    m_toolStrip->addSeparator();
    m_toolStrip->addAction(m_checkAction);
}

void Form12::loadmap(const QString &fileName, const QString &mapName)
{
    QString error;
    bool ok = false;
    {
        centre();
        BusyPointer busy;
        m_tools.at(m_toolIndex)->deactivate();
        ok = m_document.load(m_folder, fileName, mapName, &error);
    }
    if (!ok)
        m_dialogs->message(this, programTitle(),
                           error + QStringLiteral(" An empty map is shown instead."));
}

void Form12::fillMapList()
{
    m_file1->clear();
    m_file1->addItems(QDir(m_folder).entryList({QStringLiteral("*.map")}, QDir::Files,
                                               QDir::Name | QDir::IgnoreCase));
}

void Form12::on_document_mapReplaced()
{
    // A load or its undo: flags, picture, status and check follow the document.
    showFlags();
    m_picture17->setPreview(QRect());
    m_picture17->refresh();
    updateStatus();
    updateMapCheck();
}

void Form12::centre()
{
    const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where)
        return;
    const QRect screenRect = where->geometry();
    const QSize size = isVisible() ? frameGeometry().size() : this->size();
    const int left = screenRect.width() / 2 - size.width() / 2;
    int top = (screenRect.height() - twips(400)) / 2 - size.height() / 2;
    if (top < 0)
        top = 0;
    move(screenRect.left() + left, screenRect.top() + top);
}

void Form12::showFlags()
{
    // The boxes show the document's flags; only typing makes an edit.
    m_showingFlags = true;
    const QList<QByteArray> &flags = m_document.map().flags;
    for (int i = 0; i < MapData::FlagCount; ++i)
        m_flagBoxes.at(i)->setText(QString::fromLatin1(flags.at(i)));
    m_showingFlags = false;
}

void Form12::setSwatch(QRgb colour)
{
    QPixmap solid(m_picture18->size());
    solid.fill(QColor(colour));
    m_picture18->setPixmap(solid);
}

void Form12::on_Command1_clicked()
{
    loadmap();
}

void Form12::on_Command47_clicked()
{
    QString answer = m_dialogs->input(
        this, programTitle(), QStringLiteral("Enter New Map File Name: (.MAP file extension.)"));
    if (trimSpaces(answer).isEmpty())
        return;
    if (!answer.toLower().contains(QLatin1String(".map")))
        answer += QLatin1String(".map");
    loadmap(MapFile::defaultMapName(), answer);
}

void Form12::on_Command15_clicked()
{
    saveChanges();
}

bool Form12::saveChanges()
{
    // The map check is offered before a map with problems is written; the
    // default map's refusal comes first, as the save would give it anyway.
    const QString name = m_text1->text();
    const MapCheck check(m_document.map());
    if (!MapFile::isDefaultMapName(name) && !check.isFit()) {
        QString text = QStringLiteral("The map check found problems:\n");
        for (const QString &problem : check.problems())
            text += QStringLiteral("\n- ") + problem;
        text += QStringLiteral("\n\nSave the map anyway?");
        if (!m_dialogs->askYesNo(this, programTitle(), text))
            return false;
    }
    QString error;
    if (!m_document.save(m_folder, name, &error)) {
        m_dialogs->message(this, programTitle(), error);
        return false;
    }
    // A map saved under a new name is listed at once.
    if (m_file1->findItems(name, Qt::MatchFixedString).isEmpty())
        fillMapList();
    m_dialogs->message(this, programTitle(), QStringLiteral("Saved."));
    return true;
}

void Form12::on_Command2_clicked()
{
    close();
}

void Form12::on_File1_activated(QListWidgetItem *item)
{
    if (!item)
        return;
    // The load names the map, so that undoing it brings back the old name.
    loadmap(item->text(), item->text());
}

void Form12::on_Combo1_activated(int index)
{
    if (index >= 0)
        m_document.pick(m_combo1->itemText(index).toLatin1());
}

void Form12::on_Picture17_pressed(const QPointF &pos, Qt::MouseButton button)
{
    const QPoint cell = m_document.geometry().pointerToCell(pos);
    m_tools.at(m_toolIndex)->mousePressed(cell, button);
    m_picture17->setPreview(m_tools.at(m_toolIndex)->preview());
}

void Form12::on_Picture17_mouseMoved(const QPointF &pos, Qt::MouseButtons buttons)
{
    const QPoint before = m_document.pointerCell();
    const QPoint cell = m_document.setPointer(pos);
    // The title shows the cell's code from before the tool paints it.
    const QString title = m_document.statusTitle(m_text1->text());
    if (!title.isEmpty())
        setWindowTitle(title);
    MapTool *tool = m_tools.at(m_toolIndex).get();
    if (cell != before)
        tool->hoveredCellChanged(cell);
    tool->mouseMoved(cell, buttons);
    m_picture17->setHoveredCell(cell);
    m_picture17->setPreview(tool->preview());
    updateStatus();
}

void Form12::on_Picture17_released(const QPointF &pos, Qt::MouseButton button, bool overView)
{
    const QPoint cell = m_document.geometry().pointerToCell(pos);
    m_tools.at(m_toolIndex)->mouseReleased(cell, button, overView);
    m_picture17->setPreview(m_tools.at(m_toolIndex)->preview());
    updateStatus();
}

void Form12::on_Picture17_left()
{
    m_picture17->setHoveredCell(QPoint());
}

void Form12::on_document_cellsChanged(const QRect &pixels)
{
    m_picture17->refresh(pixels);
    updateMapCheck();
}

void Form12::on_document_selectedCodeChanged(const QByteArray &code)
{
    // The picker's text and the swatch always show the code that a click
    // paints: after a pick, the pick tool and every load.
    const QString text = QString::fromLatin1(code);
    const int index = m_combo1->findText(text);
    if (index >= 0)
        m_combo1->setCurrentIndex(index);
    m_combo1->setEditText(text);
    setSwatch(m_document.swatch());
}

void Form12::setTool(Tool tool)
{
    m_tools.at(m_toolIndex)->deactivate();
    m_toolIndex = tool;
    m_toolActions.at(tool)->setChecked(true);
    m_picture17->setPreview(QRect());
    m_statusBar->showMessage(QString(m_tools.at(tool)->name()).remove(QLatin1Char('&')), 2000);
}

void Form12::setZoom(int index)
{
    index = std::clamp(index, 0, int(zoomLevels().size()) - 1);
    if (index == m_zoomIndex)
        return;
    // The middle of what shows stays in the middle.
    QScrollBar *h = m_mapScroll->horizontalScrollBar();
    QScrollBar *v = m_mapScroll->verticalScrollBar();
    const QSize port = m_mapScroll->viewport()->size();
    const double ratio = double(zoomLevels().at(index)) / zoomLevels().at(m_zoomIndex);
    const QPointF middle((h->value() + port.width() / 2.0) * ratio,
                         (v->value() + port.height() / 2.0) * ratio);
    m_zoomIndex = index;
    m_picture17->setZoom(zoomPercent() / 100.0);
    h->setValue(int(middle.x() - port.width() / 2.0));
    v->setValue(int(middle.y() - port.height() / 2.0));
    updateStatus();
}

void Form12::updateStatus()
{
    m_statusSaved->setText(m_document.isModified() ? QStringLiteral("Unsaved changes")
                                                   : QStringLiteral("No unsaved changes"));
    const QPoint cell = m_document.pointerCell();
    m_statusCell->setText(
        m_document.pointerInGrid()
            ? QStringLiteral("X: %1  Y: %2  G: %3")
                  .arg(cell.x())
                  .arg(cell.y())
                  .arg(QString::fromLatin1(m_document.map().cell(cell.x(), cell.y())))
            : QString());
    m_statusZoom->setText(QStringLiteral("Zoom: %1%").arg(zoomPercent()));
}

void Form12::updateMapCheck()
{
    if (!m_checkPanel || !m_checkPanel->isVisible())
        return;
    const MapCheck check(m_document.map());
    QStringList lines;
    lines << (check.isFit() ? QStringLiteral("Fit for play.")
                            : QStringLiteral("%1 problem(s):").arg(check.problems().size()));
    lines += check.problems();
    lines << QString() << QStringLiteral("Cells by terrain:");
    lines += check.terrainCounts();
    if (m_checkList->count() == lines.size()) {
        for (int i = 0; i < lines.size(); ++i)
            m_checkList->item(i)->setText(lines.at(i));
    } else {
        m_checkList->clear();
        m_checkList->addItems(lines);
    }
}

void Form12::changeEvent(QEvent *event)
{
    // A screen reader reads the window by its current title.
    if (event->type() == QEvent::WindowTitleChange)
        setAccessibleName(windowTitle());
    QWidget::changeEvent(event);
}

bool Form12::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_combo1->lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form12::closeEvent(QCloseEvent *event)
{
    if (!unload()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool Form12::unload()
{
    if (m_unloaded)
        return true;
    // Every difference from the map as last loaded or saved asks, not only a
    // painted click. A save that the author asked for but that was refused
    // (Base.map) or failed keeps the window open, so the changes are not lost.
    if (m_document.isModified() &&
        m_dialogs->askYesNo(this, programTitle(),
                            QStringLiteral("Do you want to save your changes before exiting?")) &&
        !saveChanges())
        return false;
    m_unloaded = true;
    m_frame6->hide();
    return true;
}
