#include "hvdconnect.h"
#include "tempgamefolder.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

class TestHvdConnect : public QObject
{
    Q_OBJECT

private:
    // A session window may ask something in a modal box while it loads (the
    // HTTP host asks for a game name, a busy port gives a socket error box);
    // the test answers every such box by closing it.
    QTimer m_closeBoxes;

    static QList<QWidget *> visibleWindows()
    {
        QList<QWidget *> windows;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible())
                windows.append(widget);
        }
        return windows;
    }

private slots:
    void initTestCase()
    {
        connect(&m_closeBoxes, &QTimer::timeout, this, [] {
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
        });
        m_closeBoxes.start(50);
    }

    void cleanup()
    {
        for (QWidget *window : visibleWindows())
            window->close();
        QTRY_VERIFY(visibleWindows().isEmpty());
    }

    void optionGroupAndNames()
    {
        TempGameFolder tmp;
        QPointer<HvdConnect> launcher = new HvdConnect(GameFolder(tmp.path()));
        launcher->show();
        QVERIFY(QTest::qWaitForWindowExposed(launcher));
        auto *option1 = launcher->findChild<QRadioButton *>(QStringLiteral("Option1"));
        auto *option2 = launcher->findChild<QRadioButton *>(QStringLiteral("Option2"));
        QVERIFY(option1 && option2);
        // One group: exactly one option is selected at any time.
        QVERIFY(option1->isChecked() && !option2->isChecked());
        QTest::mouseClick(option2, Qt::LeftButton);
        QVERIFY(!option1->isChecked() && option2->isChecked());
        QTest::mouseClick(option2, Qt::LeftButton);
        QVERIFY(!option1->isChecked() && option2->isChecked());
        // The artwork is compiled in, and every control is named for
        // assistive tools.
        QCOMPARE(launcher->findChild<QLabel *>(QStringLiteral("Image2"))->pixmap().size(),
                 QSize(80, 256));
        for (QWidget *control : launcher->findChildren<QWidget *>()) {
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
            QCOMPARE(control->accessibleDescription(), control->objectName());
        }
        launcher->close();
        QTRY_VERIFY(launcher.isNull());
    }

    void opensTheChosenSessionWindow_data()
    {
        QTest::addColumn<bool>("http");
        QTest::addColumn<bool>("host");
        QTest::addColumn<QString>("window");
        QTest::newRow("TCP/IP host") << false << true << QStringLiteral("HvdHostTCPIP");
        QTest::newRow("TCP/IP client") << false << false << QStringLiteral("HvdClientTCPIP");
        QTest::newRow("HTTP host") << true << true << QStringLiteral("HvdHostHTTP");
        QTest::newRow("HTTP client") << true << false << QStringLiteral("HvdClientHTTP");
    }

    void opensTheChosenSessionWindow()
    {
        QFETCH(bool, http);
        QFETCH(bool, host);
        QFETCH(QString, window);
        TempGameFolder tmp;
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), "<Root>stale</Root>\r\n"));
        QPointer<HvdConnect> launcher = new HvdConnect(GameFolder(tmp.path()));
        launcher->show();
        QVERIFY(QTest::qWaitForWindowExposed(launcher));
        if (http) {
            QTest::mouseClick(launcher->findChild<QRadioButton *>(QStringLiteral("Option2")),
                              Qt::LeftButton);
        }
        auto *clicked = launcher->findChild<QToolButton *>(host ? QStringLiteral("Command1")
                                                                : QStringLiteral("Command2"));
        auto *other = launcher->findChild<QToolButton *>(host ? QStringLiteral("Command2")
                                                              : QStringLiteral("Command1"));

        // What the launcher looks like at the moment the session window is up.
        QStringList opened;
        QPointer<QWidget> session;
        bool clickedEnabled = true;
        bool otherEnabled = false;
        bool launcherVisible = false;
        bool sessionVisible = false;
        connect(launcher, &HvdConnect::sessionWindowOpened, this, [&](QWidget *created) {
            opened.append(QString::fromLatin1(created->metaObject()->className()));
            session = created;
            clickedEnabled = clicked->isEnabled();
            otherEnabled = other->isEnabled();
            launcherVisible = launcher->isVisible();
            sessionVisible = created->isVisible();
        });
        QTest::mouseClick(clicked, Qt::LeftButton);

        QCOMPARE(opened, QStringList{window});
        QVERIFY(!clickedEnabled);
        QVERIFY(otherEnabled);
        QVERIFY(launcherVisible);
        QVERIFY(sessionVisible);
        // The launcher unloads; the session window is the program now.
        QTRY_VERIFY(launcher.isNull());
        QVERIFY(session);
        QVERIFY(!session->parent());
        QVERIFY(session->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(visibleWindows(), QList<QWidget *>{session.data()});
        // The session window works in the launcher's game folder.
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Send/AICommand.xml"))));
        session->close();
        QTRY_VERIFY(session.isNull());
    }

    void closingWithoutAChoiceOpensNothing()
    {
        TempGameFolder tmp;
        QPointer<HvdConnect> launcher = new HvdConnect(GameFolder(tmp.path()));
        QSignalSpy opened(launcher.data(), &HvdConnect::sessionWindowOpened);
        launcher->show();
        QVERIFY(QTest::qWaitForWindowExposed(launcher));
        QTest::mouseClick(launcher->findChild<QRadioButton *>(QStringLiteral("Option2")),
                          Qt::LeftButton);
        launcher->close();
        QTRY_VERIFY(launcher.isNull());
        QCOMPARE(opened.size(), 0);
        QVERIFY(visibleWindows().isEmpty());
        for (QWidget *widget : QApplication::topLevelWidgets())
            QVERIFY(!QByteArray(widget->metaObject()->className()).startsWith("HvdHost") &&
                    !QByteArray(widget->metaObject()->className()).startsWith("HvdClient"));
    }
};

QTEST_MAIN(TestHvdConnect)
#include "tst_hvdconnect.moc"
