#include "gui/devicewindowregistry.h"

#include "project/projectdevice.h"

#include <QWidget>

bool DeviceWindowRegistry::kindForType(int type, Kind *kind)
{
    Kind result;
    switch (type) {
    case DeviceType::Tovik2:
    case DeviceType::Norda410x:
    case DeviceType::Norda4200:
    case DeviceType::Kv510:
        result = Kind::CentralUnit;
        break;
    case DeviceType::Lumo4:
        result = Kind::FourLineUnit;
        break;
    case DeviceType::Horn:
        result = Kind::Loudspeaker;
        break;
    case DeviceType::IpPult:
        result = Kind::IpConsole;
        break;
    case DeviceType::Media:
        result = Kind::MediaConverter;
        break;
    case DeviceType::BexarBoot:
    case DeviceType::Bootloader:
        result = Kind::Firmware;
        break;
    default:
        return false;
    }
    if (kind)
        *kind = result;
    return true;
}

void DeviceWindowRegistry::setFactory(Kind kind, const Factory &factory)
{
    if (factory)
        m_factories.insert(int(kind), factory);
    else
        m_factories.remove(int(kind));
}

bool DeviceWindowRegistry::canOpen(Kind kind) const
{
    return m_factories.contains(int(kind));
}

bool DeviceWindowRegistry::canOpenFor(const ProjectDevice *device) const
{
    Kind kind;
    return device && kindForType(device->type, &kind) && canOpen(kind);
}

QWidget *DeviceWindowRegistry::open(Kind kind, ProjectDevice *device,
                                    const DeviceWindowContext &context) const
{
    if (!device || !canOpen(kind))
        return nullptr;
    QWidget *window = m_factories.value(int(kind))(device, context);
    if (!window)
        return nullptr;
    if (!window->isWindow())
        window->setWindowFlag(Qt::Window, true);
    window->setWindowModality(Qt::ApplicationModal);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}
