#include "project/devicecounts.h"

#include "project/devicefault.h"
#include "project/projectdevice.h"

#include <QDateTime>

DeviceCounts DeviceCounts::of(const QList<ProjectDevice *> &devices, qint64 nowMs, int secondMs)
{
    DeviceCounts counts;
    counts.all = devices.size();
    for (const ProjectDevice *device : devices) {
        // Nobody knows how a device without data is: that is a fault of the site.
        if (device->noData()) {
            ++counts.faulty;
            continue;
        }
        if (!device->isOnlineAt(nowMs, secondMs)) {
            ++counts.notConnected;
            continue;
        }
        if (device->faults.isEmpty())
            continue;
        ++counts.faulty;
        for (const DeviceFault &fault : device->faults) {
            if (fault.kind == DeviceFault::Tamper) {
                ++counts.tampered;
                break;
            }
        }
    }
    return counts;
}

DeviceCounts DeviceCounts::of(const QList<ProjectDevice *> &devices)
{
    return of(devices, QDateTime::currentMSecsSinceEpoch());
}
