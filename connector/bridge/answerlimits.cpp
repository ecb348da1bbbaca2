#include "answerlimits.h"

#include <QList>

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Elements that never hold anything, so their start tag opens no level.
bool isVoidName(const QByteArray &name)
{
    static const QList<QByteArray> names = {"area",   "base",   "basefont", "bgsound", "br",
                                            "col",    "embed",  "frame",    "hr",      "img",
                                            "input",  "keygen", "link",     "meta",    "param",
                                            "source", "track",  "wbr",      "image",   "isindex"};
    return names.contains(name);
}

// The tag name that starts at `from` (just after "<" or "</"), in small
// letters, as the parser reads it: up to a blank, "/" or ">".
QByteArray tagName(const QByteArray &page, int from)
{
    int end = from;
    while (end < page.size()) {
        const char c = page.at(end);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>')
            break;
        ++end;
    }
    return page.mid(from, end - from).toLower();
}

} // namespace

QString AnswerLimits::problem(const QByteArray &page)
{
    if (page.size() > MaxBytes)
        return QStringLiteral("it is larger than %1 KiB").arg(MaxBytes / 1024);
    // Counted on the raw bytes and on the safe side: every "<" counts as a
    // tag (also one inside a comment or a script), and an end tag closes a
    // level only when it names the innermost open element, so a page cannot
    // nest deeper in the parser than it does here by misnesting its tags.
    int tags = 0;
    QList<QByteArray> open;
    for (int i = page.indexOf('<'); i >= 0; i = page.indexOf('<', i + 1)) {
        if (++tags > MaxTags)
            return QStringLiteral("it has more than %1 tags").arg(MaxTags);
        const bool end = i + 1 < page.size() && page.at(i + 1) == '/';
        const int nameAt = i + (end ? 2 : 1);
        if (nameAt >= page.size() || !isLetter(page.at(nameAt)))
            continue;
        const QByteArray name = tagName(page, nameAt);
        if (end) {
            if (!open.isEmpty() && open.last() == name)
                open.removeLast();
            continue;
        }
        if (isVoidName(name))
            continue;
        open.append(name);
        if (open.size() > MaxDepth)
            return QStringLiteral("it nests elements more than %1 deep").arg(MaxDepth);
    }
    return QString();
}
