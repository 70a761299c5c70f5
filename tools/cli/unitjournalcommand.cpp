#include "tools/cli/unitjournalcommand.h"

#include "jobs/unitjournalreadjob.h"
#include "link/unitjournalexport.h"
#include "project/projectdevice.h"
#include "tools/cli/clidevicelink.h"
#include "tools/cli/clioutput.h"
#include "tools/cli/exitcode.h"

#include <QFileInfo>

namespace {

// The serial number for the spreadsheet's header; 0 when the unit does not tell it.
quint64 readSerial(CliDeviceLink &link)
{
    QString value;
    bool failed = false;
    if (link.readDescriptor(QStringLiteral("desc_SerialNumber"), &value, &failed, 15000) !=
            CliDeviceLink::Read::Answered ||
        failed)
        return 0;
    bool ok = false;
    const quint64 serial = value.trimmed().toULongLong(&ok);
    return ok ? serial : 0;
}

} // namespace

int UnitJournalCommand::run(const ProjectDevice *target, quint16 port, int connectTimeoutMs,
                            const QStringList &params)
{
    QString xlsx;
    if (params.size() == 2 && params.at(0) == QLatin1String("--xlsx") && !params.at(1).isEmpty())
        xlsx = params.at(1);
    else if (!params.isEmpty())
        return CliOutput::fail(ExitUsage, QStringLiteral("journal takes only --xlsx OUT.xlsx"));
    if (!target)
        return CliOutput::fail(
            ExitUsage, QStringLiteral("say which device: --tcp HOST[:PORT] or --usb [VID:PID]"));
    if (!xlsx.isEmpty() && QFileInfo(xlsx).isDir())
        return CliOutput::fail(ExitCannotOpen, QStringLiteral("%1 is a folder").arg(xlsx));

    CliDeviceLink link(target, port);
    if (!link.waitIdentified(connectTimeoutMs)) {
        const QString where = target->ip_enabled
            ? QStringLiteral("%1:%2").arg(target->ip_addr).arg(port)
            : QStringLiteral("a USB port with ids %1:%2")
                  .arg(target->usbVendorId, 4, 16, QLatin1Char('0'))
                  .arg(target->usbProductId, 4, 16, QLatin1Char('0'));
        return CliOutput::fail(ExitCannotOpen,
                               QStringLiteral("no device answered at %1").arg(where));
    }

    UnitJournalReadJob job(&link.module());
    const DeviceJob::Result result = link.run(job);
    if (!result.ok())
        return CliOutput::fail(
            ExitFailed, QStringLiteral("reading the journal failed: %1").arg(result.message));
    QVector<QStringList> rows;
    QTextStream &out = CliOutput::out();
    for (const UnitJournalRecord &record : job.records()) {
        const QStringList texts = UnitJournalExport::rowTexts(record);
        QStringList shown;
        for (const QString &text : texts)
            shown << CliOutput::printable(text);
        out << shown.join(QLatin1Char('\t')) << '\n';
        rows.append(texts);
    }
    out.flush();
    if (xlsx.isEmpty())
        return ExitOk;
    const quint64 serial = readSerial(link);
    if (!UnitJournalExport::write(xlsx, rows, link.deviceType(), serial))
        return CliOutput::fail(ExitCannotOpen, QStringLiteral("cannot write %1").arg(xlsx));
    return ExitOk;
}
