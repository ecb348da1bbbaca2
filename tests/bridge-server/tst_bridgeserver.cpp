#include "bridgeanswers.h"
#include "bridgeserverprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>
#include <QTest>

#include <unistd.h>

#include <vector>

// The server as the connector meets it: real process, real sockets on
// 127.0.0.1, forms written the way the connector writes them.
class TestBridgeServer : public QObject
{
    Q_OBJECT

    using Answer = BridgeAnswer;

    std::unique_ptr<BridgeServerProcess> m_server;
    BridgeRequests m_bridge;

    bool start(const QStringList &options = {})
    {
        const bool started = m_server->start(options);
        m_bridge.port = m_server->port();
        return started;
    }
    Answer post(const char *page, const QByteArray &form)
    {
        return m_bridge.exchange(BridgeRequests::post(page, form));
    }
    /// A poll that asks to be held (`wait` seconds), sent and not yet read.
    std::unique_ptr<QTcpSocket> heldPoll(const QByteArray &key, const QByteArray &wait = "2",
                                         const QString &from = QStringLiteral("127.0.0.1"))
    {
        auto socket = rawRequest(
            m_bridge.port, BridgeRequests::getData(key, "Host", "&WaitSeconds=" + wait), from);
        QTest::qWait(200); // until it is held
        return socket;
    }
    static QByteArray answerOf(const std::unique_ptr<QTcpSocket> &socket)
    {
        return parsedAnswer(rawAnswer(socket.get())).body;
    }

private slots:
    void init() { m_server = std::make_unique<BridgeServerProcess>(); }

    void formIsReadAsTheConnectorWritesIt()
    {
        QVERIFY(start());
        const QByteArray key = m_bridge.newSession("PC:+Bob's+Game");
        // The Connect page's body is the Session ID and nothing else.
        QVERIFY2(QRegularExpression(QStringLiteral("^[2-9A-HJKMNP-Z]{12}$"))
                     .match(QString::fromLatin1(key))
                     .hasMatch(),
                 key.constData());
        // "&", "=" and "%" inside SessionData are data; "+" is a blank;
        // "<br>" stays a line-break tag in the page.
        QCOMPARE(m_bridge.send(key, "Client", "A<br>B+x=1&y=%41+"), 200);
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("A<br>B x=1&y=%41 "));
        // The key as a player types it: blanks around it, small letters.
        QCOMPARE(m_bridge.send("++" + key.toLower() + "+", "Host", "hi"), 200);
        QCOMPARE(m_bridge.poll(key, "Host"), QByteArray("hi"));
        // Concurrent posts (within the per-address cap): every one arrives once.
        std::vector<std::unique_ptr<QTcpSocket>> posts;
        for (int i = 0; i < 15; ++i)
            posts.push_back(rawRequest(
                m_bridge.port, BridgeRequests::post("SendData.asp", "SessionKey=" + key +
                                                                        "&DataOwner=Host&"
                                                                        "SessionData=m" +
                                                                        QByteArray::number(i))));
        for (auto &socket : posts)
            QCOMPARE(parsedAnswer(rawAnswer(socket.get())).status, 200);
        QSet<QByteArray> received;
        for (int i = 0; i < 15; ++i)
            received.insert(m_bridge.poll(key, "Host"));
        QVERIFY(received.size() == 15 && received.contains("m0") && received.contains("m14"));
        QCOMPARE(m_bridge.poll(key, "Host"), QByteArray("Wait"));
    }

    void badRequestsGetClearAnswers()
    {
        QVERIFY(start({QStringLiteral("--max-waiting"), QStringLiteral("2")}));
        const QByteArray key = m_bridge.newSession("Strict");
        const struct
        {
            const char *page;
            QByteArray form;
            int status;
            const char *says;
        } cases[] = {
            {"SendData.asp", "SessionKey=" + key + "&DataOwner=Client", 400, "SessionData"},
            {"GetData.asp", "DataOwner=Client", 400, "SessionKey"},
            {"Connect.asp", QByteArray(1, '\0'), 400, "SessionName"},
            {"Connect.asp", "SessionName=+++", 400, "no name"},
            {"GetData.asp", "SessionKey=NOSUCHKEY&DataOwner=Host&WaitSeconds=2", 404, "NOSUCHKEY"},
            {"GetData.asp", "SessionKey=" + key + "&DataOwner=host", 400, "Host or Client"},
            {"SendData.asp", "SessionKey=" + key + "&DataOwner=Both&SessionData=x", 400,
             "Host or Client"},
            {"SendData.asp",
             "SessionKey=" + key + "&DataOwner=Host&SessionData=" + QByteArray(70000, 'a'), 413,
             "larger than"},
            {"Missing.asp", "x=1", 404, "Missing.asp"},
            // A role's queue is bounded; the refusal says why.
            {"SendData.asp", "SessionKey=" + key + "&DataOwner=Host&SessionData=1", 200, "OK"},
            {"SendData.asp", "SessionKey=" + key + "&DataOwner=Host&SessionData=2", 200, "OK"},
            {"SendData.asp", "SessionKey=" + key + "&DataOwner=Host&SessionData=3", 409, "waiting"},
        };
        for (const auto &c : cases) {
            const Answer answer = post(c.page, c.form);
            QCOMPARE(answer.status, c.status);
            QVERIFY2(answer.body.contains(c.says), answer.body.constData());
        }
        // None of that hurt the server or the session.
        QCOMPARE(m_bridge.poll(key, "Host"), QByteArray("1"));
    }

    void heldPollEndsAsAsked_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<int>("heldMs");
        QTest::newRow("no field") << QByteArray() << 0;
        QTest::newRow("zero") << QByteArray("&WaitSeconds=0") << 0;
        QTest::newRow("garbage") << QByteArray("&WaitSeconds=-1x") << 0;
        QTest::newRow("one second") << QByteArray("&WaitSeconds=1") << 1000;
        QTest::newRow("absurd: the server's longest")
            << QByteArray("&WaitSeconds=99999999999999999999999") << 2000;
    }
    void heldPollEndsAsAsked()
    {
        QFETCH(QByteArray, field);
        QFETCH(int, heldMs);
        QVERIFY(start({QStringLiteral("--hold-seconds"), QStringLiteral("2")}));
        const QByteArray key = m_bridge.newSession();
        QElapsedTimer clock;
        clock.start();
        const Answer answer = m_bridge.exchange(BridgeRequests::getData(key, "Host", field));
        QVERIFY2(clock.elapsed() >= heldMs && clock.elapsed() < heldMs + 700,
                 QByteArray::number(clock.elapsed()).constData());
        QCOMPARE(answer.body, QByteArray("Wait"));
        QVERIFY(answer.head.contains("\r\nX-Bridge-Hold-Seconds: 2"));
    }

    void heldPollGetsThePostAndNothingIsLost()
    {
        QVERIFY(start());
        const QByteArray key = m_bridge.newSession();
        // A message already waiting comes at once.
        QCOMPARE(m_bridge.send(key, "Host", "ready"), 200);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(answerOf(heldPoll(key, "20")), QByteArray("ready"));
        // A post answers the held poll the moment it shows.
        auto held = heldPoll(key, "20");
        QCOMPARE(m_bridge.send(key, "Host", "moved"), 200);
        QCOMPARE(answerOf(held), QByteArray("moved"));
        QVERIFY2(clock.elapsed() < 2000, QByteArray::number(clock.elapsed()).constData());
        // A newer poll for the role answers the older one "Wait" at once.
        auto older = heldPoll(key);
        auto newer = heldPoll(key);
        QCOMPARE(answerOf(older), QByteArray("Wait"));
        QCOMPARE(m_bridge.send(key, "Host", "second"), 200);
        QCOMPARE(answerOf(newer), QByteArray("second"));
        // A held poll that vanishes is owed nothing; the next post waits on.
        heldPoll(key, "20")->abort();
        QCOMPARE(m_bridge.send(key, "Host", "kept"), 200);
        QCOMPARE(answerOf(heldPoll(key)), QByteArray("kept"));
        QCOMPARE(m_bridge.poll(key, "Host"), QByteArray("Wait"));
        QVERIFY2(clock.elapsed() < 4000, QByteArray::number(clock.elapsed()).constData());
    }

    void heldPollsCountAgainstTheCapsAndEndWithTheServer()
    {
        QVERIFY(start({QStringLiteral("--max-connections"), QStringLiteral("3"),
                       QStringLiteral("--max-connections-per-address"), QStringLiteral("2")}));
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (const char *from : {"127.0.0.5", "127.0.0.5", "127.0.0.6"})
            held.push_back(heldPoll(m_bridge.newSession(), "20", QLatin1String(from)));
        const QByteArray request = BridgeRequests::getData("X", "Host");
        QVERIFY(m_bridge.exchange(request, QStringLiteral("127.0.0.5"))
                    .body.contains("from your address"));
        QCOMPARE(m_bridge.exchange(request, QStringLiteral("127.0.0.7")).status, 503);
        // SIGTERM answers every held poll at once, then the server exits.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_server->stop());
        for (auto &socket : held)
            QCOMPARE(answerOf(socket), QByteArray("Wait"));
        QVERIFY(clock.elapsed() < 2000);
    }

    void withoutHoldingAnswersAreExactlyAsBefore()
    {
        QVERIFY(start({QStringLiteral("--hold-seconds"), QStringLiteral("0")}));
        const QByteArray key = m_bridge.newSession();
        const QByteArray page =
            "<html><head><title>HvdBridge</title></head><body>Wait</body></html>";
        for (const QByteArray &field : {QByteArray(), QByteArray("&WaitSeconds=5")}) {
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(rawExchange(m_bridge.port, BridgeRequests::getData(key, "Client", field),
                                 QStringLiteral("127.0.0.1")),
                     "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1252\r\n"
                     "Content-Length: " +
                         QByteArray::number(page.size()) +
                         "\r\nConnection: close\r\nX-Content-Type-Options: nosniff\r\n"
                         "Cache-Control: no-store\r\n\r\n" +
                         page);
            QVERIFY(clock.elapsed() < 700);
        }
    }

    void restartLosesNothingAndListsNamesEscaped()
    {
        QVERIFY(start());
        const QByteArray key = m_bridge.newSession("Alpha");
        const QByteArray other = m_bridge.newSession("<b>Bold</b>+&+\"Co\"");
        QVERIFY(!other.isEmpty() && other != key);
        m_bridge.send(key, "Client", "first");
        m_bridge.send(key, "Client", "second");
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("first"));
        // A fetched message is removed once the poller has closed its end;
        // a crash in that instant would hand it out again, not lose it.
        QTest::qWait(300);
        // A crash, not a clean stop: only what was committed can be there.
        m_server->kill();
        QVERIFY(start());
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("second"));
        m_bridge.send(key, "Client", "after");
        // A clean stop works too and is reported as such.
        QVERIFY(m_server->stop());
        QVERIFY(start());
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("after"));
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("Wait"));

        // The connector's empty form (one zero byte) and a browser's GET.
        for (const QByteArray &request :
             {BridgeRequests::post("Sessions.asp", QByteArray(1, '\0')),
              QByteArray("GET /Bridge/Sessions.asp HTTP/1.1\r\n\r\n")}) {
            const Answer list = m_bridge.exchange(request);
            QCOMPARE(list.status, 200);
            // Once its client has polled, a session's ID is no longer shown.
            QVERIFY(!list.body.contains(key) && list.body.contains(other));
            QVERIFY(list.body.contains("&lt;b&gt;Bold&lt;/b&gt; &amp; &quot;Co&quot;"));
            QVERIFY(!list.body.contains("<b>"));
        }
        // A second server on the same port is refused; this one goes on.
        QProcess second;
        second.start(QStringLiteral(HVD_BRIDGE_SERVER_PATH),
                     {QStringLiteral("--port"), QString::number(m_server->port()),
                      QStringLiteral("--db"), m_server->databasePath() + QStringLiteral("2")});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("cannot listen"));
        QVERIFY(m_server->isRunning());
    }

    void unusableDatabaseStopsTheStart()
    {
        QVERIFY(start({QStringLiteral("--max-sessions-per-address"), QStringLiteral("100")}));
        for (int i = 0; i < 60; ++i)
            QVERIFY(!m_bridge.newSession("Game+" + QByteArray::number(i)).isEmpty());
        QVERIFY(m_server->stop());
        const QString db = m_server->databasePath();
        // The exit code and error output of a server started on the
        // database (through `wrapper`, if any).
        const auto startOn = [&db](const QStringList &wrapper) {
            QProcess server;
            const QStringList command =
                wrapper + QStringList{HVD_BRIDGE_SERVER_PATH, "--port", "0", "--db", db};
            server.start(command.first(), command.mid(1));
            if (!server.waitForFinished(10000))
                server.kill();
            server.waitForFinished();
            return qMakePair(server.exitCode(), server.readAllStandardError());
        };
        const auto run = [](const QStringList &command) {
            return QProcess::execute(command.first(), command.mid(1)) == 0;
        };
        // Another user that may read the file, in a folder it may not write
        // (so there is no room for the write-ahead log either): read-only,
        // also when the file is its own, not "damaged".
        const QStringList asNobody{"setpriv", "--reuid=nobody", "--regid=nogroup",
                                   "--clear-groups"};
        if (::geteuid() == 0 && run(asNobody + QStringList{"true"})) {
            QFile::setPermissions(QFileInfo(db).absolutePath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadOther | QFile::ExeOther);
            QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
            for (const bool own : {false, true}) {
                QVERIFY(!own || run({"chown", "nobody", db}));
                const auto [code, error] = startOn(asNobody);
                QCOMPARE(code, 1);
                QVERIFY2(error.contains("read-only") && !error.contains("damaged"),
                         error.constData());
            }
            QVERIFY(run({"chown", "root", db}));
        } else if (qEnvironmentVariableIsSet("CI")) {
            QFAIL("CI needs root and setpriv to try a read-only database.");
        }
        // Every page after the first overwritten: damaged.
        QFile file(db);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 3 * 4096);
        file.seek(4096);
        file.write(QByteArray(int(file.size()) - 4096, '\x55'));
        file.close();
        const auto [code, error] = startOn({});
        QCOMPARE(code, 1);
        QVERIFY2(error.contains("damaged"), error.constData());
    }
};

QTEST_MAIN(TestBridgeServer)
#include "tst_bridgeserver.moc"
