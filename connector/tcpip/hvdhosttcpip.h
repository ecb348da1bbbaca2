#pragma once

#include "gamefolder.h"

#include <QWidget>

/// Session window (stub until its behaviour lands): its caption and the
/// clearing of stale command files at load.
class HvdHostTCPIP : public QWidget
{
    Q_OBJECT

public:
    explicit HvdHostTCPIP(const GameFolder &folder, QWidget *parent = nullptr);

private:
    GameFolder m_folder;
};
