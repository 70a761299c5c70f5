#include "monitor/usbsearch.h"

#include "link/cdcusbprocess.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

ProjectDevice *UsbSearch::matchUnclaimed(ProjectModel &project, const ProjectDevice *found,
                                         const QList<ProjectDevice *> &claimed)
{
    const QList<ProjectDevice *> devices = project.allDevices();
    for (ProjectDevice *candidate : devices) {
        if (candidate->serial == found->serial && !claimed.contains(candidate) &&
            (found->serial != 0 || candidate->type == found->type))
            return candidate;
    }
    return nullptr;
}

UsbSearch::Result UsbSearch::run(ProjectModel &project)
{
    project.resetPortFlags();
    return merge(project, CdcUsbProcess::findoutPorts());
}

UsbSearch::Result UsbSearch::merge(ProjectModel &project, const QList<ProjectDevice *> &found)
{
    Result result;
    for (ProjectDevice *device : found) {
        ProjectDevice *known = project.findDeviceBySerial(device->serial);
        // Bootloaders and RS-485 consoles all report serial number 0: for them the type must
        // agree as well, and no project device takes two found devices (a device added by
        // this search has taken its own).
        const QList<ProjectDevice *> claimed = result.matched + result.added;
        if (known &&
            (claimed.contains(known) || (device->serial == 0 && known->type != device->type)))
            known = matchUnclaimed(project, device, claimed);
        if (known && known != device) {
            // The project device must find this very port again when its window opens.
            known->setPort(device->portInfo);
            known->usbVendorId = device->usbVendorId;
            known->usbProductId = device->usbProductId;
            known->firmwareVersion = device->firmwareVersion;
            emit project.nodeChanged(known);
            result.matched.append(known);
            delete device;
        } else if (!known) {
            device->portFound = true;
            project.addDevice(nullptr, device);
            result.added.append(device);
        }
    }
    return result;
}
