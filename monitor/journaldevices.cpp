#include "monitor/journaldevices.h"

#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

ExportDevices JournalDevices::snapshot(const ProjectModel *project)
{
    ExportDevices devices;
    if (!project)
        return devices;
    for (const ProjectDevice *device : project->allDevices()) {
        if (!devices.contains(device->id_obj))
            devices.insert(device->id_obj, {deviceTypeName(device->type), device->tag});
    }
    return devices;
}

QVector<int> JournalDevices::withSerial(const ProjectModel *project, quint32 serial)
{
    QVector<int> ids;
    for (const ProjectDevice *device : project->allDevices()) {
        if (device->serial == serial)
            ids << device->id_obj;
    }
    return ids;
}

QVector<int> JournalDevices::ofType(const ProjectModel *project, int type)
{
    QVector<int> ids;
    for (const ProjectDevice *device : project->allDevices()) {
        if (device->type == type)
            ids << device->id_obj;
    }
    return ids;
}

QVector<int> JournalDevices::inGroup(const ProjectModel *project, const QString &groupName)
{
    QVector<int> ids;
    for (const ProjectGroup *group : project->allGroups()) {
        if (group->name != groupName)
            continue;
        for (const ProjectDevice *device : group->allDevices()) {
            if (!ids.contains(device->id_obj))
                ids << device->id_obj;
        }
    }
    return ids;
}
