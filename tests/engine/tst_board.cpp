// The board's moves and terrain. Its numbering is held by the whole-game
// tests (the engines' commands against an independent flip) and by
// fuzz_engine_files (both ends' boards stay each other's half-turn, a save
// with a row missing is refused).

#include "armies.h"
#include "board.h"

#include <QTest>

class TestBoard : public QObject
{
    Q_OBJECT

private slots:
    void movesCapturesTerrainAndTheKind12Flag()
    {
        // 5001 on a corner, water east of it, 5002 below it with solid below
        // that; 5003 and 5004 sharing 20,20 with rock west of them, the
        // other side's kind 12 (5005) right below them.
        Board board;
        QString error;
        QVERIFY(Board::fromSave(
            Armies::save({{0, 0, 1}, {1, 0, 2}, {20, 20, 3}}, {{19, 19, 4}, {18, 19, 12}})
                .split('\n'),
            true, &board, &error));
        QList<QByteArray> map(40, QByteArray("T02 ").repeated(40));
        map[0].replace(4, 3, "W01");
        map[2].replace(0, 3, "S05");
        map[20].replace(19 * 4, 3, "M03");
        board.setTerrain(MapTerrain::fromMapLines(map));
        using R = Board::MoveResult;
        const QByteArray before = board.dump("Host");
        const QList<QPair<Board::Move, R>> refused = {
            {{5001, 'N'}, R::OffBoard},     {{5001, 'S'}, R::BlockedBySide},
            {{5001, 'E'}, R::Water},        {{5002, 'S'}, R::Solid},
            {{5001, 'X'}, R::BadDirection}, {{5004, 'N'}, R::WrongSide},
            {{5006, 'N'}, R::UnknownFlag}};
        for (const auto &[move, result] : refused)
            QCOMPARE(board.apply(move, 'B'), result);
        QCOMPARE(board.apply({5005, 'N'}, 'R'), R::BlockedBySide);
        QCOMPARE(board.dump("Host"), before);
        QCOMPARE(board.legalMoves('B').size(), 5); // 5002 E, 5003 all
        // A stacked flag moves away (onto rock) and leaves the other; a flag
        // moving onto the other side's flag takes it off; the kind 12 taken,
        // the other side has lost and nothing moves any more.
        QCOMPARE(board.apply({5004, 'W'}, 'R'), R::Moved);
        QCOMPARE(board.cell(20, 19) + board.cell(20, 20), QByteArray("R04 B03 "));
        int taken = 0;
        QCOMPARE(board.apply({5003, 'S'}, 'B', &taken), R::Captured);
        QCOMPARE(board.cell(20, 20) + board.cell(21, 20), QByteArray("000 B03 "));
        QCOMPARE(taken, 5005);
        QCOMPARE(board.apply({5005, 'N'}, 'R'), R::TakenFlag);
        QCOMPARE(board.loser(), 'R');
        QCOMPARE(board.check({5002, 'E'}, 'B'), R::GameOver);
        QVERIFY(board.legalMoves('B').isEmpty() && board.legalMoves('R').isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
