#pragma once

#include "board.h"

#include <QByteArray>

/// The command text through which the engine and the connector pass moves:
/// <Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>
class EngineCommand
{
public:
    /// The command of a move, with the object number at characters 24 to 27
    /// and the direction letter at character 41.
    static QByteArray format(const Board::Move &move);
    /// Reads FlagID and Direction from a command. Attribute names are matched
    /// without regard to letter case, values may be in single or double
    /// quotes. False when either is missing or malformed.
    static bool parse(const QByteArray &command, Board::Move *move);
};
