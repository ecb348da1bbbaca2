// The client's receive steps: the arrivals of a TCP/IP connection (and the
// poll answers of the bridge) as a hostile or broken host could make them.
//
// Input: one byte choosing the kind, then:
//   kind 0 (split): a byte picking the map name (a sample map or the text up
//     to a zero byte), a chat line up to a zero byte, the cut points, and the
//     payload of a start data message brought onto the letters of save rows.
//     The map message and the chat line arrive whole; the start data message
//     arrives once whole and once cut into pieces, each time in a fresh game
//     folder.
//   kind 1 (raw): arrivals separated by zero bytes, over TCP/IP.
//   kind 2 (bridge): poll answers separated by zero bytes: the map poll's
//     until one is taken, then the game's.
// Invariants:
// - A start data message split anywhere gives the files, the map name, the
//   completeness and the buttons of the unsplit message. One with more rows
//   than start data is refused whole; split, it is refused or gives what its
//   first rows alone give.
// - Whatever arrives, the start data kept stays within its limit, a map name
//   taken is a bare file name ending in ".map" in any letter case, the game
//   folder holds no file but those the client writes, and each completion
//   leaves a "ClientGame.sav" whose first line is the base name of the map
//   taken.

#include "clientsession.h"
#include "sessionfuzz.h"

namespace {

struct ClientRun : SessionRun<ClientSession>
{
    explicit ClientRun(Session::Transport transport) : SessionRun(transport, {})
    {
        QObject::connect(&session, &ClientSession::completed, [this] {
            QByteArray saved;
            FUZZ_CHECK(folder.readFirstLine("ClientGame.sav", &saved) &&
                       saved == Messages::mapBaseName(session.mapName()));
        });
        if (transport == Session::Transport::Tcp) {
            session.connectClicked();
            session.connected("127.0.0.1", 3456);
        } else {
            session.opened();
            session.sessionIdTyped();
            session.mapFetchStarted();
        }
    }

    QList<QByteArray> state() const
    {
        return {session.mapName(),
                QByteArray::number(session.startDataComplete() + 2 * session.startEnabled() +
                                   4 * session.sendEnabled() + 8 * (completions > 0))};
    }

    void checkBounds() const
    {
        const QByteArray map = session.mapName();
        FUZZ_CHECK(session.startDataBuffer().size() <= Messages::StartDataLimit &&
                   (map.isEmpty() ||
                    (Messages::mapNameProblem(map).isEmpty() && map.toLower().endsWith(".map"))) &&
                   onlyFiles(dir.path(), {"HostGame.tmp", "ClientGame.sav"}));
    }
};

} // namespace

void checkSplit(FuzzInput &input)
{
    static const char *const maps[] = {"Castle.map", "Islands.map", "Valley.map"};
    const quint8 pick = input.byte();
    const QByteArray named = input.until('\0');
    const QByteArray map = pick % 4 < 3 ? QByteArray(maps[pick % 4]) : named;
    checkSplitRuns<ClientRun>(
        input, Role::Host, &Messages::startDataMessage, 0, Messages::StartDataRows,
        [&](ClientRun &run) { run.session.received(Messages::mapMessage(map)); });
}

void checkRaw(FuzzInput &input, Session::Transport transport)
{
    ClientRun run(transport);
    bool mapTaken = false;
    checkArrivals(run, input, [&](const QByteArray &arrival) {
        if (transport == Session::Transport::Bridge && !mapTaken)
            mapTaken = run.session.mapAnswer(arrival) == Session::Poll::Done &&
                       !run.session.mapName().isEmpty();
        else
            run.session.received(arrival);
    });
}
