#pragma once

#include <QByteArray>
#include <QList>

/// Army files and engine commands for the exchange tests.
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

} // namespace ArmyTexts
