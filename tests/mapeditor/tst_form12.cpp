// The editor window's wiring, driven with real mouse and key events on a
// game folder built for the test, with boxes that answer from a script; the
// rules behind it are tested on the document (tst_mapdocument).

#include "editordialogs.h"
#include "form12.h"
#include "mapfile.h"
#include "tempgamefolder.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

namespace {

/// Answers the editor's boxes from a script and records what they showed;
/// the map check's warnings before a save are passed with Yes.
class ScriptedDialogs : public EditorDialogs
{
public:
    QStringList messages, questions, warnings;
    QStringList inputs;  // answers of the input box in turn; empty is Cancel
    QList<bool> answers; // Yes/No answers in turn; No when none is left
    bool passWarnings = true;

    void message(QWidget *, const QString &, const QString &text) override { messages << text; }
    bool askYesNo(QWidget *, const QString &, const QString &text) override
    {
        const bool warning = text.startsWith(QLatin1String("The map check found problems"));
        (warning ? warnings : questions) << text;
        return (warning && passWarnings) || (!warning && !answers.isEmpty() && answers.takeFirst());
    }
    QString input(QWidget *, const QString &, const QString &) override
    {
        return inputs.isEmpty() ? QString() : inputs.takeFirst();
    }
};

QPoint cellPos(int x, int y)
{
    return QPoint(10 * x + 5, 10 * y + 5);
}

/// A game folder with "Base.map" (grass of height 2 with rock, two solids
/// and an unknown code in the first row), "Castle.map" (all rock) and
/// "lower.MAP", and the editor opened on it with scripted boxes.
class Editor
{
public:
    Editor()
    {
        MapData base, castle;
        base.cells.fill("T02");
        base.cells = QList<QByteArray>{"M00", "S01", "S20", "zz9"} + base.cells.mid(4);
        base.flags = {"3", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "4"};
        castle.cells.fill("M05");
        tmp.write(QStringLiteral("Base.map"), MapFile::serialize(base));
        tmp.write(QStringLiteral("Castle.map"), MapFile::serialize(castle));
        tmp.write(QStringLiteral("lower.MAP"), MapFile::serialize(castle));
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        window = std::make_unique<Form12>(tmp.path(), std::move(scripted));
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qFatal("editor not shown");
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
    QRgb swatch() const { return get<QLabel>("Picture18")->pixmap().toImage().pixel(2, 2); }
    QString text(const char *box) const { return get<QLineEdit>(box)->text(); }

    /// Chooses a code from the picker's list with the arrow key, as the author does.
    void pick(const char *code) const
    {
        auto *combo = get<QComboBox>("Combo1");
        combo->setCurrentIndex(combo->findText(QLatin1String(code)) - 1);
        QTest::keyClick(combo, Qt::Key_Down);
    }

    void type(const char *box, const QString &text) const
    {
        get<QLineEdit>(box)->selectAll();
        QTest::keyClicks(get<QLineEdit>(box), text);
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

    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(window.get(), key, modifiers);
    }

    TempGameFolder tmp;
    ScriptedDialogs *dialogs = nullptr;
    std::unique_ptr<Form12> window;
};

const QString question = QStringLiteral("Do you want to save your changes before exiting?");

} // namespace

class TestForm12 : public QObject
{
    Q_OBJECT

private slots:
    void startsPaintsAndAsksAtClosing()
    {
        Editor e;
        QCOMPARE(e.window->windowTitle(), QStringLiteral("Halvard Map Editor"));
        QCOMPARE(e.text("Text1") + e.text("Text2") + e.text("Text13"),
                 QStringLiteral("Base.map34"));
        QCOMPARE(e.get<QComboBox>("Combo1")->count(), 58);
        QCOMPARE(e.get<QListWidget>("File1")->item(2)->text(), QStringLiteral("lower.MAP"));
        // The view's colours; an unknown code takes the colour drawn before it.
        QCOMPARE(
            (QList<QRgb>{e.colour(1, 1), e.colour(2, 1), e.colour(4, 1), e.swatch()}),
            (QList<QRgb>{qRgb(64, 64, 64), qRgb(238, 0, 238), qRgb(8, 0, 0), qRgb(0, 119, 0)}));

        // A left drag paints every cell it enters after the first; released
        // outside the view it is no click, so the changed flag stays clear.
        e.pick("S05");
        QTest::mouseMove(e.view(), cellPos(2, 5));
        QTest::mousePress(e.view(), Qt::LeftButton, {}, cellPos(2, 5));
        QTest::mouseMove(e.view(), cellPos(3, 5));
        QTest::mouseRelease(e.view(), Qt::LeftButton, {}, QPoint(600, 55));
        QCOMPARE(e.doc().map().cell(2, 5) + e.doc().map().cell(3, 5), QByteArray("T02S05"));
        QCOMPARE(e.colour(3, 5), qRgb(170, 0, 0));
        QCOMPARE(e.window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 3  Y: 5   G: T02"));
        QVERIFY(!e.doc().isChanged());
        // A right drag swallows the click of its release; typing into the
        // picker chooses nothing.
        QTest::mouseMove(e.view(), cellPos(6, 6));
        QTest::mousePress(e.view(), Qt::RightButton, {}, cellPos(6, 6));
        QTest::mouseMove(e.view(), cellPos(7, 6));
        QTest::mouseRelease(e.view(), Qt::RightButton, {}, cellPos(7, 6));
        QTest::keyClicks(e.get<QComboBox>("Combo1")->lineEdit(), QStringLiteral("X01\r\t"));
        QCOMPARE(e.doc().map().cell(7, 6), QByteArray("T02"));
        QCOMPARE(e.doc().selectedCode(), QByteArray("S05"));
        // A click paints with either button and sets the changed flag.
        e.clickCell(8, 6, Qt::RightButton);
        QCOMPARE(e.doc().map().cell(8, 6), QByteArray("S05"));
        QVERIFY(e.doc().isChanged());
        // Closing asks; No closes without writing anything.
        e.click("Command2");
        QCOMPARE(e.dialogs->questions, QStringList{question});
        QVERIFY(!e.window->isVisible());
        QCOMPARE(QDir(e.tmp.path()).entryList(QDir::Files).size(), 3);
    }

    void everyLoadIsAnUndoStepAndResetsThePicker_data()
    {
        QTest::addColumn<QString>("load");
        QTest::addColumn<QString>("name"); // the map name after the load
        const char *const rows[][2] = {
            {"Command1", "Base.map"}, {"Command47", "Fort.map"}, {"File1", "Castle.map"}};
        for (const auto &[load, name] : rows)
            QTest::newRow(load) << QString(load) << QString(name);
    }

    void everyLoadIsAnUndoStepAndResetsThePicker()
    {
        QFETCH(QString, load);
        QFETCH(QString, name);
        Editor e;
        e.pick("M03");
        e.clickCell(5, 5);
        e.type("Text4", QStringLiteral("7"));
        e.dialogs->inputs = {"Fort"};
        if (load == QLatin1String("File1")) {
            auto *list = e.get<QListWidget>("File1");
            const QPoint item = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item);
        } else {
            e.click(qPrintable(load));
        }
        QCOMPARE(e.text("Text1"), name);
        // The picker, the swatch and a click all say "T02".
        QCOMPARE(e.get<QComboBox>("Combo1")->currentText(), QStringLiteral("T02"));
        QCOMPARE(e.swatch(), qRgb(0, 119, 0));
        e.clickCell(1, 1);
        QCOMPARE(e.doc().map().cell(1, 1), QByteArray("T02"));
        // Undo takes back that click, then the load: cells, flags and name.
        e.key(Qt::Key_Z, Qt::ControlModifier);
        e.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cell(5, 5), QByteArray("M03"));
        QCOMPARE(e.colour(5, 5), qRgb(112, 112, 112));
        QCOMPARE(e.text("Text4") + e.text("Text1"), QStringLiteral("7Base.map"));
        e.key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(e.text("Text1"), name);
        QVERIFY(e.window->close());
        QCOMPARE(e.dialogs->questions, QStringList{question});
    }

    void newMapNames_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("name");
        const char *const rows[][2] = {{"Fort", "Fort.map"},
                                       {"my.MAP.old", "my.MAP.old"},
                                       {"   ", "Castle.map"},
                                       {"", "Castle.map"},
                                       {"Base", "Base.map"}};
        for (const auto &[answer, name] : rows)
            QTest::addRow("'%s'", answer) << QString(answer) << QString(name);
    }

    void newMapNames()
    {
        QFETCH(QString, answer);
        QFETCH(QString, name);
        Editor e;
        e.type("Text1", QStringLiteral("Castle.map"));
        e.dialogs->inputs = {answer};
        e.click("Command47");
        QCOMPARE(e.text("Text1"), name);
    }

    void savesListsAndRefuses()
    {
        Editor e;
        // The default map is refused; Yes at closing then keeps the window.
        e.clickCell(1, 40);
        e.click("Command15");
        QVERIFY(e.dialogs->messages.value(0).startsWith(QLatin1String("Not Saved!")));
        e.dialogs->answers = {true};
        QVERIFY(!e.window->close());
        // A map that cannot be read is told (and undoable, like every load).
        e.type("Text1", QStringLiteral("Gone.map"));
        e.click("Command1");
        QVERIFY(e.dialogs->messages.last().contains(QLatin1String("Gone.map")));
        e.key(Qt::Key_Z, Qt::ControlModifier);
        // Saved under a name typed in the name box, the map is listed at once;
        // the author may stop at the map check's warning.
        e.type("Text1", QStringLiteral("Fort.map"));
        e.dialogs->passWarnings = false;
        e.key(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!QFile::exists(e.tmp.file(QStringLiteral("Fort.map"))));
        e.dialogs->passWarnings = true;
        e.key(Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(e.dialogs->messages.last(), QStringLiteral("Saved."));
        QVERIFY(e.dialogs->warnings.value(0).contains(QLatin1String("unknown code")));
        QCOMPARE(e.get<QListWidget>("File1")->item(2)->text(), QStringLiteral("Fort.map"));
        QVERIFY(!e.doc().isModified());
        QVERIFY(e.window->close());
    }

    void toolsAndViewFollowTheirKeys()
    {
        Editor e;
        e.pick("W03");
        e.key(Qt::Key_F);
        e.clickCell(20, 20);
        QCOMPARE(e.doc().map().cells.count("W03"), 1600 - 4);
        e.key(Qt::Key_I);
        e.clickCell(2, 1);
        QCOMPARE(e.get<QComboBox>("Combo1")->currentText(), QStringLiteral("S01"));
        QCOMPARE(e.swatch(), qRgb(238, 0, 238));
        e.key(Qt::Key_R);
        QTest::mouseMove(e.view(), cellPos(36, 5));
        QTest::mousePress(e.view(), Qt::LeftButton, {}, cellPos(36, 5));
        QTest::mouseMove(e.view(), QPoint(426, 75));
        QTest::mouseRelease(e.view(), Qt::LeftButton, {}, QPoint(426, 75));
        QCOMPARE(e.doc().map().cells.count("S01"), 5 * 3 + 1);
        // Zoomed to 200%, the pointer's cell and the paint follow.
        e.key(Qt::Key_B);
        e.key(Qt::Key_Plus, Qt::ControlModifier);
        e.key(Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(e.view()->size(), QSize(854, 838));
        e.get<QScrollArea>("mapScroll")->ensureVisible(0, 0);
        e.clickCell(3, 6); // cell (1, 3) at 200%
        QCOMPARE(e.doc().map().cell(1, 3), QByteArray("S01"));
        QCOMPARE(e.get<QLabel>("statusZoom")->text(), QStringLiteral("Zoom: 200%"));
    }
};

QTEST_MAIN(TestForm12)
#include "tst_form12.moc"
