#include "bridgeanswers.h"
#include "bridgeserverprocess.h"

#include <QMap>
#include <QRegularExpression>
#include <QTest>

#include <vector>

// GET /metrics of the real HvdBridge: the counters move with requests,
// refusals and held polls, and the text is well-formed Prometheus
// exposition format.
class TestBridgeMetrics : public QObject
{
    Q_OBJECT

    std::unique_ptr<BridgeServerProcess> m_server;
    BridgeRequests m_bridge;

    /// The samples, "name{labels}" to value; a single "bad: ..." entry for
    /// a line that is not a HELP, TYPE or sample line, a sample of a family
    /// without TYPE, or a histogram whose +Inf bucket is not its count.
    QMap<QString, double> metrics()
    {
        const BridgeAnswer answer = m_bridge.exchange("GET /metrics HTTP/1.1\r\n\r\n");
        if (answer.status != 200 || !answer.head.contains("text/plain; version=0.0.4"))
            return {{QStringLiteral("bad answer: ") + QString::fromLatin1(answer.head), 0}};
        static const QRegularExpression line(QStringLiteral(
            "^(# HELP [a-z_]+ .+|# TYPE ([a-z_]+) (counter|gauge|histogram)|([a-z_]+?)(_bucket|"
            "_sum|_count)?(\\{[a-z]+=\"[^\"\\\\]*\"(,[a-z]+=\"[^\"\\\\]*\")*\\})? ([0-9.e+-]+))$"));
        QMap<QString, double> samples;
        QStringList types;
        for (const QByteArray &bytes : answer.body.chopped(1).split('\n')) {
            const QRegularExpressionMatch match = line.match(QString::fromUtf8(bytes));
            if (!match.hasMatch() || !answer.body.endsWith('\n'))
                return {{QStringLiteral("bad: ") + QString::fromUtf8(bytes), 0}};
            types << match.captured(2);
            const QString family = match.captured(4);
            if (!family.isEmpty() && !types.contains(family) &&
                !types.contains(family + match.captured(5)))
                return {{QStringLiteral("bad: no TYPE before ") + QString::fromUtf8(bytes), 0}};
            samples[family + match.captured(5) + match.captured(6)] = match.captured(8).toDouble();
        }
        const QString histogram = QStringLiteral("hvdbridge_request_duration_seconds");
        if (samples.value(histogram + "_bucket{le=\"+Inf\"}") !=
            samples.value(histogram + "_count"))
            return {{QStringLiteral("bad: +Inf bucket is not the count"), 0}};
        return samples;
    }

    static QString held(const char *by)
    {
        return QStringLiteral("hvdbridge_held_polls_ended_total{by=\"%1\"}").arg(QLatin1String(by));
    }

private slots:
    void countersMoveWithRequestsRefusalsAndHeldPolls()
    {
        m_server = std::make_unique<BridgeServerProcess>();
        QVERIFY(m_bridge.start(*m_server, {"--max-connections-per-address", "3",
                                           "--request-seconds", "1", "--hold-seconds", "1"}));
        const QMap<QString, double> before = metrics();
        QVERIFY2(before.size() > 1, qPrintable(before.firstKey()));
        const QByteArray key = m_bridge.newSession();
        QCOMPARE(m_bridge.send(key, "Host", "m"), 200);
        const QList<QPair<QByteArray, int>> cases{
            {BridgeRequests::getData(key, "Host"), 200},
            {BridgeRequests::getData(key, "Host", "&WaitSeconds=1"), 200}, // held, time ran out
            // Refusals of every kind the server itself makes.
            {"GET /Bridge/GetData.asp HTTP/1.1\r\n\r\n", 405},
            {"POST /Bridge/SendData.asp HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", 413},
            {"POST /Bridge/SendData.asp HTTP/1.1\r\nContent-Encoding: gzip\r\n\r\n", 415},
            {"GET /Bridge/Sessions.asp HTTP/1.1\r\nX: " + QByteArray(20000, 'h') + "\r\n\r\n", 431},
            {"NONSENSE\r\n\r\n", 400},
            {BridgeRequests::post("GetData.asp", "DataOwner=Host"), 400},
            // Made-up paths all count as one label: the output cannot grow.
            {"GET /made/up/1 HTTP/1.1\r\n\r\n", 404},
            {"GET /made/up/2 HTTP/1.1\r\n\r\n", 404},
            {"POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405},
        };
        for (const auto &[request, status] : cases)
            QCOMPARE(m_bridge.exchange(request).status, status);
        // A held poll replaced by a newer one, which a post then answers.
        auto older = m_bridge.heldPoll(key, "1");
        QCOMPARE(metrics().value(QStringLiteral("hvdbridge_held_polls")), 1.0);
        auto newer = m_bridge.heldPoll(key, "1");
        QCOMPARE(BridgeRequests::answerOf(older), QByteArray("Wait"));
        QCOMPARE(m_bridge.send(key, "Host", "n"), 200);
        QCOMPARE(BridgeRequests::answerOf(newer), QByteArray("n"));
        // Three connections held open fill one address's share; the fourth
        // is turned away, and the three run out of time (408).
        const QString other = QStringLiteral("127.0.0.2");
        std::vector<std::unique_ptr<QTcpSocket>> slow;
        for (int i = 0; i < 3; ++i)
            slow.push_back(
                rawRequest(m_bridge.port, "POST /Bridge/GetData.asp HTTP/1.1\r\n", other));
        QCOMPARE(m_bridge.exchange("GET /metrics HTTP/1.1\r\n\r\n", other).status, 503);
        for (auto &socket : slow)
            QVERIFY(rawAnswer(socket.get()).startsWith("HTTP/1.1 408"));

        const QMap<QString, double> after = metrics();
        QVERIFY2(after.size() > 1, qPrintable(after.firstKey()));
        // The store's own figures: the one session, its messages fetched.
        QCOMPARE(after.value(QStringLiteral("hvdbridge_open_sessions")), 1.0);
        QCOMPARE(after.value(QStringLiteral("hvdbridge_waiting_messages")), 0.0);
        const auto requests = [](const char *page, int status) {
            return QStringLiteral("hvdbridge_requests_total{page=\"%1\",status=\"%2\"}")
                .arg(QLatin1String(page))
                .arg(status);
        };
        const auto refused = [](const char *reason) {
            return QStringLiteral("hvdbridge_refused_requests_total{reason=\"%1\"}")
                .arg(QLatin1String(reason));
        };
        const QList<QPair<QString, double>> moved{
            {requests("Connect.asp", 200), 1},
            {requests("SendData.asp", 200), 2},
            {requests("GetData.asp", 200), 4},
            {requests("GetData.asp", 405), 1},
            {requests("SendData.asp", 413), 1},
            {requests("other", 408), 3}, // no head: no page
            {requests("other", 400), 1},
            {requests("other", 404), 2},
            {refused("method_not_allowed"), 1},
            {refused("body_too_large"), 1},
            {refused("encoding"), 1},
            {refused("header_too_large"), 1},
            {refused("bad_request"), 2},
            {refused("timeout"), 3},
            {refused("connections_per_address"), 1},
            {held("time"), 1},
            {held("replaced"), 1},
            {held("message"), 1},
            {held("shutdown"), 0},
            {QStringLiteral("hvdbridge_held_polls"), 0},
        };
        for (const auto &[name, delta] : moved)
            QVERIFY2(after.value(name) - before.value(name) == delta, qPrintable(name));
        // Every answered request is in the histogram, the 408s above 0.5 s.
        const QString histogram = QStringLiteral("hvdbridge_request_duration_seconds");
        QVERIFY(after.value(histogram + "_count") >= 18.0);
        QVERIFY(after.value(histogram + "_bucket{le=\"+Inf\"}") -
                    after.value(histogram + "_bucket{le=\"0.5\"}") >=
                4.0);
    }
};

QTEST_MAIN(TestBridgeMetrics)
#include "tst_bridgemetrics.moc"
