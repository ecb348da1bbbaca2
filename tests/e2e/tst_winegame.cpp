// A whole game over TCP/IP in which both windows start a Windows build of a
// stand-in engine through Wine. That engine writes its moves as
// "SEND\aicommand.xml", so the connector has to find them under another
// letter case.

#include "gamechecks.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"

#include <QProcess>
#include <QTest>

class TestWineGame : public QObject
{
    Q_OBJECT

    const QString m_wine = QStringLiteral("/usr/lib/wine/wine64");

private slots:
    void initTestCase()
    {
        if (!QFile::exists(QStringLiteral(HVD_WINDOWS_ENGINE_PATH)) || !QFile::exists(m_wine)) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("Wine or mingw-w64 is not installed");
            QSKIP("Wine or mingw-w64 is not installed");
        }
        // One Wine folder kept between runs, made before the game (10 s to 2
        // minutes), with no offer to download Mono or Gecko.
        qputenv("WINEPREFIX", HVD_WINE_PREFIX);
        qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=");
        QVERIFY(QProcess::execute(m_wine, {QStringLiteral("wineboot")}) >= 0);
        qunsetenv("WINEDLLOVERRIDES");
    }

    void cleanupTestCase()
    {
        QProcess::execute(QStringLiteral("/usr/lib/wine/wineserver"), {"-k"});
    }

    void playsAWholeGame()
    {
        RecordedBoxes boxes;
        const GameChecks game(false, 6, QByteArray(), HVD_WINDOWS_ENGINE_PATH);
        HvdHostTCPIP host(GameFolder(game.hostDir.path()), HvdHostTCPIP::AnyFreePort);
        HvdClientTCPIP client{GameFolder(game.clientDir.path())};
        host.show();
        client.show();
        connectTcp(&host, &client, host.listeningPort());
        game.chooseAndSend(&host, &client);
        if (QTest::currentTestFailed())
            return;

        click(&host, "Command1");
        click(&client, "Command1");
        QVERIFY(output(&host)->text().contains("through Wine") &&
                output(&client)->text().contains("through Wine"));
        game.checkPlayedGame(QStringLiteral("EngineDone.txt"));
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
    }
};

QTEST_MAIN(TestWineGame)
#include "tst_winegame.moc"
