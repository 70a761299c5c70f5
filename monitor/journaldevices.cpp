#include "monitor/journaldevices.h"

#include "project/devicetype.h"
#include "project/projectdevice.h"
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
