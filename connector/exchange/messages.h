#pragma once

#include "role.h"

#include <QByteArray>
#include <QList>
#include <QString>

/// The five session message kinds: their texts as sent, their markers and the
/// payloads the receiver takes out of an arrived text. Pure functions on bytes.
///
/// A kind is recognised when its marker stands anywhere in the arrived text
/// (exact, case-sensitive). The payload is taken from the character after the
/// marker's sent form ("ARMYDATA: "), which is the fixed position of the
/// message text when the marker stands at its start, as it does in every
/// message as sent.
class Messages
{
public:
    /// The markers as the receiver looks for them (without their blank).
    static const char *const MapMarker;       // "MAP:"
    static const char *const ArmyMarker;      // "ARMYDATA:"
    static const char *const StartDataMarker; // "SAVEDATA1:"
    /// What marks a command over TCP/IP, and through the bridge.
    static const char *const CommandMarker;       // "<Root><Command FlagID="
    static const char *const BridgeCommandMarker; // "<ROOT><COMMAND"

    /// A whole army text: a header line and 40 rows.
    static constexpr int ArmyHeaderLines = 1;
    static constexpr int ArmyRows = 40;
    /// A whole start data text: 80 rows, the host's army and the client's.
    static constexpr int StartDataRows = 80;
    /// The most flags a game can hold: every cell of the 40 by 40 board, in
    /// both armies. Far below the 16-bit limit of the object count.
    static constexpr int MaxObjectCount = 3200;
    /// Largest payloads taken in; far above the real sizes (about 6,700 and
    /// 12,960 characters), so only a broken or hostile peer reaches them.
    static constexpr int ArmyLimit = 64 * 1024;
    static constexpr int StartDataLimit = 128 * 1024;

    /// "MAP: " and the map file name, extension included.
    static QByteArray mapMessage(const QByteArray &mapFileName);
    /// The army text of an army file's lines: every line followed by CR LF.
    static QByteArray armyText(const QList<QByteArray> &lines);
    /// "ARMYDATA: " and the army text.
    static QByteArray armyMessage(const QByteArray &armyText);
    /// "SAVEDATA1: " and the start data text.
    static QByteArray startDataMessage(const QByteArray &startData);
    /// "SERVER: " (host) or "CLIENT: " (client) and the typed line.
    static QByteArray chatMessage(Role role, const QByteArray &line);

    static bool isCommand(const QByteArray &text);
    static bool isBridgeCommand(const QByteArray &text);
    static bool hasMap(const QByteArray &text);
    static bool hasArmy(const QByteArray &text);
    static bool hasStartData(const QByteArray &text);

    /// The map name of a text holding "MAP:": what follows the marker, trimmed.
    static QByteArray mapPayload(const QByteArray &text);
    /// The army text of a text holding "ARMYDATA:", not trimmed.
    static QByteArray armyPayload(const QByteArray &text);
    /// The start data of a text holding "SAVEDATA1:", trimmed.
    static QByteArray startDataPayload(const QByteArray &text);

    /// A peer's text fit for one line of the output box: control characters
    /// shown as "?", and at most 80 characters.
    static QByteArray printable(const QByteArray &text);
    /// The text without leading and trailing blanks; line breaks stay.
    static QByteArray trimBlanks(const QByteArray &text);
    /// Why a map name from the peer cannot be used as a file name in the game
    /// folder (empty, a path separator, "..", a drive, a wildcard, a control
    /// character, a device name, too short to hold a name and ".map", not
    /// ending in ".map"); empty when it can.
    static QString mapNameProblem(const QByteArray &mapFileName);
    /// The map file name without its last four characters ("Castle").
    static QByteArray mapBaseName(const QByteArray &mapFileName);
    /// The army list's pattern for a map: "*Castle*.arm" for Castle.map.
    static QString armyPattern(const QByteArray &mapFileName);
};
