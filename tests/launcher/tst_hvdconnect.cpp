#include "../tcpip/tcpwindowtesting.h"
#include "hvdconnect.h"
#include "tempgamefolder.h"

#include <QApplication>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

class TestHvdConnect : public QObject
{
    Q_OBJECT

private:
    static QList<QWidget *> visibleWindows()
    {
        QList<QWidget *> windows;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible())
                windows.append(widget);
        }
        return windows;
    }

    /// Every control is named for assistive tools: its caption or label, and
    /// its design name.
    static void checkAccessible(QWidget *window)
    {
        for (QWidget *w : window->findChildren<QWidget *>()) {
            const QString name = w->objectName();
            if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) ||
                name.startsWith(QLatin1String("Line")))
                continue;
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name));
            QCOMPARE(w->accessibleDescription(), name);
        }
    }

private slots:
    void cleanup()
    {
        for (QWidget *window : visibleWindows())
            window->close();
        QTRY_VERIFY(visibleWindows().isEmpty());
    }

    void opensTheChosenSessionWindow_data()
    {
        QTest::addColumn<bool>("http");
        QTest::addColumn<QString>("button"); // none: the launcher is closed
        QTest::addColumn<QString>("window");
        QTest::newRow("TCP/IP host")
            << false << QStringLiteral("Command1") << QStringLiteral("HvdHostTCPIP");
        QTest::newRow("TCP/IP client")
            << false << QStringLiteral("Command2") << QStringLiteral("HvdClientTCPIP");
        QTest::newRow("HTTP host")
            << true << QStringLiteral("Command1") << QStringLiteral("HvdHostHTTP");
        QTest::newRow("HTTP client")
            << true << QStringLiteral("Command2") << QStringLiteral("HvdClientHTTP");
        QTest::newRow("closed") << true << QString() << QString();
    }

    void opensTheChosenSessionWindow()
    {
        QFETCH(bool, http);
        QFETCH(QString, button);
        QFETCH(QString, window);
        // A session window's boxes (the HTTP host asks for a game name) are
        // answered without showing them.
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), "<Root>stale</Root>\r\n"));
        QPointer<HvdConnect> launcher = new HvdConnect(GameFolder(tmp.path()));
        launcher->show();
        QVERIFY(QTest::qWaitForWindowExposed(launcher));
        if (http)
            QTest::mouseClick(launcher->findChild<QRadioButton *>(QStringLiteral("Option2")),
                              Qt::LeftButton);
        // The two options are one group.
        QCOMPARE(launcher->findChild<QRadioButton *>(QStringLiteral("Option1"))->isChecked(),
                 !http);
        checkAccessible(launcher);

        // The launcher as it stands when the session window is up: only the
        // clicked button is disabled.
        QStringList opened;
        QPointer<QWidget> session;
        connect(launcher, &HvdConnect::sessionWindowOpened, this, [&](QWidget *created) {
            opened << QString::fromLatin1(created->metaObject()->className());
            session = created;
            for (auto *b : launcher->findChildren<QToolButton *>())
                QCOMPARE(b->isEnabled(), b->objectName() != button);
            QVERIFY(launcher->isVisible() && created->isVisible());
        });
        if (button.isEmpty())
            launcher->close();
        else
            QTest::mouseClick(launcher->findChild<QToolButton *>(button), Qt::LeftButton);

        // The launcher unloads; the session window, working in the launcher's
        // game folder, is the program now.
        QTRY_VERIFY(launcher.isNull());
        if (button.isEmpty()) {
            QVERIFY(opened.isEmpty() && visibleWindows().isEmpty());
            return;
        }
        QCOMPARE(opened, QStringList{window});
        QVERIFY(session && session->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(visibleWindows(), QList<QWidget *>{session.data()});
        checkAccessible(session);
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Send/AICommand.xml"))));
        session->close();
        QTRY_VERIFY(session.isNull());
    }
};

QTEST_MAIN(TestHvdConnect)
#include "tst_hvdconnect.moc"
