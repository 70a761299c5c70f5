#include "tools/cli/journalcommand.h"

#include "journal/journalexporter.h"
#include "journal/readonlydatabase.h"
#include "monitor/journaldevices.h"
#include "project/projectmodel.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/cliprogress.h"
#include "tools/cli/exitcode.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <memory>

namespace {

const char journalHelp[] = "Usage: norda-cli journal <command> [options]\n"
                           "\n"
                           "Commands:\n"
                           "  export LOG.sqlite OUT.xlsx [--project P] [--progress]   write "
                           "the event journal as a spreadsheet\n";

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
        "console's export writes, newest event first. The database is only read: it may be "
        "in use by a console or norda-cli monitor meanwhile."));
    parser.addPositionalArgument(QStringLiteral("LOG.sqlite"), QStringLiteral("event database"));
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
    if (!QFileInfo(logPath).isFile())
        return CliOutput::fail(
            ExitCannotOpen,
            QStringLiteral("cannot open event database %1: no such file").arg(logPath));
    // Opened read-only, so that nothing is ever written into the file.
    if (!ReadOnlyDatabase::hasTable(logPath, QStringLiteral("error_log")))
        return CliOutput::fail(ExitUnusable,
                               QStringLiteral("%1 is not an event database").arg(logPath));

    ProjectModel project(ProjectModel::Journals::None);
    if (parser.isSet(projectOption)) {
        const QString projectPath = parser.value(projectOption);
        const int loaded = project.load(projectPath);
        if (loaded == -1)
            return CliOutput::fail(ExitCannotOpen,
                                   QStringLiteral("cannot open project file %1").arg(projectPath));
        if (loaded != 0)
            return CliOutput::fail(ExitUnusable,
                                   QStringLiteral("project file %1 is unusable").arg(projectPath));
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
