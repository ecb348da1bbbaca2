#include "editordialogs.h"
#include "form12.h"
#include "mapfile.h"
#include "tempgamefolder.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

/// Answers the editor's boxes from a script and records what they showed.
class ScriptedDialogs : public EditorDialogs
{
public:
    QStringList titles, messages, questions, prompts;
    QStringList inputs;  // answers of the input box in turn; empty is Cancel
    QList<bool> answers; // Yes/No answers in turn; No when none is left

    void message(QWidget *, const QString &title, const QString &text) override
    {
        titles << title;
        messages << text;
    }
    bool askYesNo(QWidget *, const QString &title, const QString &text) override
    {
        titles << title;
        questions << text;
        return !answers.isEmpty() && answers.takeFirst();
    }
    QString input(QWidget *, const QString &title, const QString &prompt) override
    {
        titles << title;
        prompts << prompt;
        return inputs.isEmpty() ? QString() : inputs.takeFirst();
    }
};

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
    map.flags = {"3", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "4"};
    return map;
}

/// A game folder with "Base.map", "Castle.map" (all rock), another map and a
/// file that is no map, and the editor opened on it with scripted boxes.
class Editor
{
public:
    Editor()
    {
        MapData castle;
        castle.cells.fill("M05");
        tmp.write(QStringLiteral("Base.map"), MapFile::serialize(baseMap()));
        tmp.write(QStringLiteral("Castle.map"), MapFile::serialize(castle));
        tmp.write(QStringLiteral("lower.MAP"), MapFile::serialize(castle));
        tmp.write(QStringLiteral("notes.txt"), "not a map\r\n");
        before = files();
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        window = std::make_unique<Form12>(tmp.path(), std::move(scripted));
        window->show();
        exposed = QTest::qWaitForWindowExposed(window.get());
    }

    /// Every file of the folder with its bytes.
    QMap<QString, QByteArray> files() const
    {
        QMap<QString, QByteArray> all;
        for (const QString &name : QDir(tmp.path()).entryList(QDir::Files))
            all.insert(name, tmp.read(name));
        return all;
    }

    template <typename W = QWidget> W *get(const char *name) const
    {
        W *widget = window->findChild<W *>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    const MapDocument &doc() const { return window->document(); }
    QWidget *view() const { return get("Picture17"); }
    QRgb colour(int x, int y) const { return view()->grab().toImage().pixel(cellPos(x, y)); }
    QRgb swatch() const { return get<QLabel>("Picture18")->pixmap().toImage().pixel(3, 3); }

    QStringList flags() const
    {
        QStringList texts;
        for (int i = 2; i <= 13; ++i)
            texts << window->findChild<QLineEdit *>(QStringLiteral("Text%1").arg(i))->text();
        return texts;
    }

    /// Chooses a code from the picker's list with the arrow key, as the author does.
    void pick(const char *code) const
    {
        auto *combo = get<QComboBox>("Combo1");
        combo->setCurrentIndex(combo->findText(QLatin1String(code)) - 1);
        QTest::keyClick(combo, Qt::Key_Down);
    }

    void setName(const QString &name) const
    {
        get<QLineEdit>("Text1")->selectAll();
        QTest::keyClicks(get<QLineEdit>("Text1"), name);
    }

    void click(const char *button) const
    {
        QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton);
    }

    void clickCell(int x, int y, Qt::MouseButton button = Qt::LeftButton) const
    {
        QTest::mouseMove(view(), cellPos(x, y));
        QTest::mouseClick(view(), button, {}, cellPos(x, y));
    }

    TempGameFolder tmp;
    QMap<QString, QByteArray> before;
    ScriptedDialogs *dialogs = nullptr;
    std::unique_ptr<Form12> window;
    bool exposed = false;
};

} // namespace

class TestForm12 : public QObject
{
    Q_OBJECT

private slots:
    void startUpShowsTheDefaultMap()
    {
        Editor e;
        QVERIFY(e.exposed);
        QCOMPARE(e.window->windowTitle(), QStringLiteral("Halvard Map Editor"));
        QVERIFY(!e.window->windowIcon().isNull());
        QVERIFY(!e.get<QLabel>("Image1")->pixmap().isNull());
        QCOMPARE(e.get<QLineEdit>("Text1")->text(), QStringLiteral("Base.map"));
        QCOMPARE(e.flags(),
                 (QStringList{"3", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "4"}));
        auto *combo = e.get<QComboBox>("Combo1");
        QCOMPARE(combo->currentText(), QStringLiteral("T02"));
        QCOMPARE(combo->count(), 58);
        QCOMPARE(e.swatch(), qRgb(0, 119, 0));
        QCOMPARE(e.doc().selectedCode(), QByteArray("T02"));
        QVERIFY(!e.doc().isChanged());
        auto *list = e.get<QListWidget>("File1");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(2)->text(), QStringLiteral("lower.MAP"));
        QVERIFY(e.dialogs->messages.isEmpty());
        // The view's colours: an unknown code takes the colour drawn before it.
        QCOMPARE(e.colour(1, 1), qRgb(64, 64, 64));
        QCOMPARE(e.colour(2, 1), qRgb(238, 0, 238));
        QCOMPARE(e.colour(3, 1), qRgb(8, 0, 0));
        QCOMPARE(e.colour(4, 1), qRgb(8, 0, 0));
        QCOMPARE(e.view()->grab().toImage().pixel(5, 5), qRgb(0, 0, 0));

        // Every control is named for assistive tools and described by its design name.
        for (const char *name : {"Frame6", "Picture17", "Label1", "Image1", "Text2", "Text13",
                                 "Label3", "Text1", "Label2", "File1", "Picture18", "Combo1",
                                 "Command1", "Command47", "Command15", "Command2"}) {
            QVERIFY2(!e.get(name)->accessibleName().isEmpty(), name);
            QCOMPARE(e.get(name)->accessibleDescription(), QLatin1String(name));
        }
    }

    void clickPaintsAndClosingAsks()
    {
        Editor e;
        QVERIFY(e.exposed);
        // Showing an entry without choosing it, or typing, selects nothing.
        auto *combo = e.get<QComboBox>("Combo1");
        combo->setCurrentIndex(combo->findText(QStringLiteral("S05")));
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("S01\r"));
        QCOMPARE(e.doc().selectedCode(), QByteArray("T02"));
        e.pick("W03");
        QCOMPARE(e.doc().selectedCode(), QByteArray("W03"));
        QCOMPARE(e.swatch(), qRgb(0, 0, 221));

        QTest::mouseMove(e.view(), cellPos(5, 3));
        QCOMPARE(e.window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 5  Y: 3   G: T02"));
        QVERIFY(!e.doc().isChanged());
        QTest::mouseClick(e.view(), Qt::LeftButton, {}, cellPos(5, 3));
        QCOMPARE(e.doc().map().cell(5, 3), QByteArray("W03"));
        QCOMPARE(e.colour(5, 3), qRgb(0, 0, 221));
        QCOMPARE(e.colour(6, 3), qRgb(0, 119, 0));
        QVERIFY(e.doc().isChanged());

        e.click("Command2");
        QCOMPARE(e.dialogs->questions, QStringList{question});
        QCOMPARE(e.dialogs->titles, QStringList{QStringLiteral("HvdMapEditor")});
        QVERIFY(!e.window->isVisible());
        QVERIFY(!e.get("Frame6")->isVisible());
        QCOMPARE(e.files(), e.before);
    }

    void leftDragPaintsWithoutSettingTheChangedFlag()
    {
        Editor e;
        QVERIFY(e.exposed);
        e.pick("S05");
        QTest::mouseMove(e.view(), cellPos(2, 5));
        QTest::mousePress(e.view(), Qt::LeftButton, {}, cellPos(2, 5));
        for (int x = 3; x <= 6; ++x)
            QTest::mouseMove(e.view(), cellPos(x, 5));
        QTest::mouseMove(e.view(), QPoint(5, 55)); // the band: no cell
        QCOMPARE(e.doc().pointerCell(), QPoint(0, 5));
        QTest::mouseRelease(e.view(), Qt::LeftButton, {}, QPoint(600, 55));

        const MapData &map = e.doc().map();
        QCOMPARE((QList<QByteArray>{map.cell(2, 5), map.cell(3, 5), map.cell(6, 5)}),
                 (QList<QByteArray>{"T02", "S05", "S05"}));
        QCOMPARE(e.colour(4, 5), qRgb(170, 0, 0));
        // The title kept the last cell's code from before it was painted.
        QCOMPARE(e.window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 6  Y: 5   G: T02"));
        QVERIFY(!e.doc().isChanged());

        // Typed flags without a painted click do not ask either, and are not saved.
        QTest::keyClicks(e.get<QLineEdit>("Text5"), QStringLiteral("9"));
        e.window->close();
        QVERIFY(e.dialogs->questions.isEmpty());
        QCOMPARE(e.files(), e.before);
    }

    void rightDragSwallowsTheNextClick()
    {
        Editor e;
        QVERIFY(e.exposed);
        e.pick("X07");
        QTest::mouseMove(e.view(), cellPos(6, 6));
        QTest::mousePress(e.view(), Qt::RightButton, {}, cellPos(6, 6));
        QTest::mouseMove(e.view(), cellPos(7, 6));
        QVERIFY(e.doc().skipClick());
        QTest::mouseRelease(e.view(), Qt::RightButton, {}, cellPos(7, 6));
        QVERIFY(!e.doc().skipClick());
        QCOMPARE(e.doc().map().cell(7, 6), QByteArray("T02"));
        QCOMPARE(e.colour(7, 6), qRgb(0, 119, 0));
        QVERIFY(!e.doc().isChanged());

        // A right click without a move paints like a left click.
        e.clickCell(8, 6, Qt::RightButton);
        QCOMPARE(e.doc().map().cell(8, 6), QByteArray("X07"));
        QCOMPARE(e.colour(8, 6), qRgb(204, 204, 0));
        QVERIFY(e.doc().isChanged());

        // Pointer positions to cells; outside the grid the title stays.
        const QList<QPair<int, int>> cases = {{10, 0}, {11, 1}, {409, 40}, {410, 40}, {411, 41}};
        for (const auto &[px, x] : cases) {
            QTest::mouseMove(e.view(), QPoint(px, 15));
            QCOMPARE(e.doc().pointerCell(), QPoint(x, 1));
        }
        QCOMPARE(e.window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 40  Y: 1   G: T02"));
    }

    void newMapNamesAndTheDefaultMapIsRefused()
    {
        Editor e;
        QVERIFY(e.exposed);
        auto *text1 = e.get<QLineEdit>("Text1");
        e.clickCell(1, 1);
        e.dialogs->inputs = {"Fort", "my.MAP.old", "   ", "", "Base"};
        e.click("Command47");
        QCOMPARE(e.dialogs->prompts,
                 QStringList{QStringLiteral("Enter New Map File Name: (.MAP file extension.)")});
        QCOMPARE(text1->text(), QStringLiteral("Fort.map"));
        // The new map starts as the default map; painting is dropped, the flag stays.
        QCOMPARE(e.doc().map().cell(1, 1), QByteArray("M00"));
        QVERIFY(e.doc().isChanged());
        e.click("Command47");
        QCOMPARE(text1->text(), QStringLiteral("my.MAP.old"));
        e.click("Command47");
        e.click("Command47");
        QCOMPARE(text1->text(), QStringLiteral("my.MAP.old"));
        e.click("Command47");
        QCOMPARE(text1->text(), QStringLiteral("Base.map"));

        e.click("Command15");
        e.setName(QStringLiteral("BASE.MAP"));
        e.click("Command15");
        e.setName(QStringLiteral("base.Map"));
        // Yes at closing: the save is refused, so the window stays with its changes.
        e.dialogs->answers = {true};
        QVERIFY(!e.window->close());
        QCOMPARE(e.dialogs->questions, QStringList{question});
        QCOMPARE(e.dialogs->messages, QStringList(3, MapFile::refusalText()));
        QVERIFY(e.window->isVisible());
        QCOMPARE(e.files(), e.before);
    }

    void savedMapReadsBack()
    {
        Editor e;
        QVERIFY(e.exposed);
        e.dialogs->inputs = {"Fort"};
        e.click("Command47");
        e.pick("S20");
        e.clickCell(1, 40);
        e.clickCell(40, 40);
        e.get<QLineEdit>("Text2")->clear();
        QTest::keyClicks(e.get<QLineEdit>("Text2"), QStringLiteral(" 7 "));
        // Save Changes by its access key; the button answers with an animated click.
        e.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(e.window.get()));
        QTest::keyClick(e.window.get(), Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(e.dialogs->messages, QStringList{QStringLiteral("Saved.")});
        QVERIFY(!e.doc().isChanged());

        MapData saved;
        QVERIFY(MapFile::read(e.tmp.path(), QStringLiteral("Fort.map"), &saved));
        MapData expected = baseMap();
        expected.setCell(1, 40, "S20");
        expected.setCell(40, 40, "S20");
        expected.flags[0] = "7";
        QCOMPARE(saved.cells, expected.cells);
        QCOMPARE(saved.flags, expected.flags);
        QCOMPARE(e.get<QListWidget>("File1")->count(), 3); // filled once, at start-up
    }

    void listDoubleClickLoadsAndClosingYesSaves()
    {
        Editor e;
        QVERIFY(e.exposed);
        auto *list = e.get<QListWidget>("File1");
        const QPoint item = list->visualItemRect(list->item(1)).center();
        // A double click as the mouse sends it: a click, then the second press.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item);
        QCOMPARE(e.get<QLineEdit>("Text1")->text(), QStringLiteral("Castle.map"));
        QCOMPARE(e.colour(1, 1), qRgb(144, 144, 144));
        QCOMPARE(e.flags(), QStringList(12, QStringLiteral("0")));

        e.clickCell(20, 20);
        e.dialogs->answers = {true};
        e.window->close();
        QCOMPARE(e.dialogs->messages, QStringList{QStringLiteral("Saved.")});
        MapData saved;
        QVERIFY(MapFile::read(e.tmp.path(), QStringLiteral("Castle.map"), &saved));
        QCOMPARE(saved.cell(20, 20), QByteArray("T02"));
        QCOMPARE(saved.cell(21, 20), QByteArray("M05"));
    }

    void failuresAreToldAndKeepTheChangedFlag()
    {
        Editor e;
        QVERIFY(e.exposed);
        // A map that cannot be read shows the state of an empty file.
        e.setName(QStringLiteral("Gone.map"));
        e.click("Command1");
        QCOMPARE(e.dialogs->messages.size(), 1);
        QVERIFY(e.dialogs->messages.first().contains(QLatin1String("Gone.map")));
        QCOMPARE(e.flags(), QStringList(12, QStringLiteral("0")));
        QCOMPARE(e.doc().map().cells, QList<QByteArray>(1600));
        QCOMPARE(e.colour(1, 1), qRgb(0, 0, 0));

        // Empty cells would not read back: the save is refused, nothing written.
        e.clickCell(3, 3);
        e.setName(QStringLiteral("Out.map"));
        e.click("Command15");
        QVERIFY2(e.dialogs->messages.last().contains(QLatin1String("1599 cell(s)")),
                 qPrintable(e.dialogs->messages.last()));
        QVERIFY(e.doc().isChanged());

        // A file that cannot be written says why; never "Saved.".
        QVERIFY(QDir(e.tmp.path()).mkdir(QStringLiteral("Dir.map")));
        e.setName(QStringLiteral("Base.map"));
        e.click("Command1");
        e.setName(QStringLiteral("Dir.map"));
        e.click("Command15");
        QCOMPARE(e.dialogs->messages.size(), 3);
        QVERIFY(e.dialogs->messages.last().startsWith(QLatin1String("Not Saved!")));
        QVERIFY(e.dialogs->messages.last().contains(QLatin1String("Dir.map")));
        QVERIFY(e.doc().isChanged());
        QCOMPARE(e.files(), e.before);

        // Closing with Yes while the save fails keeps the window and the
        // changes; with No it closes.
        e.dialogs->answers = {true};
        QVERIFY(!e.window->close());
        QVERIFY(e.doc().isChanged());
        e.dialogs->answers = {false};
        QVERIFY(e.window->close());
        QCOMPARE(e.files(), e.before);
    }
};

QTEST_MAIN(TestForm12)
#include "tst_form12.moc"
