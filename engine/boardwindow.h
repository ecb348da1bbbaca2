#pragma once

#include "boardcanvas.h"
#include "enginegame.h"

#include <QWidget>

class BoardView;
class QLabel;
class QListWidget;

/// The engine's board window: the game as its player sees it (terrain,
/// flags, the last move of each side), whose turn it is or who won, and the
/// list of moves. A person plays by clicking an own flag, then a
/// neighbouring cell or an arrow key; a refused move is explained under the
/// turn line and never sent. While the script plays, the window only shows.
class BoardWindow : public QWidget
{
    Q_OBJECT

public:
    /// A window on a started game, which it does not own.
    explicit BoardWindow(EngineGame *game, QWidget *parent = nullptr);

    /// Shows the window full screen when "Control.ini" asks for it, else
    /// normally.
    void showAsAsked();
    /// The text of the turn line (whose turn, or who won).
    QString turnText() const;
    /// The text of the last refusal, empty after a move.
    QString reasonText() const;
    BoardView *view() const { return m_view; }
    const BoardCanvas &canvas() const { return m_canvas; }

private:
    void on_picBoard_cellClicked(int row, int column);
    void on_picBoard_directionPressed(char direction);
    void onMoved(const EngineGame::PlayedMove &played);
    void onStateChanged();
    void tryMove(char direction);
    void refuse(const QString &reason);
    /// Changes the marks and stamps every cell whose frame changed.
    void setMarks(const BoardCanvas::Marks &marks, const QVector<QPoint> &alsoChanged = {});
    void takeSnapshot();

    EngineGame *m_game;
    BoardCanvas m_canvas;
    BoardCanvas::Marks m_marks;
    BoardView *m_view;
    QLabel *m_turn;
    QLabel *m_reason;
    QLabel *m_hint;
    QListWidget *m_moves;
};
