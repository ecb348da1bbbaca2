#pragma once

#include <QByteArray>

/// The command converted to the other player's view: the object number at
/// characters 24 to 27 flipped with the object count wherever its digits
/// occur, and the direction at character 41 turned round (N/S, E/W). A text
/// that is empty, shorter than 41 characters or has no number at 24 to 27 is
/// returned unchanged. msg holds the result afterwards as well.
/// The two numbers and the two letters are exchanged, not replaced one way, so
/// converting twice always gives the command back.
QByteArray AdjustCommand(QByteArray &msg, qint16 objectCount);

/// A command that came through the bridge, rebuilt into the engine's layout
/// from its FlagID, Direction and SerpentJump attributes. Returns an empty text
/// when the text is not such a command (an attribute is missing or cut short).
QByteArray NormalizeCommand(const QByteArray &text);
