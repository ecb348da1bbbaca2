// The client's TCP/IP window, driven through its controls, with a server
// socket in the test as the host.

#include "filelistbox.h"
#include "gamefolder.h"
#include "hvdclienttcpip.h"
#include "tcpwindowtesting.h"
#include "tempgamefolder.h"

#include <QCheckBox>
#include <QTest>

class TestHvdClientTCPIP : public QObject
{
    Q_OBJECT

private slots:
    void connectsTakesTheMapSendsTheArmyAndChats()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        QVERIFY(tmp.write(QStringLiteral("Lonely.map"), tmp.read(QStringLiteral("Castle.map"))));
        HvdClientTCPIP client{GameFolder(tmp.path())};
        auto *address = control<QLineEdit>(&client, "HostIP");
        auto *port = control<QLineEdit>(&client, "HostPort");
        QCOMPARE(address->text() + port->text(), QStringLiteral("localhost3456"));

        // A port that is no number: no attempt, no box, and another try is open.
        port->setText(QStringLiteral("34x6"));
        click(&client, "Command3");
        QVERIFY(button(&client, "Command3")->isEnabled());
        QVERIFY(boxes.boxes().isEmpty());

        // A refused connection: one box, then the button is back.
        quint16 closed = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closed = probe.serverPort();
        }
        port->setText(QString::number(closed));
        click(&client, "Command3");
        QVERIFY(!button(&client, "Command3")->isEnabled());
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QVERIFY(boxes.boxes().at(0).text.startsWith(QLatin1String("tcpClient: ")));
        QVERIFY(button(&client, "Command3")->isEnabled() && !output(&client)->isEnabled());

        // The second attempt works; an empty address box means localhost.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::Any, closed));
        address->clear();
        click(&client, "Command3");
        QVERIFY(server.waitForNewConnection(5000));
        RawPeer host(server.nextPendingConnection());
        QTRY_VERIFY(output(&client)->text().endsWith(":" + QByteArray::number(closed) +
                                                     " connected\r\n\r\n"));
        QVERIFY(!button(&client, "Command3")->isEnabled());
        auto *armies = control<FileListBox>(&client, "File1");
        auto *random = control<QCheckBox>(&client, "Check2");

        host.send("MAP: Castle.map");
        QTRY_COMPARE(armies->fileNames(), (QStringList{"Castle_Guard.arm", "Castle_Siege.arm"}));
        QVERIFY(!random->isChecked());
        QVERIFY(button(&client, "Command2")->isEnabled());

        host.send("MAP: Lonely.map");
        QTRY_VERIFY(armies->count() == 0 && random->isChecked());
        random->setChecked(false);
        click(&client, "Command2");
        QCOMPARE(boxes.boxes().at(1).text, QStringLiteral("Please select Army!"));

        // Ticked with nothing selected: a random army for that map goes out.
        random->setChecked(true);
        click(&client, "Command2");
        const QByteArray made = tmp.read(QStringLiteral("Random.arm"));
        QVERIFY(made.startsWith("Lonely\r\n"));
        QTRY_COMPARE(host.received, "ARMYDATA: " + made);
        QVERIFY(!button(&client, "Command2")->isEnabled());

        host.received.clear();
        host.send("SERVER: welcome");
        QTRY_VERIFY(output(&client)->text().endsWith("SERVER: welcome\r\n"));
        chat(&client, "thanks");
        QTRY_COMPARE(host.received, QByteArray("CLIENT: thanks"));

        host.close();
        QTRY_VERIFY(
            output(&client)->text().endsWith("CLIENT: thanks\r\nServer closed connection\r\n\r\n"));
        QVERIFY(!control<QLineEdit>(&client, "txtSend")->isEnabled());
        QCOMPARE(boxes.boxes().size(), 2);
    }
};

QTEST_MAIN(TestHvdClientTCPIP)
#include "tst_hvdclienttcpip.moc"
