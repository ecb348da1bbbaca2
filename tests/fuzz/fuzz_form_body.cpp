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

#include <algorithm>

namespace {

std::string plussed(std::string text)
{
    std::replace(text.begin(), text.end(), ' ', '+');
    return text;
}

std::string bytes(const QByteArray &text)
{
    return text.toStdString();
}

void checkAnyBody(const std::string &body)
{
    const FormBody form = FormBody::parse(body);
    static const char *const names[] = {"SessionName", "SessionKey", "DataOwner", "SessionData"};
    for (const char *name : names) {
        FUZZ_CHECK(form.has(name) || form.value(name).empty());
        FUZZ_CHECK(form.value(name).size() <= body.size());
    }
    if (body.find("SessionData") == std::string::npos)
        FUZZ_CHECK(!form.has("SessionData"));
}

void checkConnectorBody(FuzzInput &input)
{
    // Whatever the text holds, "+" cannot be sent: it reads as a blank.
    QByteArray key = input.until('\0').replace('+', ' ');
    QByteArray owner = input.until('\0').replace('+', ' ');
    const QByteArray data = input.rest().replace('+', ' ');
    const std::string body = "SessionKey=" + plussed(bytes(key)) +
                             "&DataOwner=" + plussed(bytes(owner)) +
                             "&SessionData=" + plussed(bytes(data));
    const FormBody form = FormBody::parse(body);
    // A key or owner with form syntax of its own makes another form; the
    // connector's keys and owners never hold it.
    if (key.contains('&') || key.contains('=') || owner.contains('&') || owner.contains('='))
        return;
    FUZZ_CHECK(form.value("SessionData") == bytes(data) && form.value("SessionKey") == bytes(key) &&
               form.value("DataOwner") == bytes(owner));
}

void checkRegistration(const QByteArray &text)
{
    const QByteArray name = QByteArray(text).replace('+', ' ');
    const FormBody form = FormBody::parse("SessionName=" + plussed(bytes(name)));
    FUZZ_CHECK(form.has("SessionName") && form.value("SessionName") == bytes(name));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    switch (input.byte() % 3) {
    case 0:
        checkAnyBody(bytes(input.rest()));
        break;
    case 1:
        checkConnectorBody(input);
        break;
    default:
        checkRegistration(input.rest());
        break;
    }
    return 0;
}
