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
#include <QTest>

namespace {

/// Answers the editor's boxes from a script and records what they showed;
/// the map check's warnings before a save are passed.
class ScriptedDialogs : public EditorDialogs
{
public:
    QStringList messages, questions, warnings;
    QStringList inputs; // answers of the input box in turn; empty is Cancel

    void message(QWidget *, const QString &, const QString &text) override { messages << text; }
    bool askYesNo(QWidget *, const QString &, const QString &text) override
    {
        const bool warning = text.startsWith(QLatin1String("The map check found problems"));
        (warning ? warnings : questions) << text;
        return warning;
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

/// A game folder with "Base.map" (grass of height 2 with rock and solids in
/// the first row and an unknown code) and "Castle.map" (all rock), and the
/// editor opened on it with scripted boxes.
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

    const MapData &map() const { return window->document().map(); }
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

    void clickCell(int x, int y, Qt::MouseButton button = Qt::LeftButton) const
    {
        QTest::mouseMove(view(), cellPos(x, y));
        QTest::mouseClick(view(), button, {}, cellPos(x, y));
    }

    /// Presses at one point, moves to the next and releases at the last.
    void drag(Qt::MouseButton button, QPoint from, QPoint to, QPoint release = {}) const
    {
        QTest::mouseMove(view(), from);
        QTest::mousePress(view(), button, {}, from);
        QTest::mouseMove(view(), to);
        QTest::mouseRelease(view(), button, {}, release.isNull() ? to : release);
    }

    TempGameFolder tmp;
    ScriptedDialogs *dialogs = nullptr;
    std::unique_ptr<Form12> window;
};

} // namespace

class TestForm12 : public QObject
{
    Q_OBJECT

private slots:
    void paintsWithToolsAndAsksAtClosing()
    {
        Editor e;
        // An unknown code takes the colour drawn before it ("zz9" after "S20").
        QCOMPARE(e.colour(4, 1), e.colour(3, 1));
        // A left drag paints every cell it enters after the first; released
        // outside the view it is no click, so the changed flag stays clear.
        e.pick("S05");
        e.drag(Qt::LeftButton, cellPos(2, 5), cellPos(3, 5), QPoint(600, 55));
        QCOMPARE(e.map().cell(2, 5) + e.map().cell(3, 5), QByteArray("T02S05"));
        QCOMPARE(e.colour(3, 5), qRgb(170, 0, 0));
        QCOMPARE(e.window->windowTitle(), QStringLiteral("HvMapEd(Base.map) X: 3  Y: 5   G: T02"));
        QVERIFY(!e.window->document().isChanged());
        // A right drag swallows the click of its release; typing into the
        // picker chooses nothing; a blank new name loads nothing.
        e.drag(Qt::RightButton, cellPos(6, 6), cellPos(7, 6));
        QTest::keyClicks(e.get<QComboBox>("Combo1")->lineEdit(), QStringLiteral("X01\r\t"));
        e.dialogs->inputs = {"   "};
        QTest::mouseClick(e.get<QPushButton>("Command47"), Qt::LeftButton);
        QCOMPARE(e.map().cell(7, 6) + e.map().cell(3, 5), QByteArray("T02S05"));
        // A click paints with either button and sets the changed flag.
        e.clickCell(8, 6, Qt::RightButton);
        QCOMPARE(e.map().cell(8, 6), QByteArray("S05"));
        QVERIFY(e.window->document().isChanged());
        // The pipette's key (picker and swatch follow; the other tools are
        // the document's).
        QTest::keyClick(e.window.get(), Qt::Key_I);
        e.clickCell(2, 1);
        QCOMPARE(e.get<QComboBox>("Combo1")->currentText(), QStringLiteral("S01"));
        QCOMPARE(e.swatch(), qRgb(238, 0, 238));
        // Closing asks; No closes without writing anything.
        QTest::mouseClick(e.get<QPushButton>("Command2"), Qt::LeftButton);
        QCOMPARE(e.dialogs->questions.size(), 1);
        QVERIFY(!e.window->isVisible());
        QCOMPARE(QDir(e.tmp.path()).entryList(QDir::Files).size(), 2);
    }

    void everyLoadIsAnUndoStepAndResetsThePicker_data()
    {
        QTest::addColumn<QString>("load");
        QTest::addColumn<QString>("answer"); // to the new map's name box
        QTest::addColumn<QString>("name");   // the map name after the load
        const char *const rows[][3] = {{"Command1", "", "Base.map"},
                                       {"Command47", "Fort", "Fort.map"},
                                       {"Command47", "my.MAP.old", "my.MAP.old"},
                                       {"File1", "", "Castle.map"}};
        for (const auto &[load, answer, name] : rows)
            QTest::addRow("%s %s", load, answer) << load << answer << QString(name);
    }

    void everyLoadIsAnUndoStepAndResetsThePicker()
    {
        QFETCH(QString, load);
        QFETCH(QString, answer);
        QFETCH(QString, name);
        Editor e;
        e.pick("M03");
        e.clickCell(5, 5);
        e.type("Text4", QStringLiteral("7"));
        e.dialogs->inputs = {answer};
        if (load == QLatin1String("File1")) {
            auto *list = e.get<QListWidget>("File1");
            const QPoint item = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item);
        } else {
            QTest::mouseClick(e.get<QPushButton>(qPrintable(load)), Qt::LeftButton);
        }
        QCOMPARE(e.text("Text1"), name);
        // The picker, the swatch and a click all say "T02".
        QCOMPARE(e.get<QComboBox>("Combo1")->currentText(), QStringLiteral("T02"));
        QCOMPARE(e.swatch(), qRgb(0, 119, 0));
        e.clickCell(1, 1);
        QCOMPARE(e.map().cell(1, 1), QByteArray("T02"));
        // Undo takes back that click, then the load: cells, flags and name.
        QTest::keyClick(e.window.get(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(e.window.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.colour(5, 5), qRgb(112, 112, 112));
        QCOMPARE(e.text("Text4") + e.text("Text1"), QStringLiteral("7Base.map"));
    }

    void savesAndListsTheMap()
    {
        // Saved under a name typed in the name box, past the map check's
        // warning, the map is listed at once.
        Editor e;
        e.type("Text1", QStringLiteral("Fort.map"));
        QTest::mouseClick(e.get<QPushButton>("Command15"), Qt::LeftButton);
        QCOMPARE(e.dialogs->messages, QStringList{"Saved."});
        QVERIFY(e.dialogs->warnings.value(0).contains(QLatin1String("unknown code")));
        QCOMPARE(e.get<QListWidget>("File1")->item(2)->text(), QStringLiteral("Fort.map"));
        QVERIFY(e.window->close());
    }
};

QTEST_MAIN(TestForm12)
#include "tst_form12.moc"
