#include "armyflip.h"
#include "command.h"
#include "commandrelay.h"
#include "completion.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int Size = 40;

/// A random army file: flags of random kinds on random cells of the rows near
/// the own end of the board (rows 20 to 39), so that the two armies never
/// share a cell once put onto one board.
QByteArray randomArmy(QRandomGenerator &random, int flags)
{
    QList<QByteArray> rows(Size, QByteArray("000 ").repeated(Size));
    for (int placed = 0; placed < flags;) {
        const int row = random.bounded(20, Size);
        const int column = random.bounded(Size);
        if (rows[row].mid(column * 4, 3) != "000")
            continue;
        const int kind = random.bounded(1, 13);
        rows[row].replace(column * 4, 3, QByteArray::number(kind).rightJustified(3, '0'));
        ++placed;
    }
    QByteArray text = "Castle\r\n";
    for (const QByteArray &row : rows)
        text += row + "\r\n";
    return text;
}

/// The board as one engine sees it, modelled independently of the connector:
/// the own rows and the opponent's rows of a save file laid over each other,
/// the flags numbered from 5001 in reading order.
struct Board
{
    struct Flag
    {
        int row;
        int column;
        QByteArray code;
    };
    QList<Flag> flags;

    static Board fromSave(const QByteArray &save)
    {
        const QList<QByteArray> lines = GameFolder::splitLines(save);
        Board board;
        for (int row = 0; row < Size; ++row) {
            for (int column = 0; column < Size; ++column) {
                for (const int layer : {1, 1 + Size}) {
                    const QByteArray code = lines.value(layer + row).mid(column * 4, 3);
                    if (code.startsWith('B') || code.startsWith('R'))
                        board.flags << Flag{row, column, code};
                }
            }
        }
        return board;
    }

    /// Where the flag of a command stands and where it moves, in this view.
    bool move(const QByteArray &command, QPoint *from, QPoint *to) const
    {
        const int index = command.mid(23, 4).toInt() - 5001;
        if (index < 0 || index >= flags.size())
            return false;
        *from = QPoint(flags[index].column, flags[index].row);
        *to = *from;
        switch (command.at(40)) {
        case 'N':
            to->ry() -= 1;
            break;
        case 'S':
            to->ry() += 1;
            break;
        case 'E':
            to->rx() += 1;
            break;
        case 'W':
            to->rx() -= 1;
            break;
        default:
            return false;
        }
        return true;
    }
};

/// A cell of one view as the other player sees it.
QPoint otherView(const QPoint &p)
{
    return QPoint(Size - 1 - p.x(), Size - 1 - p.y());
}

QByteArray engineCommand(int flagId, char direction)
{
    return "<Root><Command FlagID='" + QByteArray::number(flagId) + "' Direction='" + direction +
           "' SerpentJump='No'/></Root>";
}

/// Swaps the side letters: the save of one player as the other's data.
QByteArray swapSides(QByteArray text)
{
    return text.replace('B', 'x').replace('R', 'B').replace('x', 'R');
}

} // namespace

class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void randomArmiesAndCommandsKeepTheirMeaning()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        for (int round = 0; round < 25; ++round) {
            const QByteArray context = QByteArray("seed ") + QByteArray::number(seed) + " round " +
                                       QByteArray::number(round);
            TempGameFolder hostTmp;
            TempGameFolder clientTmp;
            const GameFolder hostFolder(hostTmp.path());
            const GameFolder clientFolder(clientTmp.path());
            const int hostFlags = random.bounded(0, 60);
            const int clientFlags = random.bounded(0, 60);
            QVERIFY(hostTmp.write("Own.arm", randomArmy(random, hostFlags)));
            const QByteArray clientArmy = randomArmy(random, clientFlags);
            const HostCompletion host =
                hostCompletionFiles(hostFolder, clientArmy, "Castle.map", "Own.arm");
            QVERIFY2(host.ok, context);
            QCOMPARE(int(host.objectCount), hostFlags + clientFlags);
            QVERIFY(clientCompletionFiles(clientFolder, "Castle.map", host.startData, nullptr));

            const QByteArray hostSave = hostTmp.read("HostGame.sav");
            const QByteArray clientSave = clientTmp.read("ClientGame.sav");
            // Host view -> client view -> host view gives the original back.
            QVERIFY(clientTmp.write("Back.tmp", swapSides(clientSave)));
            QVERIFY(FlipSave(clientFolder, "Back.tmp", "Host.tmp", nullptr));
            QVERIFY2(clientTmp.read("Host.tmp") == hostSave, context);
            // The client's own rows are its army file's rows, marked B.
            const QList<QByteArray> armyRows = GameFolder::splitLines(clientArmy);
            const QList<QByteArray> clientRows = GameFolder::splitLines(clientSave);
            for (int row = 0; row < Size; ++row)
                QVERIFY2(clientRows.at(1 + row) == markSide(armyRows.at(1 + row), 'B'), context);

            // Both boards hold the same flags, standing on the same cells.
            const Board hostBoard = Board::fromSave(hostSave);
            const Board clientBoard = Board::fromSave(clientSave);
            QCOMPARE(hostBoard.flags.size(), int(host.objectCount));
            QCOMPARE(clientBoard.flags.size(), int(host.objectCount));

            for (int move = 0; move < 20 && !hostBoard.flags.isEmpty(); ++move) {
                const char direction = "NSEW"[random.bounded(4)];
                const int flagId = 5001 + random.bounded(int(hostBoard.flags.size()));
                // The host's engine moves; the client's engine gets it converted.
                QByteArray wire = engineCommand(flagId, direction);
                const QByteArray asWritten = wire;
                AdjustCommand(wire, host.objectCount);
                QPoint hostFrom, hostTo, clientFrom, clientTo;
                QVERIFY(hostBoard.move(asWritten, &hostFrom, &hostTo));
                QVERIFY2(clientBoard.move(wire, &clientFrom, &clientTo), context);
                QCOMPARE(otherView(clientFrom), hostFrom);
                QCOMPARE(otherView(clientTo), hostTo);
                QCOMPARE(clientBoard.flags[wire.mid(23, 4).toInt() - 5001].code,
                         swapSides(hostBoard.flags[flagId - 5001].code));
                // The client's engine answers with that move: the host converts
                // it back into the command its own engine wrote.
                QCOMPARE(AdjustCommand(wire, host.objectCount), asWritten);
            }
        }
    }

    void randomTextsConvertBackToThemselves()
    {
        // Commands with further attributes that hold numbers (the flag's own,
        // its converted number or others, each a run of at most four digits)
        // and quoted direction letters.
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        const QByteArray letters = "NSEWX'\" =<>/";
        for (int i = 0; i < 2000; ++i) {
            const qint16 count = qint16(random.bounded(1, 200));
            const int flagId = 5001 + random.bounded(int(count));
            QByteArray text = engineCommand(flagId, "NSEWX"[random.bounded(5)]);
            text.chop(9);
            const int extra = random.bounded(8);
            for (int c = 0; c < extra; ++c) {
                text += letters.at(random.bounded(int(letters.size())));
                switch (random.bounded(4)) {
                case 0:
                    text += QByteArray::number(flagId);
                    break;
                case 1:
                    text += QByteArray::number(flipObjectID(count, qint16(flagId)));
                    break;
                case 2:
                    text += QByteArray::number(random.bounded(10000));
                    break;
                default:
                    text += QByteArray("'") + "NSEW"[random.bounded(4)] + "'";
                    break;
                }
            }
            text += "/></Root>";
            QByteArray converted = text;
            AdjustCommand(converted, count);
            QVERIFY(!converted.contains("'" + QByteArray::number(flagId) + "' Direction") ||
                    flipObjectID(count, qint16(flagId)) == flagId);
            QByteArray back = converted;
            QVERIFY2(AdjustCommand(back, count) == text,
                     (QByteArray::number(seed) + ": " + text).constData());
        }
    }

    void commandsTravelThroughTwoRelays()
    {
        QRandomGenerator random(7);
        TempGameFolder hostTmp;
        TempGameFolder clientTmp;
        QVERIFY(hostTmp.write("Own.arm", randomArmy(random, 20)));
        const HostCompletion host = hostCompletionFiles(
            GameFolder(hostTmp.path()), randomArmy(random, 23), "Castle.map", "Own.arm");
        QCOMPARE(host.objectCount, qint16(43));
        QVERIFY(clientCompletionFiles(GameFolder(clientTmp.path()), "Castle.map", host.startData,
                                      nullptr));
        const Board hostBoard = Board::fromSave(hostTmp.read("HostGame.sav"));
        const Board clientBoard = Board::fromSave(clientTmp.read("ClientGame.sav"));

        CommandRelay hostRelay(GameFolder(hostTmp.path()), Role::Host);
        CommandRelay clientRelay(GameFolder(clientTmp.path()), Role::Client);
        hostRelay.setObjectCount(host.objectCount);
        hostRelay.setSendFunction([&clientRelay](const QByteArray &c) {
            clientRelay.handOver(c);
            return true;
        });
        clientRelay.setSendFunction([&hostRelay](const QByteArray &c) {
            hostRelay.handOver(c);
            return true;
        });
        QSignalSpy toClient(&clientRelay, &CommandRelay::commandHandedOver);
        QSignalSpy toHost(&hostRelay, &CommandRelay::commandHandedOver);
        hostRelay.start();
        clientRelay.start();

        for (int move = 0; move < 10; ++move) {
            const bool hostMoves = move % 2 == 0;
            const char direction = "NSEW"[random.bounded(4)];
            const QByteArray written = engineCommand(5001 + random.bounded(43), direction);
            TempGameFolder &from = hostMoves ? hostTmp : clientTmp;
            TempGameFolder &to = hostMoves ? clientTmp : hostTmp;
            QSignalSpy &arrived = hostMoves ? toClient : toHost;
            QVERIFY(from.write("Send/AICommand.xml", written + "\r\n"));
            QVERIFY(arrived.wait(2000));
            const QByteArray received =
                GameFolder::splitLines(to.read("Receive/AICommand.xml")).value(0);
            QVERIFY(QFile::remove(to.file("Receive/AICommand.xml")));
            QPoint a, b, c, d;
            QVERIFY((hostMoves ? hostBoard : clientBoard).move(written, &a, &b));
            QVERIFY((hostMoves ? clientBoard : hostBoard).move(received, &c, &d));
            QCOMPARE(otherView(c), a);
            QCOMPARE(otherView(d), b);
            QCOMPARE(GameFolder::splitLines(from.read("GameLog.txt")).last(), "SENT:" + written);
            QCOMPARE(GameFolder::splitLines(to.read("GameLog.txt")).last(), "RCVD:" + received);
        }
    }
};

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
