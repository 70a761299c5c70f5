#include "jobs/devicerestorejob.h"

#include "jobs/filedownloadjob.h"
#include "jobs/fileuploadjob.h"
#include "journal/auditrecord.h"
#include "link/amodule.h"
#include "link/tovikstatus.h"
#include "project/devicetype.h"

#include <QCryptographicHash>

namespace {

QString shown(const QString &answer)
{
    const QString text = answer.trimmed();
    return text.isEmpty() ? QStringLiteral("no answer") : text;
}

bool failed(int err, const QString &answer)
{
    return err != 0 || answer.trimmed().startsWith(QLatin1String("ERROR"));
}

} // namespace

DeviceRestoreJob::DeviceRestoreJob(Amodule *module, const DeviceBackup &backup, QObject *parent)
    : DeviceJob(module, parent)
    , m_backup(backup)
{
}

DeviceRestoreJob::~DeviceRestoreJob()
{
    quit();
}

QString DeviceRestoreJob::fileText(const QByteArray *data)
{
    if (!data)
        return QStringLiteral("absent");
    const QByteArray hash = QCryptographicHash::hash(*data, QCryptographicHash::Sha1);
    return QStringLiteral("%1 bytes, sha1 %2")
        .arg(data->size())
        .arg(QString::fromLatin1(hash.toHex().left(12)));
}

QString DeviceRestoreJob::auditAction() const
{
    // A dry run only reads.
    return dryRun ? QString() : QLatin1String(AuditRecord::restore);
}

QJsonObject DeviceRestoreJob::auditDetails() const
{
    return {{QStringLiteral("serial"), qint64(m_backup.serial)},
            {QStringLiteral("other_serial_allowed"), allowOtherSerial}};
}

void DeviceRestoreJob::begin()
{
    setStep(Identify);
    // What the device said when it was linked (a version request of the job's own would be
    // taken by the facade, and a window, for a new connection).
    type = facade()->deviceType();
    if (type == 0) {
        finishLater(Status::Failed, -1,
                    QStringLiteral("the device has not said which it is; nothing was written"));
        return;
    }
    if (type != m_backup.typeCode) {
        typeRefused = true;
        finishLater(Status::Failed, -1,
                    QStringLiteral("the backup is of a %1 (type %2), the device is a %3 "
                                   "(type %4); nothing was written")
                        .arg(m_backup.typeKey)
                        .arg(m_backup.typeCode)
                        .arg(deviceTypeKey(type))
                        .arg(type));
        return;
    }
    build = TovikStatus::buildNumber(facade()->version());
    for (const DeviceConfigTable::Value &value : DeviceConfigTable::restorable(type, build)) {
        // A value the backup lacks (a unit of an older build) is left alone.
        if (m_backup.values.contains(value.name))
            table.append(value);
    }
    for (auto it = m_backup.files.cbegin(); it != m_backup.files.cend(); ++it) {
        if (DeviceConfigTable::isConfigFile(type, it.key()))
            paths << it.key();
    }
    setStep(ReadValues);
    next = -1;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isRunning())
                readNext();
        },
        Qt::QueuedConnection);
}

void DeviceRestoreJob::readNext()
{
    if (cancelRequested()) {
        finish(Status::Cancelled, -1, QStringLiteral("cancelled; nothing was written"));
        return;
    }
    if (next >= table.size()) {
        setStep(ReadFiles);
        next = 0;
        downloadNext();
        return;
    }
    // The serial number first, then the restorable values.
    const QString name = next < 0 ? QStringLiteral("SerialNumber") : table.at(next).name;
    const bool queued = request(QStringLiteral("GET DESCRIPTOR desc_") + name,
                                [this, name](int err, const QString &answer) {
                                    if (failed(err, answer)) {
                                        finish(Status::Failed, -1,
                                               QStringLiteral("reading %1 answered %2; nothing "
                                                              "was written")
                                                   .arg(name, shown(answer)),
                                               answer);
                                        return;
                                    }
                                    if (next < 0) {
                                        serial = answer.trimmed().toUInt(&serialKnown);
                                    } else {
                                        now.insert(name, answer.trimmed());
                                    }
                                    ++next;
                                    emit progress(next, table.size() + paths.size());
                                    readNext();
                                });
    if (!queued)
        finish(Status::Failed, -1,
               QStringLiteral("%1 could not be asked for; nothing was written").arg(name));
}

void DeviceRestoreJob::downloadNext()
{
    if (cancelRequested()) {
        finish(Status::Cancelled, -1, QStringLiteral("cancelled; nothing was written"));
        return;
    }
    if (next >= paths.size()) {
        compare();
        return;
    }
    download = new FileDownloadJob(facade(), paths.at(next), this);
    connect(download, &DeviceJob::finished, this, &DeviceRestoreJob::fileRead);
    connect(download, &DeviceJob::progress, this, [this] { touch(); });
    download->start();
}

void DeviceRestoreJob::fileRead(const DeviceJob::Result &result)
{
    FileDownloadJob *job = download.data();
    if (!isRunning() || !job || sender() != job)
        return;
    download = nullptr;
    job->deleteLater();
    const QString path = paths.at(next);
    if (result.ok()) {
        nowFiles.insert(path, job->content());
    } else if (result.status == Status::LinkLost) {
        linkLost();
        return;
    } else if (!(result.status == Status::Failed && result.step == FileDownloadJob::Open)) {
        finish(
            result.status, -1,
            QStringLiteral("reading %1 failed: %2; nothing was written").arg(path, result.message),
            result.detail);
        return;
    }
    // A file the device refuses to open is one it does not have.
    ++next;
    emit progress(table.size() + next, table.size() + paths.size());
    downloadNext();
}

void DeviceRestoreJob::compare()
{
    setStep(Compare);
    for (const DeviceConfigTable::Value &value : qAsConst(table)) {
        const QString kept = m_backup.values.value(value.name);
        QString text;
        if (!DeviceBackup::writableValue(value.form, kept, &text)) {
            diffs.clear();
            finish(Status::Failed, -1,
                   QStringLiteral("the backup's %1 \"%2\" is no value that can be written; "
                                  "nothing was written")
                       .arg(value.name, kept));
            return;
        }
        const QString current = now.value(value.name);
        QString currentText;
        const bool same = DeviceConfigTable::writeText(value.form, current, &currentText)
            ? currentText == text
            : current == kept;
        if (!same)
            diffs.append({value.name, current, kept, false, text});
    }
    for (const QString &path : qAsConst(paths)) {
        const QByteArray kept = m_backup.files.value(path);
        const auto it = nowFiles.constFind(path);
        if (it == nowFiles.cend() || *it != kept)
            diffs.append({path, fileText(it == nowFiles.cend() ? nullptr : &*it), fileText(&kept),
                          true, QString()});
    }
    if (dryRun) {
        finish(Status::Done, -1,
               QStringLiteral("%1 differences; dry run, nothing was written").arg(diffs.size()));
        return;
    }
    if (otherSerial() && !allowOtherSerial) {
        serialRefused = true;
        finish(Status::Failed, -1,
               QStringLiteral("the device's serial number is %1, the backup's %2; nothing was "
                              "written")
                   .arg(serial)
                   .arg(m_backup.serial));
        return;
    }
    setStep(WriteValues);
    next = 0;
    writeNext();
}

void DeviceRestoreJob::writeNext()
{
    if (cancelRequested()) {
        failWrite(QStringLiteral("cancelled"));
        return;
    }
    emit progress(next, diffs.size());
    if (next >= diffs.size()) {
        finish(Status::Done, -1,
               diffs.isEmpty() ? QStringLiteral("the device already holds the backup; nothing "
                                                "was written")
                               : QStringLiteral("wrote %1 differences").arg(diffs.size()));
        return;
    }
    const Difference &diff = diffs.at(next);
    if (diff.file) {
        setStep(WriteFiles);
        upload = new FileUploadJob(facade(), diff.name, m_backup.files.value(diff.name), this);
        connect(upload, &DeviceJob::finished, this, &DeviceRestoreJob::uploaded);
        connect(upload, &DeviceJob::progress, this, [this] { touch(); });
        upload->start();
        return;
    }
    const QString line =
        QStringLiteral("SET DESCRIPTOR desc_") + diff.name + QLatin1Char(' ') + diff.written;
    const bool queued = request(line, [this](int err, const QString &answer) {
        if (failed(err, answer)) {
            failWrite(
                QStringLiteral("writing %1 answered %2").arg(diffs.at(next).name, shown(answer)),
                answer);
            return;
        }
        ++written;
        ++next;
        writeNext();
    });
    if (!queued)
        failWrite(QStringLiteral("%1 could not be written").arg(diff.name));
}

void DeviceRestoreJob::uploaded(const DeviceJob::Result &result)
{
    FileUploadJob *job = upload.data();
    if (!isRunning() || !job || sender() != job)
        return;
    upload = nullptr;
    job->deleteLater();
    if (!result.ok()) {
        if (result.status == Status::LinkLost) {
            linkLost();
            return;
        }
        failWrite(
            QStringLiteral("uploading %1 failed: %2").arg(diffs.at(next).name, result.message),
            result.detail);
        return;
    }
    ++written;
    ++next;
    writeNext();
}

void DeviceRestoreJob::failWrite(const QString &why, const QString &detail)
{
    const Status status = cancelRequested()   ? Status::Cancelled
        : facade() && facade()->isConnected() ? Status::Failed
                                              : Status::LinkLost;
    finish(status, next,
           QStringLiteral("%1; %2 of %3 differences were written")
               .arg(why)
               .arg(written)
               .arg(diffs.size()),
           detail);
}

void DeviceRestoreJob::dropChildren()
{
    for (DeviceJob *job :
         {static_cast<DeviceJob *>(download.data()), static_cast<DeviceJob *>(upload.data())}) {
        if (job) {
            job->disconnect(this);
            delete job;
        }
    }
    download = nullptr;
    upload = nullptr;
}

void DeviceRestoreJob::abort()
{
    // A transfer stops at its next block; a single request ends with its answer.
    if (download)
        download->cancel();
    if (upload)
        upload->cancel();
}

void DeviceRestoreJob::stop()
{
    dropChildren();
}
