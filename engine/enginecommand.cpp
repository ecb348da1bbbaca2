#include "enginecommand.h"

#include <QRegularExpression>

QByteArray EngineCommand::format(const Board::Move &move)
{
    return "<Root><Command FlagID='" + QByteArray::number(move.flagId) + "' Direction='" +
           QByteArray(1, move.direction) + "' SerpentJump='No'/></Root>";
}

bool EngineCommand::parse(const QByteArray &command, Board::Move *move)
{
    static const QRegularExpression flagPattern(
        QStringLiteral("FlagID\\s*=\\s*['\"](\\d{1,5})['\"]"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression directionPattern(
        QStringLiteral("Direction\\s*=\\s*['\"]([NSEWnsew])['\"]"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromLatin1(command);
    const QRegularExpressionMatch flag = flagPattern.match(text);
    const QRegularExpressionMatch direction = directionPattern.match(text);
    if (!flag.hasMatch() || !direction.hasMatch())
        return false;
    move->flagId = flag.captured(1).toInt();
    move->direction = direction.captured(1).toUpper().at(0).toLatin1();
    return true;
}
