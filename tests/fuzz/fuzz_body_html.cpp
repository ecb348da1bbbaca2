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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    if (input.byte() % 2 == 0) {
        // Every element that a parser adds around a few characters of input
        // costs a bounded number of characters: "<a>" reads as "<A></A>", a
        // character reference beyond one byte as "&#1114111;".
        const QByteArray page = input.rest();
        FUZZ_CHECK(BodyHtml::innerHtml(page).size() <= 64 * page.size() + 64);
        return 0;
    }
    const QByteArray message =
        (input.byte() & 1 ? "ARMYDATA: " : "SAVEDATA1: ") + rowLetters(input.rest(), 16);
    // The server's page frame around the stored text, its line ends as "<br>".
    const QByteArray page = "<html><head><title>HvdBridge</title></head><body>" +
                            QByteArray(message).replace("\r\n", "<br>") + "</body></html>";
    const QByteArray answer = HTTPSendReceive::answerText(page);
    // A page within the answer bounds (every real army and start data is)
    // reads back exactly; a larger one is refused as a whole, never cut.
    const bool within =
        page.size() <= AnswerLimits::MaxBytes && message.count("\r\n") < AnswerLimits::MaxTags - 8;
    FUZZ_CHECK(answer == message || (!within && answer.isEmpty()));
    return 0;
}
