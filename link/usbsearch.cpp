#include "link/usbsearch.h"

#include "link/cdcusbprocess.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

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
