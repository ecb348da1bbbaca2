#pragma once

#include <QByteArray>
#include <QString>

/// The bounds a bridge answer page must keep before the HTML parser sees it.
/// Any stranger who reads a Session ID can post into a session, so a page is
/// hostile until checked: its size, the number of its tags and how deep its
/// elements nest are counted on the raw bytes first, and a page past a bound
/// is refused as a whole.
///
/// The largest real answer is the start data message: 40 rows of 40 cells,
/// about 13 KB, plus some 80 line-break tags and the page around it. The size
/// bound leaves a margin of more than twice that. Real answers use a handful
/// of tags and nest four deep (html, body, ROOT, COMMAND); the bounds on tags
/// and depth are far above that and far below what makes a parser slow.
class AnswerLimits
{
public:
    /// The largest answer page taken, in bytes.
    static constexpr int MaxBytes = 32 * 1024;
    /// The most tags (start tags, end tags, comments and the like) in a page.
    static constexpr int MaxTags = 4096;
    /// The deepest nesting of elements that a page may open.
    static constexpr int MaxDepth = 64;
    /// The largest body text the serialiser gives: a page within the bounds
    /// above can still make the parser build far more elements than it has
    /// tags (formatting elements are reopened in every new paragraph).
    static constexpr int MaxInnerHtmlBytes = 8 * MaxBytes;

    /// Why a page is refused, as a clause for a sentence ("it nests elements
    /// more than 64 deep"); empty when the page keeps every bound.
    static QString problem(const QByteArray &page);
};
