#include "command.h"

#include "armyflip.h"

namespace {

// Positions of the command layout, counted from 0.
constexpr qsizetype FlagIdAt = 23;
constexpr qsizetype FlagIdDigits = 4;
constexpr qsizetype DirectionAt = 40;

/// Exchanges every occurrence of a with b and of b with a in one pass from the
/// left; where both match, the longer one is taken. Exchanging (rather than
/// replacing one way) keeps the conversion its own inverse even when the text
/// already held the other form somewhere.
QByteArray exchange(const QByteArray &text, const QByteArray &a, const QByteArray &b)
{
    if (a == b)
        return text;
    const QByteArray &longer = a.size() >= b.size() ? a : b;
    const QByteArray &shorter = a.size() >= b.size() ? b : a;
    QByteArray result;
    result.reserve(text.size() + 8);
    qsizetype i = 0;
    while (i < text.size()) {
        if (!longer.isEmpty() && text.mid(i, longer.size()) == longer) {
            result += (&longer == &a) ? b : a;
            i += longer.size();
        } else if (!shorter.isEmpty() && text.mid(i, shorter.size()) == shorter) {
            result += (&shorter == &a) ? b : a;
            i += shorter.size();
        } else {
            result += text.at(i);
            ++i;
        }
    }
    return result;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

QByteArray AdjustCommand(QByteArray &msg, qint16 objectCount)
{
    if (msg.size() <= DirectionAt)
        return msg;
    int objId = 0;
    for (qsizetype i = FlagIdAt; i < FlagIdAt + FlagIdDigits; ++i) {
        if (!isDigit(msg.at(i)))
            return msg;
        objId = objId * 10 + (msg.at(i) - '0');
    }
    // Four digits always fit into 16 bits.
    const qint16 flipped = flipObjectID(objectCount, static_cast<qint16>(objId));
    QByteArray result = exchange(msg, QByteArray::number(objId), QByteArray::number(int(flipped)));

    if (result.size() > DirectionAt) {
        switch (result.at(DirectionAt)) {
        case 'N':
        case 'S':
            result = exchange(result, "'N'", "'S'");
            break;
        case 'E':
        case 'W':
            result = exchange(result, "'E'", "'W'");
            break;
        default:
            break;
        }
    }
    msg = result;
    return result;
}

QByteArray NormalizeCommand(const QByteArray &text)
{
    struct Piece
    {
        const char *name;
        qsizetype length;
    };
    static const Piece pieces[] = {{"FlagID", 13}, {"Direction", 13}, {"SerpentJump", 16}};
    QByteArray parts[3];
    for (int i = 0; i < 3; ++i) {
        const qsizetype at = text.indexOf(pieces[i].name);
        if (at < 0 || at + pieces[i].length > text.size())
            return QByteArray();
        parts[i] = text.mid(at, pieces[i].length);
    }
    QByteArray result =
        "<Root><Command " + parts[0] + ' ' + parts[1] + ' ' + parts[2] + "/></Root>";
    result.replace('"', '\'');
    return result;
}
