#include "bridgeanswers.h"
#include "bridgeserverprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

// The bridge server tried as an attacker would: raw sockets on 127.0.0.x
// against the real HvdBridge process.
class TestBridgeAttacks : public QObject
{
    Q_OBJECT

    std::unique_ptr<BridgeServerProcess> m_server;
    BridgeRequests m_bridge;

private slots:
    void init() { m_server = std::make_unique<BridgeServerProcess>(); }

    void bodyLimitHoldsHoweverTheBodyArrives()
    {
        QVERIFY(m_bridge.start(*m_server));
        const QByteArray key = m_bridge.newSession();
        const QByteArray head = "POST /Bridge/SendData.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        const QByteArray chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
        const QByteArray form = "SessionKey=" + key + "&DataOwner=Client&SessionData=";
        // Chunked: 2 MiB offered in 64 KiB chunks; refused once past 64 KiB.
        auto socket = rawRequest(m_bridge.port, chunked);
        const QByteArray chunk =
            "10000\r\n" + form + QByteArray(0x10000 - form.size(), 'x') + "\r\n";
        for (int i = 0; i < 32 && socket->bytesAvailable() == 0 &&
                        socket->state() == QAbstractSocket::ConnectedState;
             ++i) {
            socket->write(chunk);
            socket->waitForBytesWritten(2000);
        }
        const BridgeAnswer streamed = parsedAnswer(rawAnswer(socket.get()));
        QCOMPARE(streamed.status, 413);
        QVERIFY2(streamed.body.contains("larger than 64 KiB"), streamed.body.constData());
        QByteArray lines = head; // a header block that never ends
        for (int i = 0; i < 2000; ++i)
            lines += "X-Line-" + QByteArray::number(i) + ": 1\r\n";
        const QList<QPair<QByteArray, int>> cases{
            {chunked + QByteArray("1\r\nx\r\n").repeated(70000) + "0\r\n\r\n", 413},
            // Compressed bodies are not inflated at all (more in the metrics test).
            {head + "Transfer-Encoding: gzip, chunked\r\n\r\n", 415},
            // A header block past 16 KiB that is still open.
            {lines, 431},
            // A chunked post within the limit is taken like any other.
            {chunked + "a\r\n" + form.left(10) + "\r\n" + QByteArray::number(form.size(), 16) +
                 "\r\n" + form.mid(10) + "chunked+ok\r\n0\r\n\r\n",
             200},
        };
        for (const auto &[request, status] : cases)
            QCOMPARE(m_bridge.exchange(request).status, status);
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("chunked ok"));
        // Nothing of the refused megabytes was held: the server stayed small.
        QFile status(QStringLiteral("/proc/%1/status").arg(m_server->processId()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray text = status.readAll();
        const qint64 peakKiB =
            text.mid(text.indexOf("VmHWM:") + 6).trimmed().split(' ')[0].toLongLong();
        QVERIFY2(peakKiB > 0 && peakKiB < 64 * 1024, QByteArray::number(peakKiB).constData());
    }

    void slowClientsDoNotStarveRealPolls()
    {
        QVERIFY(m_bridge.start(*m_server, {"--threads", "2", "--request-seconds", "3",
                                           "--max-connections-per-address", "8"}));
        const QByteArray key = m_bridge.newSession();
        // 40 connections from one address and 40 from 40 addresses, each
        // sending one header line every half second.
        std::vector<std::unique_ptr<QTcpSocket>> slow;
        for (int i = 0; i < 80; ++i)
            slow.push_back(rawRequest(m_bridge.port, "POST /Bridge/GetData.asp HTTP/1.1\r\n",
                                      QStringLiteral("127.0.0.%1").arg(i < 40 ? 2 : i - 37)));
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, this, [&] {
            for (auto &socket : slow)
                socket->write("X-Slow: 1\r\n");
        });
        trickle.start(500);
        // Real polls from another address go on being answered at once.
        QElapsedTimer attack;
        attack.start();
        int polls = 0;
        while (attack.elapsed() < 5000) {
            QElapsedTimer one;
            one.start();
            QCOMPARE(m_bridge.poll(key, "Host"), QByteArray("Wait"));
            QVERIFY2(one.elapsed() < 2000, QByteArray::number(one.elapsed()).constData());
            ++polls;
            QTest::qWait(100);
        }
        trickle.stop();
        QVERIFY(polls > 10);
        // The cap sent most of one address's connections away at once, and
        // the deadline ended every other slow request (408) long before now.
        QMap<QByteArray, int> answers;
        for (auto &socket : slow)
            ++answers[rawAnswer(socket.get()).left(12)];
        QCOMPARE(answers.value("HTTP/1.1 503"), 32);
        QCOMPARE(answers.value("HTTP/1.1 408"), 48);
    }

    void clientThatVanishesLosesAndDoublesNothing()
    {
        QVERIFY(m_bridge.start(*m_server));
        const QByteArray key = m_bridge.newSession();
        QCOMPARE(m_bridge.send(key, "Client", "keep+me"), 200);
        // A plain socket that sends its request and closes without reading
        // (a Qt socket would read the answer into its own buffer first): at
        // once, or a moment later when the answer has arrived unread.
        const auto vanish = [this](const QByteArray &request, int round) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(quint16(m_bridge.port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            QCOMPARE(::send(fd, request.constData(), size_t(request.size()), 0),
                     ssize_t(request.size()));
            QThread::msleep(round % 2 * 20);
            ::close(fd);
        };
        // Polls (held or not) that give up before their answer: the message
        // waits on. Posts that give up: none is stored, so a retry cannot
        // double it.
        for (int i = 0; i < 20; ++i) {
            vanish(BridgeRequests::getData(key, "Client", i % 4 < 2 ? "" : "&WaitSeconds=5"), i);
            vanish(BridgeRequests::post("SendData.asp",
                                        "SessionKey=" + key + "&DataOwner=Client&SessionData=x"),
                   i);
        }
        // (A poll may find it still lent to a vanished poll: "Wait".)
        QByteArray first;
        for (int i = 0; i < 50 && (first = m_bridge.poll(key, "Client")) == "Wait"; ++i)
            QTest::qWait(200);
        QCOMPARE(first, QByteArray("keep me"));
        // Past the time a written answer waits for its client to close.
        QTest::qWait(2500);
        QCOMPARE(m_bridge.poll(key, "Client"), QByteArray("Wait"));
    }

    void sessionTableAndPageAreBoundedPerAddress()
    {
        QVERIFY(m_bridge.start(*m_server, {"--max-sessions-per-address", "300"}));
        // Names of quotes escape to six bytes each: the largest rows there are.
        for (int i = 0; i < 300; ++i)
            QVERIFY(!m_bridge.newSession(QByteArray(200, '"')).isEmpty());
        const BridgeAnswer full =
            m_bridge.exchange(BridgeRequests::post("Connect.asp", "SessionName=One+more"));
        QCOMPARE(full.status, 429);
        const BridgeAnswer list = m_bridge.exchange("GET /Bridge/Sessions.asp HTTP/1.1\r\n\r\n");
        QVERIFY2(list.body.size() < 16 * 1024, QByteArray::number(list.body.size()).constData());
        QVERIFY(list.body.contains("not listed"));
        // Names are cut to 64 characters.
        QVERIFY(list.body.contains(QByteArray("&quot;").repeated(64) + "</td>"));
        QVERIFY(!list.body.contains(QByteArray("&quot;").repeated(65)));
        // An error answer repeats only a short, escaped excerpt.
        const BridgeAnswer unknown =
            m_bridge.exchange(BridgeRequests::getData("<script>" + QByteArray(5000, 'k'), "Host"));
        QCOMPARE(unknown.status, 404);
        QVERIFY(!unknown.body.contains("<script>") && unknown.body.size() < 300);
    }

    void writeAheadLogStaysBoundedUnderSteadyWrites()
    {
        QVERIFY(m_bridge.start(*m_server, {"--wal-limit-kib", "1024"}));
        const QByteArray key = m_bridge.newSession();
        const QByteArray data(60000, 'w');
        qint64 largest = 0;
        // Eight times the limit goes through, each post fetched by a held
        // poll once it shows.
        for (int i = 0; i < 150; ++i) {
            QCOMPARE(m_bridge.send(key, "Host", data), 200);
            QCOMPARE(m_bridge.exchange(BridgeRequests::getData(key, "Host", "&WaitSeconds=5"))
                         .body.size(),
                     data.size());
            largest = qMax(largest, QFileInfo(m_server->databasePath() + "-wal").size());
        }
        // The log never held much more than the limit and one message.
        QVERIFY2(largest < 1024 * 1024 + 256 * 1024, QByteArray::number(largest).constData());
    }
};

QTEST_MAIN(TestBridgeAttacks)
#include "tst_bridgeattacks.moc"
