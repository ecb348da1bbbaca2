#include "hvdclienttcpip.h"

HvdClientTCPIP::HvdClientTCPIP(const GameFolder &folder, QWidget *parent) : QWidget(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("HvdClientTCPIP"));
    setWindowTitle(QStringLiteral("HvdClientTCP/IP"));
    m_folder.clearStaleCommands();
}
