// Two connectors play whole games through the real bridge server: a host and
// a client HTTP window in two game folders, each with the stand-in engine,
// driven through their controls from registration to the last move. And the
// windows' own wiring: a failure in a box, the list of open sessions, the
// Session ID box and its buttons; the accessible rows of a file list.

#include "../bridge-server/bridgeserverprocess.h"
#include "bridgechat.h"
#include "gamechecks.h"
#include "hostbridgesession.h"
#include "hvdclienthttp.h"
#include "hvdhosthttp.h"
#include "hvdsessionsview.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
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
        BridgeServerProcess server;
        QVERIFY(server.start());
        const GameChecks game(randomArmies, 30);
        RecordedBoxes boxes;
        boxes->answers << QStringLiteral("Friday's game");
        HvdHostHTTP host(GameFolder(game.hostDir.path()), server.url());
        QTRY_VERIFY(host.hostBridge()->isRegistered());
        const QString sessionId = control<QLabel>(&host, "MyPort")->text().trimmed();
        QCOMPARE(control<QLabel>(&host, "MyPort")->accessibleName(),
                 QStringLiteral("Session ID: ") + sessionId);
        QVERIFY(control<QLabel>(&host, "MyIP")->text().endsWith(QStringLiteral(": Friday`s game")));

        HvdClientHTTP client(GameFolder(game.clientDir.path()), server.url());
        auto *idBox = control<QLineEdit>(&client, "MyPort");
        QVERIFY(!button(&client, "Command3")->isEnabled());
        // The list of open games shows the host's with its Session ID.
        click(&client, "Command4");
        QPointer<HvdSessionsView> view;
        for (QWidget *widget : QApplication::topLevelWidgets())
            view = view ? view.data() : qobject_cast<HvdSessionsView *>(widget);
        QVERIFY(view);
        QTRY_VERIFY(view->isVisible() && view->shownText().contains(QStringLiteral("Friday`s")));
        QVERIFY(view->shownText().contains(sessionId));
        // Deleting the default text counts as a typed Session ID.
        idBox->clear();
        QVERIFY(button(&client, "Command3")->isEnabled() &&
                !button(&client, "Command4")->isEnabled());
        QTest::keyClicks(idBox, sessionId);
        // The client asks for the map before the host has chosen one: it
        // polls on while the bridge answers "Wait".
        click(&client, "Command3");
        QVERIFY(!idBox->isEnabled());
        QTRY_VERIFY(!view);
        QTest::qWait(200);
        QVERIFY(!button(&client, "Command2")->isEnabled());
        // Both read chat, so both chat lines open; lines that look like game
        // messages stay chat, before the game and during it (checkPlayedGame
        // finds nothing of them in the game files).
        QTRY_VERIFY(control<QLineEdit>(&host, "txtSend")->isEnabled() &&
                    control<QLineEdit>(&client, "txtSend")->isEnabled());
        const QByteArray army = "ARMYDATA: " + QByteArray("012 ").repeated(40);
        chat(&host, "MAP: Evil.map");
        chat(&client, army);
        QTRY_VERIFY(output(&client)->text().contains("\r\nSERVER: MAP: Evil.map\r\n"));
        QTRY_VERIFY(output(&host)->text().contains("\r\nCLIENT: " + army + "\r\n"));
        chat(&host, QByteArray(250, 'x'));
        QVERIFY(output(&host)->text().contains("cut to one line of 200 characters"));
        QTRY_VERIFY(output(&client)->text().contains("SERVER: " + QByteArray(200, 'x') + "\r\n"));
        game.chooseAndSend(&host, &client);
        if (QTest::currentTestFailed())
            return;
        QByteArray seen; // the chat lines that reached the other box
        for (QWidget *window : {static_cast<QWidget *>(&host), static_cast<QWidget *>(&client)})
            connect(output(window), &QPlainTextEdit::textChanged, this,
                    [&seen, window, isHost = window == &host] {
                        for (const QByteArray &line : output(window)->text().split('\n'))
                            seen += line.contains(isHost ? "CLIENT: <" : "SERVER: S") ? line : "";
                    });

        // The client may start first: it waits for the host's opening move.
        click(&client, "Command1");
        QTest::qWait(200);
        QCOMPARE(game.clientDir.read(QStringLiteral("GameLog.txt")).count('\n'), 1);
        click(&host, "Command1");
        chat(&client, "<Root><Command FlagID=\"5001\" Direction=\"N\" SerpentJump=\"No\"/></Root>");
        chat(&host, "SAVEDATA1: " + army);
        QTRY_VERIFY(seen.contains("CLIENT: <Root><Command FlagID=\"5001\"") &&
                    seen.contains("SERVER: SAVEDATA1: ARMYDATA"));
        game.checkPlayedGame();
        QVERIFY2(boxes.boxes().isEmpty(), qPrintable(boxes.boxes().value(0).text));
    }

    void chatLineStaysDisabledWithoutChatOnBothEnds_data()
    {
        QTest::addColumn<bool>("bridgeChat");
        QTest::newRow("bridge without chat") << false;
        QTest::newRow("peer that never polls chat") << true;
    }

    void chatLineStaysDisabledWithoutChatOnBothEnds()
    {
        QFETCH(bool, bridgeChat);
        BridgeServerProcess server;
        QVERIFY(server.start(bridgeChat ? QStringList() : QStringList{"--no-chat"}));
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        RecordedBoxes boxes;
        HvdHostHTTP host(GameFolder(dir.path()), server.url());
        QTRY_VERIFY(host.hostBridge()->isRegistered());
        const QString key = control<QLabel>(&host, "MyPort")->text().trimmed();
        // Our client on a bridge without chat; else one that polls only for
        // the game's messages.
        HvdClientHTTP client(GameFolder(dir.path()), server.url());
        BridgeBrowser peer;
        peer.setBaseUrl(server.url());
        if (bridgeChat) {
            for (int i = 0; i < 4; ++i)
                QSignalSpy(HTTPSendReceive::BridgeGetData(&peer, key.toLatin1(), "Client"),
                           &BridgeReply::finished)
                    .wait(5000);
        } else {
            control<QLineEdit>(&client, "MyPort")->setText(key);
            click(&client, "Command3");
        }
        QTest::qWait(3000);
        QVERIFY(!control<QLineEdit>(&host, "txtSend")->isEnabled());
        QVERIFY(!control<QLineEdit>(&client, "txtSend")->isEnabled());
        QVERIFY(!host.bridgeSession()->chat()->send("SERVER: not sent"));
    }

    void aChatLineThatFailsIsToldAndNeverSentAgain()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        RecordedBoxes boxes;
        HvdHostHTTP host(GameFolder(dir.path()), server.url());
        QTRY_VERIFY(host.hostBridge()->isRegistered());
        HvdClientHTTP client(GameFolder(dir.path()), server.url());
        control<QLineEdit>(&client, "MyPort")->setText(control<QLabel>(&host, "MyPort")->text());
        click(&client, "Command3");
        QTRY_VERIFY(control<QLineEdit>(&client, "txtSend")->isEnabled());
        server.kill();
        QTRY_COMPARE(boxes.boxes().size(), 1); // the map fetch fails first
        chat(&client, "lost");
        QTRY_VERIFY(output(&client)->text().contains("could not be sent"));
        QVERIFY(server.start({"--port", QString::number(server.port())}));
        chat(&client, "after");
        QTRY_VERIFY_WITH_TIMEOUT(output(&host)->text().contains("CLIENT: after"), 15000);
        QVERIFY(!output(&host)->text().contains("CLIENT: lost"));
    }

    void failuresWaitingForThePlayerAreShownInABox()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        server.kill();
        const QUrl gone = server.url();
        TempGameFolder dir;
        QVERIFY(dir.copySamples());
        RecordedBoxes boxes;
        HvdHostHTTP host(GameFolder(dir.path()), gone);
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().title, QStringLiteral("Bridge Error"));
        QVERIFY(boxes.boxes().first().text.contains(QStringLiteral("could not be registered")));
        QCOMPARE(control<QLabel>(&host, "MyPort")->text(), QStringLiteral("?"));
        // A screen reader that has read the army list reads what it shows
        // after every refresh, not the cells of rows that are gone.
        auto *armies = control<FileListBox>(&host, "File2");
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(armies);
        for (const char *pattern : {"*.arm", "*Castle*.arm", "nothing.nothing", "*Siege*.arm"}) {
            armies->setPattern(QLatin1String(pattern));
            QCOMPARE(list->childCount(), armies->count());
            for (int i = 0; i < armies->count(); ++i)
                QCOMPARE(list->child(i)->text(QAccessible::Name), armies->item(i)->text());
        }
        HvdClientHTTP client(GameFolder(dir.path()), gone);
        control<QLineEdit>(&client, "MyPort")->setText(QStringLiteral("17"));
        click(&client, "Command3");
        QTRY_COMPARE(boxes.boxes().size(), 2);
        QVERIFY(boxes.boxes().last().text.contains(QStringLiteral("Check the Session ID")));
        QVERIFY(control<QLineEdit>(&client, "MyPort")->isEnabled());
        QVERIFY(button(&client, "Command3")->isEnabled());
    }
};

QTEST_MAIN(TestHttpGame)
#include "tst_httpgame.moc"
