// Figures of a site database on a throwaway PostgreSQL cluster of its own (127.0.0.1):
//
//   1. journal writes with 1000 devices: one transaction a second holding a status document
//      of every device and the events of a tenth of them, as a monitor's tick does; then
//      events alone as fast as they go: events per second and the p50/p99 of a commit;
//   2. takeover after kill -9: two monitors on one shard, the holder killed N times; the time
//      from the kill to the other's "taken" line (p50/max);
//   3. monitor CPU with 1000 simulated devices: the journal on PostgreSQL against SQLite.
//
// bench_site [--trials N] [--seconds S] [--devices D]

#include "../tests/pgcluster.h"
#include "journal/databaselog.h"
#include "monitorrun.h"
#include "procstat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <csignal>

namespace {

QString loadAverage()
{
    return QString::fromLatin1(readAll(QStringLiteral("/proc/loadavg")))
        .section(QLatin1Char(' '), 0, 2);
}

double percentile(QVector<double> values, double share)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(qBound(0, int(share * values.size() + 0.5) - 1, int(values.size()) - 1));
}

QString writeProject(const QString &path, int devices)
{
    const char *types[] = {"tovik2", "horn", "ip_pult", "norda4200", "lumo4", "horn"};
    QJsonArray nodes;
    for (int i = 0; i < devices; ++i)
        nodes.append(
            QJsonObject {{"nodetype", "device"},
                         {"id_obj", i + 1},
                         {"type", types[i % 6]},
                         {"serial", 100000 + i},
                         {"ip_enabled", true},
                         {"ip_addr", QStringLiteral("127.1.%1.%2").arg(i / 250).arg(2 + i % 250)}});
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(QJsonObject {{"name", "bench"}, {"id_obj", devices}, {"nodes", nodes}})
                   .toJson());
    return path;
}

void journalWrites(PgCluster &cluster, int devices, QTextStream &out)
{
    cluster.createDatabase(QStringLiteral("writes"));
    DatabaseLog log(JournalLocation::parse(cluster.url(QStringLiteral("writes"))));
    log.setOwnDevices(true);
    const QDateTime start = QDateTime::currentDateTime();
    QVector<double> tickMs;
    QElapsedTimer clock;
    int events = 0;
    // Ticks: every device's document (each one new), events of a tenth of the devices.
    for (int tick = 0; tick < 30; ++tick) {
        clock.start();
        {
            DatabaseLog::Transaction transaction(&log);
            for (int device = 1; device <= devices; ++device) {
                log.insertStatus(device, QStringLiteral("{\"tick\":%1}").arg(tick),
                                 start.addSecs(tick));
                if (device % 10 == tick % 10) {
                    // A fault and its going away in turn: every offer is recorded.
                    log.insertEvent(device, QString(), 2 + (tick / 10 % 2) * 0x40000000,
                                    start.addSecs(tick));
                    ++events;
                }
            }
        }
        tickMs << clock.nsecsElapsed() / 1e6;
    }
    out << "ticks of " << devices << " documents and " << devices / 10 << " events: commit p50 "
        << percentile(tickMs, 0.5) << " ms, p99 " << percentile(tickMs, 0.99) << " ms\n";
    // Events alone, 100 a transaction.
    QVector<double> commitMs;
    QElapsedTimer total;
    total.start();
    int written = 0;
    for (int batch = 0; batch < 200; ++batch) {
        clock.start();
        {
            DatabaseLog::Transaction transaction(&log);
            for (int i = 0; i < 100; ++i, ++written)
                log.insertEvent(1 + written % devices, QString(),
                                2 + (written / devices % 2) * 0x40000000, start.addSecs(100));
        }
        commitMs << clock.nsecsElapsed() / 1e6;
    }
    out << "events alone: " << int(written / (total.nsecsElapsed() / 1e9))
        << " events/s; commit of 100 p50 " << percentile(commitMs, 0.5) << " ms, p99 "
        << percentile(commitMs, 0.99) << " ms (load " << loadAverage() << ")" << Qt::endl;
}

bool waitFor(QProcess &process, const QByteArray &text, QByteArray &seen, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!seen.contains(text) && clock.elapsed() < timeoutMs &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(20);
        seen += process.readAllStandardError();
    }
    return seen.contains(text);
}

void takeovers(PgCluster &cluster, const QString &folder, int trials, QTextStream &out)
{
    cluster.createDatabase(QStringLiteral("takeover"));
    const QString project = writeProject(folder + "/small.mpj", 3);
    const QString bin = QStringLiteral(NORDA_BINARY_DIR "/tools/cli/norda-cli");
    QProcess monitors[2];
    QByteArray seen[2];
    auto start = [&](int i) {
        monitors[i].setWorkingDirectory(folder);
        seen[i].clear();
        monitors[i].start(bin,
                          {"monitor", project, "--status-port", "1", "--database",
                           cluster.url(QStringLiteral("takeover")), "--spill-file",
                           folder + QStringLiteral("/spill%1.jsonl").arg(i)});
        monitors[i].waitForStarted();
    };
    start(0);
    if (!waitFor(monitors[0], "taken", seen[0], 30000)) {
        out << "takeover: the first monitor took nothing: " << seen[0] << Qt::endl;
        return;
    }
    start(1);
    waitFor(monitors[1], "site database reached", seen[1], 30000);
    QVector<double> times;
    int holder = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const int other = 1 - holder;
        QElapsedTimer clock;
        ::kill(pid_t(monitors[holder].processId()), SIGKILL);
        clock.start();
        if (!waitFor(monitors[other], "taken", seen[other], 30000)) {
            out << "takeover: not taken within 30 s" << Qt::endl;
            break;
        }
        times << clock.nsecsElapsed() / 1e6;
        monitors[holder].waitForFinished();
        start(holder);
        waitFor(monitors[holder], "site database reached", seen[holder], 30000);
        seen[other].clear();
        holder = other;
    }
    for (QProcess &monitor : monitors) {
        monitor.kill();
        monitor.waitForFinished();
    }
    out << "takeover after kill -9 (" << times.size() << " trials): p50 " << percentile(times, 0.5)
        << " ms, max " << (times.isEmpty() ? 0 : *std::max_element(times.begin(), times.end()))
        << " ms (load " << loadAverage() << ")" << Qt::endl;
}

void monitorCpu(PgCluster &cluster, const QString &folder, int devices, int seconds,
                QTextStream &out)
{
    cluster.createDatabase(QStringLiteral("cpu"));
    const QString project = writeProject(folder + "/large.mpj", devices);
    for (const bool server : {false, true}) {
        QTemporaryDir dir;
        MonitorRun run(dir.path());
        const QStringList extra = server
            ? QStringList {"--database", cluster.url(QStringLiteral("cpu")), "--spill-file",
                           dir.filePath("spill.jsonl")}
            : QStringList();
        if (!run.start(project, QStringLiteral("18490"), seconds,
                       {QStringLiteral("--shared-listener")}, extra)) {
            out << run.error() << Qt::endl;
            return;
        }
        // The first seconds (start, first answers, the journal's first records) left out.
        QThread::sleep(5);
        const Sample first = sample(run.monitor.processId());
        QElapsedTimer clock;
        clock.start();
        QThread::sleep(uint(qMax(1, seconds - 10)));
        const Sample last = sample(run.monitor.processId());
        const double cpu = 100 * (last.cpuSeconds - first.cpuSeconds) / (clock.elapsed() / 1e3);
        run.monitor.waitForFinished(seconds * 1000 + 30000);
        const QByteArray log = readAll(run.file("monitor.txt"));
        const int stopped = log.indexOf("norda-cli: stopped");
        out << (stopped >= 0 ? log.mid(stopped, log.indexOf('\n', stopped) - stopped)
                             : log.right(300))
            << "\n";
        out << "monitor CPU, " << devices << " devices, journal on "
            << (server ? "PostgreSQL" : "SQLite") << ": " << QString::number(cpu, 'f', 1)
            << "% of a core (" << QString::number(cpu * 1000 / devices, 'f', 1)
            << "% per 1000 devices), RSS " << last.rssKiB / 1024 << " MiB (load " << loadAverage()
            << ")" << Qt::endl;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption trialsOption("trials", "Takeover trials.", "N", "20");
    const QCommandLineOption secondsOption("seconds", "Monitoring time per engine.", "S", "40");
    const QCommandLineOption devicesOption("devices", "Simulated devices.", "N", "1000");
    parser.addOptions({trialsOption, secondsOption, devicesOption});
    parser.process(app);
    QTextStream out(stdout);
    out << "load at start " << loadAverage() << Qt::endl;
    PgCluster cluster;
    if (!cluster.isValid()) {
        out << "no cluster: " << cluster.error() << Qt::endl;
        return 1;
    }
    QTemporaryDir folder;
    const int devices = parser.value(devicesOption).toInt();
    journalWrites(cluster, devices, out);
    takeovers(cluster, folder.path(), parser.value(trialsOption).toInt(), out);
    monitorCpu(cluster, folder.path(), devices, parser.value(secondsOption).toInt(), out);
    return 0;
}
