#include "tools/cli/projectcommand.h"

#include "project/inout.h"
#include "project/keyconfigimage.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectlint.h"
#include "project/projectmodel.h"
#include "project/scenario.h"
#include "tools/cli/cliaccess.h"
#include "tools/cli/cliaudit.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const char projectHelp[] = "Usage: norda-cli project <command> [options]\n"
                           "\n"
                           "Commands:\n"
                           "  show FILE.mpj             print the project tree\n"
                           "  scenarios FILE.mpj        list the scenarios with their "
                           "algorithms and events\n"
                           "  save-as IN.mpj OUT.mpj    load a project and save it as the "
                           "console does\n"
                           "  lint FILE.mpj             list what would go wrong in the field "
                           "(exit 5 on an error)\n"
                           "  key-image FILE.mpj SERIAL OUT.bin\n"
                           "                            write the key configuration image of "
                           "a console\n"
                           "\n"
                           "Run 'norda-cli project <command> --help' for the options of a "
                           "command.\n";

QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    escaped.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void printNodes(QTextStream &out, const QList<QObject *> &nodes, int indent)
{
    const QString pad(indent, QLatin1Char(' '));
    for (const QObject *node : nodes) {
        if (const auto *group = qobject_cast<const ProjectGroup *>(node)) {
            out << pad << "group " << quoted(group->name) << " id " << group->id_obj << '\n';
            out << pad << "  path: " << group->groupPath() << '\n';
            printNodes(out, group->nodes, indent + 2);
        } else if (const auto *device = qobject_cast<const ProjectDevice *>(node)) {
            ProjectCommand::printDevice(out, device, indent);
        }
    }
}

QString algoTypeName(int type)
{
    switch (type) {
    case ScenarioAlgo::Start:
        return QStringLiteral("start");
    case ScenarioAlgo::Timer:
        return QStringLiteral("timer");
    case ScenarioAlgo::Algorithm:
        return QStringLiteral("algorithm");
    case ScenarioAlgo::Schedule:
        return QStringLiteral("schedule");
    case ScenarioAlgo::Stop:
        return QStringLiteral("stop");
    default:
        return QStringLiteral("unknown");
    }
}

// What an event names, looked up in the project as the console looks it up.
QString eventTarget(const ProjectModel &model, const ScenarioEvent &event)
{
    const ProjectDevice *device = model.findDeviceBySerial(event.device_index);
    if (!device)
        return QStringLiteral("no such device in the project");
    const QString key = deviceTypeKey(device->type);
    const QString type = key.isEmpty() ? QStringLiteral("-") : key;
    for (const InOut *io : device->inouts) {
        if (io->index == event.inout_index)
            return type + QLatin1Char(' ') + quoted(io->displayName());
    }
    return type + QStringLiteral(", no such input");
}

} // namespace

int ProjectCommand::run(const QStringList &args)
{
    const QString command = args.value(1);
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("show"))
        return show(rest);
    if (command == QLatin1String("save-as"))
        return saveAs(rest);
    if (command == QLatin1String("key-image"))
        return keyImage(rest);
    if (command == QLatin1String("scenarios"))
        return scenarios(rest);
    if (command == QLatin1String("lint"))
        return lint(rest);
    if (command.isEmpty() || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        (command.isEmpty() ? CliOutput::err() : CliOutput::out()) << projectHelp;
        return command.isEmpty() ? ExitUsage : ExitOk;
    }
    CliOutput::err() << projectHelp;
    return CliOutput::fail(ExitUsage, QStringLiteral("unknown project command '%1'").arg(command));
}

void ProjectCommand::printDevice(QTextStream &out, const ProjectDevice *device, int indent)
{
    const QString pad(indent, QLatin1Char(' '));
    int inputs = 0;
    for (const InOut *io : device->inouts)
        inputs += io->isInput() ? 1 : 0;
    const QString key = deviceTypeKey(device->type);
    out << pad << "device " << (key.isEmpty() ? QStringLiteral("-") : key) << ' '
        << quoted(device->typeName()) << " serial " << device->serial << " id " << device->id_obj
        << '\n';
    out << pad << "  tag: " << quoted(device->tag) << '\n';
    out << pad << "  rs485: " << onOff(device->rs485_enabled) << " address " << device->rs485_addr
        << '\n';
    out << pad << "  ethernet: " << onOff(device->ip_enabled) << " address "
        << (device->ip_addr.isEmpty() ? QStringLiteral("-") : device->ip_addr) << '\n';
    out << pad << "  inouts: " << device->inouts.size() << " (inputs " << inputs << ", outputs "
        << device->inouts.size() - inputs << ")";
    if (isConsoleType(device->type))
        out << ", buttons " << device->buttonCount() << ", links " << device->linkCount();
    out << '\n';
}

int ProjectCommand::show(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Print the tree of a project file."));
    parser.addPositionalArgument(QStringLiteral("FILE.mpj"), QStringLiteral("project file"));
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 1, &status))
        return status;

    const QString path = parser.positionalArguments().at(0);
    ProjectModel model(ProjectModel::Journals::None);
    if (const int result = CliOutput::loadProject(model, path))
        return result;

    QTextStream &out = CliOutput::out();
    out << "project: " << quoted(model.name) << '\n';
    out << "file: " << QFileInfo(path).absoluteFilePath() << '\n';
    out << "last id: " << model.lastId << '\n';
    out << "groups: " << model.allGroups().size() << ", devices: " << model.allDevices().size()
        << ", scenarios: " << model.scenarios.size() << '\n';
    printNodes(out, model.nodes, 0);
    out.flush();
    return ExitOk;
}

int ProjectCommand::scenarios(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("List the scenarios of a project file: their options, their algorithms "
                       "in order with their type, and the events with the serial number of "
                       "the device and the index of its input."));
    parser.addPositionalArgument(QStringLiteral("FILE.mpj"), QStringLiteral("project file"));
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 1, &status))
        return status;

    const QString path = parser.positionalArguments().at(0);
    ProjectModel model(ProjectModel::Journals::None);
    if (const int result = CliOutput::loadProject(model, path))
        return result;

    QTextStream &out = CliOutput::out();
    out << "project: " << quoted(model.name) << '\n';
    out << "scenarios: " << model.scenarios.size() << '\n';
    for (int s = 0; s < model.scenarios.size(); ++s) {
        const Scenario &scenario = model.scenarios.at(s);
        out << "scenario " << s + 1 << ' ' << quoted(scenario.name) << ": priority "
            << scenario.priority << ", timer " << onOff(scenario.timer) << ", schedule "
            << onOff(scenario.shedule) << ", dependencies " << onOff(scenario.dependencies)
            << ", algorithms " << scenario.algos.size() << '\n';
        for (int a = 0; a < scenario.algos.size(); ++a) {
            const ScenarioAlgo &algo = scenario.algos.at(a);
            out << "  algorithm " << a + 1 << ' ' << algoTypeName(algo.type) << " (type "
                << algo.type << ")";
            if (algo.type == ScenarioAlgo::Start)
                out << ", runby " << (algo.always ? "always" : "event_list");
            else if (algo.type == ScenarioAlgo::Stop)
                out << ", stopby " << (algo.inputsOff ? "inputs_off" : "event_list");
            out << ", events " << algo.events.size() << '\n';
            for (const ScenarioEvent &event : algo.events) {
                out << "    event device " << event.device_index << " input " << event.inout_index
                    << " state " << event.state << ": " << eventTarget(model, event) << '\n';
            }
        }
    }
    out.flush();
    return ExitOk;
}

int ProjectCommand::saveAs(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Load a project file and save it again the way the console saves it."));
    parser.addPositionalArgument(QStringLiteral("IN.mpj"), QStringLiteral("project to read"));
    parser.addPositionalArgument(QStringLiteral("OUT.mpj"), QStringLiteral("file to write"));
    const QCommandLineOption databaseOption(
        QStringLiteral("database"),
        QStringLiteral("The journal whose audit trail records the save (default: the installed "
                       "console's, if there is one); a trail that cannot be written leaves "
                       "OUT.mpj as it was."),
        QStringLiteral("FILE|URL"));
    parser.addOption(databaseOption);
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 2, &status))
        return status;

    const QString in = parser.positionalArguments().at(0);
    const QString out = parser.positionalArguments().at(1);
    ProjectModel model(ProjectModel::Journals::None);
    if (const int result = CliOutput::loadProject(model, in))
        return result;
    // A save is a change like any other: recorded first, in the journal named or the
    // installed console's. Project commands make no journal in the working folder.
    CliAudit audit;
    QString how;
    bool inWorkingFolder = false;
    const JournalLocation trail =
        CliAccess::locate(parser.value(databaseOption), &how, &inWorkingFolder);
    if (!inWorkingFolder && !audit.open(trail, QString(), &status))
        return status;
    if (model.save(out) != 0) {
        const QString why =
            model.saveError.isEmpty() ? QString() : QStringLiteral(": %1").arg(model.saveError);
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("cannot write project file %1%2").arg(out, why));
    }
    return ExitOk;
}

int ProjectCommand::keyImage(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Write the key configuration image that the console with this serial "
                       "number gets from the project (the 6-byte header for a device that is "
                       "not a console)."));
    parser.addPositionalArgument(QStringLiteral("FILE.mpj"), QStringLiteral("project file"));
    parser.addPositionalArgument(QStringLiteral("SERIAL"),
                                 QStringLiteral("serial number of the device"));
    parser.addPositionalArgument(QStringLiteral("OUT.bin"), QStringLiteral("file to write"));
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 3, &status))
        return status;

    const QStringList positional = parser.positionalArguments();
    const QString path = positional.at(0);
    const QString out = positional.at(2);
    bool numeric = false;
    const quint32 serial = positional.at(1).toUInt(&numeric, 10);
    if (!numeric) {
        return CliOutput::fail(
            ExitUsage,
            QStringLiteral("'%1' is not a serial number (0 to 4294967295)").arg(positional.at(1)));
    }
    ProjectModel model(ProjectModel::Journals::None);
    if (const int result = CliOutput::loadProject(model, path))
        return result;
    const ProjectDevice *device = model.findDeviceBySerial(serial);
    if (!device) {
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("project file %1 has no device with serial number "
                                              "%2")
                                   .arg(path)
                                   .arg(serial));
    }
    QByteArray image;
    QString reason;
    if (!keyConfigImage(device, &image, &reason)) {
        return CliOutput::fail(
            ExitUnusable,
            QStringLiteral("cannot build the key image of device %1: %2").arg(serial).arg(reason));
    }
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit()) {
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("cannot write %1: %2").arg(out, file.errorString()));
    }
    CliOutput::out() << "wrote " << image.size() << " bytes to " << out << Qt::endl;
    return ExitOk;
}

int ProjectCommand::lint(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "List what would go wrong in the field with a project, one finding per line: error or "
        "warning, the device or group, what is wrong (tab-separated). Exit 0 when there is no "
        "error, 5 when there is."));
    parser.addPositionalArgument(QStringLiteral("FILE.mpj"), QStringLiteral("project file"));
    int status = ExitOk;
    if (!CliOutput::parse(parser, args, 1, &status))
        return status;
    const QString path = parser.positionalArguments().at(0);
    ProjectModel model(ProjectModel::Journals::None);
    if (const int result = CliOutput::loadProject(model, path))
        return result;
    const QList<ProjectLint::Finding> findings = ProjectLint::check(model);
    QTextStream &out = CliOutput::out();
    for (const ProjectLint::Finding &finding : findings)
        out << finding.line() << '\n';
    out.flush();
    return ProjectLint::hasErrors(findings) ? ExitFindings : ExitOk;
}
