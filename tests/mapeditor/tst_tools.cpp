// The authoring tools, the history, the view and the close question, driven
// through the window with real mouse and key events.

#include "editorfixture.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace {

QList<QPoint> row(int y, int from, int to)
{
    QList<QPoint> cells;
    for (int x = from; x <= to; ++x)
        cells << QPoint(x, y);
    return cells;
}

/// The bytes of a map file written by hand: 40 rows of "code " forty times,
/// "[FLAGS]" and the twelve flags trimmed of spaces, CR LF after every line.
QByteArray fileBytes(const MapData &map)
{
    QByteArray bytes;
    for (int y = 1; y <= 40; ++y) {
        for (int x = 1; x <= 40; ++x)
            bytes += map.cells.at((y - 1) * 40 + x - 1) + " ";
        bytes += "\r\n";
    }
    bytes += "[FLAGS]\r\n";
    for (const QByteArray &flag : map.flags) {
        QByteArray trimmed = flag;
        while (trimmed.startsWith(' '))
            trimmed.remove(0, 1);
        while (trimmed.endsWith(' '))
            trimmed.chop(1);
        bytes += trimmed + "\r\n";
    }
    return bytes;
}

QString statusText(const Editor &e, const char *name)
{
    return e.get<QLabel>(name)->text();
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void paintStrokeIsOneStepThatUndoAndRedoRestore()
    {
        Editor e;
        const MapData start = e.doc().map();
        const QImage startView = e.doc().view();
        e.pick("S05");
        // Released beyond the view: no click, the changed flag stays clear,
        // yet closing must ask, as the map differs from the file.
        QTest::mouseMove(e.view(), cellPos(2, 5));
        QTest::mousePress(e.view(), Qt::LeftButton, {}, cellPos(2, 5));
        for (const QPoint &cell : row(5, 3, 6))
            QTest::mouseMove(e.view(), cellPos(cell.x(), cell.y()));
        QTest::mouseRelease(e.view(), Qt::LeftButton, {}, QPoint(600, 55));
        e.drag(row(7, 1, 3)); // a second stroke, clicked on its last cell
        const MapData painted = e.doc().map();
        QCOMPARE(painted.cell(3, 5), QByteArray("S05"));
        QCOMPARE(painted.cell(1, 7), QByteArray("T02")); // the press paints nothing
        QCOMPARE(painted.cell(3, 7), QByteArray("S05"));
        QVERIFY(e.doc().isChanged());
        QCOMPARE(statusText(e, "statusSaved"), QStringLiteral("Unsaved changes"));

        e.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cell(3, 7), QByteArray("T02"));
        QCOMPARE(e.doc().map().cell(6, 5), QByteArray("S05"));
        // Undoing to the map as loaded gives back the exact grid and view,
        // and closing no longer asks.
        e.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cells, start.cells);
        QCOMPARE(e.doc().view(), startView);
        QVERIFY(!e.doc().isModified());
        QCOMPARE(statusText(e, "statusSaved"), QStringLiteral("No unsaved changes"));
        e.key(Qt::Key_Y, Qt::ControlModifier);
        e.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(e.doc().map().cells, painted.cells);
        QCOMPARE(e.colour(5, 5), qRgb(170, 0, 0));
        e.key(Qt::Key_Z, Qt::ControlModifier);
        e.key(Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(e.window->close());
        QVERIFY(e.dialogs->questions.isEmpty());
    }

    void fillRectangleAndPickTools()
    {
        Editor e;
        const MapData start = e.doc().map();
        const QImage startView = e.doc().view();
        // Fill: the connected cells of the clicked code, through their sides.
        e.key(Qt::Key_F);
        QCOMPARE(e.window->tool(), Form12::Fill);
        e.pick("W03");
        e.clickCell(20, 20);
        int water = int(e.doc().map().cells.count("W03"));
        QCOMPARE(water, 1600 - 4);
        QCOMPARE(e.doc().map().cell(3, 1), QByteArray("S20"));
        // The unknown code is filled too and its undo brings back the
        // colour it took from the cell before it.
        e.clickCell(4, 1);
        QCOMPARE(e.doc().map().cell(4, 1), QByteArray("W03"));
        QCOMPARE(e.colour(4, 1), qRgb(0, 0, 221));
        e.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.colour(4, 1), qRgb(8, 0, 0));
        e.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cells, start.cells);
        QCOMPARE(e.doc().view(), startView);
        e.key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cells.count("W03"), water);

        // Rectangle: a right drag spans it and its outline, the release
        // fills it; beyond the grid it is clamped.
        e.key(Qt::Key_R);
        e.pick("M07");
        QTest::mouseMove(e.view(), cellPos(36, 5));
        QTest::mousePress(e.view(), Qt::RightButton, {}, cellPos(36, 5));
        QTest::mouseMove(e.view(), cellPos(38, 7));
        const QImage shown = e.view()->grab().toImage();
        QCOMPARE(shown.pixel(360, 55), QColor(Qt::cyan).rgb()); // the outline's left edge
        QCOMPARE(e.doc().map().cell(37, 6), QByteArray("W03")); // nothing filled yet
        QTest::mouseMove(e.view(), QPoint(426, 75));
        QTest::mouseRelease(e.view(), Qt::RightButton, {}, QPoint(426, 75));
        const MapData &map = e.doc().map();
        QCOMPARE(map.cells.count("M07"), 5 * 3);
        QCOMPARE(
            (QList<QByteArray>{map.cell(35, 5), map.cell(36, 5), map.cell(40, 7), map.cell(36, 8)}),
            (QList<QByteArray>{"W03", "M07", "M07", "W03"}));
        QCOMPARE(e.colour(40, 7), qRgb(176, 176, 176));
        e.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cells.count("M07"), 0);
        QCOMPARE(e.doc().map().cells.count("W03"), water);
        e.key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cells.count("M07"), 15);

        // Pick: the cell's code becomes the selected code, the picker's text
        // and the swatch follow; an unknown code is not taken.
        e.key(Qt::Key_I);
        e.clickCell(2, 1);
        QCOMPARE(e.doc().selectedCode(), QByteArray("S01"));
        QCOMPARE(e.get<QComboBox>("Combo1")->currentText(), QStringLiteral("S01"));
        const QImage swatch = e.get<QLabel>("Picture18")->pixmap().toImage();
        QCOMPARE(swatch.pixel(2, 2), qRgb(238, 0, 238));
        e.key(Qt::Key_Z, Qt::ControlModifier);
        e.key(Qt::Key_Z, Qt::ControlModifier);
        e.key(Qt::Key_Z, Qt::ControlModifier); // back to the map as loaded
        e.clickCell(4, 1);
        QCOMPARE(e.doc().selectedCode(), QByteArray("S01"));
        // Paint again, by its key: a click paints the picked code.
        e.key(Qt::Key_B);
        e.clickCell(10, 10);
        QCOMPARE(e.doc().map().cell(10, 10), QByteArray("S01"));

        // Loading clears the history.
        e.click("Command1");
        QCOMPARE(e.doc().map().cells, start.cells);
        QVERIFY(!e.window->findChild<QAction *>(QStringLiteral("actionUndo"))->isEnabled());
        e.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(e.doc().map().cells, start.cells);
    }

    void closingAsksForEveryUnsavedDifference()
    {
        // A typed flag, a fill and a rectangle each ask; a typed flag typed
        // back, a paint click undone or a save do not.
        {
            Editor e;
            QTest::keyClicks(e.get<QLineEdit>("Text5"), QStringLiteral("9"));
            QVERIFY(e.doc().isModified());
            QVERIFY(!e.doc().isChanged());
            QVERIFY(e.window->close());
            QCOMPARE(e.dialogs->questions, QStringList{question});
            QCOMPARE(e.files(), e.before);
        }
        for (const Qt::Key tool : {Qt::Key_F, Qt::Key_R}) {
            Editor e;
            e.pick("W01");
            e.key(tool);
            e.drag({QPoint(5, 5), QPoint(6, 6)});
            QVERIFY(e.window->close());
            QCOMPARE(e.dialogs->questions, QStringList{question});
        }
        {
            Editor e;
            auto *box = e.get<QLineEdit>("Text5");
            QTest::keyClicks(box, QStringLiteral("9"));
            QTest::keyClick(box, Qt::Key_Backspace);
            e.pick("W01");
            e.clickCell(3, 3);
            QVERIFY(e.doc().isChanged());
            e.key(Qt::Key_Z, Qt::ControlModifier);
            QVERIFY(!e.doc().isChanged());
            QVERIFY(e.window->close());
            QVERIFY(e.dialogs->questions.isEmpty());
        }
        {
            // Typed flags are one undo step per box and undo shows them back.
            Editor e;
            QTest::keyClicks(e.get<QLineEdit>("Text2"), QStringLiteral("12"));
            QTest::keyClicks(e.get<QLineEdit>("Text3"), QStringLiteral("5"));
            e.key(Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(e.flags().mid(0, 2), (QStringList{"312", "2"}));
            e.key(Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(e.flags(), startFlags);
            QVERIFY(!e.doc().isModified());
            // A map saved and then drawn on by a stroke released outside asks;
            // undone back to the save, it does not.
            e.dialogs->inputs = {"Fort"};
            e.click("Command47");
            e.click("Command15");
            QVERIFY(!e.doc().isModified());
            e.pick("W01");
            QTest::mouseMove(e.view(), cellPos(8, 8));
            QTest::mousePress(e.view(), Qt::LeftButton, {}, cellPos(8, 8));
            QTest::mouseMove(e.view(), cellPos(9, 8));
            QTest::mouseRelease(e.view(), Qt::LeftButton, {}, QPoint(-20, 80));
            QVERIFY(e.doc().isModified());
            e.key(Qt::Key_Z, Qt::ControlModifier);
            QVERIFY(e.window->close());
            QVERIFY(e.dialogs->questions.isEmpty());
        }
    }

    void savedFileIsByteIdenticalAndTheCheckIsOffered()
    {
        Editor e;
        e.dialogs->inputs = {"Fort"};
        e.click("Command47");
        e.pick("X03");
        e.clickCell(12, 12);
        e.key(Qt::Key_R);
        e.drag({QPoint(1, 39), QPoint(3, 40)});
        auto *box = e.get<QLineEdit>("Text2");
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral(" 7 "));
        // Refused at first: the author stops at the map check's warning.
        e.dialogs->passWarnings = false;
        e.click("Command15");
        QCOMPARE(e.dialogs->warnings.size(), 1);
        QVERIFY(e.dialogs->warnings.first().contains(QLatin1String("unknown code")));
        QVERIFY(e.dialogs->messages.isEmpty());
        QVERIFY(!QFile::exists(e.tmp.file(QStringLiteral("Fort.map"))));
        e.dialogs->passWarnings = true;
        e.click("Command15");
        QCOMPARE(e.dialogs->messages, QStringList{QStringLiteral("Saved.")});

        MapData expected = baseMap();
        expected.setCell(12, 12, "X03");
        for (int y = 39; y <= 40; ++y)
            for (int x = 1; x <= 3; ++x)
                expected.setCell(x, y, "X03");
        expected.flags[0] = " 7 ";
        QCOMPARE(e.tmp.read(QStringLiteral("Fort.map")), fileBytes(expected));
        QVERIFY(!e.doc().isModified());
        QVERIFY(e.window->close());
        QVERIFY(e.dialogs->questions.isEmpty());
    }

    void viewZoomsScrollsAndShowsGridHoverAndStatus()
    {
        Editor e;
        auto *view = e.view();
        auto *scroll = e.get<QScrollArea>("mapScroll");
        // At 100% the view is its design size and nothing scrolls.
        QCOMPARE(view->size(), QSize(427, 419));
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        QCOMPARE(statusText(e, "statusZoom"), QStringLiteral("Zoom: 100%"));

        // The grid is off until asked for; it lies on the cells' edges.
        const QRgb edge = view->grab().toImage().pixel(100, 55);
        e.key(Qt::Key_G, Qt::ControlModifier);
        QVERIFY(view->grab().toImage().pixel(100, 55) != edge);
        QCOMPARE(view->grab().toImage().pixel(105, 55), edge);

        // The hovered cell is outlined; the status bar shows it and its code.
        QTest::mouseMove(view, cellPos(2, 1));
        QCOMPARE(view->grab().toImage().pixel(20, 12), QColor(Qt::white).rgb());
        QCOMPARE(statusText(e, "statusCell"), QStringLiteral("X: 2  Y: 1  G: S01"));
        // A screen reader reads the window by its current title.
        QAccessibleInterface *window = QAccessible::queryAccessibleInterface(e.window.get());
        QCOMPARE(window->text(QAccessible::Name),
                 QStringLiteral("HvMapEd(Base.map) X: 2  Y: 1   G: S01"));

        // Zoomed to 200%, the pointer's cell, the title and the paint follow.
        e.key(Qt::Key_Plus, Qt::ControlModifier);
        e.key(Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(e.window->zoomPercent(), 200);
        QCOMPARE(statusText(e, "statusZoom"), QStringLiteral("Zoom: 200%"));
        QCOMPARE(view->size(), QSize(854, 838));
        QTRY_VERIFY(scroll->horizontalScrollBar()->isVisible());
        scroll->horizontalScrollBar()->setValue(0);
        scroll->verticalScrollBar()->setValue(0);
        e.pick("W05");
        QTest::mouseMove(view, QPoint(2 * 35 + 1, 2 * 65 + 1)); // cell (3, 6)
        QCOMPARE(e.title(), QStringLiteral("HvMapEd(Base.map) X: 3  Y: 6   G: T02"));
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(71, 131));
        QCOMPARE(e.doc().map().cell(3, 6), QByteArray("W05"));
        QCOMPARE(view->grab().toImage().pixel(75, 135), qRgb(0, 0, 255));
        // Ctrl+0 is 100% again, where 20 pixels give cell 2 as they must.
        e.key(Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(view->size(), QSize(427, 419));
        QTest::mouseMove(view, QPoint(20, 15));
        QCOMPARE(e.doc().pointerCell(), QPoint(2, 1));
        e.key(Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(e.window->zoomPercent(), 75);
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
