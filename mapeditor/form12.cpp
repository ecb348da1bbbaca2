#include "form12.h"

#include "mapfile.h"
#include "mapview.h"
#include "messageboxdialogs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

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
    buildControls();

    // Start-up: the default map, the list filled once, the picker's codes.
    m_text1->setText(MapFile::defaultMapName());
    QDir folder(m_folder);
    const QStringList maps =
        folder.entryList({QStringLiteral("*.map")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    m_file1->addItems(maps);
    loadmap();
    m_document.setChanged(false);
    for (const QByteArray &code : Palette::pickerCodes())
        m_combo1->addItem(QString::fromLatin1(code));
    m_combo1->setEditText(QString::fromLatin1(Palette::defaultCode()));
}

Form12::~Form12() = default;

void Form12::buildControls()
{
    setObjectName(QStringLiteral("Form12"));
    setWindowTitle(QStringLiteral("Halvard Map Editor"));
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("Form12"));
    setWindowIcon(QIcon(QStringLiteral(":/mapeditor/icon.png")));
    setFixedSize(twips(6795), twips(9600));

    m_frame6 = named(new QGroupBox(QStringLiteral("Map View"), this), QStringLiteral("Frame6"),
                     QStringLiteral("Map View"));
    m_frame6->setGeometry(designRect(120, 120, 6615, 7815));

    m_picture17 =
        named(new MapView(m_frame6), QStringLiteral("Picture17"), QStringLiteral("Map View"));
    m_picture17->setGeometry(designRect(120, 240, 6405, 6285));
    m_picture17->setImage(&m_document.view());

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
    auto *label3 = named(new QLabel(mapCaption, this), QStringLiteral("Label3"), mapCaption);
    label3->setGeometry(designRect(120, 8040, 1215, 255));
    // The design lets the map name box overlap the end of its caption.
    fitCaption(label3, twips(1200 - 120));
    m_text1 = named(new QLineEdit(this), QStringLiteral("Text1"), mapCaption);
    m_text1->setGeometry(designRect(1200, 8040, 2895, 285));

    const QString terrainCaption = QStringLiteral("Selected Terrain Type / Height");
    auto *label2 =
        named(new QLabel(terrainCaption, this), QStringLiteral("Label2"), terrainCaption);
    label2->setAlignment(Qt::AlignCenter);
    label2->setToolTip(
        QStringLiteral("T = Grass, M = Rock, W = Water, S = Solid, X = AI Flag Placement Option"));
    label2->setGeometry(designRect(4200, 8040, 2535, 255));
    fitCaption(label2);

    m_file1 = named(new QListWidget(this), QStringLiteral("File1"), QStringLiteral("Map files"));
    m_file1->setGeometry(designRect(120, 8400, 3975, 675));

    m_picture18 = named(new QLabel(this), QStringLiteral("Picture18"),
                        terrainCaption + QStringLiteral(" colour"));
    m_picture18->setGeometry(designRect(4200, 8400, 375, 315));

    m_combo1 = named(new QComboBox(this), QStringLiteral("Combo1"), terrainCaption);
    m_combo1->setEditable(true);
    m_combo1->setInsertPolicy(QComboBox::NoInsert);
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
        auto *button = named(new QPushButton(caption, this), QString::fromLatin1(b.name),
                             QString(caption).remove(QLatin1Char('&')));
        button->setGeometry(b.rect);
        connect(button, &QPushButton::clicked, this, b.handler);
    }

    connect(m_file1, &QListWidget::itemActivated, this, &Form12::on_File1_activated);
    connect(m_combo1, qOverload<int>(&QComboBox::activated), this, &Form12::on_Combo1_activated);
    connect(m_picture17, &MapView::mouseMoved, this, &Form12::on_Picture17_mouseMoved);
    connect(m_picture17, &MapView::clicked, this, &Form12::on_Picture17_clicked);
}

void Form12::loadmap()
{
    QString error;
    bool ok = false;
    {
        centre();
        BusyPointer busy;
        ok = m_document.load(m_folder, m_text1->text(), &error);
        const QList<QByteArray> &flags = m_document.map().flags;
        for (int i = 0; i < MapData::FlagCount; ++i)
            m_flagBoxes.at(i)->setText(QString::fromLatin1(flags.at(i)));
        setSwatch(m_document.swatch());
        m_picture17->refresh();
    }
    if (!ok)
        m_dialogs->message(this, programTitle(),
                           error + QStringLiteral(" An empty map is shown instead."));
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
    m_text1->setText(MapFile::defaultMapName());
    loadmap();
    m_text1->setText(answer);
}

void Form12::on_Command15_clicked()
{
    saveChanges();
}

bool Form12::saveChanges()
{
    QList<QByteArray> flags;
    for (const QLineEdit *box : std::as_const(m_flagBoxes))
        flags.append(box->text().toLatin1());
    QString error;
    if (!m_document.save(m_folder, m_text1->text(), flags, &error)) {
        m_dialogs->message(this, programTitle(), error);
        return false;
    }
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
    m_text1->setText(item->text());
    on_Command1_clicked();
}

void Form12::on_Combo1_activated(int index)
{
    if (index < 0)
        return;
    m_document.pick(m_combo1->itemText(index).toLatin1());
    setSwatch(m_document.swatch());
}

void Form12::on_Picture17_mouseMoved(const QPointF &pos, Qt::MouseButtons buttons)
{
    QString title;
    const QRect painted = m_document.mouseMove(pos, buttons, m_text1->text(), &title);
    if (!title.isEmpty())
        setWindowTitle(title);
    if (!painted.isEmpty())
        m_picture17->refresh(painted);
}

void Form12::on_Picture17_clicked()
{
    const QRect painted = m_document.click();
    if (!painted.isEmpty())
        m_picture17->refresh(painted);
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
    // A save that the author asked for but that was refused (Base.map) or
    // failed keeps the window open, so the changes are not lost.
    if (m_document.isChanged() &&
        m_dialogs->askYesNo(this, programTitle(),
                            QStringLiteral("Do you want to save your changes before exiting?")) &&
        !saveChanges())
        return false;
    m_unloaded = true;
    m_frame6->hide();
    return true;
}
