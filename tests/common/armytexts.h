#pragma once

#include <QByteArray>
#include <QList>

/// Army files for protocol tests: a header line and 40 rows of 40 cells,
/// "000" but for the flags placed, every line ended by CR LF.
namespace ArmyTexts {

struct Flag
{
    int row;
    int column;
    int kind;
};

inline QByteArray army(const QList<Flag> &flags, const QByteArray &header = "Castle")
{
    QList<QByteArray> rows(40, QByteArray("000 ").repeated(40));
    for (const Flag &flag : flags)
        rows[flag.row].replace(flag.column * 4, 3,
                               QByteArray::number(flag.kind).rightJustified(3, '0'));
    QByteArray text = header + "\r\n";
    for (const QByteArray &row : rows)
        text += row + "\r\n";
    return text;
}

/// One flag of each kind 1 to 12, spread over the given row and the next.
inline QList<Flag> oneOfEachKind(int row)
{
    QList<Flag> flags;
    for (int kind = 1; kind <= 12; ++kind)
        flags << Flag{row + kind % 2, kind * 3, kind};
    return flags;
}

} // namespace ArmyTexts
