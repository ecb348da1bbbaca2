// The engine program on a save it cannot use, and its board window in a
// person's game, where the test stands in for the connector and the other
// player, writing their moves in this side's numbers. Listed moves are played
// by the whole-game tests, the script's bounds by fuzz_engine_files.

#include "armies.h"
#include "boardview.h"
#include "boardwindow.h"
#include "enginefolder.h"
#include "enginegame.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QTest>

namespace {

/// The host's side of a game (see setUpHost) in its window.
struct Host
{
    explicit Host(const QByteArray &script, const QByteArray &fullScreen = "0")
    {
        QString error;
        if (!setUpHost(folder, script, fullScreen) || !game.start(&error))
            qFatal("game not started: %s", qPrintable(error));
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

class TestEngineGame : public QObject
{
    Q_OBJECT

private slots:
    void aSaveTooLargeEndsTheProgram()
    {
        // Any save the board cannot read is refused with an error text
        // (fuzz_engine_files); here the program ends on one, found without
        // regard to letter case, and sends nothing.
        TempGameFolder folder;
        QVERIFY(folder.installEngine() && setUpHost(folder, "window hidden\r\n"));
        QVERIFY(QFile::remove(folder.file(QStringLiteral("HostGame.sav"))));
        QVERIFY(folder.write(QStringLiteral("HOSTGAME.SAV"),
                             QByteArray(EngineFolder::MaxFileBytes + 1, '0')));
        QProcess engine;
        engine.setWorkingDirectory(folder.path());
        engine.start(folder.file(QStringLiteral("HvdAIS2p.EXE")));
        QVERIFY(engine.waitForFinished(10000));
        QCOMPARE(engine.exitCode(), 1);
        QVERIFY(folder.read(QStringLiteral("EngineLog.txt")).contains("larger than"));
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("Send/AICommand.xml"))));
    }

    void aPersonPlaysToTheKind12Flag()
    {
        Host host("player person\r\n", "1");
        QVERIFY(QTest::qWaitForWindowExposed(host.window.get()) && host.hintShown());
        QVERIFY(host.window->isFullScreen());
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
    }
};

QTEST_MAIN(TestEngineGame)
#include "tst_enginegame.moc"
