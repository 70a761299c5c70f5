#pragma once

#include <QList>
#include <QtGlobal>

class ProjectDevice;

// The device counters shown above the tree and in every group row: all devices, those not
// connected, those connected with faults, and those of them with the housing opened. A
// device counts at most once in each number; a device that is not connected counts only
// there, whatever its last faults; a watched device without data counts as faulty.
struct DeviceCounts {
    int all = 0;
    int notConnected = 0;
    int faulty = 0;
    int tampered = 0;

    // Counts `devices` as connected or not at `nowMs` (ms since the epoch) with seconds of
    // `secondMs` milliseconds (ProjectDevice::isOnlineAt).
    static DeviceCounts of(const QList<ProjectDevice *> &devices, qint64 nowMs,
                           int secondMs = 1000);
    // The same, now.
    static DeviceCounts of(const QList<ProjectDevice *> &devices);
};
