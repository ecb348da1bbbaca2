#include "hvdclienthttp.h"

HvdClientHTTP::HvdClientHTTP(const GameFolder &folder, QWidget *parent) : QWidget(parent), m_folder(folder)
{
    setObjectName(QStringLiteral("HvdClientHTTP"));
    setWindowTitle(QStringLiteral("HvdClientHTTP"));
    m_folder.clearStaleCommands();
}
