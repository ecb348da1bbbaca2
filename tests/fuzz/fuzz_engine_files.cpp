// The stand-in engine's readers of "Control.ini", the save file, its script
// and the command files, on any file bytes.
//
// Input: four texts separated by zero bytes: Control.ini, the save file
// "Game.sav", "EngineScript.txt" and "Receive\AICommand.xml"; then bytes that
// pick moves.
// Invariants:
// - The engine starts, or refuses with an error text; when it starts, its
//   role is the one Control.ini names and its board the save file's board.
// - A board read from a save file and the board read from that save turned
//   half around (the other player's save, turned by the connector's code)
//   stay each other's half-turn with the sides exchanged, flag numbers
//   reversed and directions turned round, through every move either side makes.
// - A command file is read without harm (what is read and logged: the
//   whole-game tests, byte for byte; a move the board cannot make: tst_board).
// - Script values stay within their documented bounds.

#include "armyflip.h"
#include "board.h"
#include "enginefolder.h"
#include "enginegame.h"
#include "enginescript.h"
#include "fuzzinput.h"
#include "gamefolder.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

std::unique_ptr<QTemporaryDir> gameDir;

void checkMirrored(const Board &board, const Board &other)
{
    FUZZ_CHECK(board.objectCount() == other.objectCount());
    for (int row = 0; row < Board::Size; ++row) {
        for (int column = 0; column < Board::Size; ++column) {
            const int r = Board::Size - 1 - row, c = Board::Size - 1 - column;
            QByteArray cell = board.cell(row, column);
            if (Board::isFlag(cell))
                cell[0] = cell.at(0) == 'B' ? 'R' : 'B';
            FUZZ_CHECK(other.cell(r, c) == cell);
            const int own = board.flagAt(row, column, 'B');
            const int theirs = own ? flipObjectID(qint16(board.objectCount()), qint16(own)) : 0;
            FUZZ_CHECK(other.flagAt(r, c, 'R') == theirs);
        }
    }
}

void checkBoards(const QList<QByteArray> &save, FuzzInput &input)
{
    const bool host = input.byte() & 1;
    Board board, other;
    QString error;
    if (!Board::fromSave(save, host, &board, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    // Every board row made exactly 40 cells wide, so that a half-turn puts
    // every cell where the other player sees it.
    QList<QByteArray> rows;
    for (qsizetype i = 1; i < save.size(); ++i)
        if (!save.at(i).trimmed().isEmpty())
            rows << save.at(i).leftJustified(Board::Size * Board::CellWidth, ' ', true);
    FUZZ_CHECK(rows.size() == 2 * Board::Size);
    QList<QByteArray> turned{save.first()};
    for (auto row = rows.crbegin(); row != rows.crend(); ++row)
        turned << halfTurnRow(*row);
    FUZZ_CHECK(Board::fromSave(QList<QByteArray>{save.first()} + rows, host, &board, &error));
    FUZZ_CHECK(Board::fromSave(turned, !host, &other, &error));
    checkMirrored(board, other);

    for (int i = 0; i < 16 && !input.atEnd(); ++i) {
        const quint8 pick = input.byte();
        const char side = pick & 1 ? 'B' : 'R';
        QList<Board::Move> moves = board.legalMoves(side);
        // Now and then a move that is not legal, which must change nothing.
        Board::Move move{Board::FirstObjectId + input.byte() % 64, "NSEWX"[pick % 5]};
        if (!moves.isEmpty() && pick & 2)
            move = moves.at(input.byte() % moves.size());
        const Board::Move mirrored{flipObjectID(qint16(board.objectCount()), qint16(move.flagId)),
                                   "SNWEX"[QByteArray("NSEWX").indexOf(move.direction)]};
        const Board::MoveResult result = board.apply(move, side);
        FUZZ_CHECK(other.apply(mirrored, side == 'B' ? 'R' : 'B') == result);
        FUZZ_CHECK(moves.contains(move) ==
                   (result == Board::MoveResult::Moved || result == Board::MoveResult::Captured));
        checkMirrored(board, other);
    }
}

void checkScript(const QList<QByteArray> &lines)
{
    const EngineScript script = EngineScript::parse(lines, nullptr);
    FUZZ_CHECK(script.moveCount >= 0 && script.moveCount <= 1000000);
    FUZZ_CHECK(script.delayMs >= 0 && script.delayMs <= 3600000);
    FUZZ_CHECK(script.idleExitSeconds >= 1 && script.idleExitSeconds <= 86400);
    FUZZ_CHECK(script.listed == !script.moves.isEmpty());
    for (const Board::Move &move : script.moves)
        FUZZ_CHECK(QByteArray("NSEW").contains(move.direction));
}

void checkGame(const QList<QByteArray> &files)
{
    QDir root(gameDir->path());
    root.removeRecursively();
    root.mkpath(QStringLiteral("Send"));
    root.mkpath(QStringLiteral("Receive"));
    const EngineFolder folder(gameDir->path());
    QString error;
    const char *const names[] = {"Control.ini", "Game.sav", "EngineScript.txt",
                                 "Receive\\AICommand.xml"};
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK((i > 1 && files.at(i).isEmpty()) ||
                   folder.writeBytes(names[i], files.at(i), &error));
    EngineGame game(gameDir->path());
    if (!game.start(&error)) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    QList<QByteArray> control;
    FUZZ_CHECK(folder.readLines("Control.ini", &control, &error));
    FUZZ_CHECK(game.isHost() == (control.at(3).trimmed().toLower() == "host"));
    // The first round reads a command that waits for the engine.
    QCoreApplication::processEvents();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzApplication();
    gameDir = std::make_unique<QTemporaryDir>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    QList<QByteArray> files; // Control.ini, the save, the script, the command
    for (int i = 0; i < 4; ++i)
        files << input.until('\0');
    checkScript(GameFolder::splitLines(files.at(2)));
    checkGame(files);
    checkBoards(GameFolder::splitLines(files.at(1)), input);
    return 0;
}
