#include "../bridge-server/bridgeserverprocess.h"
#include "bridgeoutcome.h"
#include "httpsendreceive.h"
#include "hvdsessionsview.h"
#include "standinbridge.h"

#include <QPointer>
#include <QSignalSpy>

using namespace HTTPSendReceive;

class TestHttpSendReceive : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { releaseBridgeBrowser(); }

    void formsGoOutByteForByteAndAnswersAreTheBodyAsABrowserReportsIt()
    {
        // No browser object, no request.
        QVERIFY(!BridgeGetData("1", "Host"));
        BridgeBrowser *browser = createBridgeBrowser();
        QCOMPARE(browser->pageUrl(QStringLiteral("/Bridge/GetData.asp")),
                 QUrl(QStringLiteral(HVD_BRIDGE_URL "/Bridge/GetData.asp")));
        StandInBridge capture;
        StandInBridge::Reply reply;
        capture.answerWith(&reply);
        browser->setBaseUrl(capture.url());

        reply.body = "12<BR>";
        QCOMPARE(await(BridgeConnect("PC: My Game")).answer, QByteArray("12\r\n"));
        QVERIFY(await(BridgeSendData("12", "Client", "MAP: Old Fort.map\r\nA+B & C=%20\r\n")).ok);
        reply.body = "Wait";
        QCOMPARE(await(BridgeGetData("12", "Host")).answer, QByteArray("Wait"));
        QVERIFY(!browser->isVisible());
        QVERIFY(await(BridgeSessions()).ok);
        QVERIFY(browser->isVisible());

        const QList<QPair<QByteArray, QByteArray>> expected = {
            {"/Bridge/Connect.asp", "SessionName=PC:+My+Game"},
            {"/Bridge/SendData.asp",
             "SessionKey=12&DataOwner=Client&SessionData=MAP:+Old+Fort.map<br>A+B+&+C=%20<br>"},
            {"/Bridge/GetData.asp", "SessionKey=12&DataOwner=Host"},
            // The empty form goes out as one zero byte.
            {"/Bridge/Sessions.asp", QByteArray(1, '\0')},
        };
        QCOMPARE(capture.requests.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const QByteArray &head = capture.requests.at(i).head;
            QVERIFY(head.startsWith("POST " + expected.at(i).first + " HTTP/1.1\r\n"));
            QCOMPARE(capture.requests.at(i).body, expected.at(i).second);
            QCOMPARE(head.toLower().count("\r\ncontent-type:"), 1);
            QVERIFY(head.contains("\r\nContent-Type: application/x-www-form-urlencoded"));
        }

        // Only the capital "<BR>" of the reported text becomes CR LF.
        QCOMPARE(lineBreaksToCrLf("12<BR>a<br>b<Br>"), QByteArray("12\r\na<br>b<Br>"));
    }

    void requestsThroughTheRealBridge()
    {
        BridgeServerProcess server;
        QVERIFY(server.start());
        createBridgeBrowser()->setBaseUrl(server.url());

        const Outcome connected = await(BridgeConnect("PC: Sunday Game"));
        QVERIFY2(connected.ok, qPrintable(connected.error));
        const QByteArray key = connected.answer;
        QCOMPARE(key.size(), 12);
        QCOMPARE(key.trimmed(), key);
        QCOMPARE(await(BridgeGetData(key, "Client")).answer, QByteArray("Wait"));

        const QByteArray command =
            "<Root><Command FlagID=\"5003\" Direction=\"E\" SerpentJump=\"No\"/></Root>";
        QVERIFY(await(BridgeSendData(key, "Host", command)).ok);
        QVERIFY(await(BridgeSendData(key, "Client", "MAP: Old Fort.map")).ok);
        QCOMPARE(await(BridgeGetData(key, "Host")).answer,
                 QByteArray("<ROOT><COMMAND FlagID=\"5003\" Direction=\"E\" "
                            "SerpentJump=\"No\"></COMMAND></ROOT>"));
        QCOMPARE(await(BridgeGetData(key, "Host")).answer, QByteArray("Wait"));
        QCOMPARE(await(BridgeGetData(key, "Client")).answer, QByteArray("MAP: Old Fort.map"));

        // An error page: its text is reported, not taken as the answer.
        const Outcome unknown = await(BridgeGetData("NOSUCHKEY", "Host"));
        QVERIFY(!unknown.ok && unknown.answer.isEmpty());
        QVERIFY2(unknown.error.contains(QStringLiteral("404")) &&
                     unknown.error.contains(QStringLiteral("NOSUCHKEY")),
                 qPrintable(unknown.error));

        // The session list in the window of our own. It shows only sessions
        // that no client has polled yet, so not the one above.
        const QByteArray waiting = await(BridgeConnect("PC: Monday Game")).answer;
        QPointer<HvdSessionsView> view = new HvdSessionsView(bridgeBrowser());
        QVERIFY(await(BridgeSessions()).ok);
        QVERIFY(view->isVisible());
        QVERIFY(view->shownText().contains(QStringLiteral("PC: Monday Game")));
        QVERIFY(!view->shownText().contains(QStringLiteral("PC: Sunday Game")));
        // A poll on the same browser does not replace the list.
        QVERIFY(await(BridgeGetData(key, "Client")).ok);
        QVERIFY(view->shownText().contains(QString::fromLatin1(waiting)));
        releaseBridgeBrowser();
        QTRY_VERIFY(view.isNull());
    }

    void failuresAreReportedNotTakenAsAnswers()
    {
        // Nobody listens on the port.
        BridgeServerProcess gone;
        QVERIFY(gone.start());
        gone.kill();
        createBridgeBrowser()->setBaseUrl(gone.url());
        const Outcome refused = await(BridgeGetData("12", "Host"));
        QVERIFY(refused.finished && !refused.ok);
        QVERIFY2(refused.error.contains(gone.url().authority()) &&
                     refused.error.contains(QStringLiteral("could not be reached")),
                 qPrintable(refused.error));

        // A moved server: the redirect is reported, not followed or taken
        // as the answer.
        StandInBridge capture;
        StandInBridge::Reply reply;
        reply.kind = StandInBridge::Reply::Kind::Raw;
        capture.answerWith(&reply);
        reply.body = "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/Bridge/GetData.asp"
                     "\r\nContent-Length: 20\r\nConnection: close\r\n\r\n"
                     "<body>Moved</body>\r\n";
        bridgeBrowser()->setBaseUrl(capture.url());
        const Outcome redirected = await(BridgeGetData("12", "Host"));
        QVERIFY2(!redirected.ok && redirected.error.contains(QStringLiteral("302")),
                 qPrintable(redirected.error));
        QCOMPARE(capture.requests.size(), 1);

        // A page without end is cut off, not held in memory.
        reply.body = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                     QByteArray(BridgeReply::MaxAnswerBytes + 1024, 'x');
        const Outcome huge = await(BridgeGetData("12", "Host"));
        QVERIFY2(huge.finished && !huge.ok && huge.error.contains(QStringLiteral("larger than")),
                 qPrintable(huge.error));

        // The server takes the request and answers late: the request says it
        // is slow and waits on, since ending it could lose a message that the
        // server has already handed out.
        reply.kind = StandInBridge::Reply::Kind::Silent;
        bridgeBrowser()->setSlowAnswerMs(300);
        QPointer<BridgeReply> late = BridgeGetData("12", "Host");
        QSignalSpy slow(late.data(), &BridgeReply::slow);
        QVERIFY(slow.wait(10000));
        QTest::qWait(600);
        QVERIFY(late && !late->isFinished());
        QCOMPARE(slow.count(), 1);
    }

    void releasedBrowserSilencesItsRequests()
    {
        StandInBridge silent;
        StandInBridge::Reply never;
        never.kind = StandInBridge::Reply::Kind::Silent;
        silent.answerWith(&never);
        createBridgeBrowser()->setBaseUrl(silent.url());
        bridgeBrowser()->setSlowAnswerMs(200);
        QPointer<BridgeReply> reply = BridgeGetData("12", "Host");
        QSignalSpy finished(reply.data(), &BridgeReply::finished);
        // A window's own browser object, deleted with the window at once.
        auto *own = new BridgeBrowser;
        own->setBaseUrl(silent.url());
        own->setSlowAnswerMs(200);
        QPointer<BridgeReply> ownReply = BridgeGetData(own, "12", "Client");
        QSignalSpy ownFinished(ownReply.data(), &BridgeReply::finished);
        QTRY_COMPARE(silent.requests.size(), 2);

        // The windows close: nothing may call back into them, not even the
        // time limit.
        releaseBridgeBrowser();
        QVERIFY(!bridgeBrowser());
        delete own;
        QVERIFY(ownReply.isNull());
        QTest::qWait(400);
        QVERIFY(reply.isNull());
        QCOMPARE(finished.count() + ownFinished.count(), 0);
    }
};

QTEST_MAIN(TestHttpSendReceive)
#include "tst_httpsendreceive.moc"
