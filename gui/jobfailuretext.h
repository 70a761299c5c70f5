#pragma once

#include "jobs/devicejob.h"

#include <QString>

// Why a device job ended without success, as the windows tell the user: one Russian
// sentence chosen by how the job ended (the link lost, cancelled, failed) and, for a
// failure, by the step it ended at. The job's own English message is for the log and the
// command-line tool only; the windows write it to the log and show these.
class JobFailureText {
public:
    // Reading a device's configuration for a backup (DeviceBackupJob).
    static QString backup(const DeviceJob::Result &result);
    // Comparing and writing a backup (DeviceRestoreJob).
    static QString restore(const DeviceJob::Result &result);
    // Writing a file into the device (FileUploadJob).
    static QString upload(const DeviceJob::Result &result);
    // Any other job: by how it ended only.
    static QString any(const DeviceJob::Result &result);
};
