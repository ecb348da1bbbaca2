// The host's TCP/IP window, driven through its controls, with a raw socket in
// the test as the client.

#include "commandrelay.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "hostsession.h"
#include "hvdhosttcpip.h"
#include "tcpwindowtesting.h"
#include "tempgamefolder.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QTest>

class TestHvdHostTCPIP : public QObject
{
    Q_OBJECT

private slots:
    void missingFoldersAreToldAndMyIPIsReadWithItsValue()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(QDir(tmp.file(QStringLiteral("Receive"))).removeRecursively());
        HvdHostTCPIP host(GameFolder(tmp.path()), HvdHostTCPIP::AnyFreePort);
        QTRY_VERIFY(output(&host)->text().contains("the game folder has no Receive folder: "));
        QVERIFY(!output(&host)->text().contains("no Send folder"));
        QVERIFY(!QDir(tmp.file(QStringLiteral("Receive"))).exists());
        auto *myIP = control<QLabel>(&host, "MyIP");
        QVERIFY(!myIP->text().isEmpty());
        QCOMPARE(QAccessible::queryAccessibleInterface(myIP)->text(QAccessible::Name),
                 QStringLiteral("Host TCP/IP Address: ") + myIP->text());
    }

    void choosesMapAndArmyBeforeSendingTheMap()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        QVERIFY(QFile::copy(tmp.file(QStringLiteral("Castle.map")),
                            tmp.file(QStringLiteral("Lonely.map"))));
        HvdHostTCPIP host(GameFolder(tmp.path()), HvdHostTCPIP::AnyFreePort);
        auto *maps = control<FileListBox>(&host, "File1");
        auto *armies = control<FileListBox>(&host, "File2");
        auto *random = control<QCheckBox>(&host, "Check2");
        QCOMPARE(output(&host)->text(), QByteArray("Waiting For Remote Client...\r\n"));
        QVERIFY(!button(&host, "Command1")->isEnabled() && !button(&host, "Command2")->isEnabled());
        QCOMPARE(maps->count(), 5);
        QCOMPARE(armies->count(), 0);
        {
            // A second host on the taken port says so and does not claim to wait.
            HvdHostTCPIP twin(GameFolder(tmp.path()), host.listeningPort());
            QCOMPARE(boxes.boxes().size(), 1);
            QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("TCP/IP Error"));
            QVERIFY(boxes.boxes().at(0).text.startsWith(QLatin1String("tcpServer: ")));
            QVERIFY(!output(&twin)->text().contains("Waiting"));
            boxes.boxes().clear();
        }

        auto peer = RawPeer::connectTo(host.listeningPort());
        QVERIFY(peer);
        QTRY_VERIFY(button(&host, "Command2")->isEnabled());
        QVERIFY(output(&host)->text().startsWith("127.0.0.1:"));

        click(&host, "Command2");
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().at(0).text, QStringLiteral("Please select Map!"));

        // Choosing a map narrows the armies; a map without armies ticks
        // "random" (over a tick or a clear set by hand alike).
        random->setChecked(true);
        QVERIFY(maps->selectFile(QStringLiteral("Castle.map")));
        QCOMPARE(armies->fileNames(), (QStringList{"Castle_Guard.arm", "Castle_Siege.arm"}));
        QVERIFY(!random->isChecked());
        QTest::mouseClick(maps->viewport(), Qt::LeftButton, {},
                          maps->visualItemRect(maps->item(3)).center());
        QCOMPARE(maps->fileName(), QStringLiteral("Lonely.map"));
        QCOMPARE(armies->count(), 0);
        QVERIFY(random->isChecked());

        random->setChecked(false);
        click(&host, "Command2");
        QCOMPARE(boxes.boxes().size(), 2);
        QCOMPARE(boxes.boxes().at(1).text, QStringLiteral("Please select Army!"));

        random->setChecked(true);
        click(&host, "Command2");
        QVERIFY(tmp.read(QStringLiteral("Random.arm")).startsWith("Lonely\r\n"));
        QTRY_COMPARE(peer->received, QByteArray("MAP: Lonely.map"));
        QVERIFY(!button(&host, "Command2")->isEnabled());
        QCOMPARE(boxes.boxes().size(), 2);
    }

    void survivesJunkRelaysMovesAndTakesANewClientMidGame()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        HvdHostTCPIP host(GameFolder(tmp.path()), HvdHostTCPIP::AnyFreePort);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        const quint16 port = host.listeningPort();
        QVERIFY(control<FileListBox>(&host, "File1")->selectFile(QStringLiteral("Castle.map")));
        QVERIFY(
            control<FileListBox>(&host, "File2")->selectFile(QStringLiteral("Castle_Guard.arm")));
        auto peer = RawPeer::connectTo(port);
        QVERIFY(peer);
        QTRY_VERIFY(host.hasClient());
        // While one client is there, nobody else gets in.
        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!second.waitForConnected(1000) || second.waitForDisconnected(1000) ||
                second.state() != QTcpSocket::ConnectedState);
        click(&host, "Command2");
        QTRY_COMPARE(peer->received, QByteArray("MAP: Castle.map"));

        peer->send("CLIENT: hello host");
        QTRY_VERIFY(output(&host)->text().endsWith("CLIENT: hello host\r\n"));
        chat(&host, "hello client");
        chat(&host, "");
        QTRY_VERIFY(peer->received.endsWith("SERVER: hello clientSERVER: "));
        QVERIFY(output(&host)->text().endsWith("SERVER: hello client\r\nSERVER: \r\n"));
        QVERIFY(control<QLineEdit>(&host, "txtSend")->text().isEmpty());
        // The output box passes the focus on to the chat line.
        host.activateWindow();
        output(&host)->setFocus();
        QTRY_VERIFY(control<QLineEdit>(&host, "txtSend")->hasFocus());

        const QByteArray junk("\x00\x01\xff\xfe garbage \r\n\x7f", 16);
        peer->send(junk);
        QTRY_VERIFY(output(&host)->text().endsWith(junk + "\r\n"));
        // Ten megabytes of text: the box keeps only its newest part.
        peer->send(QByteArray(99, 'x').append('\n').repeated(100 * 1024) + "END");
        QTRY_VERIFY_WITH_TIMEOUT(output(&host)->text().endsWith("END\r\n"), 30000);
        QVERIFY(output(&host)->text().size() <= OutputTextBox::MaxBytes);
        // An army message far above any army's size is refused, and said so.
        peer->send("ARMYDATA: " + QByteArray(200 * 1024, '7'));
        QTRY_VERIFY_WITH_TIMEOUT(output(&host)->text().contains("was dropped"), 20000);
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("ClientARMY.tmp"))));

        // The army in two pieces; the start data comes back whole.
        peer->received.clear();
        QFile armyFile(QStringLiteral(HVD_DATA_DIR "/Castle_Siege.arm"));
        QVERIFY(armyFile.open(QIODevice::ReadOnly));
        const QByteArray army = "ARMYDATA: " + armyFile.readAll();
        peer->send(army.left(3000));
        QTRY_VERIFY(output(&host)->text().contains(army.mid(11, 100)));
        peer->send(army.mid(3000));
        QTRY_VERIFY(button(&host, "Command1")->isEnabled());
        QCOMPARE(output(&host)->text(), QByteArray("Ready to Start\r\n"));
        QTRY_VERIFY(peer->received.size() >= 11 + 12960);
        QVERIFY(peer->received.startsWith("SAVEDATA1: "));
        const qint16 count = host.session()->objectCount();
        QVERIFY(count > 0);

        // Without an engine in the folder "Start" says what is missing and can
        // be clicked again once there is one (here one that only exits: the
        // test plays the engine's part by hand).
        click(&host, "Command1");
        QCOMPARE(boxes.boxes().size(), 1);
        QVERIFY(boxes.boxes().at(0).text.contains(QLatin1String("HvdAIS2p.EXE")));
        QVERIFY(tmp.write(QStringLiteral("HvdAIS2p.EXE"), "#!/bin/sh\nexit 0\n"));
        QVERIFY(QFile::setPermissions(tmp.file(QStringLiteral("HvdAIS2p.EXE")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        click(&host, "Command1");
        QVERIFY(host.session()->gameRunning());
        QCOMPARE(tmp.read(QStringLiteral("Control.ini")),
                 QByteArray("Castle.map\r\nHostGame.sav\r\n0\r\nHost\r\n"));

        // The host's engine moves flag 5003 east: the client sees its mirror.
        peer->received.clear();
        const QByteArray own =
            "<Root><Command FlagID='5003' Direction='E' SerpentJump='No'/></Root>";
        const QByteArray mirrored = "<Root><Command FlagID='" +
                                    QByteArray::number(count + 5001 - 3) +
                                    "' Direction='W' SerpentJump='No'/></Root>";
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), own + "\r\n"));
        QTRY_COMPARE(peer->received, mirrored);
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Send/AICommand.xml"))));
        peer->send(mirrored);
        QTRY_COMPARE(tmp.read(QStringLiteral("Receive/AICommand.xml")), own + "\r\n");

        // The client goes: the window listens again on its port, the game goes
        // on, and a move it cannot send is told and kept.
        peer->close();
        QTRY_COMPARE(output(&host)->text(), QByteArray("Client closed connection\r\n\r\n"));
        QVERIFY(!control<QLineEdit>(&host, "txtSend")->isEnabled());
        QCOMPARE(host.listeningPort(), port);
        QVERIFY(host.session()->gameRunning());
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), own + "\r\n"));
        QTRY_COMPARE(output(&host)->text(), "NOT SENT (no connection): " + mirrored +
                                                "\r\n1 move waits for the connection.\r\n");

        // A new client is taken in and gets the kept move first, then the next.
        auto next = RawPeer::connectTo(port);
        QVERIFY(next);
        QTRY_COMPARE(next->received, mirrored);
        QTRY_COMPARE(output(&host)->text(), "SENT: \r\n" + mirrored + "\r\n");
        QCOMPARE(host.session()->relay()->waitingToSend(), 0);
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), own + "\r\n"));
        QTRY_COMPARE(next->received, mirrored + mirrored);
        QCOMPARE(boxes.boxes().size(), 1);
    }
};

QTEST_MAIN(TestHvdHostTCPIP)
#include "tst_hvdhosttcpip.moc"
