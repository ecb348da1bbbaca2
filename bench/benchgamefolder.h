#pragma once

// The game folders of the whole-game benchmarks.

#include "tempgamefolder.h"

#include <QFile>

/// A game folder with the samples and an engine that only exits: the bench
/// plays the engines' part itself.
inline bool prepare(const TempGameFolder &folder)
{
    const QString engine = folder.file(QStringLiteral("HvdAIS2p.EXE"));
    return folder.copySamples() &&
           folder.write(QStringLiteral("HvdAIS2p.EXE"), "#!/bin/sh\nexit 0\n") &&
           QFile::setPermissions(engine, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
