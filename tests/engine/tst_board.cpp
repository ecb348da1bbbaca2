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
    void overlappingArmiesAreNumberedInReverse()
    {
        const Armies::Rows hostArmy = Armies::random(3, 40);
        const Armies::Rows clientArmy = Armies::random(4, 40);
        const QByteArray hostSave = Armies::save(hostArmy, clientArmy);
        const Board host = boardOf(hostSave, true);
        const Board client = boardOf(Armies::save(clientArmy, hostArmy), false);
        const int count = Armies::objectCount(hostSave);
        QCOMPARE(host.objectCount(), count);
        QCOMPARE(client.objectCount(), count);

        // Reading order, the own flag first within a cell; the same flag in
        // the client's view sits on the half-turned cell with the sides
        // exchanged and carries the reversed number.
        int previous = 5000;
        int shared = 0;
        for (int row = 0; row < 40; ++row) {
            for (int column = 0; column < 40; ++column) {
                shared += host.flagAt(row, column, 'B') && host.flagAt(row, column, 'R');
                for (const char side : {'B', 'R'}) {
                    const int id = host.flagAt(row, column, side);
                    if (!id)
                        continue;
                    QCOMPARE(id, ++previous);
                    QCOMPARE(client.flagAt(39 - row, 39 - column, side == 'B' ? 'R' : 'B'),
                             (count + 5000) - id + 5001);
                }
                // Of two flags on a cell both views show the host's.
                if (host.flagAt(row, column, 'B'))
                    QCOMPARE(host.cell(row, column).at(0), 'B');
            }
        }
        QCOMPARE(previous, 5000 + count);
        QVERIFY(shared > 0);
        QCOMPARE(Armies::halfTurn(Armies::lines(host.dump("Host")).mid(1), true),
                 Armies::lines(client.dump("Client")).mid(1));
    }

    void malformedSavesAreRefused()
    {
        const QByteArray save = Armies::save(Armies::random(1, 12), Armies::random(2, 12));
        Board board;
        QString error;
        // Blank lines between rows are skipped, as the connector skips them.
        QVERIFY(Board::fromSave(QByteArray(save).replace("\r\n", "\r\n\r\n").split('\n'), true,
                                &board, &error));
        QList<QByteArray> lines = save.split('\n');
        lines.removeAt(5);
        QVERIFY(!Board::fromSave(lines, true, &board, &error));
        QVERIFY(error.contains(QStringLiteral("79")));
        QVERIFY(!Board::fromSave({}, true, &board, &error));
        // A stray side letter: the grid decides the side, both flags stay.
        lines = save.split('\n');
        lines[1].replace(0, 3, "R05");
        lines[41].replace(0, 3, "R07");
        QVERIFY(Board::fromSave(lines, true, &board, &error));
        QCOMPARE(board.objectCount(), Armies::objectCount(save) + 2);
        QCOMPARE(board.cell(0, 0), QByteArray("B05 "));
        QCOMPARE(board.flagAt(0, 0, 'R'), 5002);
    }

    void movesCapturesAndLegality()
    {
        // 5001 on a corner, 5002 below it, 5003 and 5004 sharing 20,20, 5005
        // right below them.
        const Armies::Rows hostArmy = Armies::army({{0, 0, 1}, {1, 0, 2}, {20, 20, 3}});
        const Armies::Rows clientArmy = Armies::army({{19, 19, 4}, {18, 19, 5}});
        Board board = boardOf(Armies::save(hostArmy, clientArmy), true);
        QCOMPARE(board.cell(20, 20), QByteArray("B03 "));
        QCOMPARE(boardOf(Armies::save(clientArmy, hostArmy), false).cell(19, 19),
                 QByteArray("R03 "));

        using R = Board::MoveResult;
        const QByteArray before = board.dump("Host");
        QCOMPARE(board.apply({5001, 'N'}, 'B'), R::OffBoard);
        QCOMPARE(board.apply({5001, 'W'}, 'B'), R::OffBoard);
        QCOMPARE(board.apply({5001, 'S'}, 'B'), R::BlockedBySide);
        QCOMPARE(board.apply({5001, 'X'}, 'B'), R::BadDirection);
        QCOMPARE(board.apply({5004, 'N'}, 'B'), R::WrongSide);
        QCOMPARE(board.apply({5005, 'N'}, 'R'), R::BlockedBySide); // onto its side's 5004
        QCOMPARE(board.apply({5006, 'N'}, 'B'), R::UnknownFlag);
        QCOMPARE(board.dump("Host"), before);                   // refused moves change nothing
        const QList<Board::Move> legal = board.legalMoves('B'); // 5001 E, 5002 E S, 5003 all
        QCOMPARE(legal.size(), 7);
        QVERIFY(legal.contains(Board::Move{5003, 'S'}) && !legal.contains(Board::Move{5001, 'S'}));

        // A stacked flag moves away and leaves the other one; a flag moving
        // onto the other side's flag takes it off.
        QCOMPARE(board.apply({5004, 'W'}, 'R'), R::Moved);
        QCOMPARE(board.cell(20, 19) + board.cell(20, 20), QByteArray("R04 B03 "));
        QCOMPARE(board.flagAt(20, 20, 'R'), 0);
        QCOMPARE(board.apply({5003, 'S'}, 'B'), R::Captured);
        QCOMPARE(board.cell(20, 20) + board.cell(21, 20), QByteArray("000 B03 "));
        QCOMPARE(board.apply({5005, 'N'}, 'R'), R::TakenFlag);
        QCOMPARE(board.apply({5004, 'E'}, 'R'), R::Moved);
        QCOMPARE(board.apply({5004, 'S'}, 'R'), R::Captured);
        QCOMPARE(board.apply({5003, 'N'}, 'B'), R::TakenFlag);
        QCOMPARE(board.cell(21, 20), QByteArray("R04 "));
        QCOMPARE(board.legalMoves('R').size(), 4);
    }

    void terrainStopsFlagsAndTheKind12FlagDecides()
    {
        // A map laid out as the host sees it: water at 10,10, solid at
        // 10,12, rock at 11,11; everything else grass.
        QList<QByteArray> map(40, QByteArray("T02 ").repeated(40));
        map[10].replace(10 * 4, 3, "W01");
        map[10].replace(12 * 4, 3, "S05");
        map[11].replace(11 * 4, 3, "M03");
        const MapTerrain terrain = MapTerrain::fromMapLines(map);
        // Host flags: kind 4 on 11,10 (below the water), kind 12 on 11,12
        // (below the solid); the client's kind 12 on 12,11 and kind 1 on 0,0.
        const Armies::Rows hostArmy = Armies::army({{11, 10, 4}, {11, 12, 12}});
        const Armies::Rows clientArmy = Armies::army({{27, 28, 12}, {39, 39, 1}});
        Board host = boardOf(Armies::save(hostArmy, clientArmy), true);
        Board client = boardOf(Armies::save(clientArmy, hostArmy), false);
        host.setTerrain(terrain);
        client.setTerrain(terrain.halfTurned());
        // 5001 client kind 1, 5002 host kind 4, 5003 host kind 12, 5004
        // client kind 12; the client numbers them the other way round.
        QCOMPARE(host.kindOf(5003), 12);
        QCOMPARE(client.kindOf(5002), 12);

        using R = Board::MoveResult;
        QCOMPARE(host.check({5002, 'N'}, 'B'), R::Water);
        QCOMPARE(host.check({5003, 'N'}, 'B'), R::Solid);
        // The same cells stop the client's view of the move.
        QCOMPARE(client.terrain().code(29, 29), QByteArray("W01"));
        QCOMPARE(client.terrain().code(29, 27), QByteArray("S05"));
        QVERIFY(!host.legalMoves('B').contains(Board::Move{5002, 'N'}));
        QCOMPARE(host.apply({5002, 'E'}, 'B'), R::Moved); // onto rock
        QCOMPARE(host.terrain().code(11, 11), QByteArray("M03"));
        QCOMPARE(client.apply({5003, 'W'}, 'R'), R::Moved);
        QCOMPARE(host.loser(), '\0');

        // The client's kind 12 on 12,11 is taken by the host's kind 4 from
        // 11,11: the client has lost, on both boards, and nothing moves
        // any more.
        int taken = 0;
        QCOMPARE(host.apply({5002, 'S'}, 'B', &taken), R::Captured);
        QCOMPARE(taken, 5004);
        QCOMPARE(client.apply({5003, 'N'}, 'R', &taken), R::Captured);
        QCOMPARE(taken, 5001);
        QCOMPARE(host.loser(), 'R');
        QCOMPARE(client.loser(), 'B');
        QCOMPARE(host.check({5003, 'W'}, 'B'), R::GameOver);
        QCOMPARE(client.check({5004, 'N'}, 'B'), R::GameOver);
        QVERIFY(host.legalMoves('B').isEmpty() && host.legalMoves('R').isEmpty());
        QCOMPARE(Armies::halfTurn(Armies::lines(host.dump("Host")).mid(1), true),
                 Armies::lines(client.dump("Client")).mid(1));

        QCOMPARE(Board::directionTo(5, 5, 4, 5), 'N');
        QCOMPARE(Board::directionTo(5, 5, 5, 4), 'W');
        QCOMPARE(Board::directionTo(5, 5, 6, 6), '\0');
        QCOMPARE(Board::directionTo(5, 5, 5, 7), '\0');
    }

    void commandText()
    {
        QCOMPARE(
            EngineCommand::format({5003, 'E'}),
            QByteArray("<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>"));
        Board::Move move;
        QVERIFY(EngineCommand::parse(
            "<ROOT><COMMAND flagid=\"5022\" DIRECTION=\"w\" SerpentJump=\"No\"></COMMAND></ROOT>",
            &move));
        QCOMPARE(move, (Board::Move{5022, 'W'}));
        QVERIFY(
            !EngineCommand::parse("<Root><Command FlagID='5001' Direction='Q'/></Root>", &move));
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
