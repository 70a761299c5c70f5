#include "tools/cli/flashallcommand.h"

#include "jobs/firmwareupdatejob.h"
#include "jobs/fleetfirmwareupdate.h"
#include "link/networkports.h"
#include "project/devicetype.h"
#include "project/projectmodel.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>

int FlashAllCommand::run(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Update every device of a project that has Ethernet (or those of a type or group) with "
        "one firmware image, N at a time; a failure of one never stops the others. One line "
        "per device as it ends, then a summary; exit 4 when any failed."));
    parser.addPositionalArgument(QStringLiteral("PROJECT.mpj"), QStringLiteral("project file"));
    parser.addPositionalArgument(QStringLiteral("IMAGE"), QStringLiteral("firmware image"));
    const QCommandLineOption typeOption(QStringLiteral("type"),
                                        QStringLiteral("Only devices of this type key."),
                                        QStringLiteral("KEY"));
    const QCommandLineOption groupOption(QStringLiteral("group"),
                                         QStringLiteral("Only devices inside groups of this name."),
                                         QStringLiteral("NAME"));
    const QCommandLineOption parallelOption(QStringLiteral("parallel"),
                                            QStringLiteral("Devices updated at a time (4)."),
                                            QStringLiteral("N"));
    const QCommandLineOption portOption(QStringLiteral("command-port"),
                                        QStringLiteral("TCP command port of the devices (23)."),
                                        QStringLiteral("P"));
    parser.addOptions({typeOption, groupOption, parallelOption, portOption});
    int status = ExitOk;
    if (!CliOutput::parse(parser, QStringList {QStringLiteral("flash-all")} + args, 2, &status))
        return status;

    int parallel = 4;
    if (parser.isSet(parallelOption)) {
        bool ok = false;
        parallel = parser.value(parallelOption).toInt(&ok);
        if (!ok || parallel < 1 || parallel > 64)
            return CliOutput::fail(ExitUsage, QStringLiteral("--parallel takes 1..64"));
    }
    quint16 port = NetworkPorts::defaultCommandPort;
    if (parser.isSet(portOption)) {
        bool ok = false;
        const uint value = parser.value(portOption).toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return CliOutput::fail(ExitUsage, QStringLiteral("--command-port takes 1..65535"));
        port = quint16(value);
    }
    int type = 0;
    if (parser.isSet(typeOption)) {
        type = deviceTypeFromKey(parser.value(typeOption));
        if (type == 0)
            return CliOutput::fail(
                ExitUsage, QStringLiteral("unknown type key '%1'").arg(parser.value(typeOption)));
    }

    const QString projectPath = parser.positionalArguments().at(0);
    ProjectModel project(ProjectModel::Journals::None);
    if (const int failed = CliOutput::loadProject(project, projectPath))
        return failed;
    const QString imagePath = parser.positionalArguments().at(1);
    FirmwareImage image;
    if (!image.load(imagePath))
        return CliOutput::fail(image.loadError() == FirmwareImage::LoadError::CannotOpen ||
                                       image.loadError() == FirmwareImage::LoadError::NotRegularFile
                                   ? ExitCannotOpen
                                   : ExitUnusable,
                               image.errorString());
    const QList<const ProjectDevice *> devices = FleetFirmwareUpdate::select(
        project, type, parser.isSet(groupOption) ? parser.value(groupOption) : QString());
    if (devices.isEmpty())
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("no device of the project matches (with Ethernet)"));
    const FirmwareUpdateJob::ImageProblem problem = FleetFirmwareUpdate::checkImage(image, devices);
    if (problem != FirmwareUpdateJob::ImageProblem::None)
        return CliOutput::fail(
            ExitUnusable,
            QStringLiteral("%1: %2").arg(
                imagePath,
                FirmwareUpdateJob::problemText(problem, image.flashBase(), image.size())));

    QTextStream &out = CliOutput::out();
    FleetFirmwareUpdate fleet(devices, image, port, parallel);
    QObject::connect(
        &fleet, &FleetFirmwareUpdate::deviceStarted, [](quint32 serial, const QString &address) {
            CliOutput::err() << serial << " (" << address << "): updating..." << Qt::endl;
        });
    QObject::connect(&fleet, &FleetFirmwareUpdate::deviceFinished,
                     [](const FleetFirmwareUpdate::Outcome &outcome) {
                         CliOutput::err()
                             << outcome.serial << " (" << outcome.address << "): "
                             << (outcome.ok ? QStringLiteral("updated")
                                            : QStringLiteral("failed: ") + outcome.reason)
                             << Qt::endl;
                     });
    QEventLoop loop;
    QObject::connect(&fleet, &FleetFirmwareUpdate::finished, &loop, &QEventLoop::quit);
    fleet.start();
    loop.exec();

    int failed = 0;
    out << "serial\taddress\tresult\n";
    for (const FleetFirmwareUpdate::Outcome &outcome : fleet.outcomes()) {
        failed += outcome.ok ? 0 : 1;
        out << outcome.serial << '\t' << outcome.address << '\t'
            << (outcome.ok ? QStringLiteral("updated")
                           : QStringLiteral("failed: ") + outcome.reason)
            << '\n';
    }
    out << fleet.outcomes().size() - failed << " updated, " << failed << " failed" << Qt::endl;
    return failed ? ExitFailed : ExitOk;
}
