// The map document's edits and history, without a window.

#include "mapdocument.h"
#include "mapfile.h"
#include "tempgamefolder.h"

#include <QSignalSpy>
#include <QTest>

namespace {

/// Grass with two rock cells that touch only at their corners.
MapData grass()
{
    MapData map;
    map.cells.fill("T02");
    map.setCell(5, 5, "M00");
    map.setCell(6, 6, "M00");
    map.setCell(7, 1, "q2Z"); // unknown
    return map;
}

} // namespace

class TestMapDocument : public QObject
{
    Q_OBJECT

private slots:
    void editsAreStepsThatUndoAndRedoExactly()
    {
        TempGameFolder tmp;
        QVERIFY(tmp.write(QStringLiteral("Base.map"), MapFile::serialize(grass())));
        MapDocument doc;
        QVERIFY(doc.load(tmp.path(), QStringLiteral("Base.map")));
        const MapData start = doc.map();
        const QImage startView = doc.view();
        QUndoStack *undo = doc.undoStack();
        QSignalSpy cells(&doc, &MapDocument::cellsChanged);

        // A stroke is one step, a cell painted twice in it included; a paint
        // outside a stroke is a step of its own.
        QVERIFY(doc.pick("S03"));
        doc.beginStroke();
        doc.paint(1, 1);
        doc.paint(2, 1);
        QVERIFY(doc.pick("W02"));
        doc.paint(1, 1);
        doc.paint(7, 1);
        doc.endStroke();
        doc.paint(3, 1);
        doc.paint(3, 1); // already W02: nothing
        QCOMPARE(undo->count(), 2);
        QCOMPARE(cells.size(), 5);
        QCOMPARE(doc.map().cell(1, 1), QByteArray("W02"));
        undo->undo();
        undo->undo();
        QCOMPARE(doc.map().cells, start.cells);
        QCOMPARE(doc.view(), startView);

        // Fill goes through sides only: the diagonal rock stays.
        QVERIFY(doc.fill(5, 5));
        QCOMPARE(doc.map().cell(5, 5), QByteArray("W02"));
        QCOMPARE(doc.map().cell(6, 6), QByteArray("M00"));
        QVERIFY(!doc.fill(5, 5)); // already the selected code
        QVERIFY(doc.fill(1, 1));
        QCOMPARE(doc.map().cells.count("W02"), 1600 - 2);
        const MapData filled = doc.map();
        // A rectangle is clamped to the grid.
        QVERIFY(doc.pick("X04"));
        QVERIFY(doc.fillRectangle(QPoint(38, -5), QPoint(45, 2)));
        QCOMPARE(doc.map().cells.count("X04"), 3 * 2);
        QCOMPARE(doc.map().cell(40, 1), QByteArray("X04"));
        QVERIFY(!doc.fillRectangle(QPoint(40, 1), QPoint(39, 2)));
        undo->undo();
        QCOMPARE(doc.map().cells, filled.cells);
        undo->undo();
        undo->undo();
        QCOMPARE(doc.map().cells, start.cells);
        QCOMPARE(doc.view(), startView);
        undo->redo();
        undo->redo();
        QCOMPARE(doc.map().cells, filled.cells);

        // Typing into one box is one step; typed back, the step is gone.
        doc.setFlag(2, "1");
        doc.setFlag(2, "12");
        doc.setFlag(3, "4");
        QCOMPARE(undo->count(), 4);
        undo->undo();
        undo->undo();
        QCOMPARE(doc.map().flags.at(2), QByteArray("0"));
        doc.setFlag(2, "5");
        doc.setFlag(2, "0");
        QCOMPARE(undo->count(), 2);
    }

    void modifiedCoversEveryDifferenceAndKeepsTheChangedFlag()
    {
        TempGameFolder tmp;
        QVERIFY(tmp.write(QStringLiteral("Base.map"), MapFile::serialize(grass())));
        MapDocument doc;
        QVERIFY(doc.load(tmp.path(), QStringLiteral("Base.map")));
        QSignalSpy modified(&doc, &MapDocument::modifiedChanged);
        QVERIFY(!doc.isModified());
        doc.pick("M01");
        doc.paint(9, 9);
        QVERIFY(doc.isModified());
        QVERIFY(!doc.isChanged());
        doc.undoStack()->undo();
        QVERIFY(!doc.isModified());
        QCOMPARE(modified.size(), 2);

        // A click's changed flag goes with its undo, but stays over a load.
        doc.paint(9, 9);
        doc.setChanged(true);
        doc.undoStack()->undo();
        QVERIFY(!doc.isChanged());
        doc.undoStack()->redo();
        doc.setChanged(true);
        QVERIFY(doc.load(tmp.path(), QStringLiteral("Base.map")));
        QCOMPARE(doc.undoStack()->count(), 0);
        QVERIFY(doc.isChanged());
        QVERIFY(doc.isModified());

        // A save is the new point of comparison; the default map is refused.
        QString error;
        QVERIFY(!doc.save(tmp.path(), QStringLiteral("BASE.map"), &error));
        QCOMPARE(error, MapFile::refusalText());
        QVERIFY(doc.isModified());
        doc.setFlag(0, " 9 ");
        QVERIFY(doc.save(tmp.path(), QStringLiteral("Fort.map"), &error));
        QVERIFY(!doc.isModified());
        QVERIFY(tmp.read(QStringLiteral("Fort.map")).contains("[FLAGS]\r\n9\r\n"));
        doc.undoStack()->undo();
        QVERIFY(doc.isModified());
        doc.undoStack()->redo();
        QVERIFY(!doc.isModified());
    }
};

QTEST_GUILESS_MAIN(TestMapDocument)
#include "tst_mapdocument.moc"
