#pragma once

#include "jobs/devicejob.h"
#include "link/devicebackup.h"
#include "link/deviceconfigtable.h"

#include <QList>
#include <QPointer>
#include <QStringList>

class FileDownloadJob;
class FileUploadJob;

// Writes a backup back into a device, only where the device differs from it. The job takes
// the type the device reported when it was linked (a backup of another type is refused
// before anything is read or written),
// reads the restorable values and the configuration files the backup holds as they are now,
// compares them value by value and file by file, and then, unless it only compares, writes
// what differs: the descriptors first, in the table's order, then the files. A device with
// another serial number is refused before anything is written unless the caller allowed it
// (after asking the user). Values the table does not name (read-only values, factory values,
// the serial number) are never written.
class DeviceRestoreJob : public DeviceJob {
    Q_OBJECT

public:
    // Where the job ended (Result::step).
    enum Step { Identify = 1, ReadValues, ReadFiles, Compare, WriteValues, WriteFiles };
    Q_ENUM(Step)

    struct Difference {
        // A descriptor name ("PpkCtrlEnable[3]") or a device path ("0:\config.ini").
        QString name;
        // As read from the device now, and as the backup holds it ("absent" for a file the
        // device does not have; a file as its size and checksum).
        QString device;
        QString backup;
        bool file = false;
        // The text written for a value ("1" for "да").
        QString written;
    };

    DeviceRestoreJob(Amodule *module, const DeviceBackup &backup, QObject *parent = nullptr);
    ~DeviceRestoreJob() override;

    // Only read and compare: nothing is written (set before start()).
    void setDryRun(bool on) { dryRun = on; }
    // Write into a device whose serial number is not the backup's (set before start()).
    void setAllowOtherSerial(bool on) { allowOtherSerial = on; }

    // What the device reported, once it was read.
    int deviceType() const { return type; }
    quint32 deviceSerial() const { return serial; }
    // The device's serial number differs from the backup's (known after the reading).
    bool otherSerial() const { return serialKnown && serial != m_backup.serial; }
    // Whether the job ended because of the type or the serial number, before writing.
    bool refusedType() const { return typeRefused; }
    bool refusedSerial() const { return serialRefused; }
    // The differences, once the comparison is done, in the order they are written.
    const QList<Difference> &differences() const { return diffs; }
    // How many of them were written.
    int writtenCount() const { return written; }

    // A file as a difference shows it: "N bytes, sha1 " + its first 12 hex digits, or "absent".
    static QString fileText(const QByteArray *data);

protected:
    void begin() override;
    QString auditAction() const override;
    QJsonObject auditDetails() const override;
    void abort() override;
    void stop() override;

private:
    void readNext();
    void downloadNext();
    void fileRead(const DeviceJob::Result &result);
    void compare();
    void writeNext();
    void uploaded(const DeviceJob::Result &result);
    void failWrite(const QString &why, const QString &detail = QString());
    void dropChildren();

    DeviceBackup m_backup;
    bool dryRun = false;
    bool allowOtherSerial = false;
    int type = 0;
    int build = 0;
    quint32 serial = 0;
    bool serialKnown = false;
    bool typeRefused = false;
    bool serialRefused = false;
    QVector<DeviceConfigTable::Value> table;
    QMap<QString, QString> now;
    QStringList paths;
    QMap<QString, QByteArray> nowFiles;
    QList<Difference> diffs;
    int next = 0;
    int written = 0;
    QPointer<FileDownloadJob> download;
    QPointer<FileUploadJob> upload;
};
