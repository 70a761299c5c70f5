#pragma once

#include <QString>
#include <QStringList>

class CliDeviceLink;
struct DeviceBackup;

// "norda-cli device ... backup OUT.json" and "... restore IN.json [--dry-run] [--force]":
// saves the configuration of the device that answers into a backup file, or writes a backup
// back into it where the device differs, printing the differences one a line (name, device
// value, backup value, tab-separated).
class BackupCommand {
public:
    // The arguments of "restore" and the backup file they name, read and checked before the
    // device is asked anything; returns 0, or the exit status after printing why not.
    static int loadRestore(const QStringList &params, DeviceBackup *backup, bool *dryRun,
                           bool *force);
    static int backup(CliDeviceLink &link, const QString &path);
    // A backup of another device type is refused (exit 3); so is a device with another
    // serial number unless `force` (exit 3, the differences printed, nothing written).
    static int restore(CliDeviceLink &link, const DeviceBackup &backup, bool dryRun, bool force);
};
