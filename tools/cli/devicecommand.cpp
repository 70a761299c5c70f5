#include "tools/cli/devicecommand.h"

#include "jobs/filedownloadjob.h"
#include "jobs/filelistjob.h"
#include "jobs/fileuploadjob.h"
#include "jobs/firmwareupdatejob.h"
#include "link/amodule.h"
#include "link/devicebackup.h"
#include "link/portdiscovery.h"
#include "project/accesslevels.h"
#include "project/devicetype.h"
#include "project/firmwareimage.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "tools/cli/backupcommand.h"
#include "tools/cli/cliaccess.h"
#include "tools/cli/cliaudit.h"
#include "tools/cli/clidevicelink.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/cliprogress.h"
#include "tools/cli/exitcode.h"
#include "tools/cli/flashallcommand.h"
#include "tools/cli/screencommand.h"
#include "tools/cli/unitjournalcommand.h"
#include "tools/cli/writeprojectcommand.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSaveFile>

#include <memory>

namespace {

const char deviceHelp[] =
    "Usage: norda-cli device ports\n"
    "       norda-cli device (--tcp HOST[:PORT] | --usb [VID:PID]) [options] COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  ports                      list the USB serial ports and what each device answers\n"
    "  version                    print the device's type and firmware version\n"
    "  get NAME[INDEX]            read one descriptor, e.g. get SerialNumber, get LoCtrlEnable[2]\n"
    "  set NAME VALUE             write one descriptor\n"
    "  read NAME...               read several descriptors as one list\n"
    "  ls DIR                     list a device folder, e.g. ls '0:\\audio'\n"
    "  upload LOCAL REMOTE        copy a file to the device\n"
    "  download REMOTE LOCAL      copy a file from the device\n"
    "  rm PATH                    delete a file on the device\n"
    "  flash FILE.norda           restart into the bootloader, erase, write, verify, restart\n"
    "  screen OUT.png             save a central unit's screen as a picture (1040 x 272)\n"
    "  flash-all PROJECT.mpj IMAGE [--type KEY] [--group NAME] [--parallel N] [--command-port P]\n"
    "                             update every matching device of the project that has\n"
    "                             Ethernet, N at a time (4); no --tcp/--usb needed\n"
    "  journal [--xlsx OUT.xlsx]  print a central unit's journal, oldest first: time, type, text\n"
    "                             (tab-separated); --xlsx also writes it as a spreadsheet\n"
    "  write-project PROJECT.mpj [--dry-run]\n"
    "                             write the project's consoles into the central unit that\n"
    "                             answers (found by its serial number); --dry-run only prints\n"
    "                             the plan\n"
    "  backup OUT.json            save the device's configuration (values and files) to a file\n"
    "  restore IN.json [--dry-run] [--force]\n"
    "                             write a backup back where the device differs, printing each\n"
    "                             difference (name, device, backup); --dry-run writes nothing;\n"
    "                             another type is refused, another serial number unless --force\n"
    "\n"
    "Options:\n"
    "  --tcp HOST[:PORT]          reach the device over TCP (command port 23 by default)\n"
    "  --usb [VID:PID]            reach the device on its USB serial port (0483:5740 is always\n"
    "                             accepted)\n"
    "  --timeout SECONDS          how long to wait for the device to answer (default 10)\n"
    "  --progress                 draw progress bars even when standard error is not a terminal\n"
    "  --verbose                  print the device link's diagnostics on standard error\n"
    "  --database FILE|URL        the journal that holds the users and the audit trail of\n"
    "                             every change (default: the installed console's, else\n"
    "                             log.sqlite in the current folder); a trail that cannot\n"
    "                             be written stops the command before the device\n"
    "  --user NAME, --password-file FILE\n"
    "                             who acts, once users exist: commands that change a device\n"
    "                             need a user of level 3 (factory descriptors, flash and\n"
    "                             flash-all: 4); see 'norda-cli users --help'\n"
    "\n"
    "Exit status: 0 done, 1 bad command line, 2 device not found, or a local file that cannot\n"
    "be opened, read or written (also one that is not a regular file), 3 unusable local file\n"
    "(not a firmware image, too large; a project that cannot be used or whose plan has\n"
    "errors: nothing is written), 4 the device refused or the operation failed (write-project:\n"
    "a step failed; what was restored is said). backup/restore: 2 a file that cannot be read\n"
    "or written, 3 an unusable backup file, or one of another device type or (without --force)\n"
    "serial number: nothing is written, 4 a read or write failed (backup: no file is written).\n"
    "6 not allowed: users exist and no, a wrong or a too low log-in was given; nothing is sent\n"
    "to the device.\n";

// Every answer takes at most a few seconds; this long without any sign of the device counts
// as failure.
constexpr int answerIdleMs = 15000;

int connectTimeoutMs = 10000;

// Text from the device as it may go to the terminal.
QString shown(const QString &text)
{
    return CliOutput::printable(text);
}

int usage(const QString &message)
{
    CliOutput::err() << deviceHelp;
    return CliOutput::fail(ExitUsage, message);
}

// A local file that cannot be opened as one (missing, unreadable, a folder, a device node, a
// FIFO) gives 2; a file whose content cannot be used (too large) gives 3.
int localFileExit(FileUploadJob::LocalFileError error)
{
    return error == FileUploadJob::LocalFileError::TooLarge ? ExitUnusable : ExitCannotOpen;
}

int imageExit(const FirmwareImage &image)
{
    switch (image.loadError()) {
    case FirmwareImage::LoadError::CannotOpen:
    case FirmwareImage::LoadError::NotRegularFile:
        return ExitCannotOpen;
    default:
        return ExitUnusable;
    }
}

} // namespace

int DeviceCommand::run(const QStringList &args)
{
    QStringList rest = args.mid(1);
    ProjectDevice target(DeviceType::Unknown);
    quint16 port = NetworkPorts::defaultCommandPort;
    bool haveTarget = false;
    bool verbose = false;
    CliAudit audit;
    CliAccess::Options access;

    while (!rest.isEmpty() && rest.first().startsWith(QLatin1String("--"))) {
        const QString option = rest.takeFirst();
        if (option == QLatin1String("--help")) {
            CliOutput::out() << deviceHelp;
            CliOutput::out().flush();
            return ExitOk;
        }
        if (option == QLatin1String("--tcp")) {
            if (rest.isEmpty())
                return usage(QStringLiteral("--tcp needs HOST[:PORT]"));
            const QString value = rest.takeFirst();
            QString host = value;
            if (value.count(QLatin1Char(':')) == 1) {
                host = value.section(QLatin1Char(':'), 0, 0);
                bool ok = false;
                const int number = value.section(QLatin1Char(':'), 1).toInt(&ok);
                if (!ok || number < 1 || number > 65535)
                    return usage(QStringLiteral("bad port in '%1'").arg(value));
                port = quint16(number);
            }
            // A dotted address is decimal: 010 is ten, not eight.
            host = Ipv4Address::networkHost(host);
            if (host.isEmpty())
                return usage(QStringLiteral("bad host in '%1'").arg(value));
            target.ip_enabled = true;
            target.ip_addr = host;
            target.portFound = false;
            haveTarget = true;
        } else if (option == QLatin1String("--usb")) {
            static const QRegularExpression ids(
                QStringLiteral("^([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4})$"));
            if (!rest.isEmpty()) {
                const QRegularExpressionMatch match = ids.match(rest.first());
                if (match.hasMatch()) {
                    rest.removeFirst();
                    target.usbVendorId = uint16_t(match.captured(1).toUInt(nullptr, 16));
                    target.usbProductId = uint16_t(match.captured(2).toUInt(nullptr, 16));
                }
            }
            target.ip_enabled = false;
            haveTarget = true;
        } else if (option == QLatin1String("--timeout")) {
            bool ok = false;
            const double seconds = rest.isEmpty() ? 0 : rest.takeFirst().toDouble(&ok);
            if (!ok || seconds <= 0 || seconds > 3600)
                return usage(QStringLiteral("--timeout needs a number of seconds"));
            connectTimeoutMs = int(seconds * 1000);
        } else if (option == QLatin1String("--progress")) {
            CliProgress::setForced(true);
        } else if (option == QLatin1String("--verbose")) {
            verbose = true;
        } else if (const int taken = CliAccess::takeOption(option, &rest, &access)) {
            if (taken < 0)
                return usage(QStringLiteral("%1 needs a value").arg(option));
        } else {
            return usage(QStringLiteral("unknown option '%1'").arg(option));
        }
    }
    if (!verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("norda.link.debug=false"));

    const QString command = rest.value(0);
    const QStringList params = rest.mid(1);
    if (command.isEmpty()) {
        CliOutput::err() << deviceHelp;
        return ExitUsage;
    }
    if (command == QLatin1String("ports"))
        return params.isEmpty() ? ports() : usage(QStringLiteral("wrong number of arguments"));
    // Commands that change devices record what they do, and who acts is settled, before
    // any device is asked anything. The trail is the journal that holds the users.
    static const QStringList changing {
        QStringLiteral("set"),           QStringLiteral("upload"),   QStringLiteral("rm"),
        QStringLiteral("flash"),         QStringLiteral("backup"),   QStringLiteral("restore"),
        QStringLiteral("write-project"), QStringLiteral("flash-all")};
    // A log-in, good or failed, is recorded as well.
    if ((changing.contains(command) && !params.contains(QStringLiteral("--dry-run"))) ||
        !access.user.isEmpty()) {
        QString how;
        int status = ExitOk;
        if (!audit.open(CliAccess::locate(access.database, &how), access.syslog, &status))
            return status;
    }
    const int needed = AccessLevels::requiredForCli(QStringLiteral("device ") + command, params);
    if (needed > AccessLevels::Look || !access.user.isEmpty()) {
        if (const int status = CliAccess::authorize(access, needed))
            return status;
    }
    // Many devices of a project, each at its own address: no --tcp or --usb.
    if (command == QLatin1String("flash-all"))
        return FlashAllCommand::run(params);
    if (command == QLatin1String("journal"))
        return UnitJournalCommand::run(haveTarget ? &target : nullptr, port, connectTimeoutMs,
                                       params);

    struct Shape {
        const char *name;
        int minimum;
        int maximum;
    };
    static const Shape shapes[] = {
        {"version", 0, 0}, {"get", 1, 1},           {"set", 2, 2},      {"read", 1, 100000},
        {"ls", 1, 1},      {"upload", 2, 2},        {"download", 2, 2}, {"rm", 1, 1},
        {"flash", 1, 1},   {"write-project", 1, 2}, {"screen", 1, 1},   {"backup", 1, 1},
        {"restore", 1, 3},
    };
    const Shape *shape = nullptr;
    for (const Shape &candidate : shapes) {
        if (command == QLatin1String(candidate.name))
            shape = &candidate;
    }
    if (!shape)
        return usage(QStringLiteral("unknown device command '%1'").arg(command));
    if (params.size() < shape->minimum || params.size() > shape->maximum)
        return usage(QStringLiteral("wrong number of arguments"));
    if (!haveTarget)
        return usage(QStringLiteral("say which device: --tcp HOST[:PORT] or --usb [VID:PID]"));
    // Names, values and device paths that cannot travel as one request line are refused
    // before the device is bothered (a line feed in a value would send a second command).
    QString refusal;
    if (!CliDeviceLink::wireArgumentsOk(command, params, &refusal))
        return CliOutput::fail(ExitUsage, refusal);

    bool dryRun = false;
    // Files are checked before the device is bothered.
    if (command == QLatin1String("upload")) {
        QString error;
        const FileUploadJob::LocalFileError looked =
            FileUploadJob::checkLocalFile(params.at(0), &error);
        if (looked != FileUploadJob::LocalFileError::None)
            return CliOutput::fail(localFileExit(looked), error);
    }
    if (command == QLatin1String("flash")) {
        FirmwareImage image;
        if (!image.load(params.at(0)))
            return CliOutput::fail(imageExit(image), image.errorString());
        // What no device can take is refused before one is asked anything.
        const FirmwareUpdateJob::ImageProblem problem =
            FirmwareUpdateJob::checkImage(image.data(), image.flashBase(), DeviceType::Unknown, -1);
        if (problem != FirmwareUpdateJob::ImageProblem::None)
            return CliOutput::fail(
                ExitUnusable,
                QStringLiteral("%1: %2").arg(
                    params.at(0),
                    FirmwareUpdateJob::problemText(problem, image.flashBase(), image.size())));
    }
    DeviceBackup backup;
    bool force = false;
    if (command == QLatin1String("restore")) {
        if (const int status = BackupCommand::loadRestore(params, &backup, &dryRun, &force))
            return status;
    }
    std::unique_ptr<ProjectModel> project;
    if (command == QLatin1String("write-project")) {
        QStringList files;
        for (const QString &param : params) {
            if (param == QLatin1String("--dry-run"))
                dryRun = true;
            else
                files << param;
        }
        if (files.size() != 1)
            return usage(QStringLiteral("write-project takes one project file"));
        project = std::make_unique<ProjectModel>(ProjectModel::Journals::None);
        if (const int status = WriteProjectCommand::load(project.get(), files.first()))
            return status;
    }

    CliDeviceLink link(&target, port);
    if (!link.waitIdentified(connectTimeoutMs)) {
        const QString where = target.ip_enabled
            ? QStringLiteral("%1:%2").arg(target.ip_addr).arg(port)
            : QStringLiteral("a USB port with ids %1:%2")
                  .arg(target.usbVendorId, 4, 16, QLatin1Char('0'))
                  .arg(target.usbProductId, 4, 16, QLatin1Char('0'));
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("no device answered at %1").arg(where));
    }

    if (command == QLatin1String("version"))
        return version(link);
    if (command == QLatin1String("get"))
        return get(link, params.at(0));
    if (command == QLatin1String("set"))
        return set(link, params.at(0), params.at(1));
    if (command == QLatin1String("read"))
        return read(link, params);
    if (command == QLatin1String("ls"))
        return list(link, params.at(0));
    if (command == QLatin1String("rm"))
        return remove(link, params.at(0));
    if (command == QLatin1String("upload"))
        return upload(link, params.at(0), params.at(1));
    if (command == QLatin1String("download"))
        return download(link, params.at(0), params.at(1));
    if (command == QLatin1String("write-project"))
        return WriteProjectCommand::run(link, project.get(), dryRun);
    if (command == QLatin1String("screen"))
        return ScreenCommand::run(link, params.at(0));
    if (command == QLatin1String("backup"))
        return BackupCommand::backup(link, params.at(0));
    if (command == QLatin1String("restore"))
        return BackupCommand::restore(link, backup, dryRun, force);
    return flash(link, params.at(0));
}

int DeviceCommand::ports()
{
    QLoggingCategory::setFilterRules(QStringLiteral("norda.link.debug=false"));
    const QList<PortDiscovery::Probe> probes = PortDiscovery::probeAll();
    QTextStream &out = CliOutput::out();
    if (probes.isEmpty())
        out << "no serial ports\n";
    for (const PortDiscovery::Probe &probe : probes) {
        out << probe.port.portName << ' ' << probe.port.systemLocation << ' '
            << probe.port.usbIdText() << ": ";
        if (probe.answered) {
            out << deviceTypeKey(probe.type) << ' ' << shown(probe.version) << " serial "
                << probe.serial << " \"" << deviceTypeName(probe.type) << "\"\n";
        } else {
            out << shown(probe.failure) << '\n';
        }
    }
    out.flush();
    return ExitOk;
}

int DeviceCommand::version(CliDeviceLink &link)
{
    QTextStream &out = CliOutput::out();
    out << deviceTypeKey(link.deviceType()) << ' ' << shown(link.version()) << '\n';
    out << "type " << link.deviceType() << " \"" << deviceTypeName(link.deviceType()) << "\"\n";
    out.flush();
    return ExitOk;
}

int DeviceCommand::get(CliDeviceLink &link, const QString &name)
{
    QString value;
    bool failed = false;
    switch (link.readDescriptor(name, &value, &failed, answerIdleMs)) {
    case CliDeviceLink::Read::Refused:
        return CliOutput::fail(ExitFailed, QStringLiteral("the device is not connected"));
    case CliDeviceLink::Read::NoAnswer:
        return CliOutput::fail(ExitFailed, QStringLiteral("the link to the device was lost"));
    case CliDeviceLink::Read::Answered:
        break;
    }
    if (failed)
        return CliOutput::fail(
            ExitFailed,
            QStringLiteral("reading %1 failed: %2").arg(name, Amodule::failureReason(value)));
    CliOutput::out() << shown(value) << Qt::endl;
    return ExitOk;
}

int DeviceCommand::set(CliDeviceLink &link, const QString &name, const QString &value)
{
    Amodule &module = link.module();
    bool answered = false;
    int result = 0;
    QObject context;
    QObject::connect(&module, &Amodule::writedDescriptor, &context,
                     [&](const QString &, const QVariant &, int, int err) {
                         result = err;
                         answered = true;
                         link.touch();
                     });
    // The value before the write, for the audit trail (the facade remembers what it read).
    QString before;
    bool readFailed = false;
    if (AuditTrail::defaultTrail())
        link.readDescriptor(name, &before, &readFailed, answerIdleMs);
    const int queued = module.setDescriptor(name, value);
    if (queued == Amodule::AuditRefused)
        return CliOutput::fail(ExitFailed, module.refusalReason());
    if (queued != 0)
        return CliOutput::fail(ExitFailed, QStringLiteral("the device is not connected"));
    if (!link.waitUntil([&] { return answered; }, answerIdleMs))
        return CliOutput::fail(ExitFailed, QStringLiteral("the link to the device was lost"));
    if (result != 0)
        return CliOutput::fail(ExitFailed,
                               QStringLiteral("the device refused %1 = %2").arg(name, value));
    return ExitOk;
}

int DeviceCommand::read(CliDeviceLink &link, const QStringList &names)
{
    Amodule &module = link.module();
    bool ended = false;
    bool nextFailed = false;
    int failures = 0;
    QObject context;
    QObject::connect(&module, &Amodule::exchangeError, &context, [&](int) { nextFailed = true; });
    QObject::connect(&module, &Amodule::receivedDescriptor, &context,
                     [&](const QString &name, const QVariant &value, int index, int) {
                         QString label = name;
                         if (index != 0 || names.contains(name + QStringLiteral("[0]")) ||
                             names.contains(QStringLiteral("desc_") + name + QStringLiteral("[0]")))
                             label += QStringLiteral("[%1]").arg(index);
                         if (nextFailed) {
                             ++failures;
                             CliOutput::out()
                                 << label
                                 << ": failed: " << shown(Amodule::failureReason(value.toString()))
                                 << '\n';
                         } else {
                             CliOutput::out() << label << " = " << shown(value.toString()) << '\n';
                         }
                         nextFailed = false;
                         link.touch();
                     });
    QObject::connect(&module, &Amodule::endReadList, &context, [&] {
        ended = true;
        link.touch();
    });
    if (module.readDescriptors(names) != 0)
        return CliOutput::fail(ExitFailed, QStringLiteral("the device is not connected"));
    const bool done = link.waitUntil([&] { return ended; }, answerIdleMs);
    CliOutput::out().flush();
    if (!done)
        return CliOutput::fail(ExitFailed, QStringLiteral("the link to the device was lost"));
    if (failures > 0)
        return CliOutput::fail(
            ExitFailed, QStringLiteral("%1 of %2 reads failed").arg(failures).arg(names.size()));
    return ExitOk;
}

int DeviceCommand::list(CliDeviceLink &link, const QString &dir)
{
    FileListJob job(&link.module(), dir);
    const DeviceJob::Result result = link.run(job);
    if (!result.ok())
        return CliOutput::fail(ExitFailed, result.message);
    QTextStream &out = CliOutput::out();
    for (const FileListJob::Entry &entry : job.entries()) {
        if (entry.folder)
            out << '/' << shown(entry.name) << '\n';
        else if (entry.size >= 0)
            out << shown(entry.name) << '\t' << entry.size << '\n';
        else
            out << shown(entry.name) << '\n';
    }
    out.flush();
    return ExitOk;
}

int DeviceCommand::remove(CliDeviceLink &link, const QString &path)
{
    Amodule &module = link.module();
    bool answered = false;
    int result = 0;
    QString answer;
    QObject context;
    QObject::connect(&module, &Amodule::writedParam, &context,
                     [&](const QString &, const QString &value, int err) {
                         result = err;
                         answer = value;
                         answered = true;
                         link.touch();
                     });
    const int queued = module.sendCommand(QStringLiteral("SET FILE_DELETE ") + path);
    if (queued == Amodule::AuditRefused)
        return CliOutput::fail(ExitFailed, module.refusalReason());
    if (queued != 0)
        return CliOutput::fail(ExitFailed, QStringLiteral("the device is not connected"));
    if (!link.waitUntil([&] { return answered; }, answerIdleMs))
        return CliOutput::fail(ExitFailed, QStringLiteral("the link to the device was lost"));
    if (result != 0)
        return CliOutput::fail(ExitFailed,
                               QStringLiteral("the device did not delete %1: %2")
                                   .arg(path, Amodule::failureReason(answer)));
    return ExitOk;
}

namespace {

// The size of a device file from the listing of its folder, or -1.
qint64 remoteSize(CliDeviceLink &link, const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('\\'));
    if (slash <= 0)
        return -1;
    FileListJob job(&link.module(), path.left(slash));
    if (!link.run(job).ok())
        return -1;
    const QString name = path.mid(slash + 1);
    for (const FileListJob::Entry &entry : job.entries()) {
        if (!entry.folder && entry.name.compare(name, Qt::CaseInsensitive) == 0)
            return entry.size;
    }
    return -1;
}

} // namespace

int DeviceCommand::upload(CliDeviceLink &link, const QString &local, const QString &remote)
{
    QByteArray data;
    QString error;
    const FileUploadJob::LocalFileError read = FileUploadJob::readLocalFile(local, &data, &error);
    if (read != FileUploadJob::LocalFileError::None)
        return CliOutput::fail(localFileExit(read), error);

    FileUploadJob job(&link.module(), remote, data);
    auto bar = std::make_unique<CliProgress>(QStringLiteral("upload"), data.size());
    QObject::connect(&job, &DeviceJob::progress, [&](qint64 done, qint64) { bar->update(done); });
    const DeviceJob::Result result = link.run(job);
    if (!result.ok()) {
        bar.reset();
        return CliOutput::fail(ExitFailed, result.message);
    }
    bar->finish();
    CliOutput::out() << "uploaded " << data.size() << " bytes to " << remote << Qt::endl;
    return ExitOk;
}

int DeviceCommand::download(CliDeviceLink &link, const QString &remote, const QString &local)
{
    const qint64 size = remoteSize(link, remote);
    FileDownloadJob job(&link.module(), remote);
    job.setExpectedSize(size);
    std::unique_ptr<CliProgress> bar;
    if (size > 0)
        bar = std::make_unique<CliProgress>(QStringLiteral("download"), size);
    QObject::connect(&job, &DeviceJob::progress, [&](qint64 done, qint64) {
        if (bar)
            bar->update(done);
    });
    const DeviceJob::Result result = link.run(job);
    if (!result.ok()) {
        bar.reset();
        return CliOutput::fail(ExitFailed, result.message);
    }
    if (bar)
        bar->finish();
    const QByteArray content = job.content();
    QSaveFile file(local);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return CliOutput::fail(ExitCannotOpen, QStringLiteral("cannot write %1").arg(local));
    CliOutput::out() << "downloaded " << content.size() << " bytes to " << local << Qt::endl;
    return ExitOk;
}

int DeviceCommand::flash(CliDeviceLink &link, const QString &path)
{
    FirmwareImage image;
    if (!image.load(path))
        return CliOutput::fail(imageExit(image), image.errorString());

    // The device is known now: its erase unit (a console's 1 KB page, a sector of the
    // layout its bootloader reports) decides where an image may start.
    const int layout = FirmwareUpdateJob::isBootloaderType(link.deviceType())
        ? Amodule::layoutOfVersion(link.version())
        : -1;
    const FirmwareUpdateJob::ImageProblem problem =
        FirmwareUpdateJob::checkImage(image.data(), image.flashBase(), link.deviceType(), layout);
    if (problem != FirmwareUpdateJob::ImageProblem::None)
        return CliOutput::fail(
            ExitUnusable,
            QStringLiteral("%1: %2").arg(
                path, FirmwareUpdateJob::problemText(problem, image.flashBase(), image.size())));

    FirmwareUpdateJob job(&link.module(), image, link.deviceType());
    // The device restarts into its bootloader and is found again: that may take as long as
    // finding it took, and at least half a minute.
    job.setBootWait(qMax(connectTimeoutMs, 30000));
    std::unique_ptr<CliProgress> bar;
    QObject::connect(&job, &FirmwareUpdateJob::stageStarted, [&](int stage) {
        bar.reset();
        switch (stage) {
        case FirmwareUpdateJob::WaitBootloader:
            CliOutput::err() << "waiting for the bootloader..." << Qt::endl;
            break;
        case FirmwareUpdateJob::Erase:
            bar = std::make_unique<CliProgress>(QStringLiteral("erase"), image.size());
            break;
        case FirmwareUpdateJob::Write:
            bar = std::make_unique<CliProgress>(QStringLiteral("write"), image.size());
            break;
        case FirmwareUpdateJob::Verify:
            bar = std::make_unique<CliProgress>(QStringLiteral("verify"), image.size());
            break;
        default:
            break;
        }
    });
    QObject::connect(&job, &DeviceJob::progress, [&](qint64 done, qint64 total) {
        if (!bar)
            return;
        if (done >= total)
            bar->finish();
        else
            bar->update(done);
    });
    const DeviceJob::Result result = link.run(job);
    bar.reset();
    if (!result.ok())
        return CliOutput::fail(ExitFailed, result.message);
    CliOutput::out() << "flashed " << image.size() << " bytes at 0x"
                     << QString::number(image.flashBase(), 16) << "; the device restarts"
                     << Qt::endl;
    return ExitOk;
}
