#include "bridgeanswers.h"
#include "bridgeserverprocess.h"
#include "metrics.h"

#include <QHostAddress>
#include <QMap>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <thread>
#include <vector>

// GET /metrics of the real HvdBridge: the counters move with requests and
// refusals, and the text is well-formed Prometheus exposition format.
class TestBridgeMetrics : public QObject
{
    Q_OBJECT

    std::unique_ptr<BridgeServerProcess> m_server;

    /// The raw answer to `request`, read until the server closes.
    QByteArray exchange(const QByteArray &request,
                        const QString &from = QStringLiteral("127.0.0.1"))
    {
        return rawExchange(m_server->port(), request, from);
    }

    static int status(const QByteArray &raw)
    {
        return raw.startsWith("HTTP/1.1 ") ? raw.mid(9, 3).toInt() : 0;
    }

    static QByteArray post(const char *page, const QByteArray &form)
    {
        return QByteArray("POST /Bridge/") + page +
               " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
               QByteArray::number(form.size()) + "\r\n\r\n" + form;
    }

    /// The samples of a Prometheus text, "name{labels}" to value; fails the
    /// test on any line that is not a HELP, TYPE or sample line, on a
    /// sample of a family without TYPE, and on a histogram whose buckets do
    /// not add up.
    static QMap<QString, double> parsed(const QByteArray &text)
    {
        static const QRegularExpression help(
            QStringLiteral("^# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) .+$"));
        static const QRegularExpression type(QStringLiteral(
            "^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)$"));
        static const QRegularExpression sample(QStringLiteral(
            "^([a-zA-Z_:][a-zA-Z0-9_:]*)(\\{[a-zA-Z_][a-zA-Z0-9_]*=\"[^\"\\\\\\n]*\""
            "(,[a-zA-Z_][a-zA-Z0-9_]*=\"[^\"\\\\\\n]*\")*\\})? (-?[0-9.eE+-]+|\\+Inf|NaN)$"));
        QMap<QString, double> samples;
        QMap<QString, QString> types;
        if (!text.endsWith('\n'))
            return {{QStringLiteral("no line end at the end"), 0}};
        for (const QByteArray &bytes : text.chopped(1).split('\n')) {
            const QString line = QString::fromUtf8(bytes);
            QRegularExpressionMatch match;
            if (help.match(line).hasMatch())
                continue;
            if ((match = type.match(line)).hasMatch()) {
                types[match.captured(1)] = match.captured(2);
                continue;
            }
            match = sample.match(line);
            if (!match.hasMatch())
                return {{QStringLiteral("bad line: ") + line, 0}};
            QString family = match.captured(1);
            if (!types.contains(family))
                family.remove(QRegularExpression(QStringLiteral("_(bucket|sum|count)$")));
            if (!types.contains(family))
                return {{QStringLiteral("no TYPE before: ") + line, 0}};
            samples[match.captured(1) + match.captured(2)] = match.captured(4).toDouble();
        }
        // Buckets, in the order given, rise with their bounds up to +Inf,
        // which equals the count.
        double lastBound = -1;
        double lastCount = 0;
        for (const QByteArray &bytes : text.split('\n')) {
            static const QRegularExpression bucket(QStringLiteral(
                "^hvdbridge_request_duration_seconds_bucket\\{le=\"([^\"]+)\"\\} (\\S+)$"));
            const QRegularExpressionMatch match = bucket.match(QString::fromUtf8(bytes));
            if (!match.hasMatch())
                continue;
            const double bound =
                match.captured(1) == QLatin1String("+Inf") ? qInf() : match.captured(1).toDouble();
            if (bound <= lastBound || match.captured(2).toDouble() < lastCount)
                return {{QStringLiteral("buckets out of order at ") + match.captured(0), 0}};
            lastBound = bound;
            lastCount = match.captured(2).toDouble();
        }
        const QString inf =
            QStringLiteral("hvdbridge_request_duration_seconds_bucket{le=\"+Inf\"}");
        if (samples.value(inf) !=
            samples.value(QStringLiteral("hvdbridge_request_duration_seconds_count")))
            return {{QStringLiteral("+Inf bucket is not the count"), 0}};
        return samples;
    }

    QMap<QString, double> metrics()
    {
        const QByteArray raw = exchange("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        const int split = raw.indexOf("\r\n\r\n");
        if (status(raw) != 200 || !raw.left(split).contains("text/plain; version=0.0.4"))
            return {{QStringLiteral("bad answer: ") + QString::fromLatin1(raw.left(200)), 0}};
        return parsed(raw.mid(split + 4));
    }

    static QString refused(const char *reason)
    {
        return QStringLiteral("hvdbridge_refused_requests_total{reason=\"%1\"}")
            .arg(QLatin1String(reason));
    }

    static QString requests(const char *page, int status)
    {
        return QStringLiteral("hvdbridge_requests_total{page=\"%1\",status=\"%2\"}")
            .arg(QLatin1String(page))
            .arg(status);
    }

#define QVERIFY_PARSED(samples) QVERIFY2(samples.size() > 1, qPrintable(samples.firstKey()))

private slots:
    void init()
    {
        m_server = std::make_unique<BridgeServerProcess>();
    }

    void countersMoveWithRequestsAndRefusals()
    {
        QVERIFY(
            m_server->start({QStringLiteral("--max-connections-per-address"), QStringLiteral("3"),
                             QStringLiteral("--request-seconds"), QStringLiteral("1")}));
        const QMap<QString, double> before = metrics();
        QVERIFY_PARSED(before);
        QCOMPARE(before.value(refused("body_too_large")), 0.0);

        const QByteArray connected = exchange(post("Connect.asp", "SessionName=Metrics"));
        QCOMPARE(status(connected), 200);
        const QByteArray key = connected.mid(connected.indexOf("<body>") + 6, 12);
        QCOMPARE(status(exchange(
                     post("SendData.asp", "SessionKey=" + key + "&DataOwner=Host&SessionData=m"))),
                 200);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(status(exchange(post("GetData.asp", "SessionKey=" + key + "&DataOwner=Host"))),
                     200);
        // Refusals of every kind the server itself makes.
        QCOMPARE(status(exchange("GET /Bridge/GetData.asp HTTP/1.1\r\nHost: x\r\n\r\n")), 405);
        QCOMPARE(status(exchange("POST /Bridge/SendData.asp HTTP/1.1\r\nContent-Length: "
                                 "99999999\r\n\r\n")),
                 413);
        QCOMPARE(status(exchange("POST /Bridge/SendData.asp HTTP/1.1\r\nContent-Encoding: "
                                 "gzip\r\nContent-Length: 2\r\n\r\nxx")),
                 415);
        QCOMPARE(status(exchange("GET /Bridge/Sessions.asp HTTP/1.1\r\nX: " +
                                 QByteArray(20000, 'h') + "\r\n\r\n")),
                 431);
        QCOMPARE(status(exchange("NONSENSE\r\n\r\n")), 400);
        QCOMPARE(status(exchange(post("GetData.asp", "DataOwner=Host"))), 400);
        // Three connections held open fill one address's share; the fourth
        // is turned away, and the held ones run out of time (408).
        const QString other = QStringLiteral("127.0.0.2");
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            held.back()->bind(QHostAddress(other));
            held.back()->connectToHost(QHostAddress::LocalHost, quint16(m_server->port()));
            QVERIFY(held.back()->waitForConnected(5000));
            held.back()->write("POST /Bridge/GetData.asp HTTP/1.1\r\n");
            QVERIFY(held.back()->waitForBytesWritten(5000));
        }
        QCOMPARE(status(exchange("GET /metrics HTTP/1.1\r\n\r\n", other)), 503);
        for (auto &socket : held) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->waitForDisconnected(10000);
            QVERIFY(socket->readAll().startsWith("HTTP/1.1 408"));
        }

        const QMap<QString, double> after = metrics();
        QVERIFY_PARSED(after);
        // The store's own figures: the one session, its message fetched.
        QVERIFY(after.contains(QStringLiteral("hvdbridge_waiting_messages")));
        QCOMPARE(after.value(QStringLiteral("hvdbridge_open_sessions")), 1.0);
        QCOMPARE(after.value(QStringLiteral("hvdbridge_waiting_messages")), 0.0);
        const auto moved = [&](const QString &name) {
            return after.value(name) - before.value(name);
        };
        QCOMPARE(moved(requests("Connect.asp", 200)), 1.0);
        QCOMPARE(moved(requests("SendData.asp", 200)), 1.0);
        QCOMPARE(moved(requests("GetData.asp", 200)), 2.0);
        QCOMPARE(moved(requests("GetData.asp", 405)), 1.0);
        QCOMPARE(moved(requests("SendData.asp", 413)), 1.0);
        QCOMPARE(moved(requests("other", 408)), 3.0); // no whole head: no page
        QCOMPARE(moved(requests("other", 400)), 1.0);
        QVERIFY(moved(requests("metrics", 200)) >= 1.0);
        QCOMPARE(moved(refused("method_not_allowed")), 1.0);
        QCOMPARE(moved(refused("body_too_large")), 1.0);
        QCOMPARE(moved(refused("encoding")), 1.0);
        QCOMPARE(moved(refused("header_too_large")), 1.0);
        QCOMPARE(moved(refused("bad_request")), 2.0);
        QCOMPARE(moved(refused("timeout")), 3.0);
        QVERIFY(moved(refused("connections_per_address")) >= 1.0);
        // Every answered request is in the histogram, the 408s near 1 s.
        QVERIFY(moved(QStringLiteral("hvdbridge_request_duration_seconds_count")) >= 14.0);
        QVERIFY(
            moved(QStringLiteral("hvdbridge_request_duration_seconds_bucket{le=\"+Inf\"}")) -
                moved(QStringLiteral("hvdbridge_request_duration_seconds_bucket{le=\"0.5\"}")) >=
            3.0);
        QVERIFY(moved(QStringLiteral("hvdbridge_request_duration_seconds_sum")) >= 3.0);
        // Made-up paths all count as one label: the output cannot grow.
        QCOMPARE(status(exchange("GET /made/up/1 HTTP/1.1\r\n\r\n")), 404);
        QCOMPARE(status(exchange("GET /made/up/2 HTTP/1.1\r\n\r\n")), 404);
        QCOMPARE(metrics().value(requests("other", 404)), 2.0);
        QCOMPARE(status(exchange("POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n")), 405);
    }

    void gaugesAreReadWhenRenderedAndCountingIsExact()
    {
        Metrics metrics;
        QCOMPARE(Metrics::pageOf("/metrics"), Metrics::metricsPage());
        QVERIFY(Metrics::isBridgePage(Metrics::pageOf("/Bridge/Sessions.asp")));
        QVERIFY(!Metrics::isBridgePage(Metrics::pageOf("/health")));
        // Without a source no gauge is shown rather than a made-up zero.
        QVERIFY(!QByteArray::fromStdString(metrics.render()).contains("hvdbridge_open_sessions"));
        int reads = 0;
        metrics.setGauges([&reads] {
            ++reads;
            return Metrics::Gauges{7, 12, 3};
        });
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&metrics, t] {
                for (int i = 0; i < 10000; ++i) {
                    metrics.countRequest(Metrics::pageOf("/Bridge/GetData.asp"), 200,
                                         t == 0 ? 0.003 : 20.0);
                    metrics.countRefusal(Metrics::Refusal::Connections);
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        const QMap<QString, double> samples = parsed(QByteArray::fromStdString(metrics.render()));
        QVERIFY_PARSED(samples);
        QCOMPARE(reads, 1);
        QCOMPARE(samples.value(QStringLiteral("hvdbridge_open_sessions")), 7.0);
        QCOMPARE(samples.value(QStringLiteral("hvdbridge_waiting_messages")), 12.0);
        QCOMPARE(samples.value(QStringLiteral("hvdbridge_store_errors_total")), 3.0);
        QCOMPARE(samples.value(requests("GetData.asp", 200)), 40000.0);
        QCOMPARE(samples.value(refused("connections")), 40000.0);
        QCOMPARE(samples.value(
                     QStringLiteral("hvdbridge_request_duration_seconds_bucket{le=\"0.0025\"}")),
                 0.0);
        QCOMPARE(samples.value(
                     QStringLiteral("hvdbridge_request_duration_seconds_bucket{le=\"0.005\"}")),
                 10000.0);
        QCOMPARE(
            samples.value(QStringLiteral("hvdbridge_request_duration_seconds_bucket{le=\"10\"}")),
            10000.0);
        QCOMPARE(samples.value(QStringLiteral("hvdbridge_request_duration_seconds_count")),
                 40000.0);
        QVERIFY(qAbs(samples.value(QStringLiteral("hvdbridge_request_duration_seconds_sum")) -
                     (30.0 + 600000.0)) < 1.0);
    }
};

QTEST_MAIN(TestBridgeMetrics)
#include "tst_bridgemetrics.moc"
