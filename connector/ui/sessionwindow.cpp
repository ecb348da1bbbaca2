#include "sessionwindow.h"

#include "clientsession.h"
#include "filelistbox.h"
#include "messages.h"
#include "outputtextbox.h"
#include "randomarmy.h"
#include "startsequence.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace {

int pixels(int twips)
{
    return (twips + 7) / 15;
}

} // namespace

const char *const SessionWindow::ProgramTitle = "HvdConnect";

SessionWindow::SessionWindow(const GameFolder &folder, Role role, QWidget *parent)
    : QWidget(parent), m_folder(folder), m_role(role), m_dialogs(SessionDialogs::current())
{
    // Before anything else: an earlier game's command must never be taken as
    // a move of this one.
    m_folder.clearStaleCommands();

    m_output = new OutputTextBox(this);
    describe(m_output, QStringLiteral("txtOutput"), QStringLiteral("Chat / Status:"));
    connect(m_output, &OutputTextBox::focusPassed, this, &SessionWindow::onOutputFocusPassed);

    m_chat = new QLineEdit(this);
    describe(m_chat, QStringLiteral("txtSend"), QStringLiteral("Chat"));
    connect(m_chat, &QLineEdit::returnPressed, this, &SessionWindow::onChatReturn);

    m_fullScreen = new QCheckBox(QStringLiteral("Full Screen Mode"), this);
    describe(m_fullScreen, QStringLiteral("Check1"), m_fullScreen->text());
    m_randomArmy = new QCheckBox(QStringLiteral("Create Random Army"), this);
    describe(m_randomArmy, QStringLiteral("Check2"), m_randomArmy->text());

    m_start = new QPushButton(QStringLiteral("Start"), this);
    describe(m_start, QStringLiteral("Command1"), m_start->text());
    QFont bold = m_start->font();
    bold.setBold(true);
    m_start->setFont(bold);

    // After the window's own load, which writes the box's first text.
    QTimer::singleShot(0, this, &SessionWindow::tellMissingFolders);
}

SessionWindow::~SessionWindow() = default;

void SessionWindow::setDialogs(std::shared_ptr<SessionDialogs> dialogs)
{
    m_dialogs = dialogs ? std::move(dialogs) : SessionDialogs::current();
}

FileListBox *SessionWindow::createMapList(const QString &objectName, const QString &accessibleName)
{
    m_mapList = new FileListBox(m_folder, this);
    describe(m_mapList, objectName, accessibleName);
    m_mapList->setPattern(QStringLiteral("*.map"));
    return m_mapList;
}

FileListBox *SessionWindow::createArmyList(const QString &objectName, const QString &accessibleName)
{
    m_armyList = new FileListBox(m_folder, this);
    describe(m_armyList, objectName, accessibleName);
    m_armyList->setPattern(QStringLiteral("nothing.nothing"));
    return m_armyList;
}

void SessionWindow::narrowArmyList(const QByteArray &mapFileName)
{
    m_armyList->setPattern(Messages::armyPattern(mapFileName));
    m_randomArmy->setChecked(m_armyList->count() == 0);
}

bool SessionWindow::startGame(Session &session)
{
    m_start->setEnabled(false);
    QString error;
    if (!StartSequence::run(m_folder, m_role, session.mapFileNameForStart(),
                            m_fullScreen->isChecked(), &error)) {
        m_dialogs->message(this, QLatin1String(ProgramTitle),
                           QStringLiteral("The game could not be started.\n\n%1").arg(error),
                           SessionDialogs::Icon::Critical);
        updateControls();
        return false;
    }
    gameStarting();
    session.gameStarted();
    tellMissingFolders();
    const QByteArray note = StartSequence::startNote(m_folder);
    if (!note.isEmpty())
        m_output->append(note);
    return true;
}

void SessionWindow::tellMissingFolders()
{
    for (const QString &line : m_folder.missingFolderLines())
        m_output->append(GameFolder::fromDisplay(line));
}

void SessionWindow::showLabelValue(QLabel *label, const QString &caption, const QString &value)
{
    label->setText(value);
    label->setAccessibleName(caption + QLatin1Char(' ') + value);
}

void SessionWindow::showPlainMessage(const QString &text)
{
    m_dialogs->message(this, QLatin1String(ProgramTitle), text, SessionDialogs::Icon::None);
}

bool SessionWindow::prepareHostSelections(const HostSelections &chosen)
{
    const QString problem = HostSession::selectionProblem(chosen);
    if (!problem.isEmpty()) {
        showPlainMessage(problem);
        return false;
    }
    QString error;
    if (HostSession::needsRandomArmy(chosen) &&
        !Module1::CreateRandomArmy(m_folder, chosen.mapFile, &error)) {
        m_dialogs->message(this, QLatin1String(ProgramTitle), error,
                           SessionDialogs::Icon::Exclamation);
        return false;
    }
    return true;
}

QString SessionWindow::prepareClientArmy(const QByteArray &mapName)
{
    const bool armySelected = !m_armyList->fileName().isEmpty();
    const bool random = m_randomArmy->isChecked();
    const QString problem = ClientSession::selectionProblem(armySelected, random);
    if (!problem.isEmpty()) {
        showPlainMessage(problem);
        return QString();
    }
    QString error;
    if (ClientSession::needsRandomArmy(armySelected, random) &&
        !Module1::CreateRandomArmy(m_folder, GameFolder::toDisplay(mapName), &error)) {
        m_dialogs->message(this, QLatin1String(ProgramTitle), error,
                           SessionDialogs::Icon::Exclamation);
        return QString();
    }
    return random ? QStringLiteral("Random.arm") : m_armyList->fileName();
}

QLabel *SessionWindow::addLabel(const QString &objectName, const QString &caption, int left,
                                int top, int width, int height)
{
    auto *label = new QLabel(caption, this);
    describe(label, objectName, caption);
    label->setWordWrap(height > 300);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(label, left, top, width, height);
    return label;
}

void SessionWindow::addLine(const QString &objectName, int x1, int x2, int y)
{
    auto *line = new QFrame(this);
    line->setObjectName(objectName);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setAccessibleDescription(objectName);
    line->setGeometry(pixels(x1), pixels(y) - 1, pixels(x2 - x1), 2);
}

void SessionWindow::fitCaptions()
{
    constexpr qreal SmallestPointSize = 6.0;
    const auto shrink = [](QWidget *widget, const auto &fits) {
        QFont font = widget->font();
        while (!fits(font) && font.pointSizeF() > SmallestPointSize)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        widget->setFont(font);
    };
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                          style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 2;
    for (QLabel *label : findChildren<QLabel *>()) {
        shrink(label, [label](const QFont &font) {
            const QFontMetrics metrics(font);
            if (!label->wordWrap())
                return metrics.horizontalAdvance(label->text()) <= label->width() - 2;
            const QRect needed = metrics.boundingRect(QRect(0, 0, label->width(), 10000),
                                                      Qt::TextWordWrap, label->text());
            return needed.height() <= label->height();
        });
    }
    for (QCheckBox *box : findChildren<QCheckBox *>()) {
        shrink(box, [box, indicator](const QFont &font) {
            return QFontMetrics(font).horizontalAdvance(box->text()) <= box->width() - indicator;
        });
    }
    for (QPushButton *button : findChildren<QPushButton *>()) {
        shrink(button, [button](const QFont &font) {
            return QFontMetrics(font).horizontalAdvance(button->text()) <= button->width() - 10;
        });
    }
}

void SessionWindow::place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(pixels(left), pixels(top), pixels(width), pixels(height));
}

void SessionWindow::setClientSize(int width, int height)
{
    setFixedSize(pixels(width), pixels(height));
}

void SessionWindow::describe(QWidget *widget, const QString &objectName,
                             const QString &accessibleName)
{
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
    widget->setAccessibleDescription(objectName);
}

void SessionWindow::onChatReturn()
{
    // QLineEdit swallows the Enter key itself: no line break enters the line.
    chatEntered(GameFolder::fromDisplay(m_chat->text()));
    m_chat->clear();
}

void SessionWindow::onOutputFocusPassed()
{
    m_chat->setFocus(Qt::OtherFocusReason);
}
