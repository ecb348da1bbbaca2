#include "hvdhosttcpip.h"

HvdHostTCPIP::HvdHostTCPIP(const GameFolder &folder, QWidget *parent) : QWidget(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("HvdHostTCPIP"));
    setWindowTitle(QStringLiteral("HvdHostTCP/IP"));
    m_folder.clearStaleCommands();
}
