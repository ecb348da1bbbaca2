// The host's and the client's TCP/IP windows, driven through their controls
// and joined over 127.0.0.1: wiring only, the rules behind them are tested on
// the sessions and in the whole games of tests/e2e.

#include "filelistbox.h"
#include "gamefolder.h"
#include "hvdclienttcpip.h"
#include "hvdhosttcpip.h"
#include "tcpwindowtesting.h"
#include "tempgamefolder.h"

#include <QAccessible>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QTcpSocket>
#include <QTest>

class TestTcpWindows : public QObject
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
        // A second host on the taken port says so and does not claim to wait.
        HvdHostTCPIP twin(GameFolder(tmp.path()), host.listeningPort());
        QVERIFY(boxes.boxes().value(0).text.startsWith(QLatin1String("tcpServer: ")));
        QVERIFY(!output(&twin)->text().contains("Waiting"));
    }

    void hostAndClientWindowsPlayTheHandshake()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        QVERIFY(tmp.write(QStringLiteral("Lonely.map"), tmp.read(QStringLiteral("Castle.map"))));
        TempGameFolder clientTmp;
        QVERIFY(clientTmp.write(QStringLiteral("Lonely.map"), tmp.read("Castle.map")));
        HvdHostTCPIP host(GameFolder(tmp.path()), HvdHostTCPIP::AnyFreePort);
        HvdClientTCPIP client{GameFolder(clientTmp.path())};
        const quint16 port = host.listeningPort();
        auto *address = control<QLineEdit>(&client, "HostIP");
        auto *portBox = control<QLineEdit>(&client, "HostPort");
        QCOMPARE(address->text() + portBox->text(), QStringLiteral("localhost3456"));
        QCOMPARE(output(&host)->text(), QByteArray("Waiting For Remote Client...\r\n"));

        // A port that is no number: no attempt, no box. A refused connection:
        // one box, then the button is back.
        portBox->setText(QStringLiteral("34x6"));
        click(&client, "Command3");
        QVERIFY(boxes.boxes().isEmpty());
        portBox->setText(QString::number(quint16(port + 1)));
        click(&client, "Command3");
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QVERIFY(boxes.boxes().at(0).text.startsWith(QLatin1String("tcpClient: ")));
        QVERIFY(button(&client, "Command3")->isEnabled() && !output(&client)->isEnabled());
        // An empty address box means localhost. While one client is there,
        // nobody else gets in.
        address->clear();
        portBox->setText(QString::number(port));
        click(&client, "Command3");
        QTRY_VERIFY(host.hasClient() && output(&client)->isEnabled());
        QVERIFY(!button(&client, "Command3")->isEnabled());
        chat(&client, "hello host");
        QTRY_VERIFY(output(&host)->text().endsWith("CLIENT: hello host\r\n"));
        chat(&host, "hello client");
        QTRY_VERIFY(output(&client)->text().endsWith("SERVER: hello client\r\n"));
        QVERIFY(control<QLineEdit>(&host, "txtSend")->text().isEmpty());
        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!second.waitForConnected(1000) || second.waitForDisconnected(1000) ||
                second.state() != QTcpSocket::ConnectedState);

        // Choosing a map narrows the armies; a map without armies ticks
        // "random" (over a tick or a clear set by hand alike); a button
        // without its choice says what is missing.
        auto *maps = control<FileListBox>(&host, "File1");
        auto *hostRandom = control<QCheckBox>(&host, "Check2");
        click(&host, "Command2");
        hostRandom->setChecked(true);
        QVERIFY(maps->selectFile(QStringLiteral("Castle.map")));
        QCOMPARE(control<FileListBox>(&host, "File2")->fileNames(),
                 (QStringList{"Castle_Guard.arm", "Castle_Siege.arm"}));
        QVERIFY(!hostRandom->isChecked());
        QTest::mouseClick(maps->viewport(), Qt::LeftButton, {},
                          maps->visualItemRect(maps->item(3)).center());
        QVERIFY(maps->fileName() == "Lonely.map" && hostRandom->isChecked());
        hostRandom->setChecked(false);
        click(&host, "Command2");
        hostRandom->setChecked(true);
        click(&host, "Command2");
        QVERIFY(tmp.read(QStringLiteral("Random.arm")).startsWith("Lonely\r\n"));
        QVERIFY(!button(&host, "Command2")->isEnabled());
        auto *clientRandom = control<QCheckBox>(&client, "Check2");
        QTRY_VERIFY(clientRandom->isChecked() && button(&client, "Command2")->isEnabled());
        clientRandom->setChecked(false);
        click(&client, "Command2");
        clientRandom->setChecked(true);
        click(&client, "Command2");
        QVERIFY(!button(&client, "Command2")->isEnabled());
        QStringList told;
        for (const RecordedBoxes::Box &box : boxes.boxes())
            told << box.text;
        QCOMPARE(told.mid(1),
                 (QStringList{"Please select Map!", "Please select Army!", "Please select Army!"}));

        // Without an engine in the folder "Start" says what is missing.
        QTRY_VERIFY(button(&host, "Command1")->isEnabled());
        click(&host, "Command1");
        QVERIFY(boxes.boxes().last().text.contains(QLatin1String("HvdAIS2p.EXE")));
        QVERIFY(button(&host, "Command1")->isEnabled());
    }

    void hostSurvivesJunkAndAFlood()
    {
        // A new client after the last one went: tst_tcpreconnect.
        TempGameFolder tmp;
        HvdHostTCPIP host(GameFolder(tmp.path()), HvdHostTCPIP::AnyFreePort);
        host.show();
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, host.listeningPort());
        QTRY_VERIFY(host.hasClient());
        // Junk is shown; of ten megabytes the box keeps only the newest part.
        const QByteArray junk("\x00\x01\xff\xfe garbage \r\n\x7f", 16);
        peer.write(junk);
        QTRY_VERIFY(output(&host)->text().endsWith(junk + "\r\n"));
        peer.write(QByteArray(99, 'x').append('\n').repeated(100 * 1024) + "END");
        QTRY_VERIFY_WITH_TIMEOUT(output(&host)->text().endsWith("END\r\n"), 30000);
        QVERIFY(output(&host)->text().size() <= OutputTextBox::MaxBytes);
        // The client goes: the window listens again.
        peer.disconnectFromHost();
        QTRY_COMPARE(output(&host)->text(), QByteArray("Client closed connection\r\n\r\n"));
        QVERIFY(!control<QLineEdit>(&host, "txtSend")->isEnabled());
    }
};

QTEST_MAIN(TestTcpWindows)
#include "tst_tcpwindows.moc"
