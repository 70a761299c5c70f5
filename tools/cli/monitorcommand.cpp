#include "tools/cli/monitorcommand.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "journal/eventspill.h"
#include "journal/journallocation.h"
#include "journal/statuslogretention.h"
#include "journal/syslogmessage.h"
#include "monitor/metricscollector.h"
#include "monitor/metricsserver.h"
#include "monitor/shardkeeper.h"
#include "monitor/signalwatcher.h"
#include "monitor/sitemonitor.h"
#include "monitor/statuspoller.h"
#include "monitor/syslogforwarder.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"
#include "tools/cli/monitorconfig.h"
#include "tools/cli/servicenotifier.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <memory>

#include <unistd.h>

namespace {

QString eventLine(const EventRecord &record, const QHash<int, const ProjectDevice *> &devices)
{
    const ProjectDevice *device = devices.value(record.deviceId);
    QString who;
    if (record.code == EventCode::Acknowledged)
        who = QStringLiteral("ПК");
    else if (!device)
        who = QStringLiteral("Неизвестное устройство");
    else
        who = device->caption() +
            (device->ip_enabled ? QLatin1Char(' ') + device->ip_addr : QString());
    return QStringLiteral("%1\t%2\t%3\t%4\t%5")
        .arg(record.time)
        .arg(record.deviceId)
        .arg(record.code)
        .arg(EventCode::text(record.code), who);
}

double percentile(QVector<qint64> values, double share)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int index = qBound(0, int(share * values.size() + 0.5) - 1, int(values.size()) - 1);
    return values.at(index) / 1000.0;
}

void printStatistics(const StatusPoller &poller)
{
    const StatusPoller::Statistics &s = poller.statistics();
    QTextStream &err = CliOutput::err();
    auto figures = [&err](const char *what, const QVector<qint64> &values) {
        err << "stats: " << what << " " << values.size() << ", p50 " << percentile(values, 0.5)
            << " ms, p99 " << percentile(values, 0.99) << " ms, max "
            << (values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end()) / 1000.0)
            << " ms\n";
    };
    figures("ticks", s.tickMicroseconds);
    figures("request slices", s.sliceMicroseconds);
    figures("batches issued", s.batchMicroseconds);
    err << "stats: requests " << s.sent << ", accepted " << s.accepted << ", in their second "
        << s.acceptedInTime << " ("
        << QString::number(s.sent ? 100.0 * s.acceptedInTime / s.sent : 0, 'f', 3) << "%), dropped "
        << s.dropped << ", overdue " << s.overdue << ", too large " << s.tooLarge
        << ", not asked (outstanding) " << s.skipped << Qt::endl;
    err << "stats: accepted within";
    qint64 within = 0;
    for (size_t i = 0; i < std::size(StatusPoller::Statistics::answerBounds); ++i) {
        within += s.answeredWithin[i];
        err << (i ? ", " : " ") << StatusPoller::Statistics::answerBounds[i] << " ms " << within;
    }
    err << Qt::endl;
}

} // namespace

int MonitorCommand::run(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Monitor the devices of a project over HTTP, as the console does in monitoring mode.\n"
        "Events are recorded in log.sqlite in the current folder (or --database) and printed "
        "one per line:\n"
        "time, device id, code, text, device. Stops on Ctrl+C or after --seconds."));
    parser.addPositionalArgument(QStringLiteral("PROJECT.mpj"), QStringLiteral("project file"));
    const QCommandLineOption secondsOption(
        QStringLiteral("seconds"), QStringLiteral("Stop after N seconds."), QStringLiteral("N"));
    const QCommandLineOption portOption(QStringLiteral("status-port"),
                                        QStringLiteral("HTTP port of the devices (8080)."),
                                        QStringLiteral("P"));
    const QCommandLineOption statsOption(
        QStringLiteral("stats"), QStringLiteral("Print request and tick figures at the end."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Print every accepted status document."));
    const QCommandLineOption intervalOption(
        QStringLiteral("interval"),
        QStringLiteral("Poll every MS milliseconds (1000); a device is lost after more than "
                       "10 intervals without an answer."),
        QStringLiteral("MS"));
    const QCommandLineOption daysOption(
        QStringLiteral("status-log-days"),
        QStringLiteral("Keep status documents N days (7; 0: no limit)."), QStringLiteral("N"));
    const QCommandLineOption sizeOption(
        QStringLiteral("status-log-max-mb"),
        QStringLiteral("Remove the oldest status documents while log.sqlite uses more than N "
                       "MiB (2048; 0: no limit)."),
        QStringLiteral("N"));
    const QCommandLineOption syslogOption(
        QStringLiteral("syslog"),
        QStringLiteral("Also send every recorded event to a syslog collector over UDP "
                       "(RFC 5424, facility local0; port 514 unless given)."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption databaseOption(
        QStringLiteral("database"),
        QStringLiteral("The event journal: an SQLite file (log.sqlite) or a site database "
                       "postgresql://HOST[:PORT][,HOST[:PORT]]/DBNAME[?PARAMETERS]; the "
                       "password comes from PGPASSWORD or ~/.pgpass."),
        QStringLiteral("FILE|URL"));
    const QCommandLineOption spillOption(
        QStringLiteral("spill-file"),
        QStringLiteral("With a site database: where events that cannot be written wait for the "
                       "server (norda-spill-DBNAME.jsonl in the current folder)."),
        QStringLiteral("FILE"));
    const QCommandLineOption metricsOption(
        QStringLiteral("metrics"),
        QStringLiteral("Serve /metrics (Prometheus text format) and /healthz over HTTP on "
                       "ADDR:PORT; a port alone listens on 127.0.0.1."),
        QStringLiteral("ADDR:PORT"));
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral(
            "Read options from an INI file: [monitor] project, metrics, [journal] database, "
            "syslog, statuslogdays, statuslogmaxmb, [network] statusport. The "
            "command line wins over the file."),
        QStringLiteral("FILE"));
    const QList<QCommandLineOption> options {
        secondsOption, portOption,   statsOption,    verboseOption, intervalOption, daysOption,
        sizeOption,    syslogOption, databaseOption, configOption,  metricsOption,  spillOption};
    parser.addOptions(options);
    // The configuration file's values join the command line where it gives none.
    QStringList effective = args;
    MonitorConfig config;
    if (parser.parse(args) && parser.isSet(configOption)) {
        QStringList names;
        QStringList given;
        for (const QCommandLineOption &option : options) {
            names << option.names();
            if (parser.isSet(option))
                given << option.names();
        }
        QString error;
        if (!config.apply(parser.value(configOption), names, given,
                          !parser.positionalArguments().isEmpty(), &effective, &error))
            return CliOutput::fail(
                error.startsWith(QLatin1String("cannot open")) ? ExitCannotOpen : ExitUsage, error);
    }
    int status = ExitOk;
    if (!CliOutput::parse(parser, effective, 1, &status))
        return status;
    auto where = [&config](const QCommandLineOption &option) {
        return config.origin(option.names().constFirst());
    };
    int seconds = 0;
    if (parser.isSet(secondsOption)) {
        bool ok = false;
        seconds = parser.value(secondsOption).toInt(&ok);
        if (!ok || seconds < 1 || seconds > 10 * 365 * 24 * 3600)
            return CliOutput::fail(ExitUsage, QStringLiteral("--seconds takes a positive number"));
    }
    quint16 port = StatusPoller::defaultStatusPort;
    if (parser.isSet(portOption)) {
        bool ok = false;
        const uint value = parser.value(portOption).toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return CliOutput::fail(ExitUsage,
                                   where(portOption) + QStringLiteral(" takes 1..65535"));
        port = quint16(value);
    }
    auto number = [&parser](const QCommandLineOption &option, int fallback, int low, int high,
                            bool *ok) {
        if (!parser.isSet(option))
            return fallback;
        const int value = parser.value(option).toInt(ok);
        *ok = *ok && value >= low && value <= high;
        return value;
    };
    bool ok = true;
    const int interval =
        number(intervalOption, StatusPoller::defaultTickIntervalMs, 10, 3600 * 1000, &ok);
    if (!ok)
        return CliOutput::fail(ExitUsage, QStringLiteral("--interval takes 10..3600000"));
    const int days = number(daysOption, StatusLogRetention::defaultDays, 0, 100 * 365, &ok);
    if (!ok)
        return CliOutput::fail(ExitUsage, where(daysOption) + QStringLiteral(" takes 0..36500"));
    const int maxMb = number(sizeOption, StatusLogRetention::defaultMaxMb, 0, 1 << 30, &ok);
    if (!ok)
        return CliOutput::fail(ExitUsage,
                               where(sizeOption) + QStringLiteral(" takes 0..1073741824"));
    SyslogForwarder syslog;
    if (parser.isSet(syslogOption)) {
        QString error;
        if (!syslog.setTarget(parser.value(syslogOption), &error) || !syslog.isActive())
            return CliOutput::fail(
                ExitUsage,
                where(syslogOption) +
                    QStringLiteral(" takes HOST:PORT: %1")
                        .arg(error.isEmpty() ? QStringLiteral("no host") : error));
    }
    QString metricsAddress;
    quint16 metricsPort = 0;
    if (parser.isSet(metricsOption)) {
        QString error;
        if (!MetricsServer::parseAddress(parser.value(metricsOption), &metricsAddress, &metricsPort,
                                         &error))
            return CliOutput::fail(ExitUsage, where(metricsOption) + QStringLiteral(": ") + error);
    }
    if (!parser.isSet(verboseOption))
        QLoggingCategory::setFilterRules(QStringLiteral("norda.status.debug=false"));

    const JournalLocation given = parser.isSet(databaseOption)
        ? JournalLocation::parse(parser.value(databaseOption))
        : JournalLocation::file(QStringLiteral("log.sqlite"));
    if (!given.isValid())
        return CliOutput::fail(ExitUsage,
                               where(databaseOption) + QStringLiteral(": ") + given.error());
    // A site monitor never waits long for its server.
    const JournalLocation journal = ShardKeeper::withTimeouts(given);

    const QString path = parser.positionalArguments().at(0);
    ProjectModel project(journal);
    const int loaded = project.load(path);
    if (loaded == -1)
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("cannot open project file %1: %2")
                                   .arg(path,
                                        QFileInfo::exists(path) ? QStringLiteral("not readable")
                                                                : QStringLiteral("no such file")));
    if (loaded != 0)
        return CliOutput::fail(
            ExitUnusable,
            QStringLiteral("project file %1 is unusable: not a project document").arg(path));
    const QString journalName = project.logDb->fileName();
    if (project.logDb->schemaRefused())
        return CliOutput::fail(ExitUnusable, project.logDb->openError());
    const bool opened = project.logDb->isOpen() &&
        project.logDb->exec(QStringLiteral("SELECT count(*) FROM error_log WHERE record_id=0;"));
    // A site database out of reach is waited for: the monitor takes its shards once it answers.
    if (!opened && journal.isPostgres())
        CliOutput::err() << "norda-cli: " << given.text()
                         << " out of reach: " << project.logDb->openError() << Qt::endl;
    else if (!opened)
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("cannot open %1%2")
                                   .arg(journalName,
                                        project.logDb->openError().isEmpty()
                                            ? QString()
                                            : QStringLiteral(": ") + project.logDb->openError()));
    project.monitoring = true;
    project.logDb->setStatusRetention(days, maxMb);
    if (parser.isSet(spillOption) && !journal.isPostgres())
        return CliOutput::fail(ExitUsage, QStringLiteral("--spill-file needs a site database"));

    QTextStream &out = CliOutput::out();
    // Under a service manager the lines carry the severities of the syslog forwarding.
    const bool outJournal = ServiceNotifier::isJournal(STDOUT_FILENO);
    const bool errJournal = ServiceNotifier::isJournal(STDERR_FILENO);
    QHash<int, const ProjectDevice *> devices;
    for (const ProjectDevice *device : project.allDevices()) {
        if (!devices.contains(device->id_obj))
            devices.insert(device->id_obj, device);
    }
    // Lines go out when the records of one pass of the event loop are printed, not one
    // write per line.
    QTimer flushLines;
    flushLines.setSingleShot(true);
    flushLines.setInterval(0);
    QObject::connect(&flushLines, &QTimer::timeout, &project, [&out] { out.flush(); });
    QObject::connect(project.logDb, &DatabaseLog::eventInserted, &project,
                     [&out, &devices, &flushLines, outJournal](const EventRecord &record) {
                         if (outJournal)
                             out << '<' << SyslogMessage::severity(record.code) << '>';
                         out << eventLine(record, devices) << '\n';
                         if (!flushLines.isActive())
                             flushLines.start();
                     });
    if (syslog.isActive()) {
        syslog.setProject(&project);
        QObject::connect(project.logDb, &DatabaseLog::eventInserted, &syslog,
                         &SyslogForwarder::forward);
    }
    ServiceNotifier service;
    QObject::connect(
        project.logDb, &DatabaseLog::writeFailed, &project,
        [journalName, errJournal, &service](const QString &error) {
            CliOutput::err() << (errJournal ? "<2>" : "") << "norda-cli: cannot write "
                             << journalName << " (" << error
                             << "): events are kept and written again as soon as possible"
                             << Qt::endl;
            service.status(QStringLiteral("cannot write %1: %2").arg(journalName, error));
        });
    QObject::connect(
        project.logDb, &DatabaseLog::writeRecovered, &project, [journalName, errJournal, &service] {
            CliOutput::err() << (errJournal ? "<5>" : "") << "norda-cli: " << journalName
                             << " written again" << Qt::endl;
            service.status(QStringLiteral("%1 written again").arg(journalName));
        });

    StatusPoller poller;
    poller.setStatusPort(port);
    poller.setTickInterval(interval);
    // Well within the lost rule, as with the default interval.
    poller.setTimeout(qMin(StatusPoller::defaultTimeoutMs, 3 * interval));
    poller.setProject(&project);
    int polled = 0;
    for (const ProjectDevice *device : project.allDevices())
        polled += device->ip_enabled ? 1 : 0;
    const QString monitoring = QStringLiteral("monitoring %1 of %2 devices of %3 on port %4")
                                   .arg(polled)
                                   .arg(project.allDevices().size())
                                   .arg(path)
                                   .arg(port);
    CliOutput::err() << "norda-cli: " << monitoring << Qt::endl;

    // The endpoint: its server's threads only ever read the snapshots the collector takes
    // after each tick. Without a site database the monitor holds its one shard, 0; with
    // one, the shards its keeper holds.
    std::unique_ptr<MetricsCollector> collector;
    MetricsServer metrics;
    if (parser.isSet(metricsOption)) {
        collector = std::make_unique<MetricsCollector>(&poller);
        collector->watchJournal(project.logDb);
        if (!journal.isPostgres())
            collector->setShardHeld(0, true);
        QObject::connect(collector.get(), &MetricsCollector::snapshotTaken, &metrics,
                         &MetricsServer::publish);
        QString error;
        if (!metrics.start(metricsAddress, metricsPort, &error))
            return CliOutput::fail(ExitCannotOpen, QStringLiteral("--metrics: %1").arg(error));
        metrics.publish(collector->snapshot());
        CliOutput::err() << "norda-cli: metrics on " << metrics.url() << "metrics" << Qt::endl;
    }

    // On a site database the devices of the shards this monitor holds.
    std::unique_ptr<SiteMonitor> site;
    QString refusal;
    if (journal.isPostgres()) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
        site =
            std::make_unique<SiteMonitor>(&project, &poller, given, sha, SiteMonitor::ownerText());
        QObject::connect(site.get(), &SiteMonitor::message, &project, [](const QString &text) {
            CliOutput::err() << "norda-cli: " << text << Qt::endl;
        });
        QObject::connect(site.get(), &SiteMonitor::refused, qApp, [&refusal](const QString &text) {
            refusal = text;
            QCoreApplication::quit();
        });
        const QString spillPath = parser.isSet(spillOption)
            ? parser.value(spillOption)
            : QStringLiteral("norda-spill-%1.jsonl").arg(journal.databaseName());
        if (collector)
            QObject::connect(site->keeper(), &ShardKeeper::shardHeld, collector.get(),
                             &MetricsCollector::setShardHeld);
        QString error;
        if (!site->start(spillPath, &error))
            return CliOutput::fail(ExitCannotOpen, QStringLiteral("spill file: %1").arg(error));
        CliOutput::err() << "norda-cli: sharing the devices with the other monitors of "
                         << given.text() << "; events that cannot be written wait in " << spillPath
                         << Qt::endl;
    }

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(interval);
    QObject::connect(&ticker, &QTimer::timeout, &poller, [&poller, &site] {
        poller.tick(true);
        if (site)
            site->recordStates();
    });

    int interruptedBy = 0;
    SignalWatcher watcher;
    QObject::connect(&watcher, &SignalWatcher::interrupted, qApp, [&interruptedBy](int number) {
        interruptedBy = number;
        QCoreApplication::quit();
    });
    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, qApp, &QCoreApplication::quit);

    QElapsedTimer clock;
    clock.start();
    poller.tick(true);
    ticker.start();
    service.ready(monitoring);
    QCoreApplication::exec();
    service.stopping();
    ticker.stop();
    if (site)
        site->stop();
    if (!refusal.isEmpty())
        return CliOutput::fail(ExitUnusable, refusal);

    const StatusPoller::Statistics &s = poller.statistics();
    CliOutput::err() << "norda-cli: stopped" << (interruptedBy ? " by a signal" : "") << " after "
                     << clock.elapsed() / 1000 << " s: " << s.sent << " requests, " << s.accepted
                     << " statuses accepted, " << project.logDb->eventCount(5) << " events in "
                     << journalName << Qt::endl;
    if (syslog.isActive())
        CliOutput::err() << "norda-cli: " << syslog.sentCount() << " events sent to "
                         << syslog.target() << ", " << syslog.droppedCount() << " dropped"
                         << Qt::endl;
    if (parser.isSet(statsOption))
        printStatistics(poller);
    if (parser.isSet(statsOption) && metrics.isRunning())
        CliOutput::err() << "stats: metrics requests answered " << metrics.requestsAnswered()
                         << ", connections served at once at most " << metrics.peakConnections()
                         << Qt::endl;
    out.flush();
    if (site) {
        // Written by the journal's end if the server answers; else kept for the next run.
        project.logDb->flush();
        if (!site->spill()->isEmpty() || project.logDb->pendingEvents() > 0) {
            CliOutput::err() << "norda-cli: " << site->spill()->count() << " events wait in "
                             << site->spill()->path() << " for the server: the next run writes them"
                             << Qt::endl;
            return ExitFailed;
        }
    }
    return ExitOk;
}
