// The host's TCP/IP window, driven through its controls, with a raw socket in
// the test as the client. The rules behind it are tested on the sessions.

#include "filelistbox.h"
#include "gamefolder.h"
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
        auto *myIP = control<QLabel>(&host, "MyIP");
        QCOMPARE(QAccessible::queryAccessibleInterface(myIP)->text(QAccessible::Name),
                 QStringLiteral("Host TCP/IP Address: ") + myIP->text());
    }

    void choosesMapAndArmyBeforeSendingTheMap()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        QVERIFY(tmp.write(QStringLiteral("Lonely.map"), tmp.read(QStringLiteral("Castle.map"))));
        HvdHostTCPIP host(GameFolder(tmp.path()), HvdHostTCPIP::AnyFreePort);
        auto *maps = control<FileListBox>(&host, "File1");
        auto *armies = control<FileListBox>(&host, "File2");
        auto *random = control<QCheckBox>(&host, "Check2");
        QCOMPARE(output(&host)->text(), QByteArray("Waiting For Remote Client...\r\n"));
        QVERIFY(!button(&host, "Command1")->isEnabled() && !button(&host, "Command2")->isEnabled());
        {
            // A second host on the taken port says so and does not claim to wait.
            HvdHostTCPIP twin(GameFolder(tmp.path()), host.listeningPort());
            QCOMPARE(boxes.boxes().size(), 1);
            QVERIFY(boxes.boxes().at(0).text.startsWith(QLatin1String("tcpServer: ")));
            QVERIFY(!output(&twin)->text().contains("Waiting"));
        }
        auto peer = RawPeer::connectTo(host.listeningPort());
        QVERIFY(peer);
        QTRY_VERIFY(button(&host, "Command2")->isEnabled());
        click(&host, "Command2");
        QCOMPARE(boxes.boxes().at(1).text, QStringLiteral("Please select Map!"));

        // Choosing a map narrows the armies; a map without armies ticks
        // "random" (over a tick or a clear set by hand alike).
        random->setChecked(true);
        QVERIFY(maps->selectFile(QStringLiteral("Castle.map")));
        QCOMPARE(armies->fileNames(), (QStringList{"Castle_Guard.arm", "Castle_Siege.arm"}));
        QVERIFY(!random->isChecked());
        QTest::mouseClick(maps->viewport(), Qt::LeftButton, {},
                          maps->visualItemRect(maps->item(3)).center());
        QCOMPARE(maps->fileName(), QStringLiteral("Lonely.map"));
        QVERIFY(armies->count() == 0 && random->isChecked());
        random->setChecked(false);
        click(&host, "Command2");
        QCOMPARE(boxes.boxes().at(2).text, QStringLiteral("Please select Army!"));
        random->setChecked(true);
        click(&host, "Command2");
        QVERIFY(tmp.read(QStringLiteral("Random.arm")).startsWith("Lonely\r\n"));
        QTRY_COMPARE(peer->received, QByteArray("MAP: Lonely.map"));
        QVERIFY(!button(&host, "Command2")->isEnabled());
        QCOMPARE(boxes.boxes().size(), 3);
    }

    void survivesJunkAndTakesANewClient()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        HvdHostTCPIP host(GameFolder(tmp.path()), HvdHostTCPIP::AnyFreePort);
        host.show();
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
        QTRY_VERIFY(peer->received.endsWith("SERVER: hello client"));
        QVERIFY(control<QLineEdit>(&host, "txtSend")->text().isEmpty());
        // Junk is shown; of ten megabytes the box keeps only the newest part.
        const QByteArray junk("\x00\x01\xff\xfe garbage \r\n\x7f", 16);
        peer->send(junk);
        QTRY_VERIFY(output(&host)->text().endsWith(junk + "\r\n"));
        peer->send(QByteArray(99, 'x').append('\n').repeated(100 * 1024) + "END");
        QTRY_VERIFY_WITH_TIMEOUT(output(&host)->text().endsWith("END\r\n"), 30000);
        QVERIFY(output(&host)->text().size() <= OutputTextBox::MaxBytes);

        // Without an engine in the folder "Start" says what is missing. (The
        // army, the start data, the moves and a client that joins again are
        // driven through this window in the whole games of tests/e2e.)
        QFile armyFile(QStringLiteral(HVD_DATA_DIR "/Castle_Siege.arm"));
        QVERIFY(armyFile.open(QIODevice::ReadOnly));
        peer->send("ARMYDATA: " + armyFile.readAll());
        QTRY_VERIFY(button(&host, "Command1")->isEnabled());
        click(&host, "Command1");
        QCOMPARE(boxes.boxes().size(), 1);
        QVERIFY(boxes.boxes().at(0).text.contains(QLatin1String("HvdAIS2p.EXE")));
        QVERIFY(button(&host, "Command1")->isEnabled());
        // The client goes: the window listens again on its port.
        peer->close();
        QTRY_COMPARE(output(&host)->text(), QByteArray("Client closed connection\r\n\r\n"));
        QVERIFY(!control<QLineEdit>(&host, "txtSend")->isEnabled());
        QVERIFY(RawPeer::connectTo(port));
    }
};

QTEST_MAIN(TestHvdHostTCPIP)
#include "tst_hvdhosttcpip.moc"
