// A long run of `norda-cli monitor` against `norda-devsim` with faults coming and going,
// then a comparison of what the simulator did with what the monitor recorded.
//
//   bench_soak [--devices 1000] [--seconds 3600] [--seed 1] [--episodes-per-hour 400]
//              [--port 18680] [--keep]
//
// The run's timeline is drawn from the seed: episodes start in bursts (one to six devices
// at the same second) spread over the run; an episode is a fault of the device ("fault
// amplifier|battery|mains|tamper on" and later "off"), a line of a central or four-line
// unit leaving normal ("line L open|short|tolerance" and later "normal"), or the device
// falling silent ("http silent") for 15 to 60 s before it answers again ("http normal").
// A device has one episode at a time, with three seconds before and after, so the 1 Hz
// polling sees every change, and the last episode ends 20 s before the run does.
//
// At the end the steps the simulator applied (it prints each one) are turned into the
// journal records they must cause, device by device and in order, and compared with the
// monitor's journal (log.sqlite of the run's folder): every device first records its eight
// lines as normal, then exactly one record per step: the fault's code when it starts, the
// code plus 0x40000000 when it clears, the line's fault or back-to-normal code, 1 when
// the connection is lost and 0x40000001 when it is restored. Anything missing, doubled or
// extra is a mismatch; the last line is the verdict, and the exit code is 1 on a mismatch.
//
// Both programs write into files of the run's folder (see monitorrun.h). The resident
// memory of the monitor is sampled every 5 s and printed for the first and the last minute.

#include "journal/eventcode.h"
#include "monitorrun.h"
#include "procstat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <random>
#include <vector>

namespace {

const char *const types[] = {"tovik2", "horn", "ip_pult", "norda4200", "lumo4", "horn"};

bool hasLines(int device)
{
    const QLatin1String type(types[device % 6]);
    return type == QLatin1String("tovik2") || type == QLatin1String("norda4200") ||
        type == QLatin1String("lumo4");
}

int lineCount(int device)
{
    return QLatin1String(types[device % 6]) == QLatin1String("lumo4") ? 4 : 8;
}

quint32 serialOf(int device)
{
    return 400000 + quint32(device);
}

QString address(int device)
{
    // 127.4.0.2 upwards, 250 devices per third byte.
    return QStringLiteral("127.4.%1.%2").arg(device / 250).arg(2 + device % 250);
}

bool writeProject(const QString &path, int devices)
{
    QJsonArray nodes;
    for (int i = 0; i < devices; ++i) {
        nodes.append(QJsonObject {{"nodetype", "device"},
                                  {"id_obj", i + 1},
                                  {"type", types[i % 6]},
                                  {"serial", qint64(serialOf(i))},
                                  {"ip_enabled", true},
                                  {"ip_addr", address(i)}});
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
        file.write(
            QJsonDocument(QJsonObject {{"name", "soak"}, {"id_obj", devices}, {"nodes", nodes}})
                .toJson()) > 0;
}

struct Step {
    int at = 0;
    int device = 0;
    QString action; // as written after the serial number: "fault tamper on", ...
};

struct Episodes {
    std::vector<Step> steps;
    int faults = 0;
    int lineFaults = 0;
    int silences = 0;
};

// Draws the run's episodes; see the file's comment.
Episodes drawEpisodes(int devices, int seconds, int perHour, quint32 seed)
{
    std::mt19937 random(seed);
    auto uniform = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    const char *const faults[] = {"amplifier", "battery", "mains", "tamper"};
    const char *const lineFaults[] = {"open", "short", "tolerance"};
    constexpr int first = 20;
    const int last = seconds - 20; // every episode has ended by then
    std::vector<std::vector<std::pair<int, int>>> busy(static_cast<size_t>(devices));
    auto free = [&busy](int device, int from, int to) {
        for (const auto &span : busy[size_t(device)]) {
            if (from - 3 <= span.second && span.first <= to + 3)
                return false;
        }
        return true;
    };

    Episodes result;
    const int wanted = qMax(1, int(qint64(perHour) * seconds / 3600));
    int made = 0;
    for (int attempts = 0; made < wanted && attempts < wanted * 20; ++attempts) {
        const int burst = uniform(1, 6);
        const int start = uniform(first, qMax(first, last - 4));
        for (int b = 0; b < burst && made < wanted; ++b) {
            const int kind = uniform(0, 9); // 0-5 a fault, 6-7 a line, 8-9 silence
            const bool silence = kind >= 8;
            const int longest = last - start;
            const int shortest = silence ? 15 : 4;
            if (longest < shortest)
                continue;
            const int end = start + uniform(shortest, qMin(longest, 60));
            int device = -1;
            for (int tries = 0; tries < 50 && device < 0; ++tries) {
                const int candidate = uniform(0, devices - 1);
                if ((kind != 6 && kind != 7) || hasLines(candidate))
                    device = free(candidate, start, end) ? candidate : -1;
            }
            if (device < 0)
                continue;
            busy[size_t(device)].push_back({start, end});
            QString on;
            QString off;
            if (silence) {
                on = QStringLiteral("http silent");
                off = QStringLiteral("http normal");
                ++result.silences;
            } else if (kind >= 6) {
                const int line = uniform(1, lineCount(device));
                on = QStringLiteral("line %1 %2").arg(line).arg(lineFaults[uniform(0, 2)]);
                off = QStringLiteral("line %1 normal").arg(line);
                ++result.lineFaults;
            } else {
                const char *fault = faults[uniform(0, 3)];
                on = QStringLiteral("fault %1 on").arg(fault);
                off = QStringLiteral("fault %1 off").arg(fault);
                ++result.faults;
            }
            result.steps.push_back({start, device, on});
            result.steps.push_back({end, device, off});
            ++made;
        }
    }
    std::stable_sort(result.steps.begin(), result.steps.end(),
                     [](const Step &a, const Step &b) { return a.at < b.at; });
    return result;
}

bool writeTimeline(const QString &path, const Episodes &episodes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QTextStream out(&file);
    out << "# bench_soak: " << episodes.faults << " faults, " << episodes.lineFaults
        << " line faults, " << episodes.silences << " silences\n";
    for (const Step &step : episodes.steps)
        out << "at " << step.at << " s serial " << serialOf(step.device) << ' ' << step.action
            << '\n';
    return true;
}

// The journal record an applied step must cause, or 0 for a step that causes none.
int expectedCode(const QStringList &action)
{
    const QString what = action.value(0);
    if (what == QLatin1String("http"))
        return action.value(1) == QLatin1String("silent") ? int(EventCode::ConnectionLost)
                                                          : int(EventCode::ConnectionRestored);
    if (what == QLatin1String("fault")) {
        static const QHash<QString, int> codes = {{"amplifier", EventCode::Amplifier},
                                                  {"battery", EventCode::Battery},
                                                  {"mains", EventCode::Mains},
                                                  {"tamper", EventCode::Tamper}};
        const int code = codes.value(action.value(1));
        return action.value(2) == QLatin1String("on") ? code : code + EventCode::Cleared;
    }
    if (what == QLatin1String("line")) {
        static const QHash<QString, int> bases = {{"short", EventCode::LineShort},
                                                  {"open", EventCode::LineOpen},
                                                  {"tolerance", EventCode::LineTolerance},
                                                  {"normal", EventCode::LineNormal}};
        return bases.value(action.value(2)) + action.value(1).toInt() - 1;
    }
    return 0;
}

QString codeText(int code)
{
    return QStringLiteral("%1 (%2)").arg(code).arg(EventCode::text(code));
}

struct RssSample {
    double t = 0;
    qint64 kib = 0;
};

QString rssFigures(const std::vector<RssSample> &samples, double from, double to)
{
    qint64 low = -1;
    qint64 high = 0;
    for (const RssSample &s : samples) {
        if (s.t < from || s.t > to)
            continue;
        low = low < 0 ? s.kib : qMin(low, s.kib);
        high = qMax(high, s.kib);
    }
    if (low < 0)
        return QStringLiteral("-");
    return QStringLiteral("%1-%2 MiB").arg(low / 1024.0, 0, 'f', 1).arg(high / 1024.0, 0, 'f', 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption devicesOption("devices", "Simulated devices.", "N", "1000");
    const QCommandLineOption secondsOption("seconds", "Monitoring time.", "S", "3600");
    const QCommandLineOption seedOption("seed", "Seed of the timeline.", "SEED", "1");
    const QCommandLineOption rateOption("episodes-per-hour", "Fault episodes per hour.", "N",
                                        "400");
    const QCommandLineOption portOption("port", "Status port.", "P", "18680");
    const QCommandLineOption keepOption("keep", "Keep the run's folder and print its path.");
    parser.addOptions(
        {devicesOption, secondsOption, seedOption, rateOption, portOption, keepOption});
    parser.process(app);
    const int devices = qMax(1, parser.value(devicesOption).toInt());
    const int seconds = qMax(60, parser.value(secondsOption).toInt());
    const quint32 seed = parser.value(seedOption).toUInt();
    const int perHour = qMax(1, parser.value(rateOption).toInt());
    const QString port = parser.value(portOption);
    QTextStream out(stdout);

    QTemporaryDir dir;
    dir.setAutoRemove(!parser.isSet(keepOption));
    const QString project = dir.filePath("soak.mpj");
    const QString timeline = dir.filePath("timeline.txt");
    const Episodes episodes = drawEpisodes(devices, seconds, perHour, seed);
    if (!dir.isValid() || !writeProject(project, devices) || !writeTimeline(timeline, episodes)) {
        out << "cannot write the project and the timeline" << Qt::endl;
        return 2;
    }
    if (parser.isSet(keepOption))
        out << "run folder " << dir.path() << Qt::endl;
    out << "devices " << devices << ", " << seconds << " s, seed " << seed << ": "
        << episodes.faults << " faults, " << episodes.lineFaults << " line faults, "
        << episodes.silences << " silences (" << episodes.steps.size() << " steps)" << Qt::endl;

    MonitorRun run(dir.path());
    if (!run.start(project, port, seconds, {"--timeline", timeline})) {
        out << run.error() << Qt::endl;
        return 2;
    }
    QProcess &monitor = run.monitor;
    QProcess &simulator = run.simulator;
    out << "   t(s)  monitor cpu%  monitor rss MiB  simulator cpu%" << Qt::endl;
    std::vector<RssSample> rss;
    QElapsedTimer clock;
    clock.start();
    Sample lastMonitor = sample(monitor.processId());
    Sample lastSimulator = sample(simulator.processId());
    qint64 lastPrintMs = 0;
    const qint64 printEveryMs = qMax<qint64>(10000, qint64(seconds) * 1000 / 60);
    while (monitor.state() == QProcess::Running) {
        monitor.waitForFinished(5000);
        if (monitor.state() != QProcess::Running)
            break;
        const Sample now = sample(monitor.processId());
        rss.push_back({clock.elapsed() / 1000.0, now.rssKiB});
        if (clock.elapsed() - lastPrintMs >= printEveryMs) {
            const Sample sim = sample(simulator.processId());
            const double span = (clock.elapsed() - lastPrintMs) / 1000.0;
            out << QString::asprintf("  %5lld  %12.1f  %15.1f  %14.1f", clock.elapsed() / 1000,
                                     100 * (now.cpuSeconds - lastMonitor.cpuSeconds) / span,
                                     now.rssKiB / 1024.0,
                                     100 * (sim.cpuSeconds - lastSimulator.cpuSeconds) / span)
                << Qt::endl;
            lastMonitor = now;
            lastSimulator = sim;
            lastPrintMs = clock.elapsed();
        }
    }
    const double span = clock.elapsed() / 1000.0;
    run.stopSimulator();
    out << QString::fromUtf8(readAll(run.file("monitor.txt")));
    if (monitor.exitStatus() != QProcess::NormalExit || monitor.exitCode() != 0) {
        out << "soak: FAIL: norda-cli monitor ended with " << monitor.exitCode() << Qt::endl;
        return 1;
    }

    // What the simulator did: "norda-devsim: at T s serial S ACTION...", one line per step.
    QHash<quint32, int> deviceOfSerial;
    for (int i = 0; i < devices; ++i)
        deviceOfSerial.insert(serialOf(i), i);
    QMap<int, QVector<int>> expected; // per id_obj, in order
    for (int i = 0; i < devices; ++i) {
        for (int line = 0; line < EventCode::lines; ++line)
            expected[i + 1].append(EventCode::lineNormal(line));
    }
    int applied = 0;
    QMap<EventCode::Kind, int> expectedKinds;
    for (const QByteArray &raw : readAll(run.file("devsim.log")).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.startsWith(QLatin1String("norda-devsim: at ")))
            continue;
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        // norda-devsim: at T s serial S ...
        if (words.size() < 7 || words.at(4) != QLatin1String("serial"))
            continue;
        const int device = deviceOfSerial.value(words.at(5).toUInt(), -1);
        const int code = expectedCode(words.mid(6));
        if (device < 0 || code == 0) {
            out << "unexpected step line: " << line << Qt::endl;
            continue;
        }
        ++applied;
        expected[device + 1].append(code);
        ++expectedKinds[EventCode::kindOf(code)];
    }

    // What the monitor recorded.
    QMap<int, QVector<int>> recorded;
    int records = 0;
    QMap<EventCode::Kind, int> recordedKinds;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "soak");
        db.setDatabaseName(dir.filePath("log.sqlite"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            out << "soak: FAIL: cannot open the journal log.sqlite" << Qt::endl;
            return 1;
        }
        QSqlQuery query(db);
        query.exec(
            QStringLiteral("SELECT device_unique_id, error_id FROM error_log ORDER BY record_id"));
        while (query.next()) {
            const int code = query.value(1).toInt();
            recorded[query.value(0).toInt()].append(code);
            ++records;
            if (!EventCode::isLineNormal(code) || recorded[query.value(0).toInt()].size() > 8)
                ++recordedKinds[EventCode::kindOf(code)];
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("soak"));
    const int printed = readAll(run.file("events.txt")).count('\n');

    int mismatches = 0;
    QList<int> ids = expected.keys();
    for (int id : recorded.keys()) {
        if (!expected.contains(id))
            ids.append(id);
    }
    for (int id : qAsConst(ids)) {
        const QVector<int> want = expected.value(id);
        const QVector<int> got = recorded.value(id);
        if (want == got)
            continue;
        ++mismatches;
        if (mismatches > 20)
            continue;
        int at = 0;
        while (at < want.size() && at < got.size() && want.at(at) == got.at(at))
            ++at;
        out << "mismatch: device " << id << " (serial " << serialOf(id - 1) << "), record "
            << at + 1 << ": expected "
            << (at < want.size() ? codeText(want.at(at)) : QStringLiteral("nothing more"))
            << ", recorded "
            << (at < got.size() ? codeText(got.at(at)) : QStringLiteral("nothing more")) << "; "
            << want.size() << " expected, " << got.size() << " recorded" << Qt::endl;
    }
    const int planned = int(episodes.steps.size());
    if (applied != planned)
        out << "mismatch: the simulator applied " << applied << " of " << planned << " steps"
            << Qt::endl;
    if (printed != records)
        out << "mismatch: " << printed << " events printed, " << records << " in the journal"
            << Qt::endl;

    const double firstMinuteEnd = qMin(60.0, span);
    out << "steps applied " << applied << " of " << planned << "; expected beyond the first "
        << devices * EventCode::lines
        << " lines normal: " << expectedKinds.value(EventCode::Kind::Fault) << " faults, "
        << expectedKinds.value(EventCode::Kind::Clear) << " clears, "
        << expectedKinds.value(EventCode::Kind::Connection) << " connection lost/restored, "
        << expectedKinds.value(EventCode::Kind::Other) << " other" << Qt::endl;
    out << "journal: " << records << " records (" << printed << " printed); beyond the first "
        << "lines normal: " << recordedKinds.value(EventCode::Kind::Fault) << " faults, "
        << recordedKinds.value(EventCode::Kind::Clear) << " clears, "
        << recordedKinds.value(EventCode::Kind::Connection) << " connection lost/restored, "
        << recordedKinds.value(EventCode::Kind::Other) << " other" << Qt::endl;
    qint64 maxRss = 0;
    for (const RssSample &s : rss)
        maxRss = qMax(maxRss, s.kib);
    out << "monitor RSS: first minute " << rssFigures(rss, 0, firstMinuteEnd) << ", last minute "
        << rssFigures(rss, span - 60, span) << ", max " << QString::number(maxRss / 1024.0, 'f', 1)
        << " MiB over " << rss.size() << " samples" << Qt::endl;
    const bool pass = mismatches == 0 && applied == planned && printed == records;
    out << "soak: " << (pass ? "PASS" : "FAIL") << ": " << applied << " steps, " << records
        << " journal records, " << mismatches << " devices mismatched, " << int(span) << " s"
        << Qt::endl;
    return pass ? 0 : 1;
}
