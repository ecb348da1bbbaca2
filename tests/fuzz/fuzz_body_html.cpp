// The bridge answer's body serialiser (BodyHtml::innerHtml and answerText)
// on any page a server can send, and on the pages the bridge makes of the
// session's own messages.
//
// Input: one byte choosing the kind, then the text.
//   even: the text is a whole page from a hostile server.
//   odd:  the text, brought onto the letters of army and save rows
//           (digits, B, R, blanks, line ends), follows "ARMYDATA: " or
//           "SAVEDATA1: " as the connector posts it.
// Invariants:
// - Any page is read within a bounded size: at most a fixed factor of the
//   page's own size.
// - A message posted and fetched back through the server's page frame reads
//   as the message that was posted. (Commands round-trip in the whole-game
//   tests.)

#include "answerlimits.h"
#include "bodyhtml.h"
#include "fuzzinput.h"
#include "httpsendreceive.h"

namespace {

/// The page the bridge server answers with: its frame around the stored text.
QByteArray serverPage(const QByteArray &stored)
{
    return "<html><head><title>HvdBridge</title></head><body>" + stored + "</body></html>";
}

/// The stored text of a posted message: the line ends sent as "<br>".
QByteArray posted(const QByteArray &message)
{
    QByteArray data = message;
    data.replace("\r\n", "<br>");
    return data;
}

void checkAnyPage(const QByteArray &page)
{
    const QByteArray inner = BodyHtml::innerHtml(page);
    // Every element that a parser adds around a few characters of input
    // costs a bounded number of characters: "<a>" reads as "<A></A>", a
    // character reference beyond one byte as "&#1114111;".
    FUZZ_CHECK(inner.size() <= 64 * page.size() + 64);
}

void checkRows(const QByteArray &raw, bool army)
{
    static const char letters[] = "0123456789BR  ";
    QByteArray rows;
    for (const char c : raw) {
        const quint8 code = quint8(c) % 16;
        if (code < 14)
            rows += letters[code];
        else
            rows += "\r\n";
    }
    const QByteArray message = (army ? "ARMYDATA: " : "SAVEDATA1: ") + rows;
    const QByteArray page = serverPage(posted(message));
    const QByteArray answer = HTTPSendReceive::answerText(page);
    // A page within the answer bounds (every real army and start data is)
    // reads back exactly; a larger one is refused as a whole, never cut.
    if (page.size() <= AnswerLimits::MaxBytes && message.count("\r\n") < AnswerLimits::MaxTags - 8)
        FUZZ_CHECK(answer == message);
    else
        FUZZ_CHECK(answer.isEmpty() || answer == message);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    if (input.byte() % 2 == 0) {
        checkAnyPage(input.rest());
    } else {
        const bool army = input.byte() & 1;
        checkRows(input.rest(), army);
    }
    return 0;
}
