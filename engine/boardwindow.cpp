#include "boardwindow.h"

#include "boardview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>

// The artwork is compiled into the static library, which registers it only
// when asked.
static QImage bannerStrip()
{
    Q_INIT_RESOURCE(engine);
    return QImage(QStringLiteral(":/engine/banners.png"));
}

namespace {

/// Every control carries its caption (or the label naming it) as accessible
/// name and its design name as accessible description.
void name(QWidget *widget, const char *designName, const QString &accessibleName)
{
    widget->setObjectName(QLatin1String(designName));
    widget->setAccessibleName(accessibleName);
    widget->setAccessibleDescription(QLatin1String(designName));
}

QString directionName(char direction)
{
    switch (direction) {
    case 'N':
        return QStringLiteral("north");
    case 'S':
        return QStringLiteral("south");
    case 'E':
        return QStringLiteral("east");
    default:
        return QStringLiteral("west");
    }
}

} // namespace

BoardWindow::BoardWindow(EngineGame *game, QWidget *parent)
    : QWidget(parent), m_game(game), m_canvas(bannerStrip())
{
    const Board &board = game->board();
    setWindowTitle(
        QStringLiteral("HvdAIS2p - %1 - %2")
            .arg(QString::fromLatin1(game->roleOf('B')), QString::fromLatin1(board.mapName())));

    m_view = new BoardView(&m_canvas, this);
    name(m_view, "picBoard", QStringLiteral("Board"));
    m_turn = new QLabel(this);
    name(m_turn, "lblTurn", QStringLiteral("Turn"));
    QFont bold = m_turn->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    m_turn->setFont(bold);
    m_reason = new QLabel(this);
    name(m_reason, "lblReason", QStringLiteral("Refused move"));
    m_reason->setWordWrap(true);
    m_reason->setStyleSheet(QStringLiteral("color: #b00000"));
    auto *movesCaption = new QLabel(QStringLiteral("Moves"), this);
    name(movesCaption, "lblMoves", movesCaption->text());
    m_moves = new QListWidget(this);
    name(m_moves, "lstMoves", movesCaption->text());
    m_moves->setFocusPolicy(Qt::NoFocus);
    movesCaption->setBuddy(m_moves);
    auto *kinds = new QLabel(this);
    name(kinds, "picKinds", QStringLiteral("Flag kinds 1 to 12"));
    kinds->setPixmap(
        QPixmap::fromImage(bannerStrip()).scaledToWidth(300, Qt::SmoothTransformation));
    auto *legend =
        new QLabel(QStringLiteral("Flag kinds 1 to 12, left to right.\n"
                                  "Own flags: light disc. Opponent's: dark disc, red rim.\n"
                                  "Last move: cyan (own), orange (opponent).\n"
                                  "Water and solid cannot be entered; rock can."),
                   this);
    name(legend, "lblLegend", QStringLiteral("Legend"));
    legend->setWordWrap(true);
    m_hint = new QLabel(
        QStringLiteral("Click an own flag, then a neighbouring cell or an arrow key."), this);
    name(m_hint, "lblHint", QStringLiteral("How to move"));
    m_hint->setWordWrap(true);

    auto *side = new QVBoxLayout;
    side->addWidget(m_turn);
    side->addWidget(m_reason);
    side->addWidget(movesCaption);
    side->addWidget(m_moves, 1);
    side->addWidget(kinds);
    side->addWidget(legend);
    side->addWidget(m_hint);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addLayout(side);
    m_moves->setMinimumWidth(300);

    connect(m_view, &BoardView::cellClicked, this, &BoardWindow::on_picBoard_cellClicked);
    connect(m_view, &BoardView::directionPressed, this, &BoardWindow::on_picBoard_directionPressed);
    connect(game, &EngineGame::moved, this, &BoardWindow::onMoved);
    connect(game, &EngineGame::stateChanged, this, &BoardWindow::onStateChanged);

    for (const EngineGame::PlayedMove &played : game->history())
        onMoved(played);
    m_canvas.redraw(board, m_marks);
    onStateChanged();
    m_view->setFocus();
    if (game->script().snapshotMoves == 0)
        takeSnapshot();
}

void BoardWindow::showAsAsked()
{
    if (m_game->fullScreen())
        showFullScreen();
    else
        show();
}

QString BoardWindow::turnText() const
{
    return m_turn->text();
}

QString BoardWindow::reasonText() const
{
    return m_reason->text();
}

void BoardWindow::on_picBoard_cellClicked(int row, int column)
{
    if (m_game->board().flagAt(row, column, 'B')) {
        BoardCanvas::Marks marks = m_marks;
        marks.selected = QPoint(column, row);
        setMarks(marks);
        m_reason->clear();
        return;
    }
    if (m_marks.selected.x() < 0) {
        refuse(QStringLiteral("Click one of your flags first."));
        return;
    }
    const char direction =
        Board::directionTo(m_marks.selected.y(), m_marks.selected.x(), row, column);
    if (!direction) {
        refuse(QString::fromLatin1(Board::reason(Board::MoveResult::BadDirection)));
        return;
    }
    tryMove(direction);
}

void BoardWindow::on_picBoard_directionPressed(char direction)
{
    if (m_marks.selected.x() < 0) {
        refuse(QStringLiteral("Click one of your flags first."));
        return;
    }
    tryMove(direction);
}

void BoardWindow::tryMove(char direction)
{
    const int flagId = m_game->board().flagAt(m_marks.selected.y(), m_marks.selected.x(), 'B');
    QString reason;
    if (!m_game->playPerson(Board::Move{flagId, direction}, &reason))
        refuse(reason);
}

void BoardWindow::refuse(const QString &reason)
{
    m_reason->setText(reason);
}

void BoardWindow::onMoved(const EngineGame::PlayedMove &played)
{
    BoardCanvas::Marks marks = m_marks;
    const QPoint from(played.fromColumn, played.fromRow);
    const QPoint to(played.toColumn, played.toRow);
    if (played.side == 'B') {
        marks.ownFrom = from;
        marks.ownTo = to;
        marks.selected = QPoint(-1, -1);
        m_reason->clear();
    } else {
        marks.opponentFrom = from;
        marks.opponentTo = to;
    }
    // A flag taken or moved away from the selected cell leaves nothing to
    // move there.
    if (!m_game->board().flagAt(marks.selected.y(), marks.selected.x(), 'B'))
        marks.selected = QPoint(-1, -1);
    setMarks(marks, {from, to});

    const Board &board = m_game->board();
    QString line = QStringLiteral("%1. %2: flag %3 (kind %4) %5")
                       .arg(m_moves->count() + 1)
                       .arg(QString::fromLatin1(m_game->roleOf(played.side)))
                       .arg(played.move.flagId)
                       .arg(board.kindOf(played.move.flagId))
                       .arg(directionName(played.move.direction));
    if (played.takenKind)
        line += QStringLiteral(", takes a kind %1 flag").arg(played.takenKind);
    m_moves->addItem(line);
    m_moves->scrollToBottom();
    // The picture is taken once the turn line has caught up too.
    if (m_game->script().snapshotMoves == m_game->history().size())
        QTimer::singleShot(0, this, &BoardWindow::takeSnapshot);
}

void BoardWindow::onStateChanged()
{
    const QString own = QString::fromLatin1(m_game->roleOf('B'));
    const QString opponent = QString::fromLatin1(m_game->roleOf('R'));
    QString text;
    if (const char loser = m_game->board().loser())
        text = loser == 'B' ? QStringLiteral("%1 won. You lost.").arg(opponent)
                            : QStringLiteral("%1 won. You won!").arg(own);
    else if (m_game->isOver())
        text = m_game->exitCode() == EngineGame::IdleExit
                   ? QStringLiteral("Game over: nothing happened for too long.")
               : m_game->exitCode() == EngineGame::SetupFailed
                   ? QStringLiteral("Game over: a game file could not be written.")
               : m_game->isStuck() ? QStringLiteral("Game over: no legal move was left.")
                                   : QStringLiteral("Game over: the script ended.");
    else if (m_game->isOwnTurn())
        text = QStringLiteral("Your turn (%1)").arg(own);
    else
        text = QStringLiteral("%1's turn").arg(opponent);
    if (!m_game->script().person && !m_game->isOver())
        text += QStringLiteral(" - the script plays");
    m_turn->setText(text);
    // The hint is for a person who can still move.
    m_hint->setVisible(m_game->script().person && !m_game->isOver());
}

void BoardWindow::setMarks(const BoardCanvas::Marks &marks, const QVector<QPoint> &alsoChanged)
{
    QVector<QPoint> cells = m_marks.cells() + marks.cells() + alsoChanged;
    m_marks = marks;
    for (const QPoint &cell : cells)
        m_view->showChanged(m_canvas.stamp(m_game->board(), m_marks, cell.y(), cell.x()));
}

void BoardWindow::takeSnapshot()
{
    // A picture of the whole window, even where the screen is too small
    // for it (as offscreen).
    if (width() < sizeHint().width() || height() < sizeHint().height())
        resize(sizeHint().expandedTo(size()));
    grab().save(m_game->filePath(m_game->script().snapshotFile));
}
