#include "editorfixture.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

class TestForm12 : public QObject
{
    Q_OBJECT

private slots:
    void startsOnTheDefaultMapPaintsAndAsksAtClosing()
    {
        Editor e;
        QCOMPARE(e.title(), QStringLiteral("Halvard Map Editor"));
        QCOMPARE(e.get<QLineEdit>("Text1")->text(), QStringLiteral("Base.map"));
        QCOMPARE(e.flags(), startFlags);
        QCOMPARE(e.get<QComboBox>("Combo1")->count(), 58);
        QCOMPARE(e.doc().selectedCode(), QByteArray("T02"));
        QVERIFY(!e.doc().isChanged());
        auto *list = e.get<QListWidget>("File1");
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(2)->text(), QStringLiteral("lower.MAP"));
        QVERIFY(e.dialogs->messages.isEmpty());
        // The view's colours; an unknown code takes the colour drawn before it.
        QCOMPARE(e.colour(1, 1), qRgb(64, 64, 64));
        QCOMPARE(e.colour(2, 1), qRgb(238, 0, 238));
        QCOMPARE(e.colour(3, 1), qRgb(8, 0, 0));
        QCOMPARE(e.colour(4, 1), qRgb(8, 0, 0));
        // Every control is named for assistive tools and described by its design name.
        for (QWidget *w : e.window->findChildren<QWidget *>(QRegularExpression("^[A-Z]"))) {
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            QCOMPARE(w->accessibleDescription(), w->objectName());
        }

        // Typed flags change nothing.
        QTest::keyClicks(e.get<QLineEdit>("Text5"), QStringLiteral("9"));

        // A left drag paints every cell it enters after the first, and
        // leaves the map unchanged for closing.
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
        QCOMPARE(e.title(), QStringLiteral("HvMapEd(Base.map) X: 6  Y: 5   G: T02"));
        QVERIFY(!e.doc().isChanged());

        // A right drag swallows the click of its release.
        e.pick("X07");
        QTest::mouseMove(e.view(), cellPos(6, 6));
        QTest::mousePress(e.view(), Qt::RightButton, {}, cellPos(6, 6));
        QTest::mouseMove(e.view(), cellPos(7, 6));
        QTest::mouseRelease(e.view(), Qt::RightButton, {}, cellPos(7, 6));
        QCOMPARE(e.doc().map().cell(7, 6), QByteArray("T02"));
        QVERIFY(!e.doc().isChanged());

        // Showing an entry without choosing it, or typing into the picker
        // (Enter and Tab included), selects nothing: the swatch stays.
        auto *combo = e.get<QComboBox>("Combo1");
        const QImage swatch = e.get<QLabel>("Picture18")->pixmap().toImage();
        combo->setCurrentIndex(combo->findText(QStringLiteral("S05")));
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("S01\r\t"));
        QCOMPARE(e.doc().selectedCode(), QByteArray("X07"));
        QCOMPARE(e.get<QLabel>("Picture18")->pixmap().toImage(), swatch);

        // A click paints the chosen code, with either button, and marks the
        // map changed.
        e.clickCell(8, 6, Qt::RightButton);
        QCOMPARE(e.doc().map().cell(8, 6), QByteArray("X07"));
        QVERIFY(e.doc().isChanged());
        e.clickCell(9, 6);
        QCOMPARE(e.colour(9, 6), qRgb(204, 204, 0));
        QCOMPARE(e.colour(10, 6), qRgb(0, 119, 0));

        // Pointer positions to cells (halfway goes to the even cell); outside
        // the grid the title stays.
        const QList<QPair<int, int>> cases = {{10, 0}, {11, 1},   {20, 2},   {30, 2},
                                              {31, 3}, {409, 40}, {410, 40}, {411, 41}};
        for (const auto &[px, x] : cases) {
            QTest::mouseMove(e.view(), QPoint(px, 15));
            QCOMPARE(e.doc().pointerCell(), QPoint(x, 1));
        }
        QCOMPARE(e.title(), QStringLiteral("HvMapEd(Base.map) X: 40  Y: 1   G: T02"));

        // Closing asks; No closes without writing anything.
        e.click("Command2");
        QCOMPARE(e.dialogs->questions, QStringList{question});
        QVERIFY(!e.window->isVisible());
        QCOMPARE(e.files(), e.before);
    }

    void newMapNamesRefusalsAndFailures()
    {
        Editor e;
        // A map that cannot be read is told and shows the state of an empty file.
        e.setName(QStringLiteral("Gone.map"));
        e.click("Command1");
        QCOMPARE(e.dialogs->messages.size(), 1);
        QVERIFY(e.dialogs->messages.first().contains(QLatin1String("Gone.map")));
        QCOMPARE(e.flags(), QStringList(12, QStringLiteral("0")));
        QCOMPARE(e.colour(1, 1), qRgb(0, 0, 0));

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

        // The default map is refused in any letter case; a file that cannot
        // be written says why; never "Saved.".
        QVERIFY(QDir(e.tmp.path()).mkdir(QStringLiteral("Dir.map")));
        e.click("Command15");
        e.setName(QStringLiteral("BASE.MAP"));
        e.click("Command15");
        e.setName(QStringLiteral("Dir.map"));
        e.click("Command15");
        QCOMPARE(e.dialogs->messages.size(), 4);
        QVERIFY(e.dialogs->messages.last().startsWith(QLatin1String("Not Saved!")));
        e.setName(QStringLiteral("base.Map"));
        // Yes at closing: the save is refused, so the window stays with its changes.
        e.dialogs->answers = {true};
        QVERIFY(!e.window->close());
        QCOMPARE(e.dialogs->questions, QStringList{question});
        const QString refused = MapFile::refusalText();
        QCOMPARE(e.dialogs->messages.mid(1, 2), QStringList(2, refused));
        QCOMPARE(e.dialogs->messages.last(), refused);
        QVERIFY(e.window->isVisible());
        QVERIFY(e.doc().isChanged());
        QCOMPARE(e.files(), e.before);
    }

    void savesAndLoadsMaps()
    {
        Editor e;
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

        // A double click in the list, as the mouse sends it, loads that map;
        // Yes at closing saves it.
        auto *list = e.get<QListWidget>("File1");
        QCOMPARE(list->count(), 3); // filled once, at start-up
        const QPoint item = list->visualItemRect(list->item(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item);
        QCOMPARE(e.get<QLineEdit>("Text1")->text(), QStringLiteral("Castle.map"));
        QCOMPARE(e.colour(1, 1), qRgb(144, 144, 144));
        QCOMPARE(e.flags(), QStringList(12, QStringLiteral("0")));
        e.clickCell(20, 20);
        e.dialogs->answers = {true};
        QVERIFY(e.window->close());
        QCOMPARE(e.dialogs->messages, QStringList(2, QStringLiteral("Saved.")));
        QVERIFY(MapFile::read(e.tmp.path(), QStringLiteral("Castle.map"), &saved));
        QCOMPARE(saved.cell(20, 20), QByteArray("T02"));
        QCOMPARE(saved.cell(21, 20), QByteArray("M05"));
    }
};

QTEST_MAIN(TestForm12)
#include "tst_form12.moc"
