#include "tools/cli/writeprojectcommand.h"

#include "jobs/projectuploadjob.h"
#include "jobs/projectuploadplan.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "project/projectwriterules.h"
#include "tools/cli/clidevicelink.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/cliprogress.h"
#include "tools/cli/exitcode.h"

#include <QFileInfo>

#include <memory>

namespace {

constexpr int answerIdleMs = 15000;

} // namespace

int WriteProjectCommand::load(ProjectModel *project, const QString &path)
{
    QString reason;
    const int result = project->load(path, &reason);
    if (result == -1)
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("cannot open project file %1: %2")
                                   .arg(path,
                                        QFileInfo::exists(path) ? QStringLiteral("not readable")
                                                                : QStringLiteral("no such file")));
    if (result != 0)
        return CliOutput::fail(ExitUnusable,
                               QStringLiteral("project file %1 is unusable: %2").arg(path, reason));
    return ExitOk;
}

int WriteProjectCommand::run(CliDeviceLink &link, ProjectModel *project, bool dryRun)
{
    QString value;
    bool failed = false;
    switch (
        link.readDescriptor(QStringLiteral("desc_SerialNumber"), &value, &failed, answerIdleMs)) {
    case CliDeviceLink::Read::Refused:
        return CliOutput::fail(ExitFailed, QStringLiteral("the device is not connected"));
    case CliDeviceLink::Read::NoAnswer:
        return CliOutput::fail(ExitFailed, QStringLiteral("the link to the device was lost"));
    case CliDeviceLink::Read::Answered:
        break;
    }
    quint32 serial = 0;
    // A failed read ("ERROR") is no serial number: it must not match a device without one.
    if (failed || !ProjectWriteRules::parseSerial(value, &serial))
        return CliOutput::fail(
            ExitFailed,
            QStringLiteral("the device did not report its serial number: %1")
                .arg(value.trimmed().isEmpty() ? QStringLiteral("no answer") : value.trimmed()));
    const ProjectDevice *unit = nullptr;
    for (const ProjectDevice *device : project->allDevices()) {
        if (device->serial == serial && isCentralUnitType(device->type)) {
            unit = device;
            break;
        }
    }
    if (!unit)
        return CliOutput::fail(ExitUnusable,
                               QStringLiteral("the project has no central unit with serial "
                                              "number %1 (the device that answers)")
                                   .arg(serial));

    const UploadPlan plan = ProjectUploadPlan::consoles(unit);
    QTextStream &out = CliOutput::out();
    out << "central unit " << serial << " (" << deviceTypeKey(unit->type) << ")";
    if (const ProjectGroup *group = unit->parentGroup())
        out << " in group \"" << CliOutput::printable(group->name) << '"';
    out << ": " << plan.steps.size() << " steps\n";
    for (const QString &error : plan.errors)
        out << "error: " << CliOutput::printable(error) << '\n';
    for (const QString &line : plan.lines())
        out << CliOutput::printable(line) << '\n';
    out.flush();
    if (!plan.runnable())
        return CliOutput::fail(ExitUnusable,
                               QStringLiteral("the plan has %1 error(s); nothing was written")
                                   .arg(plan.errors.size()));
    if (dryRun) {
        out << "dry run: nothing was written" << Qt::endl;
        return ExitOk;
    }
    if (plan.steps.isEmpty()) {
        out << "nothing to write" << Qt::endl;
        return ExitOk;
    }

    ProjectUploadJob job(&link.module(), plan);
    auto bar = std::make_unique<CliProgress>(QStringLiteral("write"), plan.steps.size());
    QObject::connect(&job, &DeviceJob::progress, [&](qint64 done, qint64) { bar->update(done); });
    const DeviceJob::Result result = link.run(job);
    if (!result.ok()) {
        bar.reset();
        // What the unit holds now, as read back after the failure.
        for (const QString &line : job.unitState())
            out << "now: " << CliOutput::printable(line) << '\n';
        out.flush();
        return CliOutput::fail(ExitFailed, result.message);
    }
    bar->finish();
    out << "wrote " << plan.steps.size() << " steps into central unit " << serial << Qt::endl;
    return ExitOk;
}
