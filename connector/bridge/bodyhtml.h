#pragma once

#include <QByteArray>

/// Reads a bridge page the way a browser's document reports it: the inner
/// HTML of the body element, serialised with element names in capitals and
/// attribute names as written (FlagID stays FlagID), so a stored
/// "<Root><Command FlagID=..." comes back as "<ROOT><COMMAND FlagID=...".
/// Bytes are one per character (Latin-1) on both sides.
class BodyHtml
{
public:
    /// The inner HTML of the page's body (empty when the page has none).
    static QByteArray innerHtml(const QByteArray &page);
};
