// Runs norda-cli monitor against norda-devsim with many simulated devices and prints
// the share of replies accepted within their second, the tick figures, and the CPU time
// and resident memory of both processes over the run.
//
//   bench_monitor [--devices 1000] [--seconds 60] [--port 18480]
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
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

namespace {

// Waits (polling the file a few times a second) until `file` holds `text`.
QString address(int i)
{
    // 127.1.0.2 upwards, 250 devices per third byte.
    return QStringLiteral("127.1.%1.%2").arg(i / 250).arg(2 + i % 250);
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
    parser.addOptions({devicesOption, secondsOption, portOption});
    parser.process(app);
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
    if (!run.start(project, port, seconds)) {
        out << run.error() << Qt::endl;
        return 1;
    }
    QProcess &monitor = run.monitor;
    QProcess &simulator = run.simulator;
    out << "devices " << devices << ", " << seconds << " s at 1 Hz\n";
    out << "  t(s)  cli cpu%  cli rss MiB  sim cpu%  sim rss MiB" << Qt::endl;
    Sample lastCli = sample(monitor.processId());
    Sample lastSim = sample(simulator.processId());
    QElapsedTimer clock;
    clock.start();
    qint64 lastMs = 0;
    while (monitor.state() == QProcess::Running) {
        monitor.waitForFinished(5000);
        if (monitor.state() != QProcess::Running)
            break;
        const Sample cli = sample(monitor.processId());
        const Sample sim = sample(simulator.processId());
        const double span = (clock.elapsed() - lastMs) / 1000.0;
        lastMs = clock.elapsed();
        out << QString::asprintf(
                   "  %4lld  %8.1f  %11.1f  %8.1f  %11.1f", clock.elapsed() / 1000,
                   100 * (cli.cpuSeconds - lastCli.cpuSeconds) / span, cli.rssKiB / 1024.0,
                   100 * (sim.cpuSeconds - lastSim.cpuSeconds) / span, sim.rssKiB / 1024.0)
            << Qt::endl;
        lastCli = cli;
        lastSim = sim;
    }
    out << QString::fromUtf8(readAll(dir.filePath("monitor.txt")));
    out << "event lines printed: " << readAll(dir.filePath("events.txt")).count('\n') << Qt::endl;
    run.stopSimulator();
    return monitor.exitCode();
}
