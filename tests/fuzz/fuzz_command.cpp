// AdjustCommand and NormalizeCommand on any text a peer can send.
//
// Input: two bytes (the object count, high byte first), then the command text.
// Invariants:
// - AdjustCommand leaves the text alone unless it holds a four-digit object
//   number at 24 to 27 and is longer than 41 characters; the text it is given
//   holds the result afterwards.
// - Where every run of digits in the text is four long, as in a command, and
//   the number and its flipped number have four digits, the conversion keeps
//   the length and applying it twice gives the command back.
// - NormalizeCommand gives nothing or the engine's layout without double
//   quotes, and applying it to its own result changes nothing.

#include "armyflip.h"
#include "command.h"
#include "fuzzinput.h"

#include <QRegularExpression>

namespace {

/// True when the text holds a run of digits other than four long.
bool otherDigitRuns(const QByteArray &text)
{
    static const QRegularExpression other(QStringLiteral("(^|\\D)(\\d{1,3}|\\d{5,})(\\D|$)"));
    return other.match(QString::fromLatin1(text)).hasMatch();
}

void checkAdjust(const QByteArray &command, qint16 objectCount)
{
    QByteArray once = command;
    const QByteArray result = AdjustCommand(once, objectCount);
    FUZZ_CHECK(once == result);
    static const QRegularExpression number(QStringLiteral("^\\d{4}$"));
    if (command.size() <= 40 || !number.match(QString::fromLatin1(command.mid(23, 4))).hasMatch()) {
        FUZZ_CHECK(result == command);
        return;
    }
    const int objId = command.mid(23, 4).toInt();
    const int flipped = flipObjectID(objectCount, qint16(objId));
    // Inside a longer run of digits a number is no token of its own: the
    // exchange may cut the run elsewhere the second time. A command holds
    // its numbers as runs of four digits.
    if (objId < 1000 || flipped < 1000 || flipped > 9999 || otherDigitRuns(command))
        return;
    QByteArray twice = result;
    FUZZ_CHECK(result.size() == command.size() && AdjustCommand(twice, objectCount) == command);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    // Object counts of real games lie between 2 and a few hundred; the rest
    // of the 16-bit range is what a broken save gives.
    const qint16 objectCount = qint16(input.number16());
    const QByteArray text = input.rest();
    checkAdjust(text, objectCount);
    const QByteArray normal = NormalizeCommand(text);
    FUZZ_CHECK(normal.isEmpty() ||
               (normal.startsWith("<Root><Command ") && normal.endsWith("/></Root>") &&
                !normal.contains('"') && normal.size() == 15 + 13 + 1 + 13 + 1 + 16 + 9 &&
                NormalizeCommand(normal) == normal));
    return 0;
}
