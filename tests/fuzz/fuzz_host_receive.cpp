// The host's receive steps: the arrivals of a TCP/IP connection (and the
// poll answers of the bridge) as a hostile or broken client could make them.
// The host has sent the map Castle.map and plays the army Castle_Guard.arm.
//
// Input: one byte choosing the kind, then:
//   kind 0 (split): a chat line up to a zero byte, the cut points, and the
//     payload of an army message brought onto the letters of army rows. The
//     chat line arrives whole; the army message arrives once whole and once
//     cut into pieces, each time in a fresh game folder.
//   kind 1 (raw): arrivals separated by zero bytes, over TCP/IP.
//   kind 2 (bridge): poll answers separated by zero bytes.
// Invariants:
// - An army message split anywhere gives the files, the start data sent, the
//   object count and the buttons of the unsplit message. One with more rows
//   than an army is refused whole; split, it is refused or gives what its
//   first rows alone give.
// - Whatever arrives, the army kept stays within its limit, the game folder
//   holds no file but those the host writes, and each completion sends the
//   start data message of the "HostGame.sav" it wrote, with the object count
//   of its side letters.

#include "hostsession.h"
#include "sessionfuzz.h"

namespace {

struct HostRun : SessionRun<HostSession>
{
    explicit HostRun(Session::Transport transport)
        : SessionRun(transport, {"Castle.map", "Castle_Guard.arm"})
    {
        session.setSelectionProvider([] {
            return HostSelections{"Castle.map", "Castle_Guard.arm", false};
        });
        QObject::connect(&session, &HostSession::completed, [this] {
            const QByteArray data = session.startData();
            FUZZ_CHECK(sent.last() == Messages::startDataMessage(data) &&
                       session.objectCount() == data.count('B') + data.count('R') &&
                       folder.fileExists("HostGame.sav"));
        });
        if (transport == Session::Transport::Tcp) {
            session.listening();
            session.connectionAccepted("127.0.0.1", 50000);
        } else {
            session.registered();
        }
        FUZZ_CHECK(session.sendMap("Castle.map"));
    }

    QList<QByteArray> state() const
    {
        return {sent.last(), QByteArray::number(session.objectCount()),
                QByteArray::number(session.armyComplete() + 2 * session.startEnabled()),
                QByteArray::number(completions > 0)};
    }

    void checkBounds() const
    {
        FUZZ_CHECK(session.armyBuffer().size() <= Messages::ArmyLimit &&
                   onlyFiles(dir.path(), {"Castle.map", "Castle_Guard.arm", "ClientARMY.tmp",
                                          "TopARMY.tmp", "HostGame.sav"}));
    }
};

} // namespace

void checkSplit(FuzzInput &input)
{
    checkSplitRuns<HostRun>(input, Role::Client, &Messages::armyMessage, Messages::ArmyHeaderLines,
                            Messages::ArmyRows);
}

void checkRaw(FuzzInput &input, Session::Transport transport)
{
    HostRun run(transport);
    checkArrivals(run, input, [&](const QByteArray &arrival) { run.session.received(arrival); });
}
