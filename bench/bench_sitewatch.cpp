// A console watching a site database: a throwaway PostgreSQL cluster, a project of many
// devices, a stand-in for the monitors on a thread of its own (it stamps every shard each
// second, turns a number of devices online or offline every 100 ms and records an event
// a second), and the console window in monitoring mode with the tree fully expanded.
// Prints the time from a device's change (the write of its state) to the device showing
// it on the console (p50/p99), how late a 10 ms timer fires in the console's event loop
// (p50/p99/max), and the console's resident memory after the first minute and at the end,
// with the machine's load average.
//
//   bench_sitewatch [--devices 10000] [--groups 40] [--shards 4] [--changes 100]
//                   [--seconds 180]
//
// Without a display it draws on the offscreen platform (the window is still painted).

#include "pgcluster.h"
#include "procstat.h"

#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "journal/localzone.h"
#include "monitor/sitewatch.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QRandomGenerator>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

QElapsedTimer sinceStart; // monotonic, read from both threads
QMutex writtenLock;
QHash<int, qint64> writtenAt; // device id -> ns when its state was written
qint64 measureFromNs = std::numeric_limits<qint64>::max();

bool writeProject(const QString &path, int devices, int groups)
{
    const char *types[] = {"norda4200", "horn", "ip_pult", "lumo4", "horn", "media"};
    QJsonArray groupNodes;
    const int perGroup = (devices + groups - 1) / groups;
    int id = 1;
    for (int g = 0; g < groups; ++g) {
        QJsonArray nodes;
        for (int i = g * perGroup; i < qMin(devices, (g + 1) * perGroup); ++i) {
            nodes.append(QJsonObject {
                {"nodetype", "device"},
                {"id_obj", id++},
                {"type", types[i % 6]},
                {"serial", 300000 + i},
                {"tag", QStringLiteral("Помещение %1").arg(i)},
                {"ip_enabled", true},
                {"ip_addr", QStringLiteral("127.3.%1.%2").arg(i / 250).arg(2 + i % 250)}});
        }
        groupNodes.append(QJsonObject {{"nodetype", "group"},
                                       {"name", QStringLiteral("Корпус %1").arg(g + 1)},
                                       {"nodes", nodes}});
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
        file.write(
            QJsonDocument(QJsonObject {{"name", "bench"}, {"id_obj", id}, {"nodes", groupNodes}})
                .toJson()) > 0;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

// The monitors' part: plain statements on a connection of its own.
class MonitorStandIn : public QObject {
public:
    MonitorStandIn(const QString &options, int devices, int changesPerSecond)
        : m_options(options)
        , m_devices(devices)
        , m_perStep(qMax(1, changesPerSecond / 10))
    {
    }
    ~MonitorStandIn() override
    {
        delete m_query;
        QSqlDatabase::database(QStringLiteral("standin"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("standin"));
    }
    void start()
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("standin"));
        db.setConnectOptions(m_options);
        if (!db.open())
            qWarning("stand-in: %s", qPrintable(db.lastError().text()));
        m_query = new QSqlQuery(db);
        auto *stamp = new QTimer(this);
        connect(stamp, &QTimer::timeout, this, [this] {
            exec(QStringLiteral("UPDATE shard_state SET stamped_at = now();"));
            exec(QStringLiteral("INSERT INTO error_log (param_time, device_unique_id, error_id, "
                                "seen) VALUES (to_char(now(), 'HH24:MI:SS DD.MM.YYYY'), %1, 2, "
                                "0);")
                     .arg(1 + QRandomGenerator::global()->bounded(m_devices)));
        });
        stamp->start(1000);
        auto *change = new QTimer(this);
        connect(change, &QTimer::timeout, this, [this] {
            QStringList ids;
            const qint64 now = sinceStart.nsecsElapsed();
            {
                QMutexLocker locker(&writtenLock);
                for (int i = 0; i < m_perStep; ++i) {
                    const int id = 1 + QRandomGenerator::global()->bounded(m_devices);
                    if (writtenAt.contains(id))
                        continue;
                    writtenAt.insert(id, now);
                    ids << QString::number(id);
                }
            }
            if (ids.isEmpty())
                return;
            exec(QStringLiteral("UPDATE device_state SET online = NOT online, faults = CASE "
                                "WHEN faults = '' THEN '1:0:1' ELSE '' END, last_answer = "
                                "now(), changed_at = now() WHERE device_id IN (%1);")
                     .arg(ids.join(QLatin1Char(','))));
        });
        change->start(100);
        exec(QStringLiteral("UPDATE shard_state SET owner = 'bench', stamped_at = now();"));
    }

private:
    void exec(const QString &statement)
    {
        if (!m_query->exec(statement))
            qWarning("stand-in: %s", qPrintable(m_query->lastError().text()));
    }

    QString m_options;
    int m_devices;
    int m_perStep;
    QSqlQuery *m_query = nullptr;
};

} // namespace

int main(int argc, char *argv[])
{
    LocalZone::pin(); // as the console does
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption devicesOption("devices", "Devices of the project.", "N", "10000");
    const QCommandLineOption groupsOption("groups", "Groups they are spread over.", "G", "40");
    const QCommandLineOption shardsOption("shards", "Shards of the site.", "S", "4");
    const QCommandLineOption changesOption("changes", "Device changes a second.", "C", "100");
    const QCommandLineOption secondsOption("seconds", "Watching time.", "T", "180");
    parser.addOptions({devicesOption, groupsOption, shardsOption, changesOption, secondsOption});
    parser.process(app);
    const int devices = qMax(1, parser.value(devicesOption).toInt());
    const int groups = qMax(1, parser.value(groupsOption).toInt());
    const int shards = qBound(1, parser.value(shardsOption).toInt(), 1024);
    const int changes = qMax(1, parser.value(changesOption).toInt());
    const int seconds = qMax(10, parser.value(secondsOption).toInt());
    QTextStream out(stdout);
    out << "load average at start: " << loadAverage() << Qt::endl;

    QTemporaryDir dir;
    const QString project = dir.filePath("bench.mpj");
    if (!dir.isValid() || !writeProject(project, devices, groups) ||
        !QDir::setCurrent(dir.path())) {
        out << "cannot write the bench project" << Qt::endl;
        return 1;
    }
    PgCluster cluster;
    if (!cluster.isValid() || !cluster.createDatabase(QStringLiteral("bench")) ||
        !cluster.createLogin(QStringLiteral("bench_post"), {QStringLiteral("bench_console")})) {
        out << "no cluster: " << cluster.error() << Qt::endl;
        return 1;
    }
    const QString setup[] = {
        QStringLiteral("UPDATE journal_meta SET value = '%1' WHERE key = 'shards';").arg(shards),
        QStringLiteral("INSERT INTO shard_state (shard) SELECT generate_series(0, %1) ON "
                       "CONFLICT DO NOTHING;")
            .arg(shards - 1),
        QStringLiteral("INSERT INTO device_state SELECT id, mod(id, %1), true, '', now(), now() "
                       "FROM generate_series(1, %2) AS id;")
            .arg(shards)
            .arg(devices),
    };
    for (const QString &statement : setup) {
        const QString error = cluster.sql(QStringLiteral("bench"), statement);
        if (!error.isEmpty()) {
            out << error << Qt::endl;
            return 1;
        }
    }

    const QString settingsPath = dir.filePath("settings.ini");
    {
        QSettings settings(settingsPath, QSettings::IniFormat);
        settings.setValue("application/rivar", "1");
        settings.setValue("paths/lastproject", project);
        settings.setValue("journal/database", cluster.url("bench", "bench_post"));
        settings.setValue("mainwindow/width", "1280");
        settings.setValue("mainwindow/height", "800");
    }
    sinceStart.start();
    QElapsedTimer startup;
    startup.start();
    MainWindow window(settingsPath);
    window.show();
    window.treeView()->expandAll();
    window.treeView()->selectNode(window.project()->findDeviceById(1));
    QApplication::processEvents();
    out << "devices " << devices << " in " << groups << " groups, " << shards << " shards, "
        << changes << " changes/s, " << seconds << " s; window up in " << startup.elapsed() << " ms"
        << Qt::endl;

    // Change to display: when a written device says it changed.
    std::vector<double> delays;
    std::vector<double> warmUpDelays; // of changes written in the first 5 s
    for (ProjectDevice *device : window.project()->allDevices()) {
        const int id = device->id_obj;
        QObject::connect(device, &ProjectDevice::statusChanged, [id, &delays, &warmUpDelays] {
            QMutexLocker locker(&writtenLock);
            const auto it = writtenAt.find(id);
            if (it == writtenAt.end())
                return;
            const qint64 now = sinceStart.nsecsElapsed();
            (it.value() < measureFromNs ? warmUpDelays : delays)
                .push_back((now - it.value()) / 1e6);
            writtenAt.erase(it);
        });
    }
    // Starts once the console has caught up: the first look reads every device.
    QThread standInThread;
    auto *standIn = new MonitorStandIn(
        QStringLiteral("host=127.0.0.1;port=%1;dbname=bench;user=postgres").arg(cluster.port()),
        devices, changes);
    standIn->moveToThread(&standInThread);
    QObject::connect(&standInThread, &QThread::started, standIn, &MonitorStandIn::start);
    QObject::connect(&standInThread, &QThread::finished, standIn, &QObject::deleteLater);

    // The first seconds (the first layout and paint of the expanded tree, the first read of
    // every device) are reported apart from the steady state.
    constexpr qint64 warmUpNs = 5000000000LL;
    std::vector<double> lateness;
    std::vector<double> warmUp;
    lateness.reserve(size_t(seconds) * 110);
    QElapsedTimer clock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    qint64 lastNs = 0;
    double worst = 0;
    qint64 worstAtMs = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double late = qMax(0.0, (now - lastNs) / 1e6 - 10.0);
        lastNs = now;
        if (now < warmUpNs) {
            warmUp.push_back(late);
            return;
        }
        lateness.push_back(late);
        if (late > worst) {
            worst = late;
            worstAtMs = now / 1000000;
        }
    });
    const qint64 self = QCoreApplication::applicationPid();
    Sample first;
    Sample minute;
    QTimer::singleShot(60000, [&] { minute = sample(self); });
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    auto begin = [&] {
        first = sample(self);
        measureFromNs = sinceStart.nsecsElapsed() + 5000000000LL;
        standInThread.start();
        clock.start();
        probe.start();
    };
    if (window.siteWatch()->isConnected())
        begin();
    else
        QObject::connect(window.siteWatch(), &SiteWatch::connectionChanged, &app,
                         [&](bool connected) {
                             if (connected && !clock.isValid())
                                 begin();
                         });
    app.exec();
    standInThread.quit();
    standInThread.wait();

    const Sample end = sample(self);
    const double span = clock.elapsed() / 1000.0;
    out << QString::asprintf(
        "change to display after the first 5 s: p50 %.0f ms, p90 %.0f ms, p99 %.0f ms, max %.0f "
        "ms over %zu device changes\n",
        percentile(delays, 0.5), percentile(delays, 0.9), percentile(delays, 0.99),
        percentile(delays, 1.0), delays.size());
    out << QString::asprintf(
        "  changes written in the first 5 s: p50 %.0f ms, max %.0f ms over %zu\n",
        percentile(warmUpDelays, 0.5), percentile(warmUpDelays, 1.0), warmUpDelays.size());
    out << QString::asprintf("event loop lateness of a 10 ms timer after the first 5 s: p50 %.2f "
                             "ms, p99 %.2f ms, max %.2f ms (at %.1f s) over %zu firings\n",
                             percentile(lateness, 0.5), percentile(lateness, 0.99),
                             percentile(lateness, 1.0), worstAtMs / 1000.0, lateness.size());
    out << QString::asprintf("  first 5 s: p99 %.2f ms, max %.2f ms over %zu firings\n",
                             percentile(warmUp, 0.99), percentile(warmUp, 1.0), warmUp.size());
    out << QString::asprintf("console CPU %.1f %% of a core over %.0f s; RSS %.1f MiB at start, "
                             "%.1f MiB after the first minute, %.1f MiB at the end\n",
                             100 * (end.cpuSeconds - first.cpuSeconds) / span, span,
                             first.rssKiB / 1024.0, minute.rssKiB / 1024.0, end.rssKiB / 1024.0);
    int online = 0;
    int noData = 0;
    for (ProjectDevice *device : window.project()->allDevices()) {
        online += device->isOnline() ? 1 : 0;
        noData += device->noData() ? 1 : 0;
    }
    out << "devices online at the end: " << online << " of " << devices << ", without data "
        << noData << "; load average at the end: " << loadAverage() << Qt::endl;
    return 0;
}
