#include "armies.h"
#include "board.h"
#include "enginecommand.h"
#include "enginescript.h"

#include <QTest>

namespace {

Board boardOf(const QByteArray &save, bool host)
{
    Board board;
    QString error;
    const bool ok = Board::fromSave(save.split('\n'), host, &board, &error);
    if (!ok)
        qWarning("%s", qPrintable(error));
    return board;
}

Armies::Rows rowsOf(const QByteArray &dump)
{
    QList<QByteArray> lines = dump.split('\n');
    lines.removeFirst();
    lines.removeLast(); // after the final CR LF
    for (QByteArray &line : lines)
        line.chop(1);
    return lines;
}

} // namespace

class TestBoard : public QObject
{
    Q_OBJECT

private slots:
    void viewsAreNumberedInReverse()
    {
        const Armies::Rows hostArmy = Armies::standard(20, 0);
        const Armies::Rows clientArmy = Armies::standard(23, 7);
        const Board host = boardOf(Armies::save(hostArmy, clientArmy), true);
        const Board client = boardOf(Armies::save(clientArmy, hostArmy), false);
        QCOMPARE(host.objectCount(), 43);
        QCOMPARE(client.objectCount(), 43);
        // Reading order: the opponent's half-turned army at the top comes first.
        QCOMPARE(host.flagAt(0, 17), 5001);
        QCOMPARE(host.cell(0, 17), QByteArray("R09 "));
        int previous = 5000;
        for (int row = 0; row < 40; ++row) {
            for (int column = 0; column < 40; ++column) {
                const int id = host.flagAt(row, column);
                if (!id)
                    continue;
                QCOMPARE(id, ++previous);
                // The same flag in the client's view: the cell half-turned,
                // the number reversed.
                QCOMPARE(client.flagAt(39 - row, 39 - column), (43 + 5000) - id + 5001);
            }
        }
        QCOMPARE(previous, 5043);
        QCOMPARE(Armies::mirrored(rowsOf(host.dump("Host"))), rowsOf(client.dump("Client")));
    }

    void overlappingCellsKeepTheViewsInStep()
    {
        // Both armies claim one cell, and a terrain-like code sits under a
        // client flag; the host's army wins in both views.
        Armies::Rows hostArmy = Armies::empty();
        Armies::Rows clientArmy = Armies::empty();
        Armies::put(&hostArmy, 10, 10, "005");
        Armies::put(&clientArmy, 29, 29, "009"); // lands on 10,10 for the host
        Armies::put(&hostArmy, 12, 3, "X07");
        Armies::put(&clientArmy, 27, 36, "002"); // lands on 12,3
        const Board host = boardOf(Armies::save(hostArmy, clientArmy), true);
        const Board client = boardOf(Armies::save(clientArmy, hostArmy), false);
        QCOMPARE(host.cell(10, 10), QByteArray("B05 "));
        QCOMPARE(client.cell(29, 29), QByteArray("R05 "));
        QCOMPARE(host.cell(12, 3), QByteArray("R02 "));
        QCOMPARE(host.objectCount(), client.objectCount());
        QCOMPARE(Armies::mirrored(rowsOf(host.dump("Host"))), rowsOf(client.dump("Client")));
    }

    void malformedSavesAreRefused()
    {
        const Armies::Rows army = Armies::standard(12, 0);
        QByteArray save = Armies::save(army, army);
        Board board;
        QString error;
        // Blank lines between rows are skipped, as the connector skips them.
        QVERIFY(Board::fromSave(save.replace("000 \r\n", "000 \r\n\r\n").split('\n'), true, &board,
                                &error));
        QList<QByteArray> lines = Armies::save(army, army).split('\n');
        lines.removeAt(5);
        QVERIFY(!Board::fromSave(lines, true, &board, &error));
        QVERIFY(error.contains(QStringLiteral("79")));
        QVERIFY(!Board::fromSave({}, true, &board, &error));
    }

    void movesCapturesAndLegality()
    {
        Armies::Rows hostArmy = Armies::empty();
        Armies::Rows clientArmy = Armies::empty();
        Armies::put(&hostArmy, 0, 0, "001"); // corner: N and W lead off the board
        Armies::put(&hostArmy, 1, 0, "002"); // blocks the corner flag's S
        Armies::put(&hostArmy, 20, 20, "003");
        Armies::put(&clientArmy, 18, 19, "004"); // host view 21,20: right below 5003
        Board board = boardOf(Armies::save(hostArmy, clientArmy), true);
        QCOMPARE(board.objectCount(), 4);
        const int corner = board.flagAt(0, 0);
        const int middle = board.flagAt(20, 20);
        const int enemy = board.flagAt(21, 20);
        QCOMPARE(enemy, 5004);

        using R = Board::MoveResult;
        const QByteArray before = board.dump("Host");
        QCOMPARE(board.apply({corner, 'N'}, 'B'), R::OffBoard);
        QCOMPARE(board.apply({corner, 'W'}, 'B'), R::OffBoard);
        QCOMPARE(board.apply({corner, 'S'}, 'B'), R::BlockedBySide);
        QCOMPARE(board.apply({corner, 'X'}, 'B'), R::BadDirection);
        QCOMPARE(board.apply({enemy, 'N'}, 'B'), R::WrongSide);
        QCOMPARE(board.apply({5005, 'N'}, 'B'), R::UnknownFlag);
        QCOMPARE(board.apply({5000, 'N'}, 'B'), R::UnknownFlag);
        QCOMPARE(board.dump("Host"), before); // refused moves change nothing

        const QList<Board::Move> legal = board.legalMoves('B');
        QVERIFY(legal.contains(Board::Move{corner, 'E'}));
        QVERIFY(!legal.contains(Board::Move{corner, 'S'}));
        QVERIFY(legal.contains(Board::Move{middle, 'S'}));
        QCOMPARE(legal.size(), 1 + 2 + 4);

        QCOMPARE(board.apply({middle, 'S'}, 'B'), R::Captured);
        QCOMPARE(board.cell(21, 20), QByteArray("B03 "));
        QCOMPARE(board.cell(20, 20), QByteArray("000 "));
        QCOMPARE(board.flagAt(21, 20), middle);
        QCOMPARE(board.apply({enemy, 'N'}, 'R'), R::TakenFlag);
        QVERIFY(board.legalMoves('R').isEmpty());

        // The opponent's moves are seen in this view too: R moves, B is taken.
        Board other = boardOf(Armies::save(hostArmy, clientArmy), true);
        QCOMPARE(other.apply({enemy, 'N'}, 'R'), R::Captured);
        QCOMPARE(other.cell(20, 20), QByteArray("R04 "));
        int row = 0;
        int column = 0;
        QVERIFY(!other.findFlag(middle, &row, &column));
        QVERIFY(other.findFlag(enemy, &row, &column));
        QCOMPARE(QPoint(column, row), QPoint(20, 20));
    }

    void commandText()
    {
        const QByteArray command = EngineCommand::format({5003, 'E'});
        QCOMPARE(command, QByteArray("<Root><Command FlagID='5003' Direction='E' "
                                     "SerpentJump='No'/></Root>"));
        QCOMPARE(command.mid(23, 4), QByteArray("5003")); // characters 24 to 27
        QCOMPARE(command.at(40), 'E');                    // character 41
        Board::Move move;
        QVERIFY(EngineCommand::parse(
            "<ROOT><COMMAND flagid=\"5022\" DIRECTION=\"w\" SerpentJump=\"No\"></COMMAND></ROOT>",
            &move));
        QCOMPARE(move, (Board::Move{5022, 'W'}));
        QVERIFY(!EngineCommand::parse("<Root><Command FlagID='' Direction='E'/></Root>", &move));
        QVERIFY(
            !EngineCommand::parse("<Root><Command FlagID='5001' Direction='Q'/></Root>", &move));
    }

    void scriptDirectives()
    {
        QStringList warnings;
        const EngineScript script = EngineScript::parse(
            {"# a comment", "DELAY 250", "move 5003 e", "move 5001 Up", "speed 3", "moves 4"},
            &warnings);
        QVERIFY(script.listed);
        QCOMPARE(script.moves, (QList<Board::Move>{{5003, 'E'}}));
        QCOMPARE(script.delayMs, 250);
        QCOMPARE(script.idleExitSeconds, 120);
        QCOMPARE(warnings.size(), 3); // the bad move, "speed", the ignored count
    }
};

QTEST_GUILESS_MAIN(TestBoard)
#include "tst_board.moc"
