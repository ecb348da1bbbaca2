#include "../bridge-server/bridgeserverprocess.h"
#include "httpsendreceive.h"
#include "hvdsessionsview.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

// A stand-in server that records each request byte for byte and answers
// with a fixed page, or not at all.
class CaptureServer : public QObject
{
public:
    struct Request
    {
        QByteArray head;
        QByteArray body;
        QByteArray requestLine() const { return head.left(head.indexOf("\r\n")); }
        QList<QByteArray> headerLines() const { return head.split('\n'); }
    };

    QByteArray response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
                          "\r\n<html><body>OK</body></html>";
    bool silent = false;
    QList<Request> requests;

    CaptureServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
    }

    void setPage(const QByteArray &body)
    {
        response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n"
                   "<html><head></head><body>" +
                   body + "</body></html>";
    }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        Request request{buffer.left(end), buffer.mid(end + 4)};
        int length = 0;
        for (const QByteArray &line : request.headerLines()) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toInt();
        }
        if (request.body.size() < length)
            return;
        requests << request;
        m_buffers.remove(socket);
        if (silent)
            return;
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

struct Outcome
{
    bool finished = false;
    bool ok = false;
    QByteArray answer;
    QString error;
};

// Waits (in the test only) for the reply to end and collects what it said.
Outcome await(BridgeReply *reply, int ms = 15000)
{
    Outcome outcome;
    if (!reply)
        return outcome;
    QObject::connect(reply, &BridgeReply::answered, [&outcome](const QByteArray &text) {
        outcome.ok = true;
        outcome.answer = text;
    });
    QObject::connect(reply, &BridgeReply::failed,
                     [&outcome](const QString &error) { outcome.error = error; });
    QSignalSpy finished(reply, &BridgeReply::finished);
    outcome.finished = finished.wait(ms);
    return outcome;
}

} // namespace

class TestHttpSendReceive : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { HTTPSendReceive::releaseBridgeBrowser(); }

    void addressIsTheBuildSettingUnlessChanged()
    {
        QCOMPARE(HTTPSendReceive::createBridgeBrowser()->baseUrl(),
                 QUrl(QStringLiteral(HVD_BRIDGE_URL)));
        QCOMPARE(HTTPSendReceive::bridgeBrowser()->pageUrl(QStringLiteral("/Bridge/GetData.asp")),
                 QUrl(QStringLiteral(HVD_BRIDGE_URL "/Bridge/GetData.asp")));
        // No browser object, no request.
        HTTPSendReceive::releaseBridgeBrowser();
        QVERIFY(!HTTPSendReceive::bridgeBrowser());
        QVERIFY(!HTTPSendReceive::BridgeGetData("1", "Host"));
    }

    void bodiesGoOutByteForByte()
    {
        CaptureServer capture;
        HTTPSendReceive::createBridgeBrowser()->setBaseUrl(capture.url());

        QVERIFY(await(HTTPSendReceive::BridgeConnect("PC: My Game")).ok);
        QVERIFY(await(HTTPSendReceive::BridgeSendData("12", "Client",
                                                      "MAP: Old Fort.map\r\nA+B & C=%20\r\n"))
                    .ok);
        QVERIFY(await(HTTPSendReceive::BridgeGetData("12", "Host")).ok);
        QVERIFY(!HTTPSendReceive::bridgeBrowser()->isVisible());
        QVERIFY(await(HTTPSendReceive::BridgeSessions()).ok);
        QVERIFY(HTTPSendReceive::bridgeBrowser()->isVisible());

        QCOMPARE(capture.requests.size(), 4);
        const QList<QPair<QByteArray, QByteArray>> expected = {
            {"/Bridge/Connect.asp", "SessionName=PC:+My+Game"},
            {"/Bridge/SendData.asp",
             "SessionKey=12&DataOwner=Client&SessionData=MAP:+Old+Fort.map<br>A+B+&+C=%20<br>"},
            {"/Bridge/GetData.asp", "SessionKey=12&DataOwner=Host"},
            // The empty form goes out as one zero byte.
            {"/Bridge/Sessions.asp", QByteArray(1, '\0')},
        };
        for (int i = 0; i < expected.size(); ++i) {
            const CaptureServer::Request &request = capture.requests.at(i);
            QCOMPARE(request.requestLine(), "POST " + expected.at(i).first + " HTTP/1.1");
            QCOMPARE(request.body, expected.at(i).second);
            int contentTypes = 0;
            for (const QByteArray &line : request.headerLines()) {
                if (line.toLower().startsWith("content-type:")) {
                    ++contentTypes;
                    QCOMPARE(line.trimmed(),
                             QByteArray("Content-Type: application/x-www-form-urlencoded"));
                }
            }
            QCOMPARE(contentTypes, 1);
        }
    }

    void answersAreTheBodyAsABrowserReportsIt()
    {
        CaptureServer capture;
        HTTPSendReceive::createBridgeBrowser()->setBaseUrl(capture.url());
        capture.setPage("12<BR>");
        QCOMPARE(await(HTTPSendReceive::BridgeConnect("x")).answer, QByteArray("12\r\n"));
        capture.setPage("Wait");
        QCOMPARE(await(HTTPSendReceive::BridgeGetData("12", "Host")).answer, QByteArray("Wait"));
        // Only the capital "<BR>" of the reported text becomes CR LF.
        QCOMPARE(HTTPSendReceive::lineBreaksToCrLf("12<BR>a<br>b<Br>"),
                 QByteArray("12\r\na<br>b<Br>"));

        QByteArray bytes(1, '\0');
        HTTPSendReceive::ToPostBytes(bytes, QByteArray());
        QCOMPARE(bytes, QByteArray(1, '\0'));
        bytes = "longer than the text";
        HTTPSendReceive::ToPostBytes(bytes, "a b");
        QCOMPARE(bytes, QByteArray("a+b"));
    }

    void requestsThroughTheRealBridge()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        HTTPSendReceive::createBridgeBrowser()->setBaseUrl(server.url());
        using namespace HTTPSendReceive;

        const Outcome connected = await(BridgeConnect("PC: Sunday Game"));
        QVERIFY2(connected.ok, qPrintable(connected.error));
        const QByteArray key = connected.answer;
        QCOMPARE(key.size(), 12);
        QCOMPARE(key.trimmed(), key);

        QCOMPARE(await(BridgeGetData(key, "Client")).answer, QByteArray("Wait"));

        // A whole army message: every line with its CR LF comes back.
        QByteArray army = "ARMYDATA: Castle army\r\n";
        for (int row = 0; row < 40; ++row)
            army += QByteArray("000 001 ").repeated(20).trimmed() + "\r\n";
        const QByteArray command =
            "<Root><Command FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No\"/></Root>";
        QVERIFY(await(BridgeSendData(key, "Host", army)).ok);
        QVERIFY(await(BridgeSendData(key, "Host", command)).ok);
        QVERIFY(await(BridgeSendData(key, "Client", "MAP: Old Fort.map")).ok);
        QCOMPARE(await(BridgeGetData(key, "Host")).answer, army);
        QCOMPARE(await(BridgeGetData(key, "Host")).answer,
                 QByteArray("<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\" "
                            "SerpentJump=\"No\"></COMMAND></ROOT>"));
        QCOMPARE(await(BridgeGetData(key, "Host")).answer, QByteArray("Wait"));
        QCOMPARE(await(BridgeGetData(key, "Client")).answer, QByteArray("MAP: Old Fort.map"));

        // The session list in the window of our own.
        auto *view = new HvdSessionsView(bridgeBrowser());
        QPointer<HvdSessionsView> watch(view);
        QVERIFY(await(BridgeSessions()).ok);
        QVERIFY(view->isVisible());
        QVERIFY(view->shownText().contains(QStringLiteral("PC: Sunday Game")));
        QVERIFY(view->shownText().contains(QString::fromLatin1(key)));
        // A poll on the same browser does not replace the list.
        QVERIFY(await(BridgeGetData(key, "Client")).ok);
        QVERIFY(view->shownText().contains(QString::fromLatin1(key)));
        bridgeBrowser()->setVisible(false);
        QVERIFY(!view->isVisible());
        releaseBridgeBrowser();
        QTRY_VERIFY(watch.isNull());
    }

    void failuresAreReportedNotTakenAsAnswers()
    {
        using namespace HTTPSendReceive;
        // Nobody listens on the port.
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        createBridgeBrowser()->setBaseUrl(
            QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort)));
        Outcome refused = await(BridgeGetData("12", "Host"));
        QVERIFY(refused.finished && !refused.ok);
        QVERIFY2(refused.error.contains(QStringLiteral("127.0.0.1:%1").arg(closedPort)),
                 qPrintable(refused.error));
        QVERIFY(refused.error.contains(QStringLiteral("could not be reached")));

        // The server answers with an error page: its text, not the page.
        BridgeServerProcess server;
        QVERIFY(server.start());
        bridgeBrowser()->setBaseUrl(server.url());
        const Outcome unknown = await(BridgeGetData("NOSUCHKEY", "Host"));
        QVERIFY(!unknown.ok && unknown.answer.isEmpty());
        QVERIFY2(unknown.error.contains(QStringLiteral("404")) &&
                     unknown.error.contains(QStringLiteral("NOSUCHKEY")),
                 qPrintable(unknown.error));

        // A moved server: the redirect is reported, not followed or taken
        // as the answer.
        CaptureServer moved;
        moved.response = "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/Bridge/GetData.asp"
                         "\r\nContent-Length: 20\r\nConnection: close\r\n\r\n"
                         "<body>Moved</body>\r\n";
        bridgeBrowser()->setBaseUrl(moved.url());
        const Outcome redirected = await(BridgeGetData("12", "Host"));
        QVERIFY(!redirected.ok);
        QVERIFY2(redirected.error.contains(QStringLiteral("302")), qPrintable(redirected.error));
        QCOMPARE(moved.requests.size(), 1);

        // The server takes the request and never answers.
        CaptureServer silent;
        silent.silent = true;
        bridgeBrowser()->setBaseUrl(silent.url());
        bridgeBrowser()->setTimeoutMs(300);
        const Outcome late = await(BridgeGetData("12", "Host"));
        QVERIFY(late.finished && !late.ok);
        QVERIFY2(late.error.contains(QStringLiteral("did not answer within 0.3 seconds")),
                 qPrintable(late.error));
    }

    void releasedBrowserSilencesItsRequests()
    {
        CaptureServer silent;
        silent.silent = true;
        HTTPSendReceive::createBridgeBrowser()->setBaseUrl(silent.url());
        HTTPSendReceive::bridgeBrowser()->setTimeoutMs(200);
        QPointer<BridgeReply> reply = HTTPSendReceive::BridgeGetData("12", "Host");
        QVERIFY(reply);
        QSignalSpy finished(reply.data(), &BridgeReply::finished);
        QTRY_COMPARE(silent.requests.size(), 1);
        // The window closes: nothing may call back into it, not even the
        // time limit.
        HTTPSendReceive::releaseBridgeBrowser();
        QVERIFY(!HTTPSendReceive::bridgeBrowser());
        QTest::qWait(400);
        QCOMPARE(finished.count(), 0);
        QVERIFY(reply.isNull());

        // A window's own browser object, deleted with the window at once.
        auto *own = new BridgeBrowser;
        own->setBaseUrl(silent.url());
        QPointer<BridgeReply> ownReply = HTTPSendReceive::BridgeGetData(own, "12", "Client");
        QSignalSpy ownFinished(ownReply.data(), &BridgeReply::finished);
        QTRY_COMPARE(silent.requests.size(), 2);
        delete own;
        QVERIFY(ownReply.isNull());
        QTest::qWait(100);
        QCOMPARE(ownFinished.count(), 0);
    }
};

QTEST_MAIN(TestHttpSendReceive)
#include "tst_httpsendreceive.moc"
