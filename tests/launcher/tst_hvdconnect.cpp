#include "../tcpip/tcpwindowtesting.h"
#include "hvdconnect.h"
#include "tempgamefolder.h"

#include <QApplication>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

namespace {

/// Every named control has a name for assistive tools.
void checkAccessible(QWidget *window)
{
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const QString name = w->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
            !name.startsWith(QLatin1String("Line")))
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name));
    }
}

} // namespace

class TestHvdConnect : public QObject
{
    Q_OBJECT

private slots:
    void opensTheChosenSessionWindow_data()
    {
        QTest::addColumn<bool>("http");
        QTest::addColumn<QString>("button"); // none: the launcher is closed
        QTest::addColumn<QString>("window");
        QTest::newRow("TCP/IP host") << false << QString("Command1") << QString("HvdHostTCPIP");
        QTest::newRow("TCP/IP client") << false << QString("Command2") << QString("HvdClientTCPIP");
        QTest::newRow("HTTP host") << true << QString("Command1") << QString("HvdHostHTTP");
        QTest::newRow("HTTP client") << true << QString("Command2") << QString("HvdClientHTTP");
        QTest::newRow("closed") << true << QString() << QString();
    }
    void opensTheChosenSessionWindow()
    {
        QFETCH(bool, http);
        QFETCH(QString, button);
        QFETCH(QString, window);
        // The HTTP host's box asking for a game name is answered unshown.
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), "<Root>stale</Root>\r\n"));
        QPointer<HvdConnect> launcher = new HvdConnect(GameFolder(tmp.path()));
        launcher->show();
        QVERIFY(QTest::qWaitForWindowExposed(launcher));
        if (http)
            QTest::mouseClick(launcher->findChild<QRadioButton *>("Option2"), Qt::LeftButton);
        // The two options are one group.
        QCOMPARE(launcher->findChild<QRadioButton *>("Option1")->isChecked(), !http);
        checkAccessible(launcher);

        // When the session window is up only the clicked button is disabled.
        QString opened;
        QPointer<QWidget> session;
        connect(launcher, &HvdConnect::sessionWindowOpened, this, [&](QWidget *created) {
            opened += QString::fromLatin1(created->metaObject()->className());
            session = created;
            for (auto *b : launcher->findChildren<QToolButton *>())
                QCOMPARE(b->isEnabled(), b->objectName() != button);
        });
        if (button.isEmpty())
            launcher->close();
        else
            QTest::mouseClick(launcher->findChild<QToolButton *>(button), Qt::LeftButton);

        // The launcher unloads; the session window, working in the launcher's
        // game folder, is the program now.
        QTRY_VERIFY(launcher.isNull());
        QCOMPARE(opened, window);
        for (QWidget *widget : QApplication::topLevelWidgets())
            QCOMPARE(widget->isVisible(), widget == session);
        if (!session)
            return;
        QVERIFY(session->testAttribute(Qt::WA_DeleteOnClose));
        checkAccessible(session);
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Send/AICommand.xml"))));
        session->close();
        QTRY_VERIFY(session.isNull());
    }
};

QTEST_MAIN(TestHvdConnect)
#include "tst_hvdconnect.moc"
