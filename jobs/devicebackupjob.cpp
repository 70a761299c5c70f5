#include "jobs/devicebackupjob.h"

#include "jobs/filedownloadjob.h"
#include "jobs/filelistjob.h"
#include "journal/auditrecord.h"
#include "link/amodule.h"
#include "link/deviceconfigtable.h"
#include "link/tovikstatus.h"
#include "project/devicetype.h"

namespace {

QString shown(const QString &answer)
{
    const QString text = answer.trimmed();
    return text.isEmpty() ? QStringLiteral("no answer") : text;
}

// The value of a descriptor answer as the facade hands it out.
QString valueOf(const QString &answer)
{
    return answer.trimmed();
}

} // namespace

DeviceBackupJob::DeviceBackupJob(Amodule *module, QObject *parent)
    : DeviceJob(module, parent)
{
}

DeviceBackupJob::~DeviceBackupJob()
{
    quit();
}

QString DeviceBackupJob::auditAction() const
{
    return QLatin1String(AuditRecord::backup);
}

QJsonObject DeviceBackupJob::auditDetails() const
{
    return QJsonObject();
}

void DeviceBackupJob::begin()
{
    setStep(Identify);
    // What the device said when it was linked (a version request of the job's own would be
    // taken by the facade, and a window, for a new connection).
    const int type = facade()->deviceType();
    const QString version = facade()->version();
    const QString key = deviceTypeKey(type);
    if (type == 0) {
        finishLater(Status::Failed, -1, QStringLiteral("the device has not said which it is"));
        return;
    }
    names = DeviceConfigTable::readAll(type, TovikStatus::buildNumber(version));
    if (names.isEmpty()) {
        finishLater(Status::Failed, -1,
                    QStringLiteral("a %1 has no configuration to back up").arg(key));
        return;
    }
    for (const DeviceConfigTable::Value &value :
         DeviceConfigTable::restorable(type, TovikStatus::buildNumber(version)))
        writtenForms.insert(value.name, value.form);
    m_backup.typeKey = key;
    m_backup.typeCode = type;
    m_backup.firmware = version;
    m_backup.time = QDateTime::currentDateTimeUtc();
    setStep(ReadValues);
    next = 0;
    // From the event loop: a facade that refuses at once ends the job there.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isRunning())
                readNext();
        },
        Qt::QueuedConnection);
}

void DeviceBackupJob::emitProgress()
{
    emit progress(m_backup.values.size() + m_backup.files.size() + absent.size(),
                  names.size() + qMax(paths.size(), 1));
}

void DeviceBackupJob::readNext()
{
    if (cancelRequested()) {
        finish(Status::Cancelled, -1, QStringLiteral("backup cancelled"));
        return;
    }
    if (next >= names.size()) {
        const QString serial = m_backup.values.value(QStringLiteral("SerialNumber"));
        bool ok = false;
        m_backup.serial = serial.toUInt(&ok);
        if (!ok) {
            finish(Status::Failed, -1,
                   QStringLiteral("the device's serial number is not a number: %1").arg(serial));
            return;
        }
        listKeys();
        return;
    }
    const QString line = QStringLiteral("GET DESCRIPTOR ") + names.at(next);
    const bool queued = request(line, [this](int err, const QString &answer) {
        const QString name = names.at(next).mid(5);
        const QString value = valueOf(answer);
        if (err != 0 || value.startsWith(QLatin1String("ERROR"))) {
            finish(Status::Failed, -1,
                   QStringLiteral("reading %1 answered %2; nothing was saved")
                       .arg(name, shown(answer)),
                   answer);
            return;
        }
        // Saved as it is or not at all: a value changed to one a restore takes would
        // restore something the device never held.
        QString why;
        if (DeviceBackup::valueTextOk(value, &why)) {
            why.clear();
            QString written;
            const auto form = writtenForms.constFind(name);
            if (form != writtenForms.cend() && !DeviceBackup::writableValue(*form, value, &written))
                why = QStringLiteral("it is no value that can be written");
        }
        if (!why.isEmpty()) {
            finish(Status::Failed, -1,
                   QStringLiteral("the device's %1 \"%2\" could not be restored from a backup "
                                  "(%3); nothing was saved")
                       .arg(name, value, why),
                   answer);
            return;
        }
        m_backup.values.insert(name, value);
        ++next;
        emitProgress();
        readNext();
    });
    if (!queued)
        finish(Status::Failed, -1, QStringLiteral("%1 could not be asked for").arg(names.at(next)));
}

void DeviceBackupJob::listKeys()
{
    QString folder;
    paths = DeviceConfigTable::files(m_backup.typeCode, &folder);
    if (folder.isEmpty()) {
        setStep(ReadFiles);
        next = 0;
        downloadNext();
        return;
    }
    setStep(ListKeys);
    listing = new FileListJob(facade(), folder, this);
    connect(listing, &DeviceJob::finished, this, [this](const DeviceJob::Result &result) {
        if (!isRunning())
            return;
        FileListJob *job = listing.data();
        listing = nullptr;
        if (result.status == Status::LinkLost) {
            linkLost();
            return;
        }
        // A unit without the folder has no key files.
        if (result.ok() && job) {
            for (const FileListJob::Entry &entry : job->entries()) {
                if (!entry.folder &&
                    DeviceConfigTable::isConfigFile(m_backup.typeCode, entry.path)) {
                    paths << entry.path;
                    if (entry.size >= 0)
                        listedSizes.insert(entry.path, entry.size);
                }
            }
        }
        if (job)
            job->deleteLater();
        setStep(ReadFiles);
        next = 0;
        downloadNext();
    });
    listing->start();
}

void DeviceBackupJob::downloadNext()
{
    if (cancelRequested()) {
        finish(Status::Cancelled, -1, QStringLiteral("backup cancelled"));
        return;
    }
    if (next >= paths.size()) {
        emitProgress();
        finish(Status::Done, -1,
               QStringLiteral("%1 values and %2 files of %3 %4")
                   .arg(m_backup.values.size())
                   .arg(m_backup.files.size())
                   .arg(m_backup.typeKey)
                   .arg(m_backup.serial));
        return;
    }
    download = new FileDownloadJob(facade(), paths.at(next), this);
    // A file whose length the listing gave must come whole.
    download->setExpectedSize(listedSizes.value(paths.at(next), -1));
    connect(download, &DeviceJob::finished, this, &DeviceBackupJob::fileDone);
    connect(download, &DeviceJob::progress, this, [this] { touch(); });
    download->start();
}

void DeviceBackupJob::fileDone(const DeviceJob::Result &result)
{
    FileDownloadJob *job = download.data();
    if (!isRunning() || !job || sender() != job)
        return;
    download = nullptr;
    job->deleteLater();
    const QString path = paths.at(next);
    if (result.ok()) {
        m_backup.files.insert(path, job->content());
    } else if (result.status == Status::Failed && result.step == FileDownloadJob::Open) {
        absent << path;
    } else if (result.status == Status::LinkLost) {
        linkLost();
        return;
    } else {
        finish(result.status, -1,
               QStringLiteral("downloading %1 failed: %2; nothing was saved")
                   .arg(path, result.message),
               result.detail);
        return;
    }
    ++next;
    emitProgress();
    downloadNext();
}

void DeviceBackupJob::dropChildren()
{
    for (DeviceJob *job :
         {static_cast<DeviceJob *>(download.data()), static_cast<DeviceJob *>(listing.data())}) {
        if (job) {
            job->disconnect(this);
            delete job;
        }
    }
    download = nullptr;
    listing = nullptr;
}

void DeviceBackupJob::abort()
{
    // A download stops at its next block; a single request ends with its answer.
    if (download)
        download->cancel();
}

void DeviceBackupJob::stop()
{
    dropChildren();
}
