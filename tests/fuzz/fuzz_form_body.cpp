// HvdBridge's form body parser on any body a client can post.
//
// Input: one byte choosing the kind, then the text.
//   kind 0: the text is the whole body.
//   kind 1: the text holds a session key, an owner and the data, separated by
//           zero bytes, posted the connector's way (blanks as "+").
//   kind 2: the text is a session name, posted the connector's way.
// Invariants:
// - Any body gives fields no longer than itself; a missing field reads as
//   empty, and a body that never names SessionData has none.
// - A body the connector writes gives back every field as it was written:
//   the data whatever it holds ("&", "=", "%" included) where the key and
//   owner hold no "&" or "=", and the session name whatever it holds.

#include "formbody.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int kind = input.byte() % 3;
    if (kind == 0) {
        const std::string body = input.rest().toStdString();
        const FormBody form = FormBody::parse(body);
        for (const char *name : {"SessionName", "SessionKey", "DataOwner", "SessionData"})
            FUZZ_CHECK((form.has(name) || form.value(name).empty()) &&
                       form.value(name).size() <= body.size());
        FUZZ_CHECK(body.find("SessionData") != std::string::npos || !form.has("SessionData"));
        return 0;
    }
    // Whatever the text holds, "+" cannot be sent: it reads as a blank.
    if (kind == 2) {
        const QByteArray name = input.rest().replace('+', ' ');
        const FormBody form = FormBody::parse("SessionName=" + plussed(name));
        FUZZ_CHECK(form.has("SessionName") && form.value("SessionName") == name.toStdString());
        return 0;
    }
    const QByteArray key = input.until('\0').replace('+', ' ');
    const QByteArray owner = input.until('\0').replace('+', ' ');
    const QByteArray text = input.rest().replace('+', ' ');
    const FormBody form =
        FormBody::parse("SessionKey=" + plussed(key) + "&DataOwner=" + plussed(owner) +
                        "&SessionData=" + plussed(text));
    // A key or owner with form syntax of its own makes another form; the
    // connector's keys and owners never hold it.
    if (key.contains('&') || key.contains('=') || owner.contains('&') || owner.contains('='))
        return 0;
    FUZZ_CHECK(form.value("SessionData") == text.toStdString() &&
               form.value("SessionKey") == key.toStdString() &&
               form.value("DataOwner") == owner.toStdString());
    return 0;
}
