#include "enginescript.h"

namespace {

bool toNumber(const QByteArray &text, qint64 minimum, qint64 maximum, qint64 *value)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok || number < minimum || number > maximum)
        return false;
    *value = number;
    return true;
}

} // namespace

EngineScript EngineScript::parse(const QList<QByteArray> &lines, QStringList *warnings)
{
    EngineScript script;
    bool countGiven = false;
    bool idleGiven = false;
    for (const QByteArray &raw : lines) {
        const QByteArray line = raw.simplified();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            continue;
        const QList<QByteArray> words = line.split(' ');
        const QByteArray directive = words.first().toLower();
        qint64 a = 0;
        qint64 b = 0;
        bool ok = false;
        if (directive == "moves" && (words.size() == 2 || words.size() == 3)) {
            ok = toNumber(words.at(1), 0, 1000000, &a) &&
                 (words.size() == 2 || toNumber(words.at(2), 0, 0xffffffffLL, &b));
            if (ok) {
                script.moveCount = int(a);
                script.seeded = words.size() == 3;
                script.seed = quint32(b);
                countGiven = true;
            }
        } else if (directive == "move" && words.size() == 3) {
            const QByteArray direction = words.at(2).toUpper();
            ok = toNumber(words.at(1), 0, 99999, &a) && direction.size() == 1 &&
                 QByteArray("NSEW").contains(direction.at(0));
            if (ok) {
                script.moves.append(Board::Move{int(a), direction.at(0)});
                script.listed = true;
            }
        } else if (directive == "delay" && words.size() == 2) {
            ok = toNumber(words.at(1), 0, 3600000, &a);
            if (ok)
                script.delayMs = int(a);
        } else if (directive == "idle-exit" && words.size() == 2) {
            ok = toNumber(words.at(1), 1, 86400, &a);
            if (ok) {
                script.idleExitSeconds = int(a);
                idleGiven = true;
            }
        } else if (directive == "player" && words.size() == 2) {
            const QByteArray who = words.at(1).toLower();
            ok = who == "person" || who == "script";
            if (ok)
                script.person = who == "person";
        } else if (directive == "window" && words.size() == 2) {
            const QByteArray show = words.at(1).toLower();
            ok = show == "shown" || show == "hidden";
            if (ok)
                script.windowHidden = show == "hidden";
        } else if (directive == "snapshot" && words.size() == 3) {
            ok = toNumber(words.at(1), 0, 1000000, &a);
            if (ok) {
                script.snapshotMoves = int(a);
                script.snapshotFile = words.at(2);
            }
        }
        if (!ok && warnings)
            warnings->append(
                QStringLiteral("script line not understood: %1").arg(QString::fromLatin1(line)));
    }
    // A person may think as long as they like.
    if (script.person && !idleGiven)
        script.idleExitSeconds = 0;
    if (script.listed && countGiven && warnings)
        warnings->append(QStringLiteral("script lists moves; its \"moves\" line is ignored"));
    return script;
}

EngineScript EngineScript::personal()
{
    EngineScript script;
    script.person = true;
    script.idleExitSeconds = 0;
    return script;
}
