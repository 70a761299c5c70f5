#include "tools/cli/backupcommand.h"

#include "jobs/devicebackupjob.h"
#include "jobs/devicerestorejob.h"
#include "link/devicebackup.h"
#include "tools/cli/clidevicelink.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/cliprogress.h"
#include "tools/cli/exitcode.h"

#include <QFileInfo>

#include <memory>

namespace {

// One line of a difference: no field may break the line.
QString field(const QString &text)
{
    // Tabs separate the fields: one in a value is escaped like every other control.
    return CliOutput::printable(text);
}

} // namespace

int BackupCommand::loadRestore(const QStringList &params, DeviceBackup *backup, bool *dryRun,
                               bool *force)
{
    QStringList files;
    for (const QString &param : params) {
        if (param == QLatin1String("--dry-run"))
            *dryRun = true;
        else if (param == QLatin1String("--force"))
            *force = true;
        else if (param.startsWith(QLatin1String("--")))
            return CliOutput::fail(ExitUsage, QStringLiteral("unknown option '%1'").arg(param));
        else
            files << param;
    }
    if (files.size() != 1)
        return CliOutput::fail(ExitUsage, QStringLiteral("restore takes one backup file"));
    const QString path = files.first();
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || !info.isReadable())
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("cannot open backup file %1: %2")
                                   .arg(path,
                                        !info.exists()       ? QStringLiteral("no such file")
                                            : !info.isFile() ? QStringLiteral("not a regular file")
                                                             : QStringLiteral("not readable")));
    QString error;
    if (!DeviceBackup::load(path, backup, &error))
        return CliOutput::fail(ExitUnusable, QStringLiteral("unusable backup file %1").arg(error));
    return ExitOk;
}

int BackupCommand::backup(CliDeviceLink &link, const QString &path)
{
    DeviceBackupJob job(&link.module());
    std::unique_ptr<CliProgress> bar;
    QObject::connect(&job, &DeviceJob::progress, [&](qint64 done, qint64 total) {
        if (!bar && total > 0)
            bar = std::make_unique<CliProgress>(QStringLiteral("backup"), total);
        if (bar)
            bar->update(done);
    });
    const DeviceJob::Result result = link.run(job);
    if (!result.ok()) {
        bar.reset();
        return CliOutput::fail(ExitFailed,
                               result.message + QStringLiteral("; no file was written"));
    }
    if (bar)
        bar->finish();
    QString error;
    if (!job.backup().save(path, &error))
        return CliOutput::fail(ExitCannotOpen, error);
    QTextStream &out = CliOutput::out();
    for (const QString &absent : job.absentFiles())
        out << "the device has no " << absent << '\n';
    out << "saved " << job.backup().values.size() << " values and " << job.backup().files.size()
        << " files of " << job.backup().typeKey << ' ' << job.backup().serial << " to " << path
        << Qt::endl;
    return ExitOk;
}

int BackupCommand::restore(CliDeviceLink &link, const DeviceBackup &backup, bool dryRun, bool force)
{
    DeviceRestoreJob job(&link.module(), backup);
    job.setDryRun(dryRun);
    job.setAllowOtherSerial(force);
    std::unique_ptr<CliProgress> bar;
    QObject::connect(&job, &DeviceJob::progress, [&](qint64 done, qint64 total) {
        if (!bar && total > 0)
            bar = std::make_unique<CliProgress>(QStringLiteral("restore"), total);
        if (bar)
            bar->update(done);
    });
    const DeviceJob::Result result = link.run(job);
    bar.reset();
    QTextStream &out = CliOutput::out();
    for (const DeviceRestoreJob::Difference &diff : job.differences())
        out << field(diff.name) << '\t' << field(diff.device) << '\t' << field(diff.backup) << '\n';
    out.flush();
    if (job.refusedType())
        return CliOutput::fail(ExitUnusable, result.message);
    if (job.refusedSerial())
        return CliOutput::fail(ExitUnusable,
                               result.message + QStringLiteral(" (--force writes it anyway)"));
    if (!result.ok())
        return CliOutput::fail(ExitFailed, result.message);
    if (job.otherSerial())
        out << "note: the device's serial number is " << job.deviceSerial() << ", the backup's "
            << backup.serial << '\n';
    if (dryRun)
        out << job.differences().size() << " differences; dry run: nothing was written" << Qt::endl;
    else if (job.differences().isEmpty())
        out << "no differences: nothing was written" << Qt::endl;
    else
        out << "wrote " << job.writtenCount() << " differences into " << backup.typeKey << ' '
            << job.deviceSerial() << Qt::endl;
    return ExitOk;
}
