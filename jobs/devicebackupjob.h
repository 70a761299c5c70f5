#pragma once

#include "jobs/devicejob.h"
#include "link/devicebackup.h"

#include <QHash>
#include <QPointer>
#include <QStringList>

class FileDownloadJob;
class FileListJob;

// Reads a device's configuration into a DeviceBackup: takes the type and version the device
// reported when it was linked, reads its type's read-all list one descriptor at a time and
// downloads its configuration files (and, on a central unit, every console key file it holds). Any
// descriptor the device does not answer with a value fails the job: a failed answer is never
// kept as a value. A configuration file the device refuses to open is one it does not have
// and is left out; any other failed download fails the job. A value that a restore could
// not take (DeviceBackup::valueTextOk, writableValue: a name holding a carriage return, an
// empty name) fails the job as well, naming it: the backup is refused when it is taken,
// not found unusable when it is needed.
class DeviceBackupJob : public DeviceJob {
    Q_OBJECT

public:
    // Where the job ended (Result::step).
    enum Step { Identify = 1, ReadValues, ListKeys, ReadFiles };
    Q_ENUM(Step)

    explicit DeviceBackupJob(Amodule *module, QObject *parent = nullptr);
    ~DeviceBackupJob() override;

    // The backup, once the job is done.
    const DeviceBackup &backup() const { return m_backup; }
    // The configuration files the device did not have.
    QStringList absentFiles() const { return absent; }

protected:
    void begin() override;
    QString auditAction() const override;
    QJsonObject auditDetails() const override;
    void abort() override;
    void stop() override;

private:
    void readNext();
    void listKeys();
    void downloadNext();
    void fileDone(const DeviceJob::Result &result);
    void dropChildren();
    void emitProgress();

    DeviceBackup m_backup;
    QStringList names;
    // The form in which a restore writes each value it writes.
    QHash<QString, DeviceConfigTable::Form> writtenForms;
    QStringList paths;
    // Lengths of the files that a folder listing gave.
    QHash<QString, qint64> listedSizes;
    QStringList absent;
    int next = 0;
    QPointer<FileDownloadJob> download;
    QPointer<FileListJob> listing;
};
