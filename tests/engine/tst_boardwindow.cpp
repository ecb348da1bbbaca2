// The board window on two real games in two game folders, the host's and the
// client's, with the commands carried between them the way the connectors
// carry them; a person plays both sides by clicks and arrow keys.

#include "armies.h"
#include "boardview.h"
#include "boardwindow.h"
#include "tempgamefolder.h"

#include <QFile>
#include <QListWidget>
#include <QTest>

namespace {

// In the host's view, by number: the client's kind 2 on 5,5 (5001), the
// host's kind 1 on 20,30 (5002), the client's kind 12 on 20,32 (5003), the
// host's kind 5 on 31,19 below water (5004) and kind 12 on 31,20 (5005).
const Armies::Rows HostArmy = Armies::army({{20, 30, 1}, {31, 19, 5}, {31, 20, 12}});
const Armies::Rows ClientArmy = Armies::army({{34, 34, 2}, {19, 7, 12}});
constexpr int ObjectCount = 5;

QByteArray command(int flagId, char direction)
{
    return "<Root><Command FlagID='" + QByteArray::number(flagId) + "' Direction='" +
           QByteArray(1, direction) + "' SerpentJump='No'/></Root>\r\n";
}

/// One side: a game folder with Castle.map, its save file and a person's
/// script, the started game and its window.
struct Side
{
    Side(const QByteArray &role, const Armies::Rows &own, const Armies::Rows &opponent,
         const QByteArray &fullScreen = "0")
    {
        [&] {
            QVERIFY(QFile::copy(QStringLiteral(HVD_DATA_DIR "/Castle.map"),
                                folder.file(QStringLiteral("Castle.map"))));
            QVERIFY(folder.write(QStringLiteral("Control.ini"), "Castle.map\r\n" + role +
                                                                    "Game.sav\r\n" + fullScreen +
                                                                    "\r\n" + role + "\r\n"));
            QVERIFY(
                folder.write(QString::fromLatin1(role + "Game.sav"), Armies::save(own, opponent)));
            QVERIFY(folder.write(QStringLiteral("EngineScript.txt"), "player person\r\n"));
            QString error;
            QVERIFY2(game.start(&error), qPrintable(error));
        }();
        window = std::make_unique<BoardWindow>(&game);
        window->showAsAsked();
    }

    /// Clicks the middle of a cell of the board.
    void click(int row, int column)
    {
        BoardView *view = window->view();
        const QRect picture = view->pictureRect();
        const double cell = picture.width() / 40.0;
        QTest::mouseClick(view, Qt::LeftButton, {},
                          picture.topLeft() +
                              QPointF((column + 0.5) * cell, (row + 0.5) * cell).toPoint());
    }

    QByteArray sent() const { return folder.read(QStringLiteral("Send/AICommand.xml")); }

    /// Hands the command this side wrote to the other side, turned round.
    void carryTo(Side &other)
    {
        QByteArray text = sent();
        QVERIFY(QFile::remove(folder.file(QStringLiteral("Send/AICommand.xml"))));
        text.replace(23, 4, QByteArray::number(ObjectCount + 10001 - text.mid(23, 4).toInt()));
        text[40] = "SNWE"[QByteArray("NSEW").indexOf(text.at(40))];
        QVERIFY(other.folder.write(QStringLiteral("Receive/AICommand.tmp"), text));
        QVERIFY(QFile::rename(other.folder.file(QStringLiteral("Receive/AICommand.tmp")),
                              other.folder.file(QStringLiteral("Receive/AICommand.xml"))));
        // The other engine takes the file away once it has made the move.
        QTRY_VERIFY(!QFile::exists(other.folder.file(QStringLiteral("Receive/AICommand.xml"))));
    }

    TempGameFolder folder;
    EngineGame game{folder.path()};
    std::unique_ptr<BoardWindow> window;
};

} // namespace

class TestBoardWindow : public QObject
{
    Q_OBJECT

private slots:
    void aPersonPlaysAGameToTheKind12Flag()
    {
        Side host("Host", HostArmy, ClientArmy);
        Side client("Client", ClientArmy, HostArmy, "1");
        if (QTest::currentTestFailed())
            return;
        // "Full Screen Mode" was ticked on the client only.
        QVERIFY(client.window->isFullScreen() && !host.window->isFullScreen());
        QVERIFY(QTest::qWaitForWindowExposed(host.window.get()));
        QCOMPARE(host.window->turnText(), QStringLiteral("Your turn (Host)"));
        QCOMPARE(client.window->turnText(), QStringLiteral("Host's turn"));

        // The client may not move first; a click on an empty cell with no
        // flag chosen explains itself.
        client.click(34, 34);
        QTest::keyClick(client.window->view(), Qt::Key_Up);
        QCOMPARE(client.window->reasonText(), QStringLiteral("Wait for the opponent's move."));
        host.click(20, 31);
        QCOMPARE(host.window->reasonText(), QStringLiteral("Click one of your flags first."));

        // The host's kind 5 cannot go north into the water, nor two cells
        // away; nothing is written.
        host.click(31, 19);
        QTest::keyClick(host.window->view(), Qt::Key_Up);
        QCOMPARE(host.window->reasonText(), QStringLiteral("Water cannot be entered."));
        host.click(29, 19);
        QVERIFY(host.window->reasonText().startsWith(QStringLiteral("A flag moves one cell")));
        QVERIFY(!QFile::exists(host.folder.file(QStringLiteral("Send/AICommand.xml"))));

        // A click on an own flag and then on the cell east of it.
        host.click(20, 30);
        host.click(20, 31);
        QCOMPARE(host.sent(), command(5002, 'E'));
        QVERIFY(host.window->reasonText().isEmpty());
        QCOMPARE(host.window->turnText(), QStringLiteral("Client's turn"));
        host.click(20, 31);
        host.click(20, 32);
        QCOMPARE(host.window->reasonText(), QStringLiteral("Wait for the opponent's move."));
        host.carryTo(client);
        QCOMPARE(client.window->turnText(), QStringLiteral("Your turn (Client)"));

        // The client's kind 2, on 34,34 in its own view, goes north by the
        // arrow key.
        client.click(34, 34);
        QTest::keyClick(client.window->view(), Qt::Key_Up);
        QCOMPARE(client.sent(), command(5005, 'N'));
        client.carryTo(host);

        // The host takes the client's kind 12: both boards show who won, and
        // nothing moves any more.
        host.click(20, 31);
        host.click(20, 32);
        QCOMPARE(host.sent(), command(5002, 'E'));
        host.carryTo(client);
        QTRY_VERIFY(client.game.isOver());
        QVERIFY(host.game.isOver());
        QCOMPARE(host.window->turnText(), QStringLiteral("Host won. You won!"));
        QCOMPARE(client.window->turnText(), QStringLiteral("Host won. You lost."));
        client.click(33, 34);
        QTest::keyClick(client.window->view(), Qt::Key_Up);
        QCOMPARE(client.window->reasonText(), QStringLiteral("The game is over."));
        for (const Side *side : {&host, &client}) {
            const Armies::Rows log =
                Armies::lines(side->folder.read(QStringLiteral("EngineLog.txt")));
            QCOMPARE(log.size(), 4);
            QCOMPARE(log.last(), QByteArray("OVER: Host won"));
            QVERIFY(QFile::exists(side->folder.file(QStringLiteral("EngineBoard.txt"))));
        }
        auto *moves = host.window->findChild<QListWidget *>(QStringLiteral("lstMoves"));
        QCOMPARE(moves->count(), 3);
        QCOMPARE(moves->item(2)->text(),
                 QStringLiteral("3. Host: flag 5002 (kind 1) east, takes a kind 12 flag"));

        // The last moves are framed: the host's own in cyan on its target,
        // the client's in orange.
        const QImage &picture = host.window->canvas().image();
        QCOMPARE(picture.pixel(BoardCanvas::cellRect(20, 32).topLeft()), qRgb(0, 230, 255));
        QCOMPARE(picture.pixel(BoardCanvas::cellRect(6, 5).topLeft()), qRgb(255, 140, 0));
        // Terrain in the editor's colours: the water (W02) north of the kind 5.
        QCOMPARE(picture.pixel(BoardCanvas::cellRect(30, 19).center()), qRgb(0, 0, 204));
    }
};

QTEST_MAIN(TestBoardWindow)
#include "tst_boardwindow.moc"
