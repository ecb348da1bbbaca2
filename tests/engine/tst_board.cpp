// The board's numbering, moves and terrain.

#include "armies.h"
#include "board.h"
#include "enginecommand.h"

#include <QTest>

namespace {

Board boardOf(const QByteArray &save, bool host)
{
    Board board;
    QString error;
    if (!Board::fromSave(save.split('\n'), host, &board, &error))
        qWarning("%s", qPrintable(error));
    return board;
}

} // namespace

class TestBoard : public QObject
{
    Q_OBJECT

private slots:
    void overlappingArmiesAreNumberedInReadingOrder()
    {
        // The own flag first within a cell; of two flags on a cell the view
        // shows the host's. The other player's numbers are the fuzz target's
        // invariant (fuzz_engine_files).
        const QByteArray save = Armies::save(Armies::army({{5, 5, 1}, {6, 0, 2}}),
                                             Armies::army({{34, 34, 3}, {0, 39, 4}}));
        const Board host = boardOf(save, true);
        QCOMPARE((QList<int>{host.flagAt(5, 5, 'B'), host.flagAt(5, 5, 'R'), host.flagAt(6, 0, 'B'),
                             host.flagAt(39, 0, 'R'), host.objectCount()}),
                 (QList<int>{5001, 5002, 5003, 5004, 4}));
        QCOMPARE(host.cell(5, 5), QByteArray("B01 "));
        // Blank lines between rows are skipped; a missing row is refused.
        Board board;
        QString error;
        QVERIFY(Board::fromSave(QByteArray(save).replace("\r\n", "\r\n\r\n").split('\n'), true,
                                &board, &error));
        QList<QByteArray> lines = save.split('\n');
        lines.removeAt(5);
        QVERIFY(!Board::fromSave(lines, true, &board, &error) &&
                error.contains(QLatin1String("79")));
    }

    void movesCapturesAndLegality()
    {
        // 5001 on a corner, 5002 below it, 5003 and 5004 sharing 20,20, 5005
        // right below them.
        Board board = boardOf(Armies::save(Armies::army({{0, 0, 1}, {1, 0, 2}, {20, 20, 3}}),
                                           Armies::army({{19, 19, 4}, {18, 19, 5}})),
                              true);
        using R = Board::MoveResult;
        const QByteArray before = board.dump("Host");
        const QList<QPair<Board::Move, R>> refused = {{{5001, 'N'}, R::OffBoard},
                                                      {{5001, 'S'}, R::BlockedBySide},
                                                      {{5001, 'X'}, R::BadDirection},
                                                      {{5004, 'N'}, R::WrongSide},
                                                      {{5006, 'N'}, R::UnknownFlag}};
        for (const auto &[move, result] : refused)
            QCOMPARE(board.apply(move, 'B'), result);
        QCOMPARE(board.apply({5005, 'N'}, 'R'), R::BlockedBySide);
        QCOMPARE(board.dump("Host"), before);
        QCOMPARE(board.legalMoves('B').size(), 7); // 5001 E, 5002 E S, 5003 all
        // A stacked flag moves away and leaves the other; a flag moving onto
        // the other side's flag takes it off.
        QCOMPARE(board.apply({5004, 'W'}, 'R'), R::Moved);
        QCOMPARE(board.cell(20, 19) + board.cell(20, 20), QByteArray("R04 B03 "));
        QCOMPARE(board.apply({5003, 'S'}, 'B'), R::Captured);
        QCOMPARE(board.cell(20, 20) + board.cell(21, 20), QByteArray("000 B03 "));
        QCOMPARE(board.apply({5005, 'N'}, 'R'), R::TakenFlag);
        QCOMPARE(EngineCommand::format({5003, 'E'}), ArmyTexts::command("5003", 'E'));
        Board::Move move;
        QVERIFY(EngineCommand::parse(
            "<ROOT><COMMAND flagid=\"5022\" DIRECTION=\"w\" SerpentJump=\"No\"></COMMAND></ROOT>",
            &move));
        QCOMPARE(move, (Board::Move{5022, 'W'}));
    }

    void terrainStopsFlagsAndTheKind12FlagDecides()
    {
        // Water at 10,10, solid at 10,12, rock at 11,11; everything else
        // grass. The half-turned map of the other end is played by the
        // whole-game tests on Castle.map.
        QList<QByteArray> map(40, QByteArray("T02 ").repeated(40));
        map[10].replace(10 * 4, 3, "W01");
        map[10].replace(12 * 4, 3, "S05");
        map[11].replace(11 * 4, 3, "M03");
        // Host kind 4 on 11,10 (below the water), kind 12 on 11,12 (below
        // the solid); the client's kind 12 on 12,11 and kind 1 on 0,0.
        Board host = boardOf(Armies::save(Armies::army({{11, 10, 4}, {11, 12, 12}}),
                                          Armies::army({{27, 28, 12}, {39, 39, 1}})),
                             true);
        host.setTerrain(MapTerrain::fromMapLines(map));
        using R = Board::MoveResult;
        QCOMPARE(host.check({5002, 'N'}, 'B'), R::Water);
        QCOMPARE(host.check({5003, 'N'}, 'B'), R::Solid);
        QCOMPARE(host.apply({5002, 'E'}, 'B'), R::Moved); // onto rock
        // The host's kind 4 takes the client's kind 12: the client has lost,
        // and nothing moves any more.
        int taken = 0;
        QCOMPARE(host.apply({5002, 'S'}, 'B', &taken), R::Captured);
        QCOMPARE(taken, 5004);
        QCOMPARE(host.loser(), 'R');
        QCOMPARE(host.check({5003, 'W'}, 'B'), R::GameOver);
        QVERIFY(host.legalMoves('B').isEmpty() && host.legalMoves('R').isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
