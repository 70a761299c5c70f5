// The console window in monitoring mode against norda-devsim with many simulated devices
// in groups, the tree fully expanded and the fault pane on a device: prints the event
// loop's latency while polling (how late a 10 ms timer fires, p50/p99/max), and the CPU
// share and resident memory of the console over the run.
//
//   bench_console [--devices 1000] [--groups 20] [--seconds 60] [--port 18580]
//
// Without a display it draws on the offscreen platform (the window is still painted).

#include "procstat.h"

#include "app/deviceinfoitemmodel.h"
#include "app/mainwindow.h"
#include "app/projecttreeview.h"
#include "journal/databaselog.h"
#include "journal/localzone.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>

namespace {

QString address(int i)
{
    // 127.2.0.2 upwards, 250 devices per third byte.
    return QStringLiteral("127.2.%1.%2").arg(i / 250).arg(2 + i % 250);
}

int serialOf(int i)
{
    return 200000 + i;
}

bool writeProject(const QString &path, int devices, int groups)
{
    const char *types[] = {"norda4200", "horn", "ip_pult", "lumo4", "horn", "media"};
    QJsonArray groupNodes;
    const int perGroup = (devices + groups - 1) / groups;
    int id = 1;
    for (int g = 0; g < groups; ++g) {
        QJsonArray nodes;
        for (int i = g * perGroup; i < qMin(devices, (g + 1) * perGroup); ++i) {
            nodes.append(QJsonObject {{"nodetype", "device"},
                                      {"id_obj", id++},
                                      {"type", types[i % 6]},
                                      {"serial", serialOf(i)},
                                      {"tag", QStringLiteral("Помещение %1").arg(i)},
                                      {"ip_enabled", true},
                                      {"ip_addr", address(i)}});
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

// Faults come and go on a tenth of the devices, and a few fall silent for a while.
bool writeTimeline(const QString &path, int devices, int seconds)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QTextStream out(&file);
    for (int i = 0; i < devices; i += 10) {
        const int at = 3 + (i / 10) % qMax(1, seconds - 10);
        const int serial = serialOf(i);
        if (i % 60 == 0) { // central units: a line
            out << "at " << at << " s serial " << serial << " line " << 1 + i % 8 << " open\n";
            out << "at " << at + 5 << " s serial " << serial << " line " << 1 + i % 8
                << " normal\n";
        } else {
            out << "at " << at << " s serial " << serial << " fault tamper on\n";
            out << "at " << at + 5 << " s serial " << serial << " fault tamper off\n";
        }
    }
    for (int i = 5; i < devices; i += 100) {
        out << "at 5 s serial " << serialOf(i) << " http silent\n";
        out << "at " << qMax(6, seconds - 15) << " s serial " << serialOf(i) << " http normal\n";
    }
    return true;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char *argv[])
{
    LocalZone::pin(); // as the console does
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's diagnostics (one line per status) would dominate the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption devicesOption("devices", "Simulated devices.", "N", "1000");
    const QCommandLineOption groupsOption("groups", "Groups they are spread over.", "G", "20");
    const QCommandLineOption secondsOption("seconds", "Monitoring time.", "S", "60");
    const QCommandLineOption portOption("port", "Status port.", "P", "18580");
    parser.addOptions({devicesOption, groupsOption, secondsOption, portOption});
    parser.process(app);
    const int devices = qMax(1, parser.value(devicesOption).toInt());
    const int groups = qMax(1, parser.value(groupsOption).toInt());
    const int seconds = qMax(5, parser.value(secondsOption).toInt());
    const QString port = parser.value(portOption);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString project = dir.filePath("bench.mpj");
    const QString timeline = dir.filePath("timeline.txt");
    if (!dir.isValid() || !writeProject(project, devices, groups) ||
        !writeTimeline(timeline, devices, seconds) || !QDir::setCurrent(dir.path())) {
        out << "cannot write the bench project" << Qt::endl;
        return 1;
    }

    QProcess simulator;
    // Qt's own event dispatcher: with thousands of sockets the GLib one costs the simulator
    // a core of its own. One listener per port for all devices, or the simulator runs out of
    // open files near 6,600 devices.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_NO_GLIB"), QStringLiteral("1"));
    simulator.setProcessEnvironment(environment);
    simulator.setProcessChannelMode(QProcess::MergedChannels);
    simulator.start(
        qEnvironmentVariable("NORDA_BINARY_DIR", QStringLiteral(NORDA_BINARY_DIR)) +
            "/tools/devsim/norda-devsim",
        {"--project", project, "--status-port", port, "--timeline", timeline, "--shared-listener"});
    QByteArray simOut;
    while (!simOut.contains("status on port") && simulator.waitForReadyRead(30000))
        simOut += simulator.readAll();
    if (!simOut.contains("status on port")) {
        out << "norda-devsim did not start: " << simOut << Qt::endl;
        return 1;
    }

    const QString settingsPath = dir.filePath("settings.ini");
    {
        QSettings settings(settingsPath, QSettings::IniFormat);
        settings.setValue("application/rivar", "1");
        settings.setValue("paths/lastproject", project);
        settings.setValue("network/statusport", port);
        settings.setValue("mainwindow/width", "1280");
        settings.setValue("mainwindow/height", "800");
    }
    QElapsedTimer startup;
    startup.start();
    MainWindow window(settingsPath);
    window.show();
    window.treeView()->expandAll();
    window.treeView()->selectNode(window.project()->findDeviceBySerial(serialOf(0)));
    QApplication::processEvents();
    out << "devices " << devices << " in " << groups << " groups, " << seconds
        << " s at 1 Hz; window up in " << startup.elapsed() << " ms" << Qt::endl;
    out << "  t(s)  cpu%  rss MiB  unseen events" << Qt::endl;

    // The probe: a 10 ms timer; each firing's lateness is how much more than 10 ms
    // passed since the previous one.
    // The first seconds (the first answer of every device records its lines as normal:
    // eight events each) are reported apart from the steady state.
    constexpr qint64 warmUpNs = 5000000000LL;
    std::vector<double> lateness;
    std::vector<double> warmUp;
    lateness.reserve(size_t(seconds) * 110);
    QElapsedTimer clock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(10);
    qint64 lastNs = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const double late = qMax(0.0, (now - lastNs) / 1e6 - 10.0);
        (now < warmUpNs ? warmUp : lateness).push_back(late);
        lastNs = now;
    });

    const qint64 self = QCoreApplication::applicationPid();
    const Sample first = sample(self);
    Sample last = first;
    qint64 minRss = first.rssKiB;
    qint64 maxRss = first.rssKiB;
    qint64 lastMs = 0;
    QTimer report;
    report.setInterval(10000);
    QObject::connect(&report, &QTimer::timeout, [&] {
        const Sample now = sample(self);
        const qint64 ms = clock.elapsed();
        out << QString::asprintf(
                   "  %4lld  %4.1f  %7.1f  %d", ms / 1000,
                   100 * (now.cpuSeconds - last.cpuSeconds) / ((ms - lastMs) / 1000.0),
                   now.rssKiB / 1024.0,
                   window.project()->logDb ? window.project()->logDb->eventCount(0) : -1)
            << Qt::endl;
        minRss = qMin(minRss, now.rssKiB);
        maxRss = qMax(maxRss, now.rssKiB);
        last = now;
        lastMs = ms;
    });
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    clock.start();
    probe.start();
    report.start();
    app.exec();

    const Sample end = sample(self);
    const double span = clock.elapsed() / 1000.0;
    out << QString::asprintf("event loop lateness of a 10 ms timer after the first 5 s: p50 "
                             "%.2f ms, p99 %.2f ms, max %.2f ms over %zu firings\n",
                             percentile(lateness, 0.5), percentile(lateness, 0.99),
                             percentile(lateness, 1.0), lateness.size());
    out << QString::asprintf("  first 5 s: p99 %.2f ms, max %.2f ms over %zu firings\n",
                             percentile(warmUp, 0.99), percentile(warmUp, 1.0), warmUp.size());
    out << QString::asprintf("console CPU %.1f %% of a core over %.0f s; RSS %.1f-%.1f MiB\n",
                             100 * (end.cpuSeconds - first.cpuSeconds) / span, span,
                             minRss / 1024.0, maxRss / 1024.0);
    int online = 0;
    for (ProjectDevice *device : window.project()->allDevices())
        online += device->isOnline() ? 1 : 0;
    out << "devices online at the end: " << online << " of " << devices
        << "; fault pane rows: " << window.faultModel()->rowCount() << Qt::endl;
    simulator.kill();
    simulator.waitForFinished();
    return 0;
}
