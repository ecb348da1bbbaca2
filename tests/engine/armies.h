#pragma once

// Save files for the engine as the connector writes them, with the
// connector's own row turning and side marks: the own army marked B, then
// the opponent's half-turned and marked R.

#include "armyflip.h"
#include "armytexts.h"
#include "gamefolder.h"
#include "tempgamefolder.h"

namespace Armies {

/// The save file of the side whose army has the flags `own` (row, column,
/// kind 1 to 12).
inline QByteArray save(const QList<ArmyTexts::Flag> &own, const QList<ArmyTexts::Flag> &opponent)
{
    QByteArray save = "Castle\r\n";
    for (const QByteArray &row : GameFolder::splitLines(ArmyTexts::army(own)).mid(1))
        save += markSide(row, 'B') + "\r\n";
    const QList<QByteArray> theirs = GameFolder::splitLines(ArmyTexts::army(opponent)).mid(1);
    for (auto row = theirs.crbegin(); row != theirs.crend(); ++row)
        save += markSide(halfTurnRow(*row), 'R') + "\r\n";
    return save;
}

} // namespace Armies

/// A host's game folder on Castle.map: the client's kind 2 on 5,5 (5001),
/// the host's kind 1 on 20,30 (5002), the client's kind 12 on 20,32 (5003),
/// the host's kind 5 on 31,19 below water (5004) and kind 12 on 31,20 (5005).
inline bool setUpHost(const TempGameFolder &folder, const QByteArray &script,
                      const QByteArray &fullScreen = "0")
{
    return QFile::copy(QStringLiteral(HVD_DATA_DIR "/Castle.map"),
                       folder.file(QStringLiteral("Castle.map"))) &&
           folder.write(QStringLiteral("Control.ini"),
                        "Castle.map\r\nHostGame.sav\r\n" + fullScreen + "\r\nHost\r\n") &&
           folder.write(QStringLiteral("HostGame.sav"),
                        Armies::save({{20, 30, 1}, {31, 19, 5}, {31, 20, 12}},
                                     {{34, 34, 2}, {19, 7, 12}})) &&
           folder.write(QStringLiteral("EngineScript.txt"), script);
}

/// Takes the command the engine sent, as the connector does, and hands over
/// the other player's move (in this side's numbers).
inline QByteArray exchange(const TempGameFolder &folder, const QByteArray &received)
{
    const QByteArray sent = folder.read(QStringLiteral("Send/AICommand.xml"));
    QFile::remove(folder.file(QStringLiteral("Send/AICommand.xml")));
    folder.write(QStringLiteral("Receive/AICommand.xml"), received + "\r\n");
    return sent;
}
