#include "bridgeanswers.h"
#include "bridgeserverprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
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

private slots:
    void init() { m_server = std::make_unique<BridgeServerProcess>(); }

    void chatQueuesStandApartAndTellWhoReads()
    {
        QVERIFY(m_bridge.start(*m_server));
        const QByteArray key = m_bridge.newSession("Chat");
        // In turn: the owner, the data posted (none: a poll), the answer's
        // body and whether it says that the other side reads chat.
        const struct
        {
            const char *owner;
            QByteArray data;
            const char *body;
            bool peerChat;
        } steps[] = {
            {"HostChat", "CLIENT:+MAP:+x.map", "OK", false},
            {"Host", "ARMYDATA:+a", "OK", false},
            {"ClientChat", {}, "Wait", false},
            {"Host", {}, "ARMYDATA: a", true},
            {"Client", "SAVEDATA1:+s", "OK", true},
            {"HostChat", {}, "CLIENT: MAP: x.map", true},
            {"HostChat", {}, "Wait", true},
            {"Client", {}, "SAVEDATA1: s", true},
            {"Client", {}, "Wait", true},
        };
        for (const auto &step : steps) {
            const Answer answer = m_bridge.exchange(
                step.data.isNull()
                    ? BridgeRequests::getData(key, step.owner)
                    : BridgeRequests::post("SendData.asp", "SessionKey=" + key +
                                                               "&DataOwner=" + step.owner +
                                                               "&SessionData=" + step.data));
            QVERIFY(answer.head.contains("\r\nX-Bridge-Chat: 1"));
            QCOMPARE(answer.head.contains("\r\nX-Bridge-Peer-Chat: 1"), step.peerChat);
            QCOMPARE(answer.body, QByteArray(step.body));
        }
        // A held chat poll is woken by a chat line.
        QElapsedTimer clock;
        clock.start();
        auto held = rawRequest(m_bridge.port,
                               BridgeRequests::getData(key, "ClientChat", "&WaitSeconds=20"));
        QTest::qWait(200);
        QCOMPARE(m_bridge.send(key, "ClientChat", "SERVER:+hi"), 200);
        QCOMPARE(BridgeRequests::answerOf(held), QByteArray("SERVER: hi"));
        QVERIFY(clock.elapsed() < 2000);
        // A bridge without chat neither announces nor takes it.
        QVERIFY(m_bridge.start(*m_server, {"--no-chat"}));
        const Answer refused = m_bridge.exchange(BridgeRequests::getData(key, "ClientChat"));
        QCOMPARE(refused.status, 400);
        QVERIFY(!refused.head.contains("X-Bridge-Chat"));
    }

    void badRequestsGetClearAnswers()
    {
        QVERIFY(m_bridge.start(*m_server));
        const QByteArray key = m_bridge.newSession("Strict");
        for (const auto &[form, says] :
             {qMakePair("SessionKey=" + key + "&DataOwner=Client", "SessionData"),
              qMakePair(QByteArray("DataOwner=Client"), "SessionKey"),
              qMakePair("SessionKey=" + key + "&DataOwner=host&SessionData=x", "Host or Client")}) {
            const Answer answer = m_bridge.exchange(BridgeRequests::post("SendData.asp", form));
            QCOMPARE(answer.status, 400);
            QVERIFY2(answer.body.contains(says), answer.body.constData());
        }
    }

    void heldPollEndsAsAsked_data()
    {
        QTest::addColumn<QString>("hold");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<int>("heldMs");
        QTest::newRow("no field") << "2" << QByteArray() << 0;
        QTest::newRow("zero") << "2" << QByteArray("&WaitSeconds=0") << 0;
        QTest::newRow("garbage") << "2" << QByteArray("&WaitSeconds=-1x") << 0;
        QTest::newRow("one second") << "2" << QByteArray("&WaitSeconds=1") << 1000;
        QTest::newRow("absurd: the server's longest")
            << "2" << QByteArray("&WaitSeconds=99999999999999999999999") << 2000;
        QTest::newRow("holding off, no field") << "0" << QByteArray() << 0;
        QTest::newRow("holding off") << "0" << QByteArray("&WaitSeconds=5") << 0;
    }
    void heldPollEndsAsAsked()
    {
        QFETCH(QString, hold);
        QFETCH(QByteArray, field);
        QFETCH(int, heldMs);
        QVERIFY(m_bridge.start(*m_server, {"--hold-seconds", hold}));
        const QByteArray key = m_bridge.newSession();
        QElapsedTimer clock;
        clock.start();
        const QByteArray raw =
            rawExchange(m_bridge.port, BridgeRequests::getData(key, "Host", field), "127.0.0.1");
        QVERIFY2(clock.elapsed() >= heldMs && clock.elapsed() < heldMs + 700,
                 QByteArray::number(clock.elapsed()).constData());
        const QByteArray page =
            "<html><head><title>HvdBridge</title></head><body>Wait</body></html>";
        // Without holding, the answer is byte for byte what it always was.
        QCOMPARE(raw, "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1252\r\n"
                      "Content-Length: 67\r\nConnection: close\r\nX-Content-Type-Options: "
                      "nosniff\r\nCache-Control: no-store\r\n" +
                          (hold == "0" ? QByteArray() : "X-Bridge-Hold-Seconds: 2\r\n") +
                          "X-Bridge-Chat: 1\r\n\r\n" + page);
    }

    void heldPollGetsThePostAndNothingIsLost()
    {
        QVERIFY(m_bridge.start(*m_server));
        const QByteArray key = m_bridge.newSession();
        // A message already waiting comes at once.
        QCOMPARE(m_bridge.send(key, "Host", "ready"), 200);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(BridgeRequests::answerOf(m_bridge.heldPoll(key, "20")), QByteArray("ready"));
        // A post answers the held poll the moment it shows.
        auto held = m_bridge.heldPoll(key, "20");
        QCOMPARE(m_bridge.send(key, "Host", "moved"), 200);
        QCOMPARE(BridgeRequests::answerOf(held), QByteArray("moved"));
        QVERIFY2(clock.elapsed() < 2000, QByteArray::number(clock.elapsed()).constData());
        // A newer poll for the role answers the older one "Wait" at once.
        auto older = m_bridge.heldPoll(key);
        auto newer = m_bridge.heldPoll(key);
        QCOMPARE(BridgeRequests::answerOf(older), QByteArray("Wait"));
        QCOMPARE(m_bridge.send(key, "Host", "second"), 200);
        QCOMPARE(BridgeRequests::answerOf(newer), QByteArray("second"));
        // A held poll that vanishes is owed nothing; the next post waits on.
        m_bridge.heldPoll(key, "20")->abort();
        QCOMPARE(m_bridge.send(key, "Host", "kept"), 200);
        QCOMPARE(BridgeRequests::answerOf(m_bridge.heldPoll(key)), QByteArray("kept"));
        QCOMPARE(m_bridge.poll(key, "Host"), QByteArray("Wait"));
        QVERIFY2(clock.elapsed() < 4000, QByteArray::number(clock.elapsed()).constData());
    }

    void heldPollsCountAgainstTheCapsAndEndWithTheServer()
    {
        QVERIFY(m_bridge.start(*m_server,
                               {"--max-connections", "3", "--max-connections-per-address", "2"}));
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (const char *from : {"127.0.0.5", "127.0.0.5", "127.0.0.6"})
            held.push_back(m_bridge.heldPoll(m_bridge.newSession(), "20", QLatin1String(from)));
        const QByteArray request = BridgeRequests::getData("X", "Host");
        QVERIFY(m_bridge.exchange(request, QStringLiteral("127.0.0.5"))
                    .body.contains("from your address"));
        QCOMPARE(m_bridge.exchange(request, QStringLiteral("127.0.0.7")).status, 503);
        // SIGTERM answers every held poll at once, then the server exits.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_server->stop());
        for (auto &socket : held)
            QCOMPARE(BridgeRequests::answerOf(socket), QByteArray("Wait"));
        QVERIFY(clock.elapsed() < 2000);
    }

    void restartLosesNothing()
    {
        QVERIFY(m_bridge.start(*m_server));
        const QByteArray key = m_bridge.newSession("Alpha");
        m_bridge.send(key, "Client", "first");
        m_bridge.send(key, "Client", "second");
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("first"));
        // A fetched message is removed once the poller has closed its end;
        // a crash in that instant would hand it out again, not lose it.
        QTest::qWait(300);
        // A crash, not a clean stop: only what was committed can be there.
        m_server->kill();
        QVERIFY(m_bridge.start(*m_server));
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("second"));
        // The key as a player types it: blanks around it, small letters.
        m_bridge.send("++" + key.toLower() + "+", "Client", "after");
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("after"));
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("Wait"));
    }

    void unusableDatabaseStopsTheStart()
    {
        QVERIFY(m_bridge.start(*m_server, {"--max-sessions-per-address", "100"}));
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
        // not "damaged".
        const QStringList asNobody{"setpriv", "--reuid=nobody", "--regid=nogroup",
                                   "--clear-groups"};
        if (::geteuid() == 0 && run(asNobody + QStringList{"true"})) {
            QFile::setPermissions(QFileInfo(db).absolutePath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadOther | QFile::ExeOther);
            QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
            const auto [code, error] = startOn(asNobody);
            QCOMPARE(code, 1);
            QVERIFY2(error.contains("read-only") && !error.contains("damaged"), error.constData());
        } else if (qEnvironmentVariableIsSet("CI")) {
            QFAIL("CI needs root and setpriv to try a read-only database.");
        } else {
            qInfo("Not root or no setpriv: a read-only database is not tried.");
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
