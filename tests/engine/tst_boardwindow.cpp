// The board window on a real game in a game folder; the test stands in for
// the connector and the other player, writing their moves in this side's
// numbers.

#include "armies.h"
#include "boardview.h"
#include "boardwindow.h"
#include "tempgamefolder.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTest>

namespace {

/// The host's side of a game (see setUpHost) in its window.
struct Host
{
    explicit Host(const QByteArray &script, const QByteArray &fullScreen = "0")
    {
        [&] {
            QVERIFY(setUpHost(folder, script, fullScreen));
            QString error;
            QVERIFY2(game.start(&error), qPrintable(error));
        }();
        window = std::make_unique<BoardWindow>(&game);
        window->showAsAsked();
    }

    void click(int row, int column)
    {
        const QRect picture = window->view()->pictureRect();
        const double cell = picture.width() / 40.0;
        QTest::mouseClick(window->view(), Qt::LeftButton, {},
                          picture.topLeft() +
                              QPointF((column + 0.5) * cell, (row + 0.5) * cell).toPoint());
    }

    bool hintShown() const { return window->findChild<QLabel *>("lblHint")->isVisible(); }

    TempGameFolder folder;
    EngineGame game{folder.path()};
    std::unique_ptr<BoardWindow> window;
};

} // namespace

class TestBoardWindow : public QObject
{
    Q_OBJECT

private slots:
    void aPersonPlaysToTheKind12Flag()
    {
        Host host("player person\r\n");
        QVERIFY(QTest::qWaitForWindowExposed(host.window.get()) && host.hintShown());
        // Refused moves explain themselves and write nothing.
        host.click(31, 19);
        QTest::keyClick(host.window->view(), Qt::Key_Up);
        QCOMPARE(host.window->reasonText(), QStringLiteral("Water cannot be entered."));
        // A click on an own flag, then on the cell east of it.
        host.click(20, 30);
        host.click(20, 31);
        QCOMPARE(host.window->turnText(), QStringLiteral("Client's turn"));
        QCOMPARE(exchange(host.folder, ArmyTexts::command("5001", 'S')),
                 ArmyTexts::command("5002", 'E') + "\r\n");
        QTRY_COMPARE(host.window->turnText(), QStringLiteral("Your turn (Host)"));
        // The host takes the client's kind 12 and has won; the hint goes.
        host.click(20, 31);
        host.click(20, 32);
        QCOMPARE(host.window->turnText(), QStringLiteral("Host won. You won!"));
        QVERIFY(!host.hintShown());
        auto *moves = host.window->findChild<QListWidget *>(QStringLiteral("lstMoves"));
        QCOMPARE(moves->item(2)->text(),
                 QStringLiteral("3. Host: flag 5002 (kind 1) east, takes a kind 12 flag"));
        // The water north of the kind 5 in the editor's colour, from the
        // editor's map library.
        const QImage &picture = host.window->canvas().image();
        QCOMPARE(picture.pixel(BoardCanvas::cellRect(30, 19).center()), qRgb(0, 0, 204));
    }

    void gameOverSaysWhy()
    {
        Host host("moves 1\r\n", "1");
        QVERIFY(host.window->isFullScreen());
        QTRY_VERIFY(QFile::exists(host.folder.file(QStringLiteral("Send/AICommand.xml"))));
        exchange(host.folder, ArmyTexts::command("5001", 'S'));
        QTRY_COMPARE(host.window->turnText(), QStringLiteral("Game over: the script ended."));
        QVERIFY(!host.hintShown());
    }
};

QTEST_MAIN(TestBoardWindow)
#include "tst_boardwindow.moc"
