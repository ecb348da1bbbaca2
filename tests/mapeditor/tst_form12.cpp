#include "form12.h"
#include "mapfile.h"
#include "scripteddialogs.h"
#include "tempgamefolder.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

const QString question = QStringLiteral("Do you want to save your changes before exiting?");

QPoint cellPos(int x, int y)
{
    return QPoint(10 * x + 5, 10 * y + 5);
}

/// The default map of the fixtures: grass of height 2 with a few known and
/// unknown codes in the first row.
MapData baseMap()
{
    MapData map;
    map.cells.fill("T02");
    map.setCell(1, 1, "M00");
    map.setCell(2, 1, "S01");
    map.setCell(3, 1, "S20");
    map.setCell(4, 1, "zz9");
    map.setCell(10, 10, "W05");
    map.flags = {"3", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "4"};
    return map;
}

/// A game folder with "Base.map", "Castle.map" (all rock) and a few others.
class EditorFolder
{
public:
    EditorFolder()
    {
        m_tmp.write(QStringLiteral("Base.map"), MapFile::serialize(baseMap()));
        MapData castle;
        castle.cells.fill("M05");
        m_tmp.write(QStringLiteral("Castle.map"), MapFile::serialize(castle));
        m_tmp.write(QStringLiteral("lower.MAP"), MapFile::serialize(castle));
        m_tmp.write(QStringLiteral("notes.txt"), "not a map\r\n");
    }

    TempGameFolder &tmp() { return m_tmp; }

    /// Opens the editor on the folder, shown, with scripted boxes.
    std::unique_ptr<Form12> open(ScriptedDialogs **dialogs)
    {
        auto scripted = std::make_unique<ScriptedDialogs>();
        *dialogs = scripted.get();
        auto window = std::make_unique<Form12>(m_tmp.path(), std::move(scripted));
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        return window;
    }

    /// Every file of the folder with its bytes.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        for (const QString &name : QDir(m_tmp.path()).entryList(QDir::Files))
            files.insert(name, m_tmp.read(name));
        return files;
    }

private:
    TempGameFolder m_tmp;
};

template <typename W> W *control(Form12 *window, const char *name)
{
    W *widget = window->findChild<W *>(QLatin1String(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

QWidget *view(Form12 *window)
{
    return control<QWidget>(window, "Picture17");
}

QRgb cellColour(Form12 *window, int x, int y)
{
    return view(window)->grab().toImage().pixel(cellPos(x, y));
}

QRgb swatchColour(Form12 *window)
{
    return control<QLabel>(window, "Picture18")->pixmap().toImage().pixel(3, 3);
}

QStringList flagTexts(Form12 *window)
{
    QStringList texts;
    for (int i = 2; i <= 13; ++i)
        texts << control<QLineEdit>(window, qPrintable(QStringLiteral("Text%1").arg(i)))->text();
    return texts;
}

/// Chooses a code from the picker's list as the author does, with the arrow
/// key (every code but the first).
void pick(Form12 *window, const char *code)
{
    auto *combo = control<QComboBox>(window, "Combo1");
    combo->setCurrentIndex(combo->findText(QLatin1String(code)) - 1);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
}

void setName(Form12 *window, const QString &name)
{
    auto *text1 = control<QLineEdit>(window, "Text1");
    text1->selectAll();
    QTest::keyClicks(text1, name);
}

void clickButton(Form12 *window, const char *name)
{
    QTest::mouseClick(control<QPushButton>(window, name), Qt::LeftButton);
}

void clickCell(Form12 *window, int x, int y, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseMove(view(window), cellPos(x, y));
    QTest::mouseClick(view(window), button, {}, cellPos(x, y));
}

} // namespace

class TestForm12 : public QObject
{
    Q_OBJECT

private slots:
    void startUpShowsTheDefaultMap()
    {
        EditorFolder folder;
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Halvard Map Editor"));
        QCOMPARE(window->size(), QSize(453, 640));
        QVERIFY(!window->windowIcon().isNull());
        QVERIFY(!control<QLabel>(window.get(), "Image1")->pixmap().isNull());
        QCOMPARE(control<QLineEdit>(window.get(), "Text1")->text(), QStringLiteral("Base.map"));
        QCOMPARE(flagTexts(window.get()),
                 (QStringList{"3", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "4"}));
        auto *combo = control<QComboBox>(window.get(), "Combo1");
        QCOMPARE(combo->currentText(), QStringLiteral("T02"));
        QCOMPARE(combo->count(), 58);
        QCOMPARE(combo->itemText(0), QStringLiteral("T00"));
        QCOMPARE(combo->itemText(57), QStringLiteral("X10"));
        QCOMPARE(swatchColour(window.get()), qRgb(0, 119, 0));
        QCOMPARE(window->document().selectedCode(), QByteArray("T02"));
        QVERIFY(!window->document().isChanged());
        QCOMPARE(window->document().map().cells, baseMap().cells);
        auto *list = control<QListWidget>(window.get(), "File1");
        QStringList listed;
        for (int i = 0; i < list->count(); ++i)
            listed << list->item(i)->text();
        QCOMPARE(listed, (QStringList{"Base.map", "Castle.map", "lower.MAP"}));
        QVERIFY(dialogs->messages.isEmpty());

        // The view's colours, also after it was covered and redrawn.
        for (int pass = 0; pass < 2; ++pass) {
            QCOMPARE(cellColour(window.get(), 1, 1), qRgb(64, 64, 64));
            QCOMPARE(cellColour(window.get(), 2, 1), qRgb(238, 0, 238));
            QCOMPARE(cellColour(window.get(), 3, 1), qRgb(8, 0, 0));
            QCOMPARE(cellColour(window.get(), 4, 1), qRgb(8, 0, 0));
            QCOMPARE(cellColour(window.get(), 10, 10), qRgb(0, 0, 255));
            QCOMPARE(cellColour(window.get(), 40, 40), qRgb(0, 119, 0));
            QCOMPARE(view(window.get())->grab().toImage().pixel(5, 5), qRgb(0, 0, 0));
            window->hide();
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        }

        // Every control is named for assistive tools and described by its design name.
        for (const char *name : {"Frame6", "Picture17", "Label1", "Image1", "Text2", "Text13",
                                 "Label3", "Text1", "Label2", "File1", "Picture18", "Combo1",
                                 "Command1", "Command47", "Command15", "Command2"}) {
            const QWidget *widget = control<QWidget>(window.get(), name);
            QVERIFY2(!widget->accessibleName().isEmpty(), name);
            QCOMPARE(widget->accessibleDescription(), QLatin1String(name));
        }
    }

    void clickPaintsAndClosingAsks()
    {
        EditorFolder folder;
        const auto before = folder.snapshot();
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        // Showing an entry without choosing it, or typing, selects nothing.
        auto *combo = control<QComboBox>(window.get(), "Combo1");
        combo->setCurrentIndex(combo->findText(QStringLiteral("S05")));
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("S01"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(window->document().selectedCode(), QByteArray("T02"));
        pick(window.get(), "W03");
        QCOMPARE(window->document().selectedCode(), QByteArray("W03"));
        QCOMPARE(swatchColour(window.get()), qRgb(0, 0, 221));

        QTest::mouseMove(view(window.get()), cellPos(5, 3));
        QCOMPARE(window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 5  Y: 3   G: T02"));
        QVERIFY(!window->document().isChanged());
        QTest::mouseClick(view(window.get()), Qt::LeftButton, {}, cellPos(5, 3));
        QCOMPARE(window->document().map().cell(5, 3), QByteArray("W03"));
        QCOMPARE(cellColour(window.get(), 5, 3), qRgb(0, 0, 221));
        QCOMPARE(cellColour(window.get(), 6, 3), qRgb(0, 119, 0));
        QVERIFY(window->document().isChanged());

        clickButton(window.get(), "Command2");
        QCOMPARE(dialogs->questions, QStringList{question});
        QCOMPARE(dialogs->titles.last(), QStringLiteral("HvdMapEditor"));
        QVERIFY(!window->isVisible());
        QVERIFY(!control<QGroupBox>(window.get(), "Frame6")->isVisible());
        QVERIFY(dialogs->messages.isEmpty());
        QCOMPARE(folder.snapshot(), before);
    }

    void leftDragPaintsWithoutSettingTheChangedFlag()
    {
        EditorFolder folder;
        const auto before = folder.snapshot();
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        pick(window.get(), "S05");
        QWidget *picture = view(window.get());
        QTest::mouseMove(picture, cellPos(2, 5));
        QTest::mousePress(picture, Qt::LeftButton, {}, cellPos(2, 5));
        for (int x = 3; x <= 6; ++x)
            QTest::mouseMove(picture, cellPos(x, 5));
        // The title shows the code the cell held before it was painted.
        QCOMPARE(window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 6  Y: 5   G: T02"));
        QTest::mouseMove(picture, QPoint(5, 55)); // the band: no cell
        QCOMPARE(window->document().pointerCell(), QPoint(0, 5));
        QTest::mouseRelease(picture, Qt::LeftButton, {}, QPoint(600, 55));

        QCOMPARE(window->document().map().cell(2, 5), QByteArray("T02"));
        for (int x = 3; x <= 6; ++x) {
            QCOMPARE(window->document().map().cell(x, 5), QByteArray("S05"));
            QCOMPARE(cellColour(window.get(), x, 5), qRgb(170, 0, 0));
        }
        QCOMPARE(window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 6  Y: 5   G: T02"));
        QVERIFY(!window->document().isChanged());

        // Typed flags without a painted click do not ask either, and are not saved.
        QTest::keyClicks(control<QLineEdit>(window.get(), "Text5"), QStringLiteral("9"));
        window->close();
        QVERIFY(dialogs->questions.isEmpty());
        QCOMPARE(folder.snapshot(), before);
    }

    void rightDragSwallowsTheNextClick()
    {
        EditorFolder folder;
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        pick(window.get(), "X07");
        QWidget *picture = view(window.get());
        QTest::mouseMove(picture, cellPos(6, 6));
        QTest::mousePress(picture, Qt::RightButton, {}, cellPos(6, 6));
        QTest::mouseMove(picture, cellPos(7, 6));
        QVERIFY(window->document().skipClick());
        QTest::mouseRelease(picture, Qt::RightButton, {}, cellPos(7, 6));
        QVERIFY(!window->document().skipClick());
        QCOMPARE(window->document().map().cell(6, 6), QByteArray("T02"));
        QCOMPARE(window->document().map().cell(7, 6), QByteArray("T02"));
        QCOMPARE(cellColour(window.get(), 7, 6), qRgb(0, 119, 0));
        QVERIFY(!window->document().isChanged());

        // A right click without a move paints like a left click.
        clickCell(window.get(), 8, 6, Qt::RightButton);
        QCOMPARE(window->document().map().cell(8, 6), QByteArray("X07"));
        QCOMPARE(cellColour(window.get(), 8, 6), qRgb(204, 204, 0));
        QVERIFY(window->document().isChanged());
        // A click outside the grid paints nothing.
        QTest::mouseMove(picture, QPoint(415, 100));
        QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(415, 100));
        QCOMPARE(window->document().pointerCell(), QPoint(41, 10));
    }

    void pointerPositionsGiveCells()
    {
        EditorFolder folder;
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        const struct
        {
            int px;
            int x;
        } cases[] = {{10, 0}, {11, 1}, {409, 40}, {410, 40}, {411, 41}};
        for (const auto &c : cases) {
            QTest::mouseMove(view(window.get()), QPoint(c.px, 15));
            QCOMPARE(window->document().pointerCell(), QPoint(c.x, 1));
        }
        // Outside the grid the title keeps its last text.
        QCOMPARE(window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 40  Y: 1   G: T02"));
    }

    void newMapNamesAndTheDefaultMapIsRefused()
    {
        EditorFolder folder;
        const auto before = folder.snapshot();
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        auto *text1 = control<QLineEdit>(window.get(), "Text1");
        clickCell(window.get(), 1, 1);
        QVERIFY(window->document().isChanged());

        dialogs->inputs = {"Fort", "my.MAP.old", "   ", "", "Base"};
        clickButton(window.get(), "Command47");
        QCOMPARE(dialogs->prompts,
                 QStringList{QStringLiteral("Enter New Map File Name: (.MAP file extension.)")});
        QCOMPARE(text1->text(), QStringLiteral("Fort.map"));
        // The new map starts as the default map; the painting is dropped but
        // the changed flag stays.
        QCOMPARE(window->document().map().cell(1, 1), QByteArray("M00"));
        QVERIFY(window->document().isChanged());
        clickButton(window.get(), "Command47");
        QCOMPARE(text1->text(), QStringLiteral("my.MAP.old"));
        clickButton(window.get(), "Command47");
        clickButton(window.get(), "Command47");
        QCOMPARE(text1->text(), QStringLiteral("my.MAP.old"));
        clickButton(window.get(), "Command47");
        QCOMPARE(text1->text(), QStringLiteral("Base.map"));
        QCOMPARE(dialogs->prompts.size(), 5);

        clickButton(window.get(), "Command15");
        setName(window.get(), QStringLiteral("BASE.MAP"));
        clickButton(window.get(), "Command15");
        setName(window.get(), QStringLiteral("base.Map"));
        dialogs->answers = {true};
        window->close();
        QCOMPARE(dialogs->questions, QStringList{question});
        QCOMPARE(dialogs->messages, QStringList(3, MapFile::refusalText()));
        QVERIFY(!window->isVisible());
        QCOMPARE(folder.snapshot(), before);
    }

    void savedMapReadsBack()
    {
        EditorFolder folder;
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        dialogs->inputs = {"Fort"};
        clickButton(window.get(), "Command47");
        pick(window.get(), "S20");
        clickCell(window.get(), 1, 40);
        clickCell(window.get(), 40, 40);
        auto *text2 = control<QLineEdit>(window.get(), "Text2");
        text2->clear();
        QTest::keyClicks(text2, QStringLiteral(" 7 "));
        QVERIFY(window->document().isChanged());
        // Save Changes by its access key.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
        // The button answers its access key with an animated click.
        QTRY_COMPARE(dialogs->messages, QStringList{QStringLiteral("Saved.")});
        QVERIFY(!window->document().isChanged());

        MapData saved;
        QVERIFY(MapFile::read(folder.tmp().path(), QStringLiteral("Fort.map"), &saved));
        MapData expected = baseMap();
        expected.setCell(1, 40, "S20");
        expected.setCell(40, 40, "S20");
        QCOMPARE(saved.cells, expected.cells);
        QCOMPARE(saved.flags.first(), QByteArray("7"));
        QCOMPARE(saved.flags.mid(1), expected.flags.mid(1));
        // The list is filled once, at start-up.
        QCOMPARE(control<QListWidget>(window.get(), "File1")->count(), 3);

        window->close();
        QVERIFY(dialogs->questions.isEmpty());
    }

    void listDoubleClickLoadsAndClosingYesSaves()
    {
        EditorFolder folder;
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        auto *list = control<QListWidget>(window.get(), "File1");
        const QRect item = list->visualItemRect(list->item(1));
        // A double click as the mouse sends it: a click, then the second press.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
        QCOMPARE(control<QLineEdit>(window.get(), "Text1")->text(), QStringLiteral("Castle.map"));
        QCOMPARE(cellColour(window.get(), 1, 1), qRgb(144, 144, 144));
        QCOMPARE(flagTexts(window.get()), QStringList(12, QStringLiteral("0")));

        clickCell(window.get(), 20, 20);
        dialogs->answers = {true};
        window->close();
        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("Saved.")});
        MapData saved;
        QVERIFY(MapFile::read(folder.tmp().path(), QStringLiteral("Castle.map"), &saved));
        QCOMPARE(saved.cell(20, 20), QByteArray("T02"));
        QCOMPARE(saved.cell(21, 20), QByteArray("M05"));
    }

    void failuresAreToldAndKeepTheChangedFlag()
    {
        EditorFolder folder;
        ScriptedDialogs *dialogs = nullptr;
        auto window = folder.open(&dialogs);
        QVERIFY(window);
        // A map that cannot be read shows the state of an empty file.
        setName(window.get(), QStringLiteral("Gone.map"));
        clickButton(window.get(), "Command1");
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY(dialogs->messages.first().contains(QLatin1String("Gone.map")));
        QCOMPARE(flagTexts(window.get()), QStringList(12, QStringLiteral("0")));
        QCOMPARE(window->document().map().cells, QList<QByteArray>(1600));
        QCOMPARE(cellColour(window.get(), 1, 1), qRgb(0, 0, 0));
        QCOMPARE(cellColour(window.get(), 40, 40), qRgb(0, 0, 0));

        // Empty cells do not read back: the save is refused, nothing written.
        clickCell(window.get(), 3, 3);
        setName(window.get(), QStringLiteral("Out.map"));
        clickButton(window.get(), "Command15");
        QCOMPARE(dialogs->messages.size(), 2);
        QVERIFY2(dialogs->messages.last().contains(QLatin1String("1599 cell(s)")),
                 qPrintable(dialogs->messages.last()));
        QVERIFY(window->document().isChanged());
        QVERIFY(!QFile::exists(folder.tmp().file(QStringLiteral("Out.map"))));

        // A file that cannot be written says why; never "Saved.".
        QVERIFY(QDir(folder.tmp().path()).mkdir(QStringLiteral("Dir.map")));
        setName(window.get(), QStringLiteral("Base.map"));
        clickButton(window.get(), "Command1");
        setName(window.get(), QStringLiteral("Dir.map"));
        clickButton(window.get(), "Command15");
        QCOMPARE(dialogs->messages.size(), 3);
        QVERIFY(dialogs->messages.last().startsWith(QLatin1String("Not Saved!")));
        QVERIFY(dialogs->messages.last().contains(QLatin1String("Dir.map")));
        QVERIFY(!dialogs->messages.contains(QStringLiteral("Saved.")));
        QVERIFY(window->document().isChanged());
    }
};

QTEST_MAIN(TestForm12)
#include "tst_form12.moc"
