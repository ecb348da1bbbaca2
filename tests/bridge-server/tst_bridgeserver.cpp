#include "bridgeanswers.h"
#include "bridgeserverprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

// The server as the connector meets it: real process, real sockets on
// 127.0.0.1, forms written the way the connector writes them.
class TestBridgeServer : public QObject
{
    Q_OBJECT

    using Answer = BridgeAnswer;

    QNetworkAccessManager m_net;
    std::unique_ptr<BridgeServerProcess> m_server;

    QNetworkReply *request(const char *page, const QByteArray &form, bool get = false)
    {
        QNetworkRequest request(m_server->url().resolved(QUrl(QByteArray("/Bridge/") + page)));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        return get ? m_net.get(request) : m_net.post(request, form);
    }

    Answer post(const char *page, const QByteArray &form)
    {
        return bridgeAnswer(request(page, form));
    }

    QByteArray newSession(QByteArray name)
    {
        const Answer answer = post("Connect.asp", "SessionName=" + name.replace(' ', '+'));
        return answer.status == 200 ? answer.body : QByteArray();
    }

    int send(const QByteArray &key, const QByteArray &owner, const QByteArray &data)
    {
        return post("SendData.asp",
                    "SessionKey=" + key + "&DataOwner=" + owner + "&SessionData=" + data)
            .status;
    }

    QByteArray get(const QByteArray &key, const QByteArray &owner)
    {
        return post("GetData.asp", "SessionKey=" + key + "&DataOwner=" + owner).body;
    }

private slots:
    void init() { m_server = std::make_unique<BridgeServerProcess>(); }

    void formIsReadAsTheConnectorWritesIt()
    {
        QVERIFY(m_server->start());
        const QByteArray key = newSession("PC: Bob's Game");
        // The Connect page's body is the Session ID and nothing else.
        QVERIFY2(QRegularExpression(QStringLiteral("^[2-9A-HJKMNP-Z]{12}$"))
                     .match(QString::fromLatin1(key))
                     .hasMatch(),
                 key.constData());
        // "&", "=" and "%" inside SessionData are data; "+" is a blank;
        // "<br>" stays a line-break tag in the page.
        QCOMPARE(send(key, "Client", "A<br>B+x=1&y=%41+"), 200);
        QCOMPARE(get(key, "Client"), QByteArray("A<br>B x=1&y=%41 "));
        // The key as a player types it: blanks around it, small letters.
        QCOMPARE(send("++" + key.toLower() + "+", "Host", "hi"), 200);
        QCOMPARE(get(key, "Host"), QByteArray("hi"));
    }

    void eachRoleHasItsOwnQueueInPostedOrder()
    {
        QVERIFY(m_server->start());
        const QByteArray key = newSession("Queue");
        send(key, "Client", "one");
        send(key, "Client", "two");
        send(key, "Host", "back");
        for (const char *expected : {"one", "two", "Wait"})
            QCOMPARE(get(key, "Client"), QByteArray(expected));
        QCOMPARE(get(key, "Host"), QByteArray("back"));

        // Concurrent posts from many connections: every one arrives once.
        QList<QNetworkReply *> replies;
        for (int i = 0; i < 40; ++i)
            replies << request("SendData.asp", "SessionKey=" + key +
                                                   "&DataOwner=Host&SessionData=m" +
                                                   QByteArray::number(i));
        for (QNetworkReply *reply : replies)
            QCOMPARE(bridgeAnswer(reply).status, 200);
        QSet<QByteArray> received;
        for (int i = 0; i < 40; ++i)
            received.insert(get(key, "Host"));
        QCOMPARE(received.size(), 40);
        QVERIFY(received.contains("m0") && received.contains("m39"));
        QCOMPARE(get(key, "Host"), QByteArray("Wait"));
    }

    void chatQueuesStandApartAndTellWhoReads()
    {
        QVERIFY(m_server->start({QStringLiteral("--hold-seconds"), QStringLiteral("5")}));
        const QByteArray key = newSession("Chat");
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
            const bool poll = step.data.isNull();
            QNetworkReply *reply = request(poll ? "GetData.asp" : "SendData.asp",
                                           "SessionKey=" + key + "&DataOwner=" + step.owner +
                                               (poll ? QByteArray() : "&SessionData=" + step.data));
            QSignalSpy(reply, &QNetworkReply::finished).wait(5000);
            QCOMPARE(reply->rawHeader("X-Bridge-Chat"), QByteArray("1"));
            QCOMPARE(reply->hasRawHeader("X-Bridge-Peer-Chat"), step.peerChat);
            QCOMPARE(bridgeAnswer(reply).body, QByteArray(step.body));
        }
        // A held chat poll is woken by a chat line.
        QElapsedTimer held;
        held.start();
        QNetworkReply *waiting =
            request("GetData.asp", "SessionKey=" + key + "&DataOwner=ClientChat&WaitSeconds=5");
        QTest::qWait(300);
        QCOMPARE(send(key, "ClientChat", "SERVER:+hi"), 200);
        QCOMPARE(bridgeAnswer(waiting).body, QByteArray("SERVER: hi"));
        QVERIFY(held.elapsed() < 2000);
        // A bridge without chat neither announces nor takes it.
        QVERIFY(m_server->start({QStringLiteral("--no-chat")}));
        QNetworkReply *refused =
            request("GetData.asp", "SessionKey=" + key + "&DataOwner=ClientChat");
        QSignalSpy(refused, &QNetworkReply::finished).wait(5000);
        QVERIFY(!refused->hasRawHeader("X-Bridge-Chat"));
        QCOMPARE(bridgeAnswer(refused).status, 400);
    }

    void badRequestsGetClearAnswers()
    {
        QVERIFY(m_server->start({QStringLiteral("--max-waiting"), QStringLiteral("2")}));
        const QByteArray key = newSession("Strict");
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
            {"GetData.asp", "SessionKey=NOSUCHKEY&DataOwner=Host", 404, "NOSUCHKEY"},
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
        QCOMPARE(get(key, "Host"), QByteArray("1"));
    }

    void secondServerOnTheSamePortIsRefused()
    {
        QVERIFY(m_server->start());
        QTemporaryDir dir;
        QProcess second;
        second.start(QStringLiteral(HVD_BRIDGE_SERVER_PATH),
                     {QStringLiteral("--port"), QString::number(m_server->port()),
                      QStringLiteral("--db"), dir.filePath(QStringLiteral("other.db"))});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("cannot listen"));
        QVERIFY(m_server->isRunning());
    }

    void restartLosesNothingAndListsNamesEscaped()
    {
        QVERIFY(m_server->start());
        const QByteArray key = newSession("Alpha");
        const QByteArray other = newSession("<b>Bold</b> & \"Co\"");
        QVERIFY(!other.isEmpty() && other != key);
        send(key, "Client", "first");
        send(key, "Client", "second");
        send(key, "Host", "for host");
        QCOMPARE(get(key, "Client"), QByteArray("first"));
        // A fetched message is removed once the poller has closed its end;
        // a crash in that instant would hand it out again, not lose it.
        QTest::qWait(300);
        // A crash, not a clean stop: only what was committed can be there.
        m_server->kill();
        QVERIFY(m_server->start());
        QCOMPARE(get(key, "Client"), QByteArray("second"));
        QCOMPARE(get(key, "Client"), QByteArray("Wait"));
        send(key, "Client", "after");
        // A clean stop works too and is reported as such.
        QVERIFY(m_server->stop());
        QVERIFY(m_server->start());
        QCOMPARE(get(key, "Host"), QByteArray("for host"));
        QCOMPARE(get(key, "Client"), QByteArray("after"));

        // The connector's empty form (one zero byte) and a browser's GET.
        for (const bool viaGet : {false, true}) {
            const Answer list = bridgeAnswer(request("Sessions.asp", QByteArray(1, '\0'), viaGet));
            QCOMPARE(list.status, 200);
            // Once its client has polled, a session's ID is no longer shown.
            QVERIFY(!list.body.contains(key) && list.body.contains(other));
            QVERIFY(list.body.contains("&lt;b&gt;Bold&lt;/b&gt; &amp; &quot;Co&quot;"));
            QVERIFY(!list.body.contains("<b>"));
        }
    }

    void damagedDatabaseStopsTheStart()
    {
        QVERIFY(
            m_server->start({QStringLiteral("--max-sessions-per-address"), QStringLiteral("100")}));
        for (int i = 0; i < 60; ++i)
            QVERIFY(!newSession("Game " + QByteArray::number(i)).isEmpty());
        QVERIFY(m_server->stop());
        QFile file(m_server->databasePath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.size() > 3 * 4096);
        // Overwrite every page after the first.
        file.seek(4096);
        file.write(QByteArray(int(file.size()) - 4096, '\x55'));
        file.close();
        QProcess damaged;
        damaged.start(QStringLiteral(HVD_BRIDGE_SERVER_PATH),
                      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--db"),
                       m_server->databasePath()});
        QVERIFY(damaged.waitForFinished(10000));
        QCOMPARE(damaged.exitCode(), 1);
        const QByteArray error = damaged.readAllStandardError();
        QVERIFY2(error.contains("damaged"), error.constData());
    }

    void readOnlyDatabaseStopsTheStart()
    {
        QVERIFY(m_server->start());
        QVERIFY(!newSession("Kept").isEmpty());
        QVERIFY(m_server->stop());
        const QString db = m_server->databasePath();
        // Runs the server on the database (through `wrapper`, if any) and
        // gives its exit code and error output.
        const auto startOn = [&db](const QStringList &wrapper) {
            QProcess server;
            const QStringList options{QStringLiteral("--port"), QStringLiteral("0"),
                                      QStringLiteral("--db"), db};
            if (wrapper.isEmpty())
                server.start(QStringLiteral(HVD_BRIDGE_SERVER_PATH), options);
            else
                server.start(wrapper.first(),
                             wrapper.mid(1) + QStringList{QStringLiteral(HVD_BRIDGE_SERVER_PATH)} +
                                 options);
            if (!server.waitForFinished(10000)) {
                server.kill();
                server.waitForFinished();
                return qMakePair(-1, QByteArray("still running"));
            }
            return qMakePair(server.exitCode(), server.readAllStandardError());
        };
        const auto run = [](const QString &program, const QStringList &arguments) {
            return QProcess::execute(program, arguments) == 0;
        };
        int tried = 0;
        // Root writes through file modes, but not into an immutable file.
        if (run(QStringLiteral("chattr"), {QStringLiteral("+i"), db})) {
            ++tried;
            const auto [code, error] = startOn({});
            run(QStringLiteral("chattr"), {QStringLiteral("-i"), db});
            QCOMPARE(code, 1);
            QVERIFY2(error.contains("read-only"), error.constData());
        }
        // Another user that may read the file, in a folder it may not write
        // (so there is no room for the write-ahead log either).
        const QString folder = QFileInfo(db).absolutePath();
        const QStringList asNobody{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                                   QStringLiteral("--regid=nogroup"),
                                   QStringLiteral("--clear-groups")};
        if (::geteuid() == 0 && run(asNobody.first(), asNobody.mid(1) + QStringList{"true"})) {
            ++tried;
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther);
            QFile::setPermissions(db, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
            const auto [code, error] = startOn(asNobody);
            QCOMPARE(code, 1);
            QVERIFY2(error.contains("read-only"), error.constData());
            // Its own file, still in a folder it cannot write: not "damaged".
            QVERIFY(run(QStringLiteral("chown"), {QStringLiteral("nobody"), db}));
            const auto [ownCode, ownError] = startOn(asNobody);
            QCOMPARE(ownCode, 1);
            QVERIFY2(ownError.contains("read-only") && !ownError.contains("damaged"),
                     ownError.constData());
        }
        if (tried == 0)
            QSKIP("Neither chattr +i nor setpriv to nobody works here, and root writes any "
                  "file whatever its mode.");
        // Writable again, it starts with what it held.
        QVERIFY(m_server->start());
        QVERIFY(bridgeAnswer(request("Sessions.asp", {}, true)).body.contains("Kept"));
        QVERIFY(m_server->stop());
    }

    void idleSessionsExpire()
    {
        QVERIFY(m_server->start({QStringLiteral("--idle-seconds"), QStringLiteral("2"),
                                 QStringLiteral("--unjoined-idle-seconds"), QStringLiteral("2"),
                                 QStringLiteral("--max-sessions"), QStringLiteral("2")}));
        const QByteArray idle = newSession("Idle");
        const QByteArray busy = newSession("Busy");
        send(idle, "Client", "never fetched");
        // Registration is open to anyone, so the sessions are bounded.
        const Answer full = post("Connect.asp", "SessionName=Third");
        QCOMPARE(full.status, 503);
        QVERIFY2(full.body.contains("open sessions"), full.body.constData());
        for (int i = 0; i < 4; ++i) {
            QTest::qWait(900);
            QCOMPARE(get(busy, "Host"), QByteArray("Wait"));
        }
        // The idle session makes room for a new one.
        QVERIFY(!newSession("Later").isEmpty());
        QCOMPARE(post("GetData.asp", "SessionKey=" + idle + "&DataOwner=Client").status, 404);
        const Answer list = post("Sessions.asp", QByteArray(1, '\0'));
        QVERIFY(!list.body.contains("Idle") && list.body.contains("Busy"));
    }
};

QTEST_MAIN(TestBridgeServer)
#include "tst_bridgeserver.moc"
