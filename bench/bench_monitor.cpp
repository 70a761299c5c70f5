// Runs norda-cli monitor against norda-devsim with many simulated devices and prints
// the share of replies accepted within their second, the tick figures, and the CPU time
// and resident memory of both processes over the run, with the machine's load average
// beside them; a summary at the end gives the figures the scale targets name.
//
//   bench_monitor [--devices 1000] [--seconds 60] [--port 18480]
//                 [--metrics-port P [--scrape-seconds S]]
//
// With --metrics-port the monitor serves its metrics on 127.0.0.1:P, and with
// --scrape-seconds Debian's prometheus (on port P + 1, its storage in the run's folder)
// scrapes them every S seconds: the cost of the endpoint is the difference in the
// monitor's CPU against a run without.
//
// The simulator serves all devices from one listener per port (--shared-listener).
//
// Both programs write into files of the run's folder, never into pipes that nobody reads
// while the run lasts: a full pipe would stop the simulator (one line per device at
// start) or the monitor (one line per event) in the middle of a write.
//
// The simulator runs on Qt's own event dispatcher rather than glib's: with thousands of
// sockets glib's costs grow with every socket notifier added or removed, and the
// simulator, not the monitor, would be what is measured. The monitor runs as shipped.

#include "monitorrun.h"
#include "procstat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

namespace {

QString address(int i)
{
    // 127.1.0.2 upwards, 250 devices per third byte.
    return QStringLiteral("127.1.%1.%2").arg(i / 250).arg(2 + i % 250);
}

// The first three fields of /proc/loadavg.
QString loadAverage()
{
    return QString::fromLatin1(readAll(QStringLiteral("/proc/loadavg")))
        .section(QLatin1Char(' '), 0, 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption devicesOption("devices", "Simulated devices.", "N", "1000");
    const QCommandLineOption secondsOption("seconds", "Monitoring time.", "S", "60");
    const QCommandLineOption portOption("port", "Status port.", "P", "18480");
    const QCommandLineOption metricsOption("metrics-port", "Serve metrics on 127.0.0.1:P.", "P",
                                           "0");
    const QCommandLineOption scrapeOption(
        "scrape-seconds", "Prometheus scrapes the metrics every S seconds.", "S", "0");
    parser.addOptions({devicesOption, secondsOption, portOption, metricsOption, scrapeOption});
    parser.process(app);
    const int metricsPort = parser.value(metricsOption).toInt();
    const int scrapeSeconds = parser.value(scrapeOption).toInt();
    const int devices = parser.value(devicesOption).toInt();
    const int seconds = parser.value(secondsOption).toInt();
    const QString port = parser.value(portOption);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const char *types[] = {"tovik2", "horn", "ip_pult", "norda4200", "lumo4", "horn"};
    QJsonArray nodes;
    for (int i = 0; i < devices; ++i) {
        nodes.append(QJsonObject {{"nodetype", "device"},
                                  {"id_obj", i + 1},
                                  {"type", types[i % 6]},
                                  {"serial", 100000 + i},
                                  {"ip_enabled", true},
                                  {"ip_addr", address(i)}});
    }
    const QString project = dir.filePath("bench.mpj");
    QFile file(project);
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(QJsonObject {{"name", "bench"}, {"id_obj", devices}, {"nodes", nodes}})
                   .toJson());
    file.close();

    MonitorRun run(dir.path());
    // One listening socket per port for all devices: a listener per device would take
    // two files per device in the simulator, beyond the open-files limit at 10,000.
    QStringList monitorArguments;
    if (metricsPort > 0)
        monitorArguments << "--metrics" << QString::number(metricsPort);
    if (!run.start(project, port, seconds, {QStringLiteral("--shared-listener")},
                   monitorArguments)) {
        out << run.error() << Qt::endl;
        return 1;
    }
    QProcess prometheus;
    if (metricsPort > 0 && scrapeSeconds > 0) {
        QFile config(dir.filePath("prometheus.yml"));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("global:\n  scrape_interval: %1s\nscrape_configs:\n  - "
                                    "job_name: norda\n    static_configs:\n      - targets: "
                                    "['127.0.0.1:%2']\n")
                         .arg(scrapeSeconds)
                         .arg(metricsPort)
                         .toUtf8());
        config.close();
        prometheus.setProcessChannelMode(QProcess::MergedChannels);
        prometheus.setStandardOutputFile(dir.filePath("prometheus.log"));
        prometheus.start("prometheus",
                         {"--config.file=" + config.fileName(),
                          "--web.listen-address=127.0.0.1:" + QString::number(metricsPort + 1),
                          "--storage.tsdb.path=" + dir.filePath("tsdb")});
        if (!prometheus.waitForStarted()) {
            out << "prometheus did not start" << Qt::endl;
            return 1;
        }
    }
    QProcess &monitor = run.monitor;
    QProcess &simulator = run.simulator;
    out << "devices " << devices << ", " << seconds << " s at 1 Hz; load at start " << loadAverage()
        << "\n";
    out << "  t(s)  cli cpu%  cli rss MiB  sim cpu%  sim rss MiB  load" << Qt::endl;
    const Sample firstCli = sample(monitor.processId());
    Sample lastCli = firstCli;
    Sample lastSim = sample(simulator.processId());
    // Resident size once the run has settled: after the first minute, or half-way
    // through a shorter run.
    const qint64 settledMs = qMin<qint64>(60000, seconds * 500);
    qint64 settledRssKiB = -1;
    qint64 settledAtMs = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 lastMs = 0;
    while (monitor.state() == QProcess::Running) {
        monitor.waitForFinished(5000);
        if (monitor.state() != QProcess::Running)
            break;
        const Sample cli = sample(monitor.processId());
        const Sample sim = sample(simulator.processId());
        // The monitor ended between the wait and the sample: nothing to read any more.
        if (cli.rssKiB <= 0)
            break;
        const double span = (clock.elapsed() - lastMs) / 1000.0;
        lastMs = clock.elapsed();
        if (settledRssKiB < 0 && lastMs >= settledMs) {
            settledRssKiB = cli.rssKiB;
            settledAtMs = lastMs;
        }
        out << QString::asprintf(
                   "  %4lld  %8.1f  %11.1f  %8.1f  %11.1f  ", clock.elapsed() / 1000,
                   100 * (cli.cpuSeconds - lastCli.cpuSeconds) / span, cli.rssKiB / 1024.0,
                   100 * (sim.cpuSeconds - lastSim.cpuSeconds) / span, sim.rssKiB / 1024.0)
            << loadAverage() << Qt::endl;
        lastCli = cli;
        lastSim = sim;
    }
    const QString report = QString::fromUtf8(readAll(dir.filePath("monitor.txt")));
    out << report;
    out << "event lines printed: " << readAll(dir.filePath("events.txt")).count('\n') << Qt::endl;
    run.stopSimulator();
    if (prometheus.state() != QProcess::NotRunning) {
        prometheus.terminate();
        prometheus.waitForFinished();
    }

    // The figures the scale targets are stated in.
    const QRegularExpression inSecond(QStringLiteral("in their second \\d+ \\(([0-9.]+)%\\)"));
    const QRegularExpression ticks(
        QStringLiteral("stats: ticks \\d+, p50 [0-9.]+ ms, p99 ([0-9.]+) ms"));
    const double wallSeconds = lastMs / 1000.0;
    const double cpuPercent =
        wallSeconds > 0 ? 100 * (lastCli.cpuSeconds - firstCli.cpuSeconds) / wallSeconds : 0;
    out << "\nsummary (" << devices << " devices, " << seconds << " s; load at end "
        << loadAverage() << ")\n";
    out << "  metrics: "
        << (metricsPort <= 0        ? QStringLiteral("off")
                : scrapeSeconds > 0 ? QStringLiteral("on, Prometheus every %1 s").arg(scrapeSeconds)
                                    : QStringLiteral("on, not scraped"))
        << "\n";
    out << "  answers accepted within their second: " << inSecond.match(report).captured(1)
        << " %\n";
    out << "  tick p99: " << ticks.match(report).captured(1) << " ms\n";
    out << QString::asprintf(
        "  monitor resident memory: %.1f MiB at %lld s, %.1f MiB at the "
        "end (%+.1f %%)\n",
        settledRssKiB / 1024.0, settledAtMs / 1000, lastCli.rssKiB / 1024.0,
        settledRssKiB > 0 ? 100.0 * (lastCli.rssKiB - settledRssKiB) / settledRssKiB : 0.0);
    out << QString::asprintf("  monitor CPU: %.1f %% of a core, %.2f %% per 1000 devices\n",
                             cpuPercent, devices > 0 ? cpuPercent * 1000.0 / devices : 0.0);
    return monitor.exitCode();
}
