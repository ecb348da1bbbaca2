#pragma once

#include "role.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QUrl>

class BridgeBrowser;
class BridgeReply;
class OutputBox;

/// Chat lines through the bridge, without a widget, for a bridge that
/// carries them: the host's lines go to the client's chat queue
/// ("ClientChat"), the client's to the host's ("HostChat"), apart from the
/// game's messages, so nothing of a chat line ever reaches the game. The chat
/// line may be used once the bridge announced chat (X-Bridge-Chat: 1) and
/// the other side reads it (X-Bridge-Peer-Chat: 1); until then nothing of
/// chat is sent, and to a bridge that never announced chat not even a poll.
///
/// The own chat queue is polled by a request of its own beside the game's
/// polls, on a browser object of its own, held as long as the bridge holds
/// (a short hold while the other side is not known to read chat, so the
/// line is enabled soon after it starts), with the pause of a bridge that
/// does not hold. Lines travel percent-encoded, so that the bridge's form
/// and page handling cannot change them; a line whose post failed is said
/// so and never posted again.
class BridgeChat : public QObject
{
    Q_OBJECT

public:
    /// A chat line is one line of at most this many characters.
    static constexpr int MaxLineChars = 200;
    /// Lines that may wait for the bridge to take them; more are refused.
    static constexpr int MaxWaitingLines = 20;
    /// The hold a chat poll asks for while the other side is not known to
    /// read chat, in seconds.
    static constexpr int ProbeWaitSeconds = 2;

    BridgeChat(Role role, const QUrl &bridgeUrl, QObject *parent = nullptr);
    ~BridgeChat() override;

    /// Where the lines go; may be null.
    void setOutputBox(OutputBox *box) { m_box = box; }
    /// Takes what an answer of the bridge (any of the session's, too) tells
    /// about chat. Called with every finished reply.
    void noteAnswer(const BridgeReply *reply);
    /// The session is known (the host registered, the client has the
    /// Session ID): the own chat queue is polled from now on, with `key`;
    /// called again with another key, polling starts over with it.
    void start(const QByteArray &key);
    /// The window closes: polls and posts end.
    void close();
    /// The chat line may be used.
    bool isEnabled() const { return m_bridgeChat && m_peerChat && !m_closed; }
    /// The player pressed Enter in the chat line: when chat is enabled, the
    /// first line of `typed`, cut to MaxLineChars (the box says so), goes to
    /// the other side with the role's prefix and is shown in the own box.
    /// False (nothing sent, nothing shown) when chat is not enabled.
    bool send(const QByteArray &typed);

signals:
    /// isEnabled() changed.
    void enabledChanged(bool enabled);

private:
    void pollOnce();
    void pollLater();
    void sendNext();
    void append(const QByteArray &line);

    Role m_role;
    QUrl m_bridgeUrl;
    QPointer<BridgeBrowser> m_browser;
    OutputBox *m_box = nullptr;
    QByteArray m_key;
    QQueue<QByteArray> m_outbox;
    int m_holdSeconds = 0;
    // Counts the starts: a poll or pause of an earlier key ends silently.
    int m_generation = 0;
    bool m_bridgeChat = false;
    bool m_peerChat = false;
    bool m_polling = false;
    bool m_posting = false;
    bool m_closed = false;
};
