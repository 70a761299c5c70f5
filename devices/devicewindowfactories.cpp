#include "devices/devicewindowfactories.h"

#include "devices/firmwareupdatewindow.h"
#include "devices/horndevicewindow.h"
#include "devices/ippultdevicewindow.h"
#include "devices/lumodevicewindow.h"
#include "devices/mediadevicewindow.h"
#include "devices/tovikdevicewindow.h"
#include "devices/uploadprojectwindow.h"

QList<DeviceWindowRegistry::Kind> DeviceWindowFactories::kinds()
{
    return {DeviceWindowRegistry::Kind::CentralUnit,    DeviceWindowRegistry::Kind::FourLineUnit,
            DeviceWindowRegistry::Kind::Loudspeaker,    DeviceWindowRegistry::Kind::IpConsole,
            DeviceWindowRegistry::Kind::MediaConverter, DeviceWindowRegistry::Kind::Firmware,
            DeviceWindowRegistry::Kind::ProjectUpload};
}

DeviceWindowRegistry::Factory DeviceWindowFactories::factory(DeviceWindowRegistry::Kind kind)
{
    switch (kind) {
    case DeviceWindowRegistry::Kind::CentralUnit:
        return [](ProjectDevice *device, const DeviceWindowContext &context) -> QWidget * {
            return new TovikDeviceWindow(device, context);
        };
    case DeviceWindowRegistry::Kind::FourLineUnit:
        return [](ProjectDevice *device, const DeviceWindowContext &context) -> QWidget * {
            return new LumoDeviceWindow(device, context);
        };
    case DeviceWindowRegistry::Kind::Loudspeaker:
        return [](ProjectDevice *device, const DeviceWindowContext &context) -> QWidget * {
            return new HornDeviceWindow(device, context);
        };
    case DeviceWindowRegistry::Kind::IpConsole:
        return [](ProjectDevice *device, const DeviceWindowContext &context) -> QWidget * {
            return new IpPultDeviceWindow(device, context);
        };
    case DeviceWindowRegistry::Kind::MediaConverter:
        return [](ProjectDevice *device, const DeviceWindowContext &context) -> QWidget * {
            return new MediaDeviceWindow(device, context);
        };
    case DeviceWindowRegistry::Kind::Firmware:
        return [](ProjectDevice *device, const DeviceWindowContext &context) -> QWidget * {
            return new FirmwareUpdateWindow(device, context);
        };
    case DeviceWindowRegistry::Kind::ProjectUpload:
        return [](ProjectDevice *device, const DeviceWindowContext &context) -> QWidget * {
            return new UploadProjectWindow(device, context);
        };
    default:
        return nullptr;
    }
}

void DeviceWindowFactories::install(DeviceWindowRegistry *registry)
{
    for (DeviceWindowRegistry::Kind kind : kinds())
        registry->setFactory(kind, factory(kind));
}
