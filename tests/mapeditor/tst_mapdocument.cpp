// The map document's edits, loads and history, without a window; a load as
// one undo step and the picture's colours are driven through the window
// (tst_form12).

#include "mapdocument.h"
#include "mapfile.h"
#include "tempgamefolder.h"

#include <QTest>

class TestMapDocument : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        // Grass with two rock cells that touch only at their corners and an
        // unknown code, which takes the colour of the cell before it.
        MapData map;
        map.cells.fill("T02");
        map.setCell(5, 5, "M00");
        map.setCell(6, 6, "M00");
        map.setCell(7, 1, "q2Z");
        QVERIFY(m_tmp.write(QStringLiteral("Base.map"), MapFile::serialize(map)));
        m_doc = std::make_unique<MapDocument>();
        QVERIFY(m_doc->load(m_tmp.path(), QStringLiteral("Base.map")));
        m_doc->undoStack()->clear();
    }

    void editsAreStepsThatUndoAndRedoExactly()
    {
        MapDocument &doc = *m_doc;
        const MapData start = doc.map();
        const QImage startView = doc.view();
        QUndoStack *undo = doc.undoStack();
        // A stroke is one step, a cell painted twice in it included; a paint
        // outside a stroke is a step of its own, a cell left as it is none.
        QVERIFY(doc.pick("S03"));
        doc.beginStroke();
        doc.paint(1, 1);
        QVERIFY(doc.pick("W02") && !doc.pick("W06"));
        doc.paint(1, 1);
        doc.paint(7, 1);
        doc.endStroke();
        doc.paint(3, 1);
        doc.paint(3, 1);
        QCOMPARE(undo->count(), 2);
        // Fill goes through sides only: the diagonal rock stays; a fill or
        // rectangle that changes nothing is no step; a rectangle is clamped.
        QVERIFY(doc.fill(5, 5) && !doc.fill(5, 5) && doc.fill(2, 2));
        QCOMPARE(doc.map().cells.count("W02"), 1600 - 1);
        QVERIFY(doc.pick("X04") && doc.fillRectangle(QPoint(38, -5), QPoint(45, 2)));
        QVERIFY(!doc.fillRectangle(QPoint(40, 1), QPoint(39, 2)));
        QCOMPARE(doc.map().cells.count("X04"), 3 * 2);
        const MapData edited = doc.map();
        while (undo->canUndo())
            undo->undo();
        QCOMPARE(doc.map().cells, start.cells);
        QCOMPARE(doc.view(), startView);
        while (undo->canRedo())
            undo->redo();
        QCOMPARE(doc.map().cells, edited.cells);
        // Typing into one box is one step; typed back, the step is gone.
        doc.setFlag(2, "1");
        doc.setFlag(2, "12");
        doc.setFlag(3, "4");
        QCOMPARE(undo->count(), 7);
        undo->undo();
        undo->undo();
        QCOMPARE(doc.map().flags.at(2), QByteArray("0"));
        doc.setFlag(2, "5");
        doc.setFlag(2, "0");
        QCOMPARE(undo->count(), 5);
    }

    void modifiedCoversEveryDifferenceAndKeepsTheChangedFlag()
    {
        MapDocument &doc = *m_doc;
        doc.pick("M01");
        doc.paint(9, 9);
        QVERIFY(doc.isModified() && !doc.isChanged());
        // A click's changed flag goes with its undo, but stays over a load
        // (a load as an undo step: tst_form12). A file that cannot be read is
        // a load of an empty map.
        doc.setChanged(true);
        doc.undoStack()->undo();
        QVERIFY(!doc.isChanged() && !doc.isModified());
        doc.undoStack()->redo();
        doc.setChanged(true);
        QVERIFY(!doc.load(m_tmp.path(), QStringLiteral("Gone.map")));
        QVERIFY(doc.isChanged() && doc.map().cells == QList<QByteArray>(1600));
        doc.undoStack()->undo();
        QCOMPARE(doc.map().cell(9, 9), QByteArray("M01"));
        // A save is the new point of comparison.
        QVERIFY(doc.save(m_tmp.path(), QStringLiteral("Fort.map")));
        doc.setFlag(0, " 9 ");
        QVERIFY(doc.isModified());
        doc.undoStack()->undo();
        QVERIFY(!doc.isModified());
    }

private:
    TempGameFolder m_tmp;
    std::unique_ptr<MapDocument> m_doc;
};

QTEST_GUILESS_MAIN(TestMapDocument)
#include "tst_mapdocument.moc"
