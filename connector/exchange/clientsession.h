#pragma once

#include "reassembly.h"
#include "session.h"

#include <QString>

/// The protocol state of the client role: the map name, the start data
/// buffer, the completion step that writes the save file, the game-running
/// flag and the button states of the client windows.
///
/// Over TCP/IP the window reports its socket's events (connect clicked,
/// connected, failed, closed) and every arrival; through the bridge it reports
/// the Session ID being typed, the map fetch and every poll answer.
class ClientSession : public Session
{
    Q_OBJECT

public:
    explicit ClientSession(const GameFolder &folder, Transport transport = Transport::Tcp,
                           QObject *parent = nullptr);
    ~ClientSession() override;

    /// TCP/IP: "Connect to Host", enabled until clicked and again after an
    /// error; once the game runs, also after the host closed the connection.
    /// Bridge: "Get Map Name from Host".
    bool connectEnabled() const { return m_connectEnabled; }
    /// Bridge: "Find Open Session ID's Online".
    bool findSessionsEnabled() const { return m_findSessionsEnabled; }
    /// Bridge: the Session ID box (MyPort).
    bool sessionIdEnabled() const { return m_sessionIdEnabled; }

    /// The text of the message box that a "Send Army Selection to Host" click
    /// shows instead of sending ("Please select Army!"); empty when it may go.
    static QString selectionProblem(bool armySelected, bool randomArmy);
    /// True when the click must make a random army first.
    static bool needsRandomArmy(bool armySelected, bool randomArmy);

    /// TCP/IP: "Connect to Host" was clicked.
    void connectClicked();
    /// TCP/IP: the connection is made; the host's numeric address and port.
    void connected(const QByteArray &hostAddress, quint16 port);
    /// TCP/IP: connecting failed or the socket reported an error.
    void connectFailed();
    /// TCP/IP: the host closed the connection ("Server closed connection").
    /// While the game runs "Connect to Host" is enabled again.
    void peerClosed();

    /// Bridge: the window opened; shows the player what to do.
    void opened();
    /// Bridge: the text of the Session ID box changed.
    void sessionIdTyped();
    /// Bridge: "Get Map Name from Host" was clicked; the map poll begins.
    void mapFetchStarted();
    /// Bridge: one answer of the map poll. Done once a map message came.
    Poll mapAnswer(const QByteArray &answer);
    /// Bridge: the map poll failed (the server cannot be reached or knows no
    /// such Session ID): the ID can be corrected, the list of sessions looked
    /// at again and the map fetched again.
    void mapFetchFailed();

    /// "Send Army Selection to Host", after the window's checks (and its
    /// random army): sends "ARMYDATA: " and the lines of the army file (a
    /// name in the game folder: "Random.arm" when the box is ticked, else the
    /// selection), every line as the file has it, and disables the button. An
    /// army of more than 40 rows is not sent. On
    /// failure nothing is sent, the button stays enabled and the error text
    /// says why.
    bool sendArmy(const QString &armyFile, QString *error = nullptr);

    /// Bridge: the client's steps for one answer of the poll after the army
    /// was sent and during the game. Done once the start data has been used
    /// (before the game) or a command has been handed over (during it).
    Poll answer(const QByteArray &answer) override;

    QByteArray mapFileNameForStart() const override { return m_mapName; }

    /// The map name of the last accepted map message ("Castle.map").
    QByteArray mapName() const { return m_mapName; }
    /// The start data buffer as it arrived.
    QByteArray startDataBuffer() const { return m_startData.payload(); }
    bool startDataComplete() const { return m_startData.isComplete(); }

signals:
    /// A map message was accepted: the window narrows its army list to the
    /// map's army files.
    void mapReceived(const QByteArray &mapFileName);
    /// The completion step has written "ClientGame.sav".
    void completed();

private:
    Reassembly &awaited() override;
    QByteArray awaitedDescription() const override;
    void mapArrived(const QByteArray &text) override;
    bool takeMap(const QByteArray &text);
    void complete() override;
    void gameBegan() override;
    void setConnectEnabled(bool enabled);

    Reassembly m_startData;
    QByteArray m_mapName;
    bool m_connectEnabled = true;
    /// TCP/IP: the host closed the last connection and none was made since.
    bool m_hostClosed = false;
    bool m_findSessionsEnabled = true;
    bool m_sessionIdEnabled = true;
};
