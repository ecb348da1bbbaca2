#pragma once

// Army files, map files and engine commands for the tests, and what a game makes of
// them worked out on its own, not with the connector's code: the other end's
// view of rows and commands, and the flag numbers counted backwards.

#include <QByteArray>
#include <QList>
#include <QTest>

namespace ArmyTexts {

struct Flag
{
    int row;
    int column;
    int kind;
};

/// A header line and 40 rows of 40 cells, "000" but for the flags placed,
/// every line ended by CR LF.
inline QByteArray army(const QList<Flag> &flags, const QByteArray &header = "Castle")
{
    QList<QByteArray> rows(40, QByteArray("000 ").repeated(40));
    for (const Flag &flag : flags)
        rows[flag.row].replace(flag.column * 4, 3,
                               QByteArray::number(flag.kind).rightJustified(3, '0'));
    return header + "\r\n" + rows.join("\r\n") + "\r\n";
}

/// One flag of each kind 1 to 12: the even kinds on the given row, the odd
/// ones on the next.
inline QList<Flag> oneOfEachKind(int row)
{
    QList<Flag> flags;
    for (int kind = 1; kind <= 12; ++kind)
        flags << Flag{row + kind % 2, kind * 3, kind};
    return flags;
}

/// A command as the engine writes it.
inline QByteArray command(const QByteArray &flag, char direction,
                          const QByteArray &rest = " SerpentJump='No'")
{
    return "<Root><Command FlagID='" + flag + "' Direction='" + direction + "'" + rest +
           "/></Root>";
}

/// A map file: 40 rows of 40 cells, every cell grass ("T02") unless
/// changed, then the flag counts.
struct TestMap
{
    QByteArray cell[41][41];
    QList<QByteArray> counts{"2", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "1"};

    TestMap()
    {
        for (auto &row : cell)
            for (QByteArray &code : row)
                code = "T02";
    }
    QByteArray bytes() const
    {
        QByteArray out;
        for (int r = 1; r <= 40; ++r) {
            for (int c = 1; c <= 40; ++c)
                out += cell[r][c] + ' ';
            out += "\r\n";
        }
        return out + "[FLAGS]\r\n" + counts.join("\r\n") + "\r\n";
    }
};

/// Rows seen from the other end: rows and cells reversed, sides exchanged.
inline QList<QByteArray> otherEnd(const QList<QByteArray> &rows)
{
    QList<QByteArray> turned;
    for (const QByteArray &row : rows) {
        QByteArray line;
        for (int cell = int(row.size()) - 4; cell >= 0; cell -= 4)
            line += row.mid(cell, 4);
        for (char &c : line)
            c = c == 'B' ? 'R' : c == 'R' ? 'B' : c;
        turned.prepend(line);
    }
    return turned;
}

/// Save rows as the army file holds them ("B07 " back to "007 ").
inline QList<QByteArray> unmarked(QList<QByteArray> rows)
{
    for (QByteArray &row : rows)
        row.replace('B', '0');
    return rows;
}

/// Commands in the other player's view: flag numbers counted from the other
/// end, directions turned round.
inline QList<QByteArray> mirrored(QList<QByteArray> commands, int objectCount)
{
    for (QByteArray &command : commands) {
        const int flag = int(command.indexOf("FlagID='")) + 8;
        const int direction = int(command.indexOf("Direction='")) + 11;
        if (flag < 8 || direction < 11 || direction >= command.size())
            continue;
        command[direction] = "SNWE"[QByteArray("NSEW").indexOf(command.at(direction)) & 3];
        // A flag's number as the other player counts: from the other end.
        command.replace(flag, 4,
                        QByteArray::number(objectCount + 10001 - command.mid(flag, 4).toInt()));
    }
    return commands;
}

/// For its scope: prints a randomized test's seed once the test has failed,
/// whichever check failed.
struct SeedTeller
{
    const quint32 &seed;
    ~SeedTeller()
    {
        if (QTest::currentTestFailed())
            qWarning("seed %u", seed);
    }
};

} // namespace ArmyTexts
