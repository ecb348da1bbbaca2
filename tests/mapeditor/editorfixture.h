#pragma once

// The editor window on a game folder built for the test, with boxes that
// answer from a script.

#include "editordialogs.h"
#include "form12.h"
#include "mapfile.h"
#include "tempgamefolder.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

/// Answers the editor's boxes from a script and records what they showed.
class ScriptedDialogs : public EditorDialogs
{
public:
    QStringList messages, questions, prompts;
    QStringList inputs;       // answers of the input box in turn; empty is Cancel
    QList<bool> answers;      // Yes/No answers in turn; No when none is left
    QStringList warnings;     // the map check's warnings before a save
    bool passWarnings = true; // Yes to them, without taking an answer

    void message(QWidget *, const QString &, const QString &text) override { messages << text; }
    bool askYesNo(QWidget *, const QString &, const QString &text) override
    {
        if (text.startsWith(QLatin1String("The map check found problems"))) {
            warnings << text;
            if (passWarnings)
                return true;
        } else {
            questions << text;
        }
        return !answers.isEmpty() && answers.takeFirst();
    }
    QString input(QWidget *, const QString &, const QString &prompt) override
    {
        prompts << prompt;
        return inputs.isEmpty() ? QString() : inputs.takeFirst();
    }
};

const QString question = QStringLiteral("Do you want to save your changes before exiting?");
const QStringList startFlags = {"3", "2", "2", "2", "2", "1", "1", "1", "1", "2", "1", "4"};

QPoint cellPos(int x, int y)
{
    return QPoint(10 * x + 5, 10 * y + 5);
}

/// The default map of the fixtures: grass of height 2 with a few known and
/// unknown codes in the first row.
MapData baseMap()
{
    MapData map;
    map.cells.fill("T02");
    map.setCell(1, 1, "M00");
    map.setCell(2, 1, "S01");
    map.setCell(3, 1, "S20");
    map.setCell(4, 1, "zz9");
    for (int i = 0; i < 12; ++i)
        map.flags[i] = startFlags.at(i).toLatin1();
    return map;
}

/// A game folder with "Base.map", "Castle.map" (all rock), another map and a
/// file that is no map, and the editor opened on it with scripted boxes.
class Editor
{
public:
    Editor()
    {
        MapData castle;
        castle.cells.fill("M05");
        tmp.write(QStringLiteral("Base.map"), MapFile::serialize(baseMap()));
        tmp.write(QStringLiteral("Castle.map"), MapFile::serialize(castle));
        tmp.write(QStringLiteral("lower.MAP"), MapFile::serialize(castle));
        tmp.write(QStringLiteral("notes.txt"), "not a map\r\n");
        before = files();
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        window = std::make_unique<Form12>(tmp.path(), std::move(scripted));
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowExposed(window.get()) ||
            !QTest::qWaitForWindowActive(window.get()))
            qFatal("editor not shown");
    }

    /// Every file of the folder with its bytes.
    QMap<QString, QByteArray> files() const
    {
        QMap<QString, QByteArray> all;
        for (const QString &name : QDir(tmp.path()).entryList(QDir::Files))
            all.insert(name, tmp.read(name));
        return all;
    }

    template <typename W = QWidget> W *get(const char *name) const
    {
        W *widget = window->findChild<W *>(QLatin1String(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    const MapDocument &doc() const { return window->document(); }
    QWidget *view() const { return get("Picture17"); }
    QRgb colour(int x, int y) const { return view()->grab().toImage().pixel(cellPos(x, y)); }
    QString title() const { return window->windowTitle(); }

    QStringList flags() const
    {
        QStringList texts;
        for (int i = 2; i <= 13; ++i)
            texts << window->findChild<QLineEdit *>(QStringLiteral("Text%1").arg(i))->text();
        return texts;
    }

    /// Chooses a code from the picker's list with the arrow key, as the author does.
    void pick(const char *code) const
    {
        auto *combo = get<QComboBox>("Combo1");
        combo->setCurrentIndex(combo->findText(QLatin1String(code)) - 1);
        QTest::keyClick(combo, Qt::Key_Down);
    }

    void setName(const QString &name) const
    {
        get<QLineEdit>("Text1")->selectAll();
        QTest::keyClicks(get<QLineEdit>("Text1"), name);
    }

    void click(const char *button) const
    {
        QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton);
    }

    void clickCell(int x, int y, Qt::MouseButton button = Qt::LeftButton) const
    {
        QTest::mouseMove(view(), cellPos(x, y));
        QTest::mouseClick(view(), button, {}, cellPos(x, y));
    }

    /// Moves to a cell, presses, moves over the cells and releases on the last.
    void drag(const QList<QPoint> &cells, Qt::MouseButton button = Qt::LeftButton) const
    {
        QTest::mouseMove(view(), cellPos(cells.first().x(), cells.first().y()));
        QTest::mousePress(view(), button, {}, cellPos(cells.first().x(), cells.first().y()));
        for (const QPoint &cell : cells.mid(1))
            QTest::mouseMove(view(), cellPos(cell.x(), cell.y()));
        QTest::mouseRelease(view(), button, {}, cellPos(cells.last().x(), cells.last().y()));
    }

    /// Sends a key to the window as the author types it.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QTest::keyClick(window.get(), key, modifiers);
    }

    TempGameFolder tmp;
    QMap<QString, QByteArray> before;
    ScriptedDialogs *dialogs = nullptr;
    std::unique_ptr<Form12> window;
};

} // namespace
