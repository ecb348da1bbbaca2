#include "armyflip.h"

#include "gamefolder.h"

#include <QList>

namespace {

constexpr int CellWidth = 4;
constexpr int CellsPerRow = 40;

/// A whole number brought into 16 bits the way the game's arithmetic wraps:
/// modulo 65536, as a signed value.
qint16 wrap16(int value)
{
    const auto bits = static_cast<quint16>(static_cast<unsigned int>(value));
    return bits >= 0x8000 ? static_cast<qint16>(static_cast<int>(bits) - 0x10000)
                          : static_cast<qint16>(bits);
}

/// The half-turned rows, each preceded by CR LF: the last row read comes
/// first, so the result starts with an empty line.
QByteArray flipRows(const QList<QByteArray> &rows)
{
    QByteArray result;
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        result += "\r\n";
        result += halfTurnRow(rows.at(i));
    }
    return result;
}

bool readForFlip(const GameFolder &folder, const QString &inputFile, QList<QByteArray> *lines,
                 QString *error)
{
    if (!folder.readLines(inputFile, lines, error))
        return false;
    if (lines->isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 holds no line").arg(inputFile);
        return false;
    }
    return true;
}

} // namespace

bool isBlankLine(const QByteArray &line)
{
    // Only spaces count as blanks when a line is tested for being empty.
    for (const char c : line) {
        if (c != ' ')
            return false;
    }
    return true;
}

QByteArray halfTurnRow(const QByteArray &row)
{
    QByteArray result;
    result.reserve(qMin<qsizetype>(row.size(), CellWidth * CellsPerRow));
    for (int cell = CellsPerRow - 1; cell >= 0; --cell) {
        const qsizetype start = qsizetype(cell) * CellWidth;
        if (start < row.size())
            result += row.mid(start, CellWidth);
    }
    return result;
}

QByteArray markSide(const QByteArray &row, char side)
{
    QByteArray result = row;
    for (int kind = 1; kind <= 12; ++kind) {
        const QByteArray code = QByteArray::number(kind).rightJustified(3, '0');
        QByteArray marked = code;
        marked[0] = side;
        result.replace(code, marked);
    }
    return result;
}

bool FlipArmySave(const GameFolder &folder, const QString &inputFile, const QString &outputFile,
                  QString *error)
{
    QList<QByteArray> lines;
    if (!readForFlip(folder, inputFile, &lines, error))
        return false;
    // The header is dropped; every further line, blank or not, is a row.
    lines.removeFirst();
    return folder.writeValue(outputFile, flipRows(lines), error);
}

bool FlipSave(const GameFolder &folder, const QString &inputFile, const QString &outputFile,
              QString *error)
{
    QList<QByteArray> lines;
    if (!readForFlip(folder, inputFile, &lines, error))
        return false;
    const QByteArray firstLine = lines.takeFirst();
    QList<QByteArray> rows;
    for (const QByteArray &line : std::as_const(lines)) {
        if (!isBlankLine(line))
            rows << line;
    }
    return folder.writeValue(outputFile, firstLine + flipRows(rows), error);
}

qint16 maxCount(const QByteArray &sav)
{
    int count = 0;
    for (const char c : sav) {
        if (c == 'B' || c == 'R')
            count = (count + 1) & 0xffff;
    }
    return wrap16(count);
}

qint16 flipObjectID(qint16 objectCount, qint16 objId)
{
    const qint16 sum = wrap16(int(objectCount) + 5000);
    return wrap16(int(sum) - int(objId) + 5001);
}
