#include "bodyhtml.h"

#include "answerlimits.h"

#include <QList>
#include <QString>

#include <gumbo.h>

#include <cstring>
#include <vector>

namespace {

bool isVoidElement(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_BGSOUND:
    case GUMBO_TAG_BR:
    case GUMBO_TAG_COL:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_FRAME:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_INPUT:
    case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_WBR:
        return true;
    default:
        return false;
    }
}

// Text inside these elements is reported as it stands, without escaping.
bool isRawTextElement(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_NOSCRIPT:
        return true;
    default:
        return false;
    }
}

// The element name in capitals; unknown elements (Root, Command) take the
// name from the start tag as written.
QString elementName(const GumboElement &element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return QString::fromUtf8(gumbo_normalized_tagname(element.tag)).toUpper();
    GumboStringPiece piece = element.original_tag;
    if (piece.length == 0)
        return QString();
    gumbo_tag_from_original_text(&piece);
    return QString::fromUtf8(piece.data, int(piece.length)).toUpper();
}

QString escaped(const char *utf8, bool inAttribute)
{
    const QString text = QString::fromUtf8(utf8);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case 0xA0:
            out += QLatin1String("&nbsp;");
            break;
        case '"':
            out += inAttribute ? QLatin1String("&quot;") : QLatin1String("\"");
            break;
        case '<':
            out += inAttribute ? QLatin1String("<") : QLatin1String("&lt;");
            break;
        case '>':
            out += inAttribute ? QLatin1String(">") : QLatin1String("&gt;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The start tag of an element; returns its name for the end tag.
QString startTag(const GumboElement &element, QString &out)
{
    const QString name = elementName(element);
    out += QLatin1Char('<') + name;
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        const auto *attribute = static_cast<const GumboAttribute *>(element.attributes.data[i]);
        const GumboStringPiece &original = attribute->original_name;
        out += QLatin1Char(' ');
        if (original.length > 0)
            out += QString::fromUtf8(original.data, int(original.length));
        else
            out += QString::fromUtf8(attribute->name);
        out += QLatin1String("=\"") + escaped(attribute->value, true) + QLatin1Char('"');
    }
    out += QLatin1Char('>');
    return name;
}

// A node without children: text, CDATA or a comment.
void serialiseLeaf(const GumboNode *node, QString &out)
{
    switch (node->type) {
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_WHITESPACE: {
        const GumboNode *parent = node->parent;
        const bool raw =
            parent && parent->type == GUMBO_NODE_ELEMENT && isRawTextElement(parent->v.element.tag);
        out += raw ? QString::fromUtf8(node->v.text.text) : escaped(node->v.text.text, false);
        return;
    }
    case GUMBO_NODE_CDATA:
        out += QLatin1String("<![CDATA[") + QString::fromUtf8(node->v.text.text) +
               QLatin1String("]]>");
        return;
    case GUMBO_NODE_COMMENT:
        out += QLatin1String("<!--") + QString::fromUtf8(node->v.text.text) + QLatin1String("-->");
        return;
    default:
        return;
    }
}

const GumboVector &childrenOf(const GumboNode *node)
{
    return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

// The children of a node, in document order. An explicit stack of open
// elements instead of recursion: a page may nest elements many thousand deep,
// more than the thread's stack has room for. Stops with false once the text
// passes the serialiser's bound.
bool serialiseChildren(const GumboNode *root, QString &out)
{
    struct Open
    {
        const GumboNode *node;
        unsigned next;
        QString endTag;
    };
    std::vector<Open> open{{root, 0, QString()}};
    while (!open.empty()) {
        if (out.size() > AnswerLimits::MaxInnerHtmlBytes)
            return false;
        Open &top = open.back();
        const GumboVector &children = childrenOf(top.node);
        if (top.next >= children.length) {
            out += top.endTag;
            open.pop_back();
            continue;
        }
        const auto *child = static_cast<const GumboNode *>(children.data[top.next++]);
        if (child->type != GUMBO_NODE_ELEMENT && child->type != GUMBO_NODE_TEMPLATE) {
            serialiseLeaf(child, out);
            continue;
        }
        const QString name = startTag(child->v.element, out);
        if (!isVoidElement(child->v.element.tag))
            open.push_back({child, 0, QLatin1String("</") + name + QLatin1Char('>')});
    }
    return true;
}

const GumboNode *findBody(const GumboNode *html)
{
    if (!html || html->type != GUMBO_NODE_ELEMENT)
        return nullptr;
    const GumboVector &children = html->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto *child = static_cast<const GumboNode *>(children.data[i]);
        if (child->type == GUMBO_NODE_ELEMENT && child->v.element.tag == GUMBO_TAG_BODY)
            return child;
    }
    return nullptr;
}

// Back to one byte per character; a character beyond Latin-1 (only an entity
// can make one) is reported as a numeric reference rather than lost.
QByteArray toLatin1Bytes(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    const QList<uint> codes = text.toUcs4();
    for (const uint code : codes) {
        if (code <= 0xFF)
            out += char(code);
        else
            out += "&#" + QByteArray::number(code) + ';';
    }
    return out;
}

} // namespace

QByteArray BodyHtml::innerHtml(const QByteArray &page, QString *error)
{
    QString problem = AnswerLimits::problem(page);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return QByteArray();
    }
    // gumbo reads UTF-8; the page's bytes are one per character. It keeps a
    // record of every parse error unless told otherwise, and the answer needs
    // none of them.
    const QByteArray utf8 = QString::fromLatin1(page).toUtf8();
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput *output = gumbo_parse_with_options(&options, utf8.constData(), size_t(utf8.size()));
    QString out;
    if (const GumboNode *body = findBody(output->root)) {
        if (!serialiseChildren(body, out)) {
            out.clear();
            problem = QStringLiteral("its body would be longer than %1 KiB")
                          .arg(AnswerLimits::MaxInnerHtmlBytes / 1024);
        }
    }
    gumbo_destroy_output(&options, output);
    if (error)
        *error = problem;
    return toLatin1Bytes(out);
}
