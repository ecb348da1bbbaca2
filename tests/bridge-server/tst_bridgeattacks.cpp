#include "bridgeanswers.h"
#include "bridgeserverprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

// The bridge server tried as an attacker would: raw sockets on 127.0.0.x
// against the real HvdBridge process.
class TestBridgeAttacks : public QObject
{
    Q_OBJECT

    struct Answer
    {
        int status = 0;
        QByteArray head;
        QByteArray body; // the page's body content, or the whole text
    };

    std::unique_ptr<BridgeServerProcess> m_server;

    static Answer parsed(const QByteArray &raw)
    {
        Answer answer;
        if (raw.startsWith("HTTP/1.1 "))
            answer.status = raw.mid(9, 3).toInt();
        const int split = raw.indexOf("\r\n\r\n");
        answer.head = raw.left(split);
        answer.body = split < 0 ? QByteArray() : pageBody(raw.mid(split + 4));
        return answer;
    }

    /// One request on a connection of its own from `from`; the answer as
    /// read until the server closes.
    Answer exchange(const QByteArray &request, const QString &from = QStringLiteral("127.0.0.1"))
    {
        return parsed(rawExchange(m_server->port(), request, from));
    }

    static QByteArray post(const char *page, const QByteArray &form)
    {
        return QByteArray("POST /Bridge/") + page +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
               "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               QByteArray::number(form.size()) + "\r\n\r\n" + form;
    }

    QByteArray newSession(const QByteArray &name = "PC: Game")
    {
        const Answer answer = exchange(post("Connect.asp", "SessionName=" + name));
        return answer.status == 200 ? answer.body : QByteArray();
    }

    QByteArray poll(const QByteArray &key, const QByteArray &owner)
    {
        return exchange(post("GetData.asp", "SessionKey=" + key + "&DataOwner=" + owner)).body;
    }

    int send(const QByteArray &key, const QByteArray &owner, const QByteArray &data)
    {
        return exchange(post("SendData.asp",
                             "SessionKey=" + key + "&DataOwner=" + owner + "&SessionData=" + data))
            .status;
    }

    static qint64 residentKiB(qint64 pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
        return -1;
    }

private slots:
    void init() { m_server = std::make_unique<BridgeServerProcess>(); }

    void bodyLimitHoldsHoweverTheBodyArrives()
    {
        QVERIFY(m_server->start());
        const QByteArray key = newSession();
        const QByteArray head = "POST /Bridge/SendData.asp HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Content-Type: application/x-www-form-urlencoded\r\n";
        const QByteArray form = "SessionKey=" + key + "&DataOwner=Client&SessionData=";

        // Chunked: 2 MiB offered in 64 KiB chunks; refused once past 64 KiB.
        {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
            QVERIFY(socket.waitForConnected(5000));
            socket.write(head + "Transfer-Encoding: chunked\r\n\r\n");
            const QByteArray chunk = QByteArray::number(0x10000, 16) + "\r\n" + form +
                                     QByteArray(0x10000 - form.size(), 'x') + "\r\n";
            QByteArray raw;
            for (int i = 0;
                 i < 32 && raw.isEmpty() && socket.state() == QAbstractSocket::ConnectedState;
                 ++i) {
                socket.write(chunk);
                socket.waitForBytesWritten(2000);
                raw += socket.readAll();
            }
            while (socket.waitForReadyRead(5000))
                raw += socket.readAll();
            const Answer answer = parsed(raw);
            QCOMPARE(answer.status, 413);
            QVERIFY2(answer.body.contains("larger than 64 KiB"), answer.body.constData());
        }
        // Many tiny chunks count the same way.
        QByteArray tiny;
        for (int i = 0; i < 70000; ++i)
            tiny += "1\r\nx\r\n";
        QCOMPARE(exchange(head + "Transfer-Encoding: chunked\r\n\r\n" + tiny + "0\r\n\r\n").status,
                 413);
        // A declared length past the limit is refused before any body is read.
        QCOMPARE(exchange(head + "Content-Length: 200000000\r\n\r\n" + form).status, 413);
        // Compressed bodies are not inflated at all.
        for (const QByteArray &coding :
             {QByteArray("Content-Encoding: gzip"), QByteArray("Content-Encoding: deflate"),
              QByteArray("Transfer-Encoding: gzip, chunked")}) {
            const Answer answer =
                exchange(head + coding + "\r\nContent-Length: 30\r\n\r\n" + QByteArray(30, '\x1f'));
            QCOMPARE(answer.status, 415);
        }
        // A header block past 16 KiB, whole or still open.
        QCOMPARE(exchange(head + "X-Big: " + QByteArray(17000, 'h') + "\r\n\r\n").status, 431);
        QByteArray lines = head;
        for (int i = 0; i < 2000; ++i)
            lines += "X-Line-" + QByteArray::number(i) + ": 1\r\n";
        QCOMPARE(exchange(lines).status, 431);

        // A chunked post within the limit is taken like any other.
        const QByteArray body = form + "chunked+ok";
        QCOMPARE(exchange(head + "Transfer-Encoding: chunked\r\n\r\n" + QByteArray::number(10, 16) +
                          "\r\n" + body.left(10) + "\r\n" +
                          QByteArray::number(body.size() - 10, 16) + "\r\n" + body.mid(10) +
                          "\r\n0\r\n\r\n")
                     .status,
                 200);
        QCOMPARE(poll(key, "Client"), QByteArray("chunked ok"));
        // Nothing of the refused megabytes was held: the server stayed small.
        const qint64 peak = residentKiB(m_server->processId());
        QVERIFY2(peak > 0 && peak < 64 * 1024, QByteArray::number(peak).constData());
    }

    void slowClientsDoNotStarveRealPolls()
    {
        QVERIFY(m_server->start({QStringLiteral("--threads"), QStringLiteral("2"),
                                 QStringLiteral("--request-seconds"), QStringLiteral("3"),
                                 QStringLiteral("--max-connections-per-address"),
                                 QStringLiteral("8")}));
        const QByteArray key = newSession();
        // 40 connections from one address and 40 from 40 addresses, each
        // sending one header line every half second.
        std::vector<std::unique_ptr<QTcpSocket>> slow;
        for (int i = 0; i < 80; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(i < 40 ? 2 : 3 + (i - 40))));
            socket->connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
            slow.push_back(std::move(socket));
        }
        for (auto &socket : slow)
            QVERIFY(socket->waitForConnected(5000));
        for (auto &socket : slow)
            socket->write("POST /Bridge/GetData.asp HTTP/1.1\r\n");
        QTimer trickle;
        int line = 0;
        connect(&trickle, &QTimer::timeout, this, [&] {
            for (auto &socket : slow) {
                if (socket->state() == QAbstractSocket::ConnectedState)
                    socket->write("X-Slow-" + QByteArray::number(++line) + ": 1\r\n");
            }
        });
        trickle.start(500);

        // Real polls from another address go on being answered at once.
        QElapsedTimer attack;
        attack.start();
        qint64 slowest = 0;
        int polls = 0;
        while (attack.elapsed() < 5000) {
            QElapsedTimer one;
            one.start();
            QCOMPARE(poll(key, "Host"), QByteArray("Wait"));
            slowest = qMax(slowest, one.elapsed());
            ++polls;
            QTest::qWait(100);
        }
        trickle.stop();
        QVERIFY(polls > 10);
        QVERIFY2(slowest < 2000, QByteArray::number(slowest).constData());

        // The cap sent most of one address's connections away at once, and
        // the deadline ended every other slow request (408) long before now.
        int busy = 0;
        int late = 0;
        for (auto &socket : slow) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->waitForDisconnected(5000);
            const QByteArray answer = socket->readAll();
            busy += answer.startsWith("HTTP/1.1 503");
            late += answer.startsWith("HTTP/1.1 408");
            QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        }
        QCOMPARE(busy, 32);
        QCOMPARE(late, 48);
    }

    void clientThatVanishesLosesAndDoublesNothing()
    {
        QVERIFY(m_server->start());
        const QByteArray key = newSession();
        QCOMPARE(send(key, "Client", "keep+me"), 200);
        // A plain socket that sends its request and closes without reading
        // (a Qt socket would read the answer into its own buffer first): at
        // once, or a moment later when the answer has arrived unread.
        int round = 0;
        const auto vanish = [this, &round](const QByteArray &request) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(quint16(m_server->port()));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            QCOMPARE(::send(fd, request.constData(), size_t(request.size()), 0),
                     ssize_t(request.size()));
            if (++round % 2 == 0)
                QThread::msleep(20);
            ::close(fd);
        };
        // Polls that give up before their answer: the message waits on.
        for (int i = 0; i < 20; ++i)
            vanish(post("GetData.asp", "SessionKey=" + key + "&DataOwner=Client"));
        // Posts that give up: none is stored, so a retry cannot double it.
        for (int i = 0; i < 20; ++i)
            vanish(
                post("SendData.asp", "SessionKey=" + key + "&DataOwner=Client&SessionData=ghost"));
        // (A poll may find it still lent to a vanished poll: "Wait".)
        QByteArray first;
        for (int i = 0; i < 50 && (first = poll(key, "Client")) == "Wait"; ++i)
            QTest::qWait(200);
        QCOMPARE(first, QByteArray("keep me"));
        QCOMPARE(poll(key, "Client"), QByteArray("Wait"));
        // Past the time a written answer waits for its client to close.
        QTest::qWait(2500);
        QCOMPARE(poll(key, "Client"), QByteArray("Wait"));
    }

    void sessionTableAndPageAreBoundedPerAddress()
    {
        QVERIFY(
            m_server->start({QStringLiteral("--max-sessions-per-address"), QStringLiteral("300")}));
        // Names of quotes escape to six bytes each: the largest rows there are.
        for (int i = 0; i < 300; ++i)
            QVERIFY(!newSession(QByteArray(200, '"')).isEmpty());
        const Answer full = exchange(post("Connect.asp", "SessionName=One+more"));
        QCOMPARE(full.status, 429);
        QVERIFY(full.head.contains("X-Content-Type-Options: nosniff"));
        // Another address still registers.
        QCOMPARE(
            exchange(post("Connect.asp", "SessionName=Other"), QStringLiteral("127.0.0.9")).status,
            200);
        const Answer list = exchange("GET /Bridge/Sessions.asp HTTP/1.1\r\nHost: x\r\n\r\n");
        QCOMPARE(list.status, 200);
        QVERIFY2(list.body.size() < 16 * 1024, QByteArray::number(list.body.size()).constData());
        QVERIFY(list.body.contains("Other") && list.body.contains("not listed"));
        // Names are cut to 64 characters.
        QVERIFY(list.body.contains(QByteArray("&quot;").repeated(64) + "</td>"));
        QVERIFY(!list.body.contains(QByteArray("&quot;").repeated(65)));
        // An error answer repeats only a short, escaped excerpt.
        const Answer unknown = exchange(
            post("GetData.asp", "SessionKey=<script>" + QByteArray(5000, 'k') + "&DataOwner=Host"));
        QCOMPARE(unknown.status, 404);
        QVERIFY(!unknown.body.contains("<script>") && unknown.body.size() < 300);
        QCOMPARE(exchange("GET /Bridge/GetData.asp HTTP/1.1\r\nHost: x\r\n\r\n").status, 405);
    }

    void writeAheadLogStaysBoundedUnderSteadyWrites()
    {
        QVERIFY(m_server->start({QStringLiteral("--wal-limit-kib"), QStringLiteral("1024")}));
        const QByteArray key = newSession();
        const QFileInfo wal(m_server->databasePath() + QStringLiteral("-wal"));
        const QByteArray data(60000, 'w');
        qint64 largest = 0;
        qint64 written = 0;
        for (int i = 0; i < 150; ++i) {
            QCOMPARE(send(key, "Host", data), 200);
            written += data.size();
            // The post shows once the server has seen this client close.
            QByteArray back;
            for (int tries = 0; tries < 100 && (back = poll(key, "Host")) == "Wait"; ++tries)
                QTest::qWait(10);
            QCOMPARE(back.size(), data.size());
            largest = qMax(largest, QFileInfo(wal.filePath()).size());
        }
        // Eight times the limit went through; the log never held much more
        // than the limit and one message.
        QVERIFY(written > 8 * 1024 * 1024);
        QVERIFY2(largest < 1024 * 1024 + 256 * 1024, QByteArray::number(largest).constData());
    }
};

QTEST_MAIN(TestBridgeAttacks)
#include "tst_bridgeattacks.moc"
