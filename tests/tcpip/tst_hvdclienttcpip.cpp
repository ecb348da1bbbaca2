// The client's TCP/IP window, driven through its controls, with a server
// socket in the test as the host.

#include "clientsession.h"
#include "filelistbox.h"
#include "gamefolder.h"
#include "hvdclienttcpip.h"
#include "tcpwindowtesting.h"
#include "tempgamefolder.h"

#include <QCheckBox>
#include <QTest>

namespace {

/// A host in the test: listens on a free loopback port and keeps the one
/// connection it accepts as a raw peer.
class RawHost
{
public:
    RawHost()
    {
        m_server.listen(QHostAddress::Any);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            peer = std::make_unique<RawPeer>(m_server.nextPendingConnection());
            peer->socket()->setParent(nullptr);
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    std::unique_ptr<RawPeer> peer;

private:
    QTcpServer m_server;
};

/// Connects the window to the host through its controls.
void connectWindow(HvdClientTCPIP &client, RawHost &host)
{
    control<QLineEdit>(&client, "HostIP")->setText(QStringLiteral("127.0.0.1"));
    control<QLineEdit>(&client, "HostPort")->setText(QString::number(host.port()));
    click(&client, "Command3");
    QTRY_VERIFY(client.isConnected());
    QTRY_VERIFY(host.peer);
    QTRY_VERIFY(output(&client)->isEnabled());
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class TestHvdClientTCPIP : public QObject
{
    Q_OBJECT

private slots:
    void opensWithItsDesignedControlsAndTabOrder()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        QVERIFY(tmp.write(QStringLiteral("Send/AICommand.xml"), "<Root>old</Root>\r\n"));
        QVERIFY(tmp.write(QStringLiteral("Receive/AICommand.xml"), "<Root>old</Root>\r\n"));
        HvdClientTCPIP client{GameFolder(tmp.path())};

        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Send/AICommand.xml"))));
        QVERIFY(!QFile::exists(tmp.file(QStringLiteral("Receive/AICommand.xml"))));
        QCOMPARE(client.windowTitle(), QStringLiteral("HvdClientTCP/IP"));
        QCOMPARE(client.size(), QSize(282, 448));
        QCOMPARE(control<QLineEdit>(&client, "HostIP")->text(), QStringLiteral("localhost"));
        QCOMPARE(control<QLineEdit>(&client, "HostPort")->text(), QStringLiteral("3456"));
        QVERIFY(button(&client, "Command3")->isEnabled());
        QVERIFY(button(&client, "Command3")->font().bold());
        QVERIFY(!button(&client, "Command2")->isEnabled());
        QVERIFY(!button(&client, "Command1")->isEnabled());
        QVERIFY(!control<QLineEdit>(&client, "txtSend")->isEnabled());
        QVERIFY(!output(&client)->isEnabled());
        QCOMPARE(control<FileListBox>(&client, "File1")->pattern(),
                 QStringLiteral("nothing.nothing"));
        QCOMPARE(control<FileListBox>(&client, "File1")->count(), 0);
        QCOMPARE(control<QWidget>(&client, "File1")->geometry(), QRect(8, 136, 265, 45));

        QStringList chain;
        QWidget *w = button(&client, "Command3");
        for (int i = 0; i < 10; ++i, w = w->nextInFocusChain()) {
            while (!(w->focusPolicy() & Qt::TabFocus) || w->objectName().isEmpty() ||
                   w->objectName().startsWith(QLatin1String("qt_")))
                w = w->nextInFocusChain();
            chain << w->objectName();
        }
        QCOMPARE(chain, (QStringList{"Command3", "HostIP", "txtSend", "HostPort", "File1",
                                     "Command2", "Command1", "txtOutput", "Check1", "Check2"}));
        QVERIFY(boxes.boxes().isEmpty());
    }

    void connectsByItsBoxesAndReportsFailures()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        HvdClientTCPIP client{GameFolder(tmp.path())};
        auto *address = control<QLineEdit>(&client, "HostIP");
        auto *port = control<QLineEdit>(&client, "HostPort");

        // A port that is no number: no attempt, no box, and another try is open.
        port->setText(QStringLiteral("34x6"));
        click(&client, "Command3");
        QVERIFY(button(&client, "Command3")->isEnabled());
        QVERIFY(!client.isConnected());
        QVERIFY(boxes.boxes().isEmpty());

        // A refused connection: one box, then the button is back.
        const quint16 closed = freePort();
        port->setText(QString::number(closed));
        click(&client, "Command3");
        QVERIFY(!button(&client, "Command3")->isEnabled());
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().at(0).title, QStringLiteral("TCP/IP Error"));
        QVERIFY(boxes.boxes().at(0).text.startsWith(QLatin1String("tcpClient: ")));
        QCOMPARE(boxes.boxes().at(0).icon, SessionDialogs::Icon::Exclamation);
        QVERIFY(button(&client, "Command3")->isEnabled());
        QVERIFY(!output(&client)->isEnabled());

        // The second attempt works; an empty address box means localhost.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::Any, closed));
        address->clear();
        click(&client, "Command3");
        QTRY_VERIFY(client.isConnected());
        QTRY_VERIFY(output(&client)->text().endsWith(":" + QByteArray::number(closed) +
                                                     " connected\r\n\r\n"));
        QVERIFY(output(&client)->isEnabled());
        QVERIFY(!button(&client, "Command3")->isEnabled());
        QCOMPARE(boxes.boxes().size(), 1);
    }

    void takesTheMapRefusesBadNamesAndSendsTheArmy()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        QVERIFY(tmp.copySamples());
        QVERIFY(QFile::copy(tmp.file(QStringLiteral("Castle.map")),
                            tmp.file(QStringLiteral("Lonely.map"))));
        HvdClientTCPIP client{GameFolder(tmp.path())};
        RawHost host;
        connectWindow(client, host);
        auto *armies = control<FileListBox>(&client, "File1");
        auto *random = control<QCheckBox>(&client, "Check2");

        host.peer->send("MAP: ../../etc/passwd.map");
        QTRY_VERIFY(output(&client)->text().contains("refused"));
        QVERIFY(!button(&client, "Command2")->isEnabled());
        QCOMPARE(armies->pattern(), QStringLiteral("nothing.nothing"));

        host.peer->send("MAP: Castle.map");
        QTRY_COMPARE(armies->pattern(), QStringLiteral("*Castle*.arm"));
        QCOMPARE(armies->fileNames(), (QStringList{"Castle_Guard.arm", "Castle_Siege.arm"}));
        QVERIFY(!random->isChecked());
        QVERIFY(button(&client, "Command2")->isEnabled());

        host.peer->send("MAP: Lonely.map");
        QTRY_COMPARE(armies->count(), 0);
        QVERIFY(random->isChecked());
        random->setChecked(false);
        click(&client, "Command2");
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().at(0).text, QStringLiteral("Please select Army!"));
        QVERIFY(button(&client, "Command2")->isEnabled());

        // Ticked with nothing selected: a random army for that map goes out.
        random->setChecked(true);
        click(&client, "Command2");
        const QByteArray made = tmp.read(QStringLiteral("Random.arm"));
        QVERIFY(made.startsWith("Lonely\r\n"));
        QTRY_COMPARE(host.peer->received, "ARMYDATA: " + made);
        QVERIFY(!button(&client, "Command2")->isEnabled());
        QCOMPARE(boxes.boxes().size(), 1);
    }

    void chatsAndSurvivesAFloodUntilTheHostCloses()
    {
        RecordedBoxes boxes;
        TempGameFolder tmp;
        HvdClientTCPIP client{GameFolder(tmp.path())};
        client.show();
        QVERIFY(QTest::qWaitForWindowExposed(&client));
        RawHost host;
        connectWindow(client, host);

        host.peer->send("SERVER: welcome");
        QTRY_VERIFY(output(&client)->text().endsWith("SERVER: welcome\r\n"));
        chat(&client, "thanks");
        QTRY_COMPARE(host.peer->received, QByteArray("CLIENT: thanks"));
        QVERIFY(output(&client)->text().endsWith("CLIENT: thanks\r\n"));
        QVERIFY(control<QLineEdit>(&client, "txtSend")->text().isEmpty());
        client.activateWindow();
        output(&client)->setFocus();
        QTRY_VERIFY(control<QLineEdit>(&client, "txtSend")->hasFocus());

        QByteArray line(99, '#');
        line += "\r\n";
        host.peer->send(line.repeated(100 * 1024) + "END");
        QTRY_VERIFY_WITH_TIMEOUT(output(&client)->text().endsWith("END\r\n"), 30000);
        chat(&client, "alive");
        QTRY_VERIFY_WITH_TIMEOUT(host.peer->received.endsWith("CLIENT: alive"), 20000);
        QVERIFY(output(&client)->text().size() <= OutputTextBox::MaxBytes);

        host.peer->socket()->disconnectFromHost();
        QTRY_VERIFY(
            output(&client)->text().endsWith("CLIENT: alive\r\nServer closed connection\r\n\r\n"));
        QVERIFY(output(&client)->caretAtEnd());
        QVERIFY(!output(&client)->isEnabled());
        QVERIFY(!control<QLineEdit>(&client, "txtSend")->isEnabled());
        QVERIFY(!button(&client, "Command3")->isEnabled());
        QVERIFY(boxes.boxes().isEmpty());
    }
};

QTEST_MAIN(TestHvdClientTCPIP)
#include "tst_hvdclienttcpip.moc"
