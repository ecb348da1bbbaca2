#pragma once

#include "reassembly.h"
#include "session.h"

#include <QString>

/// The selections of a host window at one moment: the map list, the army
/// list and "Create Random Army" (Check2). Empty names mean no selection.
struct HostSelections
{
    QString mapFile;
    QString armyFile;
    bool randomArmy = false;
};

/// The protocol state of the host role: the army buffer, the completion step
/// that builds and sends the start data, the game-running flag and the button
/// states of the host windows.
///
/// Over TCP/IP the window reports its socket's events (listening, accepted,
/// closed) and every arrival; through the bridge it reports its registration
/// and every poll answer. The selections are read through a provider at the
/// moment they are needed (the click, the completion step).
class HostSession : public Session
{
    Q_OBJECT

public:
    using SelectionProvider = std::function<HostSelections()>;

    explicit HostSession(const GameFolder &folder, Transport transport = Transport::Tcp,
                         QObject *parent = nullptr);
    ~HostSession() override;

    /// Where the session reads the window's current selections.
    void setSelectionProvider(SelectionProvider provider);
    HostSelections selections() const;

    /// The text of the message box that a "Send Selections to Client" click
    /// with these selections shows instead of sending ("Please select Map!",
    /// "Please select Army!"); empty when the map message may go out.
    static QString selectionProblem(const HostSelections &selections);
    /// True when the click must make a random army before sending: no army
    /// selected and "Create Random Army" ticked.
    static bool needsRandomArmy(const HostSelections &selections);

    /// TCP/IP: the window listens ("Waiting For Remote Client...").
    void listening();
    /// TCP/IP: a client was accepted; its numeric address and port.
    void connectionAccepted(const QByteArray &peerAddress, quint16 peerPort);
    /// TCP/IP: the client closed the connection ("Client closed connection").
    void peerClosed();
    /// Bridge: the game is registered; shows the player what to do next.
    void registered();

    /// "Send Selections to Client", after the window's checks (and its random
    /// army): sends "MAP: " and the map file name and disables the button.
    /// When the message cannot be sent, the button stays enabled and the
    /// output box says so; returns false then.
    bool sendMap(const QString &mapFile);

    /// Bridge: the host's steps for one poll answer ("Wait", a command, the
    /// army message, or anything else). Done once the army message has been
    /// used (before the game) or a command has been handed over (during it).
    Poll answer(const QByteArray &answer) override;

    QByteArray mapFileNameForStart() const override;

    /// The army buffer: the client's army text as it arrived.
    QByteArray armyBuffer() const { return m_army.payload(); }
    bool armyComplete() const { return m_army.isComplete(); }
    /// The start data text of the last completion step (without its marker).
    QByteArray startData() const { return m_startData; }
    /// The object count of the last completion step.
    qint16 objectCount() const { return m_objectCount; }

signals:
    /// The completion step has run and sent the start data message.
    void completed();

private:
    Reassembly &awaited() override;
    QByteArray awaitedDescription() const override;
    void complete() override;

    Reassembly m_army;
    SelectionProvider m_provider;
    QByteArray m_startData;
    qint16 m_objectCount = 0;
};
