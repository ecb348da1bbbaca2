#include "hvdconnect.h"
#include "tempgamefolder.h"

#include <QApplication>
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
    // HTTP host asks for a game name); the test closes every such box.
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

    static QPointer<HvdConnect> shownLauncher(const TempGameFolder &tmp, bool http)
    {
        QPointer<HvdConnect> launcher = new HvdConnect(GameFolder(tmp.path()));
        launcher->show();
        if (!QTest::qWaitForWindowExposed(launcher))
            qFatal("launcher not shown");
        if (http)
            QTest::mouseClick(launcher->findChild<QRadioButton *>(QStringLiteral("Option2")),
                              Qt::LeftButton);
        return launcher;
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
        QPointer<HvdConnect> launcher = shownLauncher(tmp, http);
        auto *clicked = launcher->findChild<QToolButton *>(host ? QStringLiteral("Command1")
                                                                : QStringLiteral("Command2"));
        auto *other = launcher->findChild<QToolButton *>(host ? QStringLiteral("Command2")
                                                              : QStringLiteral("Command1"));

        // The launcher as it stands at the moment the session window is up:
        // only the clicked button is disabled.
        QStringList opened;
        QPointer<QWidget> session;
        connect(launcher, &HvdConnect::sessionWindowOpened, this, [&](QWidget *created) {
            opened << QString::fromLatin1(created->metaObject()->className());
            session = created;
            QVERIFY(!clicked->isEnabled() && other->isEnabled());
            QVERIFY(launcher->isVisible() && created->isVisible());
        });
        QTest::mouseClick(clicked, Qt::LeftButton);
        QCOMPARE(opened, QStringList{window});

        // The launcher unloads; the session window, working in the launcher's
        // game folder, is the program now.
        QTRY_VERIFY(launcher.isNull());
        QVERIFY(session && !session->parent());
        QVERIFY(session->testAttribute(Qt::WA_DeleteOnClose));
        QCOMPARE(visibleWindows(), QList<QWidget *>{session.data()});
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Send/AICommand.xml"))));
        session->close();
        QTRY_VERIFY(session.isNull());
    }

    void closingWithoutAChoiceOpensNothing()
    {
        TempGameFolder tmp;
        QPointer<HvdConnect> launcher = shownLauncher(tmp, true);
        QSignalSpy opened(launcher.data(), &HvdConnect::sessionWindowOpened);
        // The two options are one group; every control is named for
        // assistive tools.
        QVERIFY(!launcher->findChild<QRadioButton *>(QStringLiteral("Option1"))->isChecked());
        for (QWidget *control : launcher->findChildren<QWidget *>()) {
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
            QCOMPARE(control->accessibleDescription(), control->objectName());
        }
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
