#include "tools/cli/journalcommand.h"

#include "journal/databaselog.h"
#include "monitor/journalexporter.h"
#include "project/projectmodel.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

const char journalHelp[] = "Usage: norda-cli journal <command> [options]\n"
                           "\n"
                           "Commands:\n"
                           "  export LOG.sqlite OUT.xlsx [--project P]   write the event "
                           "journal as a spreadsheet\n";

// True when `path` is an SQLite file with the event table; opened read-only, so that
// nothing is ever written into a file that is not an event database.
bool isEventDatabase(const QString &path)
{
    const QString name = QStringLiteral("norda-cli-check");
    bool found = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            found = query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' "
                                              "AND name='error_log';")) &&
                query.next();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return found;
}

} // namespace

int JournalCommand::run(const QStringList &args)
{
    const QString command = args.value(1);
    if (command == QLatin1String("export"))
        return exportJournal(args.mid(1));
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
        "console's export writes, newest event first."));
    parser.addPositionalArgument(QStringLiteral("LOG.sqlite"), QStringLiteral("event database"));
    parser.addPositionalArgument(QStringLiteral("OUT.xlsx"), QStringLiteral("file to write"));
    const QCommandLineOption projectOption(
        QStringLiteral("project"),
        QStringLiteral("Project whose devices the records name (else: unknown devices)."),
        QStringLiteral("P"));
    parser.addOption(projectOption);
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 2, &status))
        return status;
    const QString logPath = parser.positionalArguments().at(0);
    const QString outPath = parser.positionalArguments().at(1);
    if (!QFileInfo(logPath).isFile())
        return CliOutput::fail(
            ExitCannotOpen,
            QStringLiteral("cannot open event database %1: no such file").arg(logPath));
    if (!isEventDatabase(logPath))
        return CliOutput::fail(ExitUnusable,
                               QStringLiteral("%1 is not an event database").arg(logPath));

    ProjectModel project(ProjectModel::Journals::None);
    const bool withProject = parser.isSet(projectOption);
    if (withProject) {
        const QString projectPath = parser.value(projectOption);
        const int loaded = project.load(projectPath);
        if (loaded == -1)
            return CliOutput::fail(ExitCannotOpen,
                                   QStringLiteral("cannot open project file %1").arg(projectPath));
        if (loaded != 0)
            return CliOutput::fail(ExitUnusable,
                                   QStringLiteral("project file %1 is unusable").arg(projectPath));
    }

    DatabaseLog log(logPath);
    int records = 0;
    if (!JournalExporter::exportDatabase(&log, withProject ? &project : nullptr, outPath,
                                         QDateTime::currentDateTime(), &records))
        return CliOutput::fail(ExitCannotOpen, QStringLiteral("cannot write %1").arg(outPath));
    CliOutput::out() << records << " events written to " << outPath << Qt::endl;
    return ExitOk;
}
