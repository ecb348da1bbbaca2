#pragma once

#include <QByteArray>
#include <QString>

class GameFolder;

/// What the host's completion file work produced.
struct HostCompletion
{
    /// False when a step failed; the later steps still ran, as the windows expect.
    bool ok = true;
    /// The first failure, naming the file and the reason.
    QString error;
    /// The start data text, without its "SAVEDATA1: " marker.
    QByteArray startData;
    /// The number of side letters of the start data text.
    qint16 objectCount = 0;
};

/// The host's completion file work, run when the client's army is complete:
/// ClientARMY.tmp, TopARMY.tmp, HostGame.sav and the start data text.
/// mapFileName is the selection of the map list ("Castle.map"); ownArmyFile is
/// "Random.arm" when "Create Random Army" is ticked, else the army selection.
HostCompletion hostCompletionFiles(const GameFolder &folder, const QByteArray &armyBuffer,
                                   const QByteArray &mapFileName, const QString &ownArmyFile);

/// The client's completion file work, run when the start data is complete:
/// HostGame.tmp and ClientGame.sav. mapName is the name from the map message.
bool clientCompletionFiles(const GameFolder &folder, const QByteArray &mapName,
                           const QByteArray &startData, QString *error);
