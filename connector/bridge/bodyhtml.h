#pragma once

#include <QByteArray>
#include <QString>

/// Reads a bridge page the way a browser's document reports it: the inner
/// HTML of the body element, serialised with element names in capitals and
/// attribute names as written (FlagID stays FlagID), so a stored
/// "<Root><Command FlagID=..." comes back as "<ROOT><COMMAND FlagID=...".
/// Bytes are one per character (Latin-1) on both sides.
///
/// The page is checked against AnswerLimits before the parser sees it, so a
/// hostile page costs at most a bounded parse.
class BodyHtml
{
public:
    /// The inner HTML of the page's body (empty when the page has none). A
    /// page past a bound of AnswerLimits gives an empty text and `error` says
    /// why ("it nests elements more than 64 deep"); otherwise `error` is
    /// cleared.
    static QByteArray innerHtml(const QByteArray &page, QString *error = nullptr);
};
