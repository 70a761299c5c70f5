#include "journal/databaselog.h"
#include "journal/journallocation.h"
#include "monitor/metricscollector.h"
#include "monitor/metricsserver.h"
#include "monitor/statuspoller.h"
#include "pgcluster.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "testutil.h"
#include "tools/devsim/simstatusserver.h"
#include "tools/devsim/simulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <memory>

using namespace TestUtil;

namespace {

// Generous: the machine may be busy with other builds and tests.
constexpr int wait = 60000;

const QString cli = QStringLiteral(NORDA_BINARY_DIR "/tools/cli/norda-cli");
const QString devsim = QStringLiteral(NORDA_BINARY_DIR "/tools/devsim/norda-devsim");

// A grouped unit with an amplifier fault, a horn, and a horn that falls silent once
// Prometheus has seen it; the group's name needs escaping in a label.
const char project[] = "{ \"name\": \"metrics test\", \"id_obj\": 4, \"nodes\": [\n"
                       "  { \"nodetype\": \"group\", \"id_obj\": 4, \"name\": \"Корпус "
                       "\\\"А\\\"\\\\1\", \"nodes\": [\n"
                       "    { \"nodetype\": \"device\", \"id_obj\": 1, \"type\": \"tovik2\", "
                       "\"serial\": 1001, \"ip_enabled\": true,\n"
                       "      \"ip_addr\": \"127.0.28.2\" } ] },\n"
                       "  { \"nodetype\": \"device\", \"id_obj\": 2, \"type\": \"horn\", "
                       "\"serial\": 1002, \"ip_enabled\": true,\n"
                       "    \"ip_addr\": \"127.0.28.3\" },\n"
                       "  { \"nodetype\": \"device\", \"id_obj\": 3, \"type\": \"horn\", "
                       "\"serial\": 1003, \"ip_enabled\": true,\n"
                       "    \"ip_addr\": \"127.0.28.4\" }\n"
                       "]}";

struct HttpAnswer {
    int status = 0;
    QByteArray body;
    QByteArray contentType;
};

HttpAnswer http(const QString &url, const QByteArray &method = "GET",
                const QByteArray &body = QByteArray())
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request {QUrl::fromEncoded(url.toUtf8())};
    request.setTransferTimeout(20000);
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(25000);
    HttpAnswer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    delete reply;
    return answer;
}

qint64 residentKiB()
{
    for (const QByteArray &line : readFile(QStringLiteral("/proc/self/status")).split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct QueryRow {
    const char *name;
    const char *query; // PromQL yielding one series
    double value;
};

struct EndpointRow {
    const char *name;
    const char *method;
    const char *path;
    int status;
    const char *body; // what the body contains
};

enum class Attack { SlowHead, Flood, OversizedHead, Body };

struct ScraperRow {
    const char *name;
    Attack attack;
    int connections;
};

struct AddressRow {
    const char *name;
    const char *value;
    const char *listen; // ADDR:PORT, or "" when refused
};

} // namespace

Q_DECLARE_METATYPE(QueryRow)
Q_DECLARE_METATYPE(EndpointRow)
Q_DECLARE_METATYPE(ScraperRow)
Q_DECLARE_METATYPE(AddressRow)

// One hostile or idle scraper: a raw connection doing what its attack says.
class Scraper : public QObject {
public:
    Scraper(Attack attack, quint16 port, QObject *parent)
        : QObject(parent)
        , m_attack(attack)
        , m_port(port)
    {
        connect(&m_socket, &QTcpSocket::connected, this, &Scraper::send);
        connect(&m_socket, &QTcpSocket::bytesWritten, this, &Scraper::send);
        connect(&m_socket, &QTcpSocket::readyRead, this,
                [this] { answer += m_socket.readAll().left(64 - answer.size()); });
        // Cut off, it comes back at once.
        connect(&m_socket, &QTcpSocket::disconnected, this, &Scraper::again);
        connect(&m_socket, &QTcpSocket::errorOccurred, this, &Scraper::again);
        // One byte of the head at a time, slower than the server waits for a head.
        m_dribble.setInterval(400);
        connect(&m_dribble, &QTimer::timeout, this, [this] {
            static const QByteArray head =
                "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*";
            if (m_sent < head.size())
                m_socket.write(head.mid(m_sent++, 1));
        });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    int cuts = 0; // times the server closed the connection
    QByteArray answer; // the first bytes it sent

private:
    void again()
    {
        if (m_socket.state() == QAbstractSocket::UnconnectedState && !m_again) {
            m_again = true;
            ++cuts;
            QTimer::singleShot(0, this, [this] {
                m_again = false;
                m_sent = 0;
                m_dribble.stop();
                m_socket.connectToHost(QHostAddress::LocalHost, m_port);
            });
        }
    }

    void send()
    {
        // Writes only when the previous write has gone: the scraper's own memory stays small.
        if (m_socket.bytesToWrite() > 0)
            return;
        switch (m_attack) {
        case Attack::SlowHead:
            if (!m_dribble.isActive())
                m_dribble.start();
            break;
        case Attack::Flood:
            break;
        case Attack::OversizedHead:
            if (m_sent == 0)
                m_socket.write("GET /metrics HTTP/1.1\r\nX-Filler: ");
            if (m_sent < 256)
                m_socket.write(QByteArray(4096, 'a'));
            ++m_sent;
            break;
        case Attack::Body:
            if (m_sent == 0)
                m_socket.write("POST /metrics HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\n");
            m_socket.write(QByteArray(65536, 'b'));
            ++m_sent;
            break;
        }
    }

    Attack m_attack;
    quint16 m_port;
    bool m_again = false;
    QTcpSocket m_socket;
    QTimer m_dribble;
    int m_sent = 0;
};

// The monitor's core in this process: the simulator's status server, the poller ticking
// every 100 ms, the collector and the metrics server.
struct InProcessMonitor {
    explicit InProcessMonitor(const JournalLocation &journal = JournalLocation::file("log.sqlite"))
        : project(journal)
    {
    }

    bool start()
    {
        project.monitoring = true;
        for (int i = 0; i < 3; ++i) {
            const QString address = QStringLiteral("127.0.29.%1").arg(i + 2);
            project.addDevice(nullptr,
                              new ProjectDevice(DeviceType::Horn, quint32(2001 + i), {}, false, 0,
                                                true, address, -1));
            simulator.addDevice(QStringLiteral("horn:%1@%2").arg(2001 + i).arg(address));
        }
        statusServer = std::make_unique<SimStatusServer>(&simulator, freePort("127.0.29.2"));
        QString error;
        if (!statusServer->start(&error) ||
            !server.start(QStringLiteral("127.0.0.1"), freePort("127.0.0.1"), &error)) {
            qWarning() << error;
            return false;
        }
        url = server.url();
        poller.setStatusPort(statusServer->port());
        poller.setTickInterval(100);
        poller.setProject(&project);
        collector.watchJournal(project.logDb);
        collector.setShardHeld(0, true);
        QObject::connect(&collector, &MetricsCollector::snapshotTaken, &server,
                         &MetricsServer::publish);
        QObject::connect(&ticker, &QTimer::timeout, &poller, [this] { poller.tick(true); });
        ticker.start(100);
        return true;
    }

    WorkDir dir;
    ProjectModel project;
    Simulator simulator;
    std::unique_ptr<SimStatusServer> statusServer;
    StatusPoller poller;
    MetricsCollector collector {&poller};
    MetricsServer server;
    QTimer ticker;
    QString url;
};

class TestMetrics : public QObject {
    Q_OBJECT

private slots:
    // The monitor, the simulator and Prometheus as processes, started once.
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("norda.status.debug=false"));
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(path("project.mpj"), project));
        QVERIFY(writeFile(path("timeline.txt"),
                          "at 1 s device 1 fault amplifier on\n"
                          "at 15 s device 3 http silent\n"));
        const quint16 statusPort = freePort("127.0.28.2");
        const quint16 metricsPort = freePort("127.0.28.1");
        const quint16 prometheusPort = freePort("127.0.28.1");
        QVERIFY(statusPort && metricsPort && prometheusPort && metricsPort != prometheusPort);
        m_metrics = QStringLiteral("http://127.0.28.1:%1").arg(metricsPort);
        m_prometheus = QStringLiteral("http://127.0.28.1:%1").arg(prometheusPort);

        start(m_simulator, devsim,
              {"--project", path("project.mpj"), "--status-port", QString::number(statusPort),
               "--timeline", path("timeline.txt")},
              "devsim");
        QVERIFY2(QTest::qWaitFor([this] { return log("devsim").contains("status on port"); }, wait),
                 log("devsim").constData());
        start(m_monitor, cli,
              {"monitor", path("project.mpj"), "--status-port", QString::number(statusPort),
               "--interval", "200", "--metrics", QStringLiteral("127.0.28.1:%1").arg(metricsPort)},
              "monitor");
        QVERIFY2(QTest::qWaitFor([this] { return log("monitor").contains("metrics on"); }, wait),
                 log("monitor").constData());

        QVERIFY(writeFile(path("prometheus.yml"),
                          QStringLiteral("global:\n  scrape_interval: 1s\n  evaluation_interval: "
                                         "1s\nscrape_configs:\n  - job_name: norda\n    "
                                         "static_configs:\n      - targets: ['127.0.28.1:%1']\n")
                              .arg(metricsPort)
                              .toUtf8()));
        start(m_prometheusProcess, QStringLiteral("prometheus"),
              {"--config.file=" + path("prometheus.yml"),
               "--web.listen-address=127.0.28.1:" + QString::number(prometheusPort),
               "--storage.tsdb.path=" + path("tsdb")},
              "prometheus");
        QVERIFY2(
            QTest::qWaitFor([this] { return http(m_prometheus + "/-/ready").status == 200; }, wait),
            log("prometheus").right(2000).constData());
    }

    void cleanupTestCase()
    {
        for (QProcess *process : {&m_prometheusProcess, &m_monitor, &m_simulator}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            ::kill(pid_t(process->processId()), SIGTERM);
            if (!process->waitForFinished(30000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    void prometheusReadsValues_data()
    {
        const QueryRow rows[] = {
            // clang-format off
            {"answering device up", "norda_device_up{id=\"1\",serial=\"1001\",type=\"tovik2\"}", 1},
            {"silent device down", "norda_device_up{id=\"3\",serial=\"1003\",type=\"horn\",group=\"\"}", 0},
            {"silent device was up", "max_over_time(norda_device_up{id=\"3\"}[1h])", 1},
            {"group label escaped", "count(norda_device_up{group=\"Корпус \\\"А\\\"\\\\1\"})", 1},
            {"fault by kind", "norda_device_faults{id=\"1\",kind=\"amplifier\"}", 1},
            {"one shard held", "norda_shard_held{shard=\"0\"}", 1},
            {"counters and histograms move", "(norda_answers_total > bool 0) + (norda_answer_duration_seconds_count > bool 0) + (norda_journal_writes_total > bool 0) + (norda_journal_write_duration_seconds_count > bool 0) + (norda_status_log_bytes > bool 0)", 5},
            // clang-format on
        };
        addRows(rows);
    }

    void prometheusReadsValues()
    {
        QFETCH(QueryRow, row);
        double value = NAN;
        QByteArray answer;
        const bool found = QTest::qWaitFor(
            [&] {
                answer = http(m_prometheus + "/api/v1/query?query=" +
                              QString::fromLatin1(QUrl::toPercentEncoding(row.query)))
                             .body;
                const QJsonArray result =
                    QJsonDocument::fromJson(answer).object()["data"].toObject()["result"].toArray();
                value = result.size() == 1
                    ? result.at(0).toObject()["value"].toArray().at(1).toString().toDouble()
                    : NAN;
                return value == row.value;
            },
            wait);
        QVERIFY2(found, answer.constData());
    }

    void exposition_data()
    {
        const EndpointRow rows[] = {
            {"metrics", "GET", "/metrics", 200, "# TYPE norda_device_up gauge"},
            {"health", "GET", "/healthz", 200, "polling: shards 0, journal reachable"},
            {"head only", "HEAD", "/metrics", 200, ""},
            {"body refused", "POST", "/metrics", 405, "method not allowed"},
            {"other path", "GET", "/", 404, "not found"},
        };
        addRows(rows);
    }

    void exposition()
    {
        QFETCH(EndpointRow, row);
        const HttpAnswer answer = http(m_metrics + row.path, row.method);
        QCOMPARE(answer.status, row.status);
        QVERIFY2(answer.body.contains(row.body), answer.body.constData());
        if (QByteArray(row.path) != "/metrics" || row.status != 200 || answer.body.isEmpty())
            return;
        QCOMPARE(answer.contentType, "text/plain; version=0.0.4; charset=utf-8");
        // Prometheus' own check, lint included, finds nothing to say.
        QProcess promtool;
        promtool.setProcessChannelMode(QProcess::MergedChannels);
        promtool.start(QStringLiteral("promtool"), {"check", "metrics"});
        QVERIFY(promtool.waitForStarted());
        promtool.write(answer.body);
        promtool.closeWriteChannel();
        QVERIFY(promtool.waitForFinished(wait));
        const QByteArray said = promtool.readAll();
        QCOMPARE(promtool.exitCode(), 0);
        QVERIFY2(said.trimmed().isEmpty(), said.constData());
    }

    // What "--metrics" and "metrics=" take.
    void listenAddress_data()
    {
        const AddressRow rows[] = {
            {"port alone", "9464", "127.0.0.1:9464"},
            {"colon and port", ":9464", "127.0.0.1:9464"},
            {"every interface", "0.0.0.0:9464", "0.0.0.0:9464"},
            {"host name", "localhost:9464", ""},
            {"IPv6", "[::1]:9464", ""},
            {"port 0", "127.0.0.1:0", ""},
        };
        addRows(rows);
    }

    void listenAddress()
    {
        QFETCH(AddressRow, row);
        QString address;
        quint16 port = 0;
        QString error;
        const bool ok =
            MetricsServer::parseAddress(QString::fromUtf8(row.value), &address, &port, &error);
        QCOMPARE(ok ? QStringLiteral("%1:%2").arg(address).arg(port) : QString(),
                 QString::fromLatin1(row.listen));
        QCOMPARE(error.isEmpty(), ok);
    }

    // The health follows the journal's writes: a site database that is stopped makes it
    // 503 with the server's error, started again 200.
    void healthFollowsTheSiteDatabase()
    {
        PgCluster cluster;
        QVERIFY2(cluster.isValid(), qPrintable(cluster.error()));
        QVERIFY2(cluster.createDatabase(QStringLiteral("site")), qPrintable(cluster.error()));
        InProcessMonitor monitor(JournalLocation::parse(cluster.url(QStringLiteral("site"))));
        QVERIFY(monitor.start());
        DatabaseLog *log = monitor.project.logDb;
        log->setRetryInterval(100);
        QTRY_COMPARE_WITH_TIMEOUT(http(monitor.url + "healthz").status, 200, wait);

        QSignalSpy failed(log, &DatabaseLog::writeFailed);
        QSignalSpy recovered(log, &DatabaseLog::writeRecovered);
        QVERIFY2(cluster.stop(), qPrintable(cluster.error()));
        // The site journal keeps only changed documents: an event makes the write.
        QVERIFY(log->insertEvent(7, QString(), 2, QDateTime::currentDateTime()));
        QVERIFY(failed.count() == 1 || failed.wait(wait));
        const HttpAnswer down = http(monitor.url + "healthz");
        QCOMPARE(down.status, 503);
        QVERIFY2(down.body.startsWith("journal unreachable: ") && down.body.size() > 22,
                 down.body.constData());

        QVERIFY2(cluster.start(), qPrintable(cluster.error()));
        QVERIFY(recovered.count() == 1 || recovered.wait(wait));
        QCOMPARE(http(monitor.url + "healthz").body, "polling: shards 0, journal reachable\n");
        monitor.collector.setShardHeld(0, false);
        const HttpAnswer standby = http(monitor.url + "healthz");
        QCOMPARE(standby.status, 200);
        QCOMPARE(standby.body, "standby: no shard held, journal reachable\n");
    }

    // Slow, flooding, oversized and body-sending scrapers while the poller polls: answers
    // keep being accepted, no more connections are served at once than the limit, memory
    // stays bounded, and a normal scrape succeeds afterwards.
    void hostileScrapers_data()
    {
        const ScraperRow rows[] = {
            {"head dribbled slower than the deadline", Attack::SlowHead, 20},
            {"flood of idle connections", Attack::Flood, 200},
            {"oversized head", Attack::OversizedHead, 20},
            {"endless body", Attack::Body, 20},
        };
        addRows(rows);
    }

    void hostileScrapers()
    {
        QFETCH(ScraperRow, row);
        InProcessMonitor monitor;
        QVERIFY(monitor.start());
        QVERIFY(QTest::qWaitFor([&] { return http(monitor.url + "metrics").status == 200; }, wait));
        const quint16 port = QUrl(monitor.url).port();
        const qint64 residentBefore = residentKiB();

        QElapsedTimer clock;
        clock.start();
        QList<qint64> acceptedAt;
        QObject::connect(&monitor.poller, &StatusPoller::statusAccepted, &monitor.poller,
                         [&] { acceptedAt << clock.elapsed(); });
        auto attack = std::make_unique<QObject>();
        QList<Scraper *> scrapers;
        for (int i = 0; i < row.connections; ++i)
            scrapers << new Scraper(row.attack, port, attack.get());
        auto cutCount = [&] {
            return int(std::count_if(scrapers.cbegin(), scrapers.cend(),
                                     [](const Scraper *s) { return s->cuts > 0; }));
        };
        // The attack lasts until every scraper has been cut off (of a flood, at least the
        // first round served) and the devices have answered 20 ticks meanwhile.
        const int expectedCut =
            row.attack == Attack::Flood ? MetricsServer::maxConnections : row.connections;
        QVERIFY2(QTest::qWaitFor(
                     [&] { return cutCount() >= expectedCut && acceptedAt.size() >= 60; }, wait),
                 qPrintable(
                     QStringLiteral("%1 cut, %2 answers").arg(cutCount()).arg(acceptedAt.size())));
        const qint64 attackMs = clock.elapsed();
        const qint64 residentDuring = residentKiB();
        for (const Scraper *scraper : qAsConst(scrapers))
            QVERIFY2(!scraper->answer.startsWith("HTTP/1.1 200"), scraper->answer.constData());
        attack.reset();
        QObject::disconnect(&monitor.poller, &StatusPoller::statusAccepted, nullptr, nullptr);

        // Polling went on: no pause in the answers anywhere near as long as a hostile
        // scraper holds a connection (5 s).
        QVERIFY(!acceptedAt.isEmpty());
        qint64 longestPause = acceptedAt.first();
        for (int i = 1; i < acceptedAt.size(); ++i)
            longestPause = qMax(longestPause, acceptedAt.at(i) - acceptedAt.at(i - 1));
        longestPause = qMax(longestPause, attackMs - acceptedAt.last());
        QVERIFY2(longestPause < 3000, qPrintable(QString::number(longestPause)));
        QVERIFY(monitor.server.peakConnections() > 0);
        QVERIFY(monitor.server.peakConnections() <= MetricsServer::maxConnections);
        qInfo("resident memory %lld KiB before, %lld KiB during the attack", residentBefore,
              residentDuring);
        // Memory: what the attack sent (megabytes for the body and the heads) is not kept.
        QVERIFY2(
            residentDuring - residentBefore < 16 * 1024,
            qPrintable(QStringLiteral("%1 -> %2 KiB").arg(residentBefore).arg(residentDuring)));

        QVERIFY(QTest::qWaitFor(
            [&] {
                const HttpAnswer answer = http(monitor.url + "metrics");
                return answer.status == 200 && answer.body.contains("norda_answers_total");
            },
            wait));
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray log(const char *name) const { return readFile(path(QLatin1String(name) + ".log")); }

    void start(QProcess &process, const QString &program, const QStringList &args, const char *name)
    {
        process.setWorkingDirectory(m_dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(path(QLatin1String(name) + ".log"));
        process.start(program, args);
        QVERIFY2(process.waitForStarted(), qPrintable(program));
    }

    QTemporaryDir m_dir;
    QProcess m_simulator;
    QProcess m_monitor;
    QProcess m_prometheusProcess;
    QString m_metrics;
    QString m_prometheus;
};

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
