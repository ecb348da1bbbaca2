#include "hvdhosthttp.h"

HvdHostHTTP::HvdHostHTTP(const GameFolder &folder, QWidget *parent) : QWidget(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("HvdHostHTTP"));
    setWindowTitle(QStringLiteral("HvdHostHTTP"));
    m_folder.clearStaleCommands();
}
