#pragma once

#include "gamefolder.h"
#include "hostsession.h"
#include "role.h"
#include "sessiondialogs.h"

#include <QByteArray>
#include <QWidget>
#include <memory>

class FileListBox;
class OutputTextBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// What the four session windows share, held once: the game folder (stale
/// commands are cleared when the window loads), the output box txtOutput,
/// the chat line txtSend and its Enter key, the check boxes Check1 "Full
/// Screen Mode" and Check2 "Create Random Army", the "Start" button Command1
/// and the start sequence behind it, the map and army lists, the message
/// boxes, and the layout helpers (positions in twips, 15 to a pixel).
///
/// A window builds its own controls and places them all; this base only
/// creates the shared ones and wires their events to the hooks below.
class SessionWindow : public QWidget
{
    Q_OBJECT

public:
    /// The title of the plain message boxes ("Please select Map!").
    static const char *const ProgramTitle;

    /// Clears the stale command files of the folder (the first step of every
    /// window's load) and creates the shared controls. Once the window's own
    /// load has run, a missing "Send" or "Receive" folder is told in the
    /// output box; "Start" tells it again.
    SessionWindow(const GameFolder &folder, Role role, QWidget *parent = nullptr);
    ~SessionWindow() override;

    const GameFolder &folder() const { return m_folder; }
    Role role() const { return m_role; }

    OutputTextBox *outputBox() const { return m_output; }
    QLineEdit *chatLine() const { return m_chat; }
    QCheckBox *fullScreenBox() const { return m_fullScreen; }
    QCheckBox *randomArmyBox() const { return m_randomArmy; }
    QPushButton *startButton() const { return m_start; }
    /// The map list (host windows only; null on the client windows).
    FileListBox *mapList() const { return m_mapList; }
    FileListBox *armyList() const { return m_armyList; }

    /// The boxes this window shows its messages through.
    SessionDialogs &dialogs() const { return *m_dialogs; }
    void setDialogs(std::shared_ptr<SessionDialogs> dialogs);

protected:
    /// The player pressed Enter in the chat line; line is its text. The line
    /// is cleared after this returns.
    virtual void chatEntered(const QByteArray &line) = 0;

    /// The map list: file list box `File1` with pattern "*.map".
    FileListBox *createMapList(const QString &objectName, const QString &accessibleName);
    /// The army list, empty until a map is known (pattern "nothing.nothing").
    FileListBox *createArmyList(const QString &objectName, const QString &accessibleName);

    /// Narrows the army list to the army files of a map ("*Castle*.arm" for
    /// Castle.map) and ticks "Create Random Army" exactly when none matches.
    void narrowArmyList(const QByteArray &mapFileName);

    /// "Start": runs the start sequence of the window's role for the
    /// session's map (disables "Start", writes GameLog.txt and Control.ini and
    /// starts the engine), then gameStarting() and the session's game, so the
    /// relay runs. A failure is shown in a box naming the file and the reason
    /// and the controls are mirrored again, so "Start" can be tried once that
    /// is put right; returns false then.
    bool startGame(Session &session);
    /// Called by startGame() after the engine started and before the relay
    /// runs (the bridge windows set whose turn it is).
    virtual void gameStarting() {}
    /// Mirrors the session's and the window's state into the controls.
    virtual void updateControls() = 0;

    /// Shows a value in a label that has no caption of its own (MyIP), so
    /// that a screen reader reads the caption with the value: "Host TCP/IP
    /// Address: 10.0.0.5".
    static void showLabelValue(QLabel *label, const QString &caption, const QString &value);

    /// A plain box with the program's title ("Please select Army!").
    void showPlainMessage(const QString &text);

    /// The host's checks before "Send Selections to Client": a map, and an
    /// army or "Create Random Army" (the random army is made now). False
    /// after telling the player what is wrong.
    bool prepareHostSelections(const HostSelections &chosen);
    /// The client's checks before "Send Army Selection to Host", with the
    /// random army made for the host's map when wanted. Returns the army file
    /// to send ("Random.arm" whenever the box is ticked), or an empty name
    /// after telling the player what is wrong.
    QString prepareClientArmy(const QByteArray &mapName);

    /// A label of the window, placed in twips.
    QLabel *addLabel(const QString &objectName, const QString &caption, int left, int top,
                     int width, int height);
    /// A decorative line from (x1, y) to (x2, y), in twips.
    void addLine(const QString &objectName, int x1, int x2, int y);

    /// Shrinks the font of every caption (labels, buttons, check boxes) that
    /// the platform's font would cut at the design's size. Called once the
    /// window has placed its controls.
    void fitCaptions();

    /// Places a control in twips (left, top, width, height).
    static void place(QWidget *widget, int left, int top, int width, int height);
    /// Fixes the size of the window's client area, in twips.
    void setClientSize(int width, int height);
    /// Names a control: its design name (also its accessible description) and
    /// its accessible name (its caption, or the label that names it).
    static void describe(QWidget *widget, const QString &objectName, const QString &accessibleName);

private:
    void onChatReturn();
    /// Tells, in the output box, which of the folders "Send" and "Receive"
    /// the game folder lacks.
    void tellMissingFolders();
    void onOutputFocusPassed();

    GameFolder m_folder;
    Role m_role;
    std::shared_ptr<SessionDialogs> m_dialogs;
    OutputTextBox *m_output = nullptr;
    QLineEdit *m_chat = nullptr;
    QCheckBox *m_fullScreen = nullptr;
    QCheckBox *m_randomArmy = nullptr;
    QPushButton *m_start = nullptr;
    FileListBox *m_mapList = nullptr;
    FileListBox *m_armyList = nullptr;
};
