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
#include "messages.h"
#include "sessionfuzz.h"

namespace {

struct HostRun
{
    std::unique_ptr<QTemporaryDir> dir = gameFolderWith({"Castle.map", "Castle_Guard.arm"});
    GameFolder folder{dir->path()};
    TextOutputBox box;
    QList<QByteArray> sent;
    int completions = 0;
    HostSession session;

    explicit HostRun(Session::Transport transport) : session(folder, transport)
    {
        session.setOutputBox(&box);
        session.setSendFunction([this](const QByteArray &message) {
            sent << message;
            return true;
        });
        session.setSelectionProvider([] {
            return HostSelections{"Castle.map", "Castle_Guard.arm", false};
        });
        QObject::connect(&session, &HostSession::completed, [this] {
            ++completions;
            FUZZ_CHECK(!sent.isEmpty());
            FUZZ_CHECK(sent.last() == Messages::startDataMessage(session.startData()));
            const QByteArray data = session.startData();
            FUZZ_CHECK(session.objectCount() == data.count('B') + data.count('R'));
            FUZZ_CHECK(folder.fileExists("HostGame.sav"));
        });
        if (transport == Session::Transport::Tcp) {
            session.listening();
            session.connectionAccepted("127.0.0.1", 50000);
        } else {
            session.registered();
        }
        FUZZ_CHECK(session.sendMap("Castle.map"));
    }

    void checkBounds() const
    {
        FUZZ_CHECK(session.armyBuffer().size() <= Messages::ArmyLimit);
        FUZZ_CHECK(
            onlyFiles(folderFiles(dir->path()),
                      {"Send/", "Receive/", "Receive/AICommand.xml", "GameLog.txt", "Castle.map",
                       "Castle_Guard.arm", "ClientARMY.tmp", "TopARMY.tmp", "HostGame.sav"}));
    }
};

void checkSplit(FuzzInput &input)
{
    const QByteArray chat = input.until('\0');
    const QByteArray cutsAndPayload = input.rest();
    const QByteArray army = rowLetters(cutsAndPayload.mid(15)); // past the cut points
    const QByteArray message = Messages::armyMessage(army);

    HostRun whole(Session::Transport::Tcp);
    HostRun split(Session::Transport::Tcp);
    HostRun first(Session::Transport::Tcp);
    if (!chat.isEmpty()) {
        for (HostRun *run : {&whole, &split, &first})
            run->session.received(Messages::chatMessage(Role::Client, chat));
    }
    whole.session.received(message);
    FuzzInput picks(reinterpret_cast<const uint8_t *>(cutsAndPayload.constData()),
                    size_t(cutsAndPayload.size()));
    for (const QByteArray &piece : cutPieces(message, picks))
        split.session.received(piece);

    for (HostRun *run : {&whole, &split})
        run->checkBounds();
    const qsizetype bound = pastRowBound(army, Messages::ArmyHeaderLines, Messages::ArmyRows);
    if (bound >= 0) {
        // More rows than an army has: the whole message is refused. An
        // arrival that ends with the last row of a whole army (or blank lines
        // behind it) completes it, and the rows after it come as later text,
        // so the split run either refused the army too or took its first rows
        // as a run given only those does.
        FUZZ_CHECK(whole.completions == 0);
        if (split.completions > 0) {
            first.session.received(Messages::armyMessage(army.left(bound)));
            FUZZ_CHECK(first.completions > 0);
            FUZZ_CHECK(sameFiles(first.dir->path(), split.dir->path()));
            FUZZ_CHECK(first.sent.last() == split.sent.last());
            FUZZ_CHECK(first.session.objectCount() == split.session.objectCount());
        }
        return;
    }
    FUZZ_CHECK(sameFiles(whole.dir->path(), split.dir->path()));
    FUZZ_CHECK(whole.session.armyComplete() == split.session.armyComplete());
    FUZZ_CHECK((whole.completions > 0) == (split.completions > 0));
    if (whole.completions > 0) {
        FUZZ_CHECK(whole.sent.last() == split.sent.last());
        FUZZ_CHECK(whole.session.objectCount() == split.session.objectCount());
    }
    FUZZ_CHECK(whole.session.startEnabled() == split.session.startEnabled());
}

void checkRaw(FuzzInput &input, Session::Transport transport)
{
    HostRun run(transport);
    for (int i = 0; i < 64 && !input.atEnd(); ++i) {
        run.session.received(input.until('\0'));
        run.checkBounds();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const int kind = input.byte() % 3;
    if (kind == 0)
        checkSplit(input);
    else
        checkRaw(input, kind == 1 ? Session::Transport::Tcp : Session::Transport::Bridge);
    return 0;
}
