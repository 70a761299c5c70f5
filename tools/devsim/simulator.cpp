#include "tools/devsim/simulator.h"

#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "tools/devsim/simdevice.h"

Simulator::Simulator(QObject *parent)
    : QObject(parent)
{
}

bool Simulator::isLoopback(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol &&
        (address.toIPv4Address() >> 24) == 127;
}

QHostAddress Simulator::nextFreeAddress() const
{
    quint32 candidate = QHostAddress(QStringLiteral("127.0.0.2")).toIPv4Address();
    while (deviceAt(QHostAddress(candidate)))
        ++candidate;
    return QHostAddress(candidate);
}

SimDevice *Simulator::addDevice(const QString &definition, QString *error)
{
    auto fail = [error](const QString &message) -> SimDevice * {
        if (error)
            *error = message;
        return nullptr;
    };
    const QString identity = definition.section(QLatin1Char('@'), 0, 0);
    const QString addressText = definition.section(QLatin1Char('@'), 1);
    const QString key = identity.section(QLatin1Char(':'), 0, 0);
    bool serialOk = false;
    const int serial = identity.section(QLatin1Char(':'), 1).toInt(&serialOk);
    int type = deviceTypeFromKey(key);
    if (key.compare(QLatin1String("bootloader"), Qt::CaseInsensitive) == 0)
        type = DeviceType::Bootloader;
    if (type == DeviceType::Unknown || !serialOk)
        return fail(
            QStringLiteral("bad device '%1': expected TYPEKEY:SERIAL[@ADDRESS]").arg(definition));

    QHostAddress address = nextFreeAddress();
    if (!addressText.isEmpty() && !address.setAddress(addressText))
        return fail(QStringLiteral("bad address in '%1'").arg(definition));
    if (!isLoopback(address))
        return fail(QStringLiteral("address %1 is not a loopback address (127.0.0.0/8)")
                        .arg(address.toString()));
    if (deviceAt(address))
        return fail(QStringLiteral("address %1 is used twice").arg(address.toString()));
    return addDevice(type, serial, address);
}

SimDevice *Simulator::addDevice(int type, int serial, const QHostAddress &address)
{
    auto *device = new SimDevice(type, serial, address, this);
    m_devices.append(device);
    if (!m_byAddress.contains(address.toIPv4Address()))
        m_byAddress.insert(address.toIPv4Address(), device);
    return device;
}

int Simulator::addProjectDevices(const QString &projectPath, QString *error)
{
    ProjectModel project(ProjectModel::Journals::None);
    if (project.load(projectPath) != 0) {
        if (error)
            *error = QStringLiteral("cannot read project %1").arg(projectPath);
        return -1;
    }
    int added = 0;
    for (const ProjectDevice *device : project.allDevices()) {
        if (!device->ip_enabled)
            continue;
        const QHostAddress address(device->ip_addr);
        if (!isLoopback(address)) {
            if (error)
                *error = QStringLiteral("device %1 of the project has address '%2', which is "
                                        "not a loopback address")
                             .arg(device->serial)
                             .arg(device->ip_addr);
            return -1;
        }
        if (deviceAt(address))
            continue;
        addDevice(device->type, device->serial, address);
        ++added;
    }
    return added;
}

SimDevice *Simulator::deviceAt(const QHostAddress &address) const
{
    bool ipv4 = false;
    const quint32 key = address.toIPv4Address(&ipv4);
    return ipv4 ? m_byAddress.value(key) : nullptr;
}

SimDevice *Simulator::deviceBySerial(int serial) const
{
    for (SimDevice *device : m_devices) {
        if (device->serial == serial)
            return device;
    }
    return nullptr;
}
