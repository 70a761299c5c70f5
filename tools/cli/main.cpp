#include "journal/localzone.h"
#include "link/cdcusbsession.h"
#include "tools/cli/auditcommand.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/devicecommand.h"
#include "tools/cli/exitcode.h"
#include "tools/cli/journalcommand.h"
#include "tools/cli/monitorcommand.h"
#include "tools/cli/projectcommand.h"
#include "tools/cli/userscommand.h"

#include <QCoreApplication>

namespace {

struct Command {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &args);
};

const Command commands[] = {
    {"project", "show and re-save project files, list scenarios, write key images",
     &ProjectCommand::run},
    {"monitor", "monitor a project's devices over HTTP", &MonitorCommand::run},
    {"journal", "export an event journal to a spreadsheet", &JournalCommand::run},
    {"device", "talk to a device over TCP or USB, list USB ports", &DeviceCommand::run},
    {"audit", "list the audit trail of changes, verify its hash chain", &AuditCommand::run},
    {"users", "add, change, remove and list the console's users", &UsersCommand::run},
};

void printUsage(QTextStream &stream)
{
    stream << "Usage: norda-cli <command> [arguments]\n\nCommands:\n";
    for (const Command &command : commands)
        stream << "  " << QString::fromLatin1(command.name).leftJustified(10) << command.summary
               << '\n';
    stream << "\nRun 'norda-cli <command> --help' for more.\n";
    stream.flush();
}

} // namespace

int main(int argc, char *argv[])
{
    LocalZone::pin();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norda-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORDA_VERSION));

    const QStringList args = app.arguments().mid(1);
    const QString name = args.value(0);
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        printUsage(CliOutput::out());
        return ExitOk;
    }
    if (name == QLatin1String("--version")) {
        CliOutput::out() << "norda-cli " << NORDA_VERSION << Qt::endl;
        return ExitOk;
    }
    for (const Command &command : commands) {
        if (name == QLatin1String(command.name)) {
            const int status = command.run(args);
            // No device link thread outlives the tool, nor is cut off by its exit.
            CdcUsbSession::stopAllAndWait(5000);
            return status;
        }
    }
    printUsage(CliOutput::err());
    return name.isEmpty()
        ? ExitUsage
        : CliOutput::fail(ExitUsage, QStringLiteral("unknown command '%1'").arg(name));
}
