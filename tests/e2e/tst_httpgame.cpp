// Two connectors play whole games through the real bridge server: a host and
// a client HTTP window in two game folders, each with the stand-in engine,
// driven through their controls from registration to the last move.

#include "../bridge-server/bridgeserverprocess.h"
#include "../tcpip/tcpwindowtesting.h"

#include "filelistbox.h"
#include "gamechecks.h"
#include "hvdclienthttp.h"
#include "hvdhosthttp.h"

#include <QCheckBox>
#include <QLabel>
#include <QTest>

class TestHttpGame : public QObject
{
    Q_OBJECT

private slots:
    void playsAWholeGame_data()
    {
        QTest::addColumn<bool>("randomArmies");
        QTest::newRow("army files") << false;
        QTest::newRow("random armies") << true;
    }

    void playsAWholeGame()
    {
        QFETCH(bool, randomArmies);
        constexpr int Moves = 30;
        constexpr int PauseMs = 50;
        BridgeServerProcess server;
        QVERIFY(server.start());
        TempGameFolder hostDir, clientDir;
        GameChecks::prepare(hostDir, Moves, 11);
        GameChecks::prepare(clientDir, Moves, 29);
        // Random armies play on the duel map, where they cannot meet.
        const QByteArray map = randomArmies ? "Duel" : "Castle";
        const QString hostArmy = randomArmies ? "Random.arm" : "Castle_Guard.arm";
        const QString clientArmy = randomArmies ? "Random.arm" : "Castle_Siege.arm";

        RecordedBoxes boxes;
        boxes->answers << QStringLiteral("Friday's game");
        HvdHostHTTP host(GameFolder(hostDir.path()), server.url(), PauseMs);
        QTRY_VERIFY(host.isRegistered());
        const QString sessionId = control<QLabel>(&host, "MyPort")->text().trimmed();
        QVERIFY(!sessionId.isEmpty());
        QVERIFY(control<QLabel>(&host, "MyIP")->text().endsWith(QStringLiteral(": Friday`s game")));

        HvdClientHTTP client(GameFolder(clientDir.path()), server.url(), PauseMs);
        auto *idBox = control<QLineEdit>(&client, "MyPort");
        idBox->clear();
        QTest::keyClicks(idBox, sessionId);
        // The client asks for the map before the host has chosen one: it
        // polls on while the bridge answers "Wait".
        click(&client, "Command3");
        QTest::qWait(4 * PauseMs);
        QVERIFY(!button(&client, "Command2")->isEnabled());

        // No army file belongs to the duel map: "random" ticks itself.
        QVERIFY(
            control<FileListBox>(&host, "File1")->selectFile(QString::fromLatin1(map + ".map")));
        QCOMPARE(control<QCheckBox>(&host, "Check2")->isChecked(), randomArmies);
        if (!randomArmies)
            QVERIFY(control<FileListBox>(&host, "File2")->selectFile(hostArmy));
        click(&host, "Command2");
        QTRY_VERIFY(button(&client, "Command2")->isEnabled());
        QCOMPARE(output(&client)->text(), "MAP: " + map + ".map");
        QCOMPARE(control<QCheckBox>(&client, "Check2")->isChecked(), randomArmies);
        if (!randomArmies)
            QVERIFY(control<FileListBox>(&client, "File1")->selectFile(clientArmy));
        click(&client, "Command2");
        QTRY_VERIFY2_WITH_TIMEOUT(
            button(&host, "Command1")->isEnabled() && button(&client, "Command1")->isEnabled(),
            (output(&client)->text() + output(&host)->text()).constData(), 10000);

        // The client may start first: it waits for the host's opening move.
        click(&client, "Command1");
        QTest::qWait(4 * PauseMs);
        QCOMPARE(GameChecks::linesOf(clientDir, "GameLog.txt").size(), 1);
        click(&host, "Command1");
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(hostDir.file(QStringLiteral("EngineBoard.txt"))) &&
                QFile::exists(clientDir.file(QStringLiteral("EngineBoard.txt"))),
            120000);
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));

        GameChecks::checkSaves(hostDir, clientDir, map, hostArmy, clientArmy);
        if (!QTest::currentTestFailed())
            GameChecks::checkGame(hostDir, clientDir, Moves);
    }
};

QTEST_MAIN(TestHttpGame)
#include "tst_httpgame.moc"
