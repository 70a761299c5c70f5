#include "tools/cli/journalcommand.h"

#include "journal/databasewrapper.h"
#include "journal/eventcode.h"
#include "journal/journalcopy.h"
#include "journal/journalexporter.h"
#include "journal/journallocation.h"
#include "journal/journalquery.h"
#include "journal/journalschema.h"
#include "journal/readonlydatabase.h"
#include "monitor/journaldevices.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/cliprogress.h"
#include "tools/cli/exitcode.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace {

const char journalHelp[] = "Usage: norda-cli journal <command> [options]\n"
                           "\n"
                           "Commands:\n"
                           "  export LOG OUT.xlsx [--project P] [--progress]   write "
                           "the event journal as a spreadsheet\n"
                           "  query LOG [--from T] [--to T] [--project P] [--serial N] "
                           "[--type KEY] [--group NAME] [--code C] [--unacknowledged] [--json]   "
                           "print the matching records, newest first\n"
                           "  init-db URL [--shards N] [--print]   create or upgrade a site "
                           "database and its roles\n"
                           "  copy --from LOG --to LOG [--progress]   copy a journal, records "
                           "not yet in the target\n"
                           "LOG is an SQLite file (log.sqlite) or a site database "
                           "postgresql://HOST[:PORT][,HOST[:PORT]]/DBNAME[?PARAMETERS].\n";

// 0 when `path` (a file or a site database) is an event database, else the exit
// status, reported. It is opened read-only, so that nothing is ever written into it.
int checkEventDatabase(const QString &path)
{
    if (JournalLocation::looksLikeUrl(path)) {
        const JournalLocation location = JournalLocation::parse(path);
        if (!location.isPostgres())
            return CliOutput::fail(ExitUsage, location.error());
        ReadOnlyDatabase reader(path);
        if (!reader.isOpen())
            return CliOutput::fail(
                ExitCannotOpen,
                QStringLiteral("cannot open %1: %2").arg(path, reader.error().trimmed()));
        const QString problem = JournalSchema::versionProblem(reader.database(), path);
        return problem.isEmpty() ? int(ExitOk) : CliOutput::fail(ExitUnusable, problem);
    }
    if (!QFileInfo(path).isFile())
        return CliOutput::fail(
            ExitCannotOpen,
            QStringLiteral("cannot open event database %1: no such file").arg(path));
    if (!ReadOnlyDatabase::hasTable(path, QStringLiteral("error_log")))
        return CliOutput::fail(ExitUnusable,
                               QStringLiteral("%1 is not an event database").arg(path));
    return ExitOk;
}

} // namespace

int JournalCommand::run(const QStringList &args)
{
    const QString command = args.value(1);
    if (command == QLatin1String("export"))
        return exportJournal(args.mid(1));
    if (command == QLatin1String("query"))
        return query(args.mid(1));
    if (command == QLatin1String("init-db"))
        return initDb(args.mid(1));
    if (command == QLatin1String("copy"))
        return copy(args.mid(1));
    if (command.isEmpty() || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        (command.isEmpty() ? CliOutput::err() : CliOutput::out()) << journalHelp << Qt::flush;
        return command.isEmpty() ? ExitUsage : ExitOk;
    }
    CliOutput::err() << journalHelp;
    return CliOutput::fail(ExitUsage, QStringLiteral("unknown journal command '%1'").arg(command));
}

int JournalCommand::exportJournal(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Write the event journal of an event database (log.sqlite) as the spreadsheet the "
        "console's export writes, newest event first. The database is only read: it may be "
        "in use by a console or norda-cli monitor meanwhile."));
    parser.addPositionalArgument(QStringLiteral("LOG"),
                                 QStringLiteral("event database: file or postgresql:// URL"));
    parser.addPositionalArgument(QStringLiteral("OUT.xlsx"), QStringLiteral("file to write"));
    const QCommandLineOption projectOption(
        QStringLiteral("project"),
        QStringLiteral("Project whose devices the records name (else: unknown devices)."),
        QStringLiteral("P"));
    const QCommandLineOption progressOption(
        QStringLiteral("progress"),
        QStringLiteral("Draw the progress bar even when standard error is not a terminal."));
    parser.addOptions({projectOption, progressOption});
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 2, &status))
        return status;
    if (parser.isSet(progressOption))
        CliProgress::setForced(true);
    const QString logPath = parser.positionalArguments().at(0);
    const QString outPath = parser.positionalArguments().at(1);
    if (const int failed = checkEventDatabase(logPath))
        return failed;

    ProjectModel project(ProjectModel::Journals::None);
    if (parser.isSet(projectOption)) {
        if (const int failed = CliOutput::loadProject(project, parser.value(projectOption)))
            return failed;
    }

    std::unique_ptr<CliProgress> bar;
    const JournalExporter::Outcome outcome = JournalExporter::exportFile(
        logPath, JournalDevices::snapshot(&project), outPath, QDateTime::currentDateTime(),
        [&bar](qint64 done, qint64 total) {
            if (!bar)
                bar = std::make_unique<CliProgress>(QStringLiteral("export"), total);
            bar->update(done);
        });
    switch (outcome.result) {
    case JournalExporter::Result::Written:
        break;
    case JournalExporter::Result::CannotWrite:
        return CliOutput::fail(ExitCannotOpen, QStringLiteral("cannot write %1").arg(outPath));
    case JournalExporter::Result::CannotRead:
        return CliOutput::fail(ExitCannotOpen, outcome.error);
    case JournalExporter::Result::Stuck:
    case JournalExporter::Result::Cancelled:
        return CliOutput::fail(ExitFailed, outcome.error);
    }
    if (bar)
        bar->finish();
    CliOutput::out() << outcome.records << " events written to " << outPath << Qt::endl;
    return ExitOk;
}

int JournalCommand::query(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Print the records of an event database (log.sqlite) that match the filters, newest "
        "first (by stored time), one per line: time as stored, serial number, code, text, "
        "separated by tabs (or JSON lines). The database is only read. Filters by serial "
        "number, type or group need the project, which knows the devices."));
    parser.addPositionalArgument(QStringLiteral("LOG"),
                                 QStringLiteral("event database: file or postgresql:// URL"));
    const QCommandLineOption fromOption(QStringLiteral("from"),
                                        QStringLiteral("Records at or after this time."),
                                        QStringLiteral("\"hh:mm:ss dd.MM.yyyy\""));
    const QCommandLineOption toOption(QStringLiteral("to"),
                                      QStringLiteral("Records at or before this time."),
                                      QStringLiteral("\"hh:mm:ss dd.MM.yyyy\""));
    const QCommandLineOption projectOption(QStringLiteral("project"),
                                           QStringLiteral("Project whose devices the records "
                                                          "name."),
                                           QStringLiteral("P.mpj"));
    const QCommandLineOption serialOption(
        QStringLiteral("serial"), QStringLiteral("Only the device with this serial number."),
        QStringLiteral("N"));
    const QCommandLineOption typeOption(QStringLiteral("type"),
                                        QStringLiteral("Only devices of this type (its key in "
                                                       "project files, e.g. horn)."),
                                        QStringLiteral("KEY"));
    const QCommandLineOption groupOption(
        QStringLiteral("group"),
        QStringLiteral("Only devices inside a group of this name, subgroups included."),
        QStringLiteral("NAME"));
    const QCommandLineOption codeOption(QStringLiteral("code"),
                                        QStringLiteral("Only records of this event code."),
                                        QStringLiteral("C"));
    const QCommandLineOption unseenOption(QStringLiteral("unacknowledged"),
                                          QStringLiteral("Only records not yet acknowledged."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("One JSON object per line."));
    parser.addOptions({fromOption, toOption, projectOption, serialOption, typeOption, groupOption,
                       codeOption, unseenOption, jsonOption});
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 1, &status))
        return status;

    JournalFilter filter;
    for (const QCommandLineOption *option : {&fromOption, &toOption}) {
        if (!parser.isSet(*option))
            continue;
        const qint64 key = JournalFilter::timeKey(parser.value(*option));
        if (key == 0 || !DatabaseWrapper::parseTime(parser.value(*option)).isValid())
            return CliOutput::fail(ExitUsage,
                                   QStringLiteral("--%1 takes a time \"hh:mm:ss dd.MM.yyyy\"")
                                       .arg(option->names().constFirst()));
        (option == &fromOption ? filter.fromKey : filter.toKey) = key;
    }
    if (parser.isSet(codeOption)) {
        bool ok = false;
        const int code = parser.value(codeOption).toInt(&ok);
        if (!ok)
            return CliOutput::fail(ExitUsage, QStringLiteral("--code takes a number"));
        filter.restrictCodes({code});
    }
    filter.unacknowledgedOnly = parser.isSet(unseenOption);
    const bool byDevice =
        parser.isSet(serialOption) || parser.isSet(typeOption) || parser.isSet(groupOption);
    if (byDevice && !parser.isSet(projectOption))
        return CliOutput::fail(ExitUsage,
                               QStringLiteral("--serial, --type and --group need --project: the "
                                              "journal knows devices by their project id only"));
    quint32 serial = 0;
    if (parser.isSet(serialOption)) {
        bool ok = false;
        serial = parser.value(serialOption).toUInt(&ok);
        if (!ok || serial == 0)
            return CliOutput::fail(ExitUsage, QStringLiteral("--serial takes 1..4294967295"));
    }
    int type = 0;
    if (parser.isSet(typeOption)) {
        type = deviceTypeFromKey(parser.value(typeOption));
        if (type == 0)
            return CliOutput::fail(
                ExitUsage, QStringLiteral("unknown type key '%1'").arg(parser.value(typeOption)));
    }

    const QString logPath = parser.positionalArguments().at(0);
    if (const int failed = checkEventDatabase(logPath))
        return failed;

    ProjectModel project(ProjectModel::Journals::None);
    if (parser.isSet(projectOption)) {
        if (const int failed = CliOutput::loadProject(project, parser.value(projectOption)))
            return failed;
    }
    if (parser.isSet(serialOption))
        filter.restrictDevices(JournalDevices::withSerial(&project, serial));
    if (parser.isSet(typeOption))
        filter.restrictDevices(JournalDevices::ofType(&project, type));
    if (parser.isSet(groupOption))
        filter.restrictDevices(JournalDevices::inGroup(&project, parser.value(groupOption)));

    QHash<int, quint32> serials;
    for (const ProjectDevice *device : project.allDevices()) {
        if (!serials.contains(device->id_obj))
            serials.insert(device->id_obj, device->serial);
    }

    ReadOnlyDatabase reader(logPath);
    if (!reader.isOpen())
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("cannot open %1: %2").arg(logPath, reader.error()));
    JournalQuery history(reader.database());
    JournalQuery::Cursor cursor;
    QVector<EventRecord> rows;
    QTextStream &out = CliOutput::out();
    const bool json = parser.isSet(jsonOption);
    while (!cursor.atEnd) {
        QString error;
        if (!history.page(filter, &cursor, JournalExporter::defaultPageSize, &rows, &error))
            return CliOutput::fail(ExitFailed,
                                   QStringLiteral("cannot read %1: %2").arg(logPath, error));
        for (const EventRecord &record : qAsConst(rows)) {
            const auto found = serials.constFind(record.deviceId);
            const bool known =
                found != serials.constEnd() && record.code != EventCode::Acknowledged;
            if (json) {
                QJsonObject object {{QStringLiteral("record"), record.recordId},
                                    {QStringLiteral("time"), record.time},
                                    {QStringLiteral("device_id"), record.deviceId},
                                    {QStringLiteral("code"), record.code},
                                    {QStringLiteral("text"), EventCode::text(record.code)},
                                    {QStringLiteral("acknowledged"), record.seen != 0}};
                if (known)
                    object.insert(QStringLiteral("serial"), qint64(found.value()));
                out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
            } else {
                out << record.time << '\t'
                    << (known ? QString::number(found.value()) : QStringLiteral("-")) << '\t'
                    << record.code << '\t' << EventCode::text(record.code) << '\n';
            }
        }
        out.flush();
    }
    return ExitOk;
}

int JournalCommand::initDb(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Create or upgrade the journal schema of a site database, with the roles "
        "DBNAME_monitor, DBNAME_console and DBNAME_admin (NOLOGIN groups: make login users "
        "members of them). Needs the database owner's rights; running it again is harmless."));
    parser.addPositionalArgument(QStringLiteral("URL"),
                                 QStringLiteral("postgresql://HOST[:PORT]/DBNAME"));
    const QCommandLineOption shardsOption(
        QStringLiteral("shards"),
        QStringLiteral("Split the devices into N shards polled by the monitors (1; kept when "
                       "not given)."),
        QStringLiteral("N"));
    const QCommandLineOption printOption(QStringLiteral("print"),
                                         QStringLiteral("Print the SQL instead of running it."));
    parser.addOptions({shardsOption, printOption});
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 1, &status))
        return status;
    const JournalLocation location = JournalLocation::parse(parser.positionalArguments().at(0));
    if (!location.isPostgres())
        return CliOutput::fail(ExitUsage,
                               location.isValid()
                                   ? QStringLiteral("init-db takes a postgresql:// URL")
                                   : location.error());
    int shards = 0;
    if (parser.isSet(shardsOption)) {
        bool ok = false;
        shards = parser.value(shardsOption).toInt(&ok);
        if (!ok || shards < 1 || shards > JournalSchema::maxShards)
            return CliOutput::fail(
                ExitUsage, QStringLiteral("--shards takes 1..%1").arg(JournalSchema::maxShards));
    }
    if (parser.isSet(printOption)) {
        QTextStream &out = CliOutput::out();
        out << "BEGIN;\n";
        for (const QString &statement : JournalSchema::statements(location.databaseName(), shards))
            out << statement << '\n';
        out << "COMMIT;" << Qt::endl;
        return ExitOk;
    }
    QString error;
    if (!JournalSchema::initialize(location, shards, &error))
        return CliOutput::fail(
            ExitFailed, QStringLiteral("init-db %1: %2").arg(location.text(), error.trimmed()));
    CliOutput::out() << location.text() << ": journal schema version " << JournalSchema::version
                     << Qt::endl;
    return ExitOk;
}

int JournalCommand::copy(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Copy a journal (events with their acknowledgements, status documents, parameters) "
        "between SQLite files and site databases, keeping the record numbers. Records whose "
        "number the target already holds are not copied again. An SQLite journal's parameters "
        "are params.sqlite beside it."));
    const QCommandLineOption fromOption(
        QStringLiteral("from"), QStringLiteral("The journal to read."), QStringLiteral("FILE|URL"));
    const QCommandLineOption toOption(QStringLiteral("to"), QStringLiteral("The journal to write."),
                                      QStringLiteral("FILE|URL"));
    const QCommandLineOption progressOption(
        QStringLiteral("progress"),
        QStringLiteral("Draw the progress bar even when standard error is not a terminal."));
    parser.addOptions({fromOption, toOption, progressOption});
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 0, &status))
        return status;
    if (!parser.isSet(fromOption) || !parser.isSet(toOption))
        return CliOutput::fail(ExitUsage, QStringLiteral("copy needs --from and --to"));
    if (parser.isSet(progressOption))
        CliProgress::setForced(true);
    std::unique_ptr<CliProgress> bar;
    const JournalCopy::Outcome outcome = JournalCopy::copy(
        parser.value(fromOption), parser.value(toOption), [&bar](qint64 done, qint64 total) {
            if (!bar)
                bar = std::make_unique<CliProgress>(QStringLiteral("copy"), total);
            bar->update(done);
        });
    if (!outcome.ok)
        return CliOutput::fail(ExitFailed, outcome.error.trimmed());
    if (bar)
        bar->finish();
    CliOutput::out() << outcome.copied << " records copied to " << parser.value(toOption)
                     << Qt::endl;
    if (outcome.usersAdded > 0)
        CliOutput::out() << outcome.usersAdded << " users added there" << Qt::endl;
    return ExitOk;
}
