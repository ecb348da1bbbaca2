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
// - A command file with a line end is taken once: the file goes and the log
//   lists its first line; a command read gives a flag number and N, S, E or
//   W, and a formatted move reads back as itself.
// - Script values stay within their documented bounds.

#include "armyflip.h"
#include "board.h"
#include "enginecommand.h"
#include "enginefolder.h"
#include "enginegame.h"
#include "enginescript.h"
#include "fuzzinput.h"
#include "gamefolder.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {

std::unique_ptr<QTemporaryDir> gameDir;

QByteArray exchangedSides(QByteArray cell)
{
    if (Board::isFlag(cell))
        cell[0] = cell.at(0) == 'B' ? 'R' : 'B';
    return cell;
}

void checkMirrored(const Board &board, const Board &other)
{
    FUZZ_CHECK(board.objectCount() == other.objectCount());
    for (int row = 0; row < Board::Size; ++row) {
        for (int column = 0; column < Board::Size; ++column) {
            const int r = Board::Size - 1 - row;
            const int c = Board::Size - 1 - column;
            FUZZ_CHECK(other.cell(r, c) == exchangedSides(board.cell(row, column)));
            const int own = board.flagAt(row, column, 'B');
            const int theirs = other.flagAt(r, c, 'R');
            FUZZ_CHECK((own == 0) == (theirs == 0));
            if (own)
                FUZZ_CHECK(theirs == flipObjectID(qint16(board.objectCount()), qint16(own)));
        }
    }
}

/// The save lines with every board row made exactly 40 cells wide, so that
/// a half-turn puts every cell where the other player sees it.
QList<QByteArray> evenRows(const QList<QByteArray> &save)
{
    QList<QByteArray> rows;
    for (qsizetype i = 1; i < save.size(); ++i) {
        if (!save.at(i).trimmed().isEmpty())
            rows << save.at(i).leftJustified(Board::Size * Board::CellWidth, ' ', true);
    }
    return rows;
}

void checkBoards(const QList<QByteArray> &save, FuzzInput &input)
{
    const bool host = input.byte() & 1;
    Board board;
    QString error;
    if (!Board::fromSave(save, host, &board, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    const QList<QByteArray> rows = evenRows(save);
    FUZZ_CHECK(rows.size() == 2 * Board::Size);
    QList<QByteArray> even{save.first()};
    QList<QByteArray> turned{save.first()};
    for (qsizetype i = 0; i < rows.size(); ++i) {
        even << rows.at(i);
        turned << halfTurnRow(rows.at(rows.size() - 1 - i));
    }
    FUZZ_CHECK(Board::fromSave(even, host, &board, &error));
    Board other;
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

void checkCommand(const QByteArray &text)
{
    Board::Move move;
    if (EngineCommand::parse(text, &move)) {
        FUZZ_CHECK(move.flagId >= 0 && move.flagId <= 99999);
        FUZZ_CHECK(QByteArray("NSEW").contains(move.direction));
        Board::Move back;
        FUZZ_CHECK(EngineCommand::parse(EngineCommand::format(move), &back) && back == move);
    }
}

void checkScript(const QList<QByteArray> &lines)
{
    QStringList warnings;
    const EngineScript script = EngineScript::parse(lines, &warnings);
    FUZZ_CHECK(script.moveCount >= 0 && script.moveCount <= 1000000);
    FUZZ_CHECK(script.delayMs >= 0 && script.delayMs <= 3600000);
    FUZZ_CHECK(script.idleExitSeconds >= 1 && script.idleExitSeconds <= 86400);
    FUZZ_CHECK(script.listed == !script.moves.isEmpty());
    for (const Board::Move &move : script.moves)
        FUZZ_CHECK(QByteArray("NSEW").contains(move.direction));
}

void checkGame(const QByteArray &control, const QByteArray &save, const QByteArray &script,
               const QByteArray &command)
{
    QDir root(gameDir->path());
    root.removeRecursively();
    root.mkpath(QStringLiteral("Send"));
    root.mkpath(QStringLiteral("Receive"));
    const EngineFolder folder(gameDir->path());
    QString error;
    FUZZ_CHECK(folder.writeBytes("Control.ini", control, &error));
    FUZZ_CHECK(folder.writeBytes("Game.sav", save, &error));
    if (!script.isEmpty())
        FUZZ_CHECK(folder.writeBytes("EngineScript.txt", script, &error));
    if (!command.isEmpty())
        FUZZ_CHECK(folder.writeBytes("Receive\\AICommand.xml", command, &error));

    EngineGame game(gameDir->path());
    if (!game.start(&error)) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    QList<QByteArray> controlLines;
    FUZZ_CHECK(folder.readLines("Control.ini", &controlLines, &error));
    FUZZ_CHECK(game.isHost() == (controlLines.at(3).trimmed().toLower() == "host"));
    // The first round takes a command that waits for the engine.
    QCoreApplication::processEvents();
    if (command.contains('\n')) {
        FUZZ_CHECK(!folder.fileExists("Receive\\AICommand.xml"));
        QByteArray line = command.left(command.indexOf('\n'));
        if (line.endsWith('\r'))
            line.chop(1);
        QByteArray log;
        FUZZ_CHECK(folder.readAll("EngineLog.txt", &log, &error));
        FUZZ_CHECK(log.contains("RCVD:" + line + "\r\n"));
    }
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
    const QByteArray control = input.until('\0');
    const QByteArray save = input.until('\0');
    const QByteArray script = input.until('\0');
    const QByteArray command = input.until('\0');

    checkCommand(command);
    checkScript(GameFolder::splitLines(script));
    checkGame(control, save, script, command);
    checkBoards(GameFolder::splitLines(save), input);
    return 0;
}
