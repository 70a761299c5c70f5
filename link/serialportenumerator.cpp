#include "link/serialportenumerator.h"

#include "link/linklog.h"
#include "link/virtualportregistry.h"
#include "project/projectdevice.h"

#include <QFileInfo>
#include <QSerialPortInfo>

namespace {

QString orBlank(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("blankString") : text;
}

QString idOrBlank(bool has, uint16_t id)
{
    return has && id != 0 ? QString::number(id, 16) : QStringLiteral("blankString");
}

} // namespace

QList<PortDescription> SerialPortEnumerator::availablePorts()
{
    QList<PortDescription> ports;
    if (qgetenv(virtualOnlyVariable) != "1") {
        const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : system)
            ports.append(PortDescription(info));
    }
    ports.append(VirtualPortRegistry::ports());
    return ports;
}

bool SerialPortEnumerator::isPresent(const PortDescription &port)
{
    if (port.isNull() || !QFileInfo::exists(port.systemLocation))
        return false;
    if (!port.isVirtual)
        return true;
    const QList<PortDescription> entries = VirtualPortRegistry::ports();
    for (const PortDescription &entry : entries) {
        if (entry.systemLocation == port.systemLocation)
            return true;
    }
    return false;
}

bool SerialPortEnumerator::findPort(PortDescription &out, uint16_t vendorId, uint16_t productId,
                                    bool log)
{
    const QList<PortDescription> ports = availablePorts();
    for (const PortDescription &port : ports) {
        if (log)
            logPort(port);
        if (port.matches(ProjectDevice::defaultUsbVendorId, ProjectDevice::defaultUsbProductId) ||
            port.matches(vendorId, productId)) {
            out = port;
            return true;
        }
    }
    return false;
}

void SerialPortEnumerator::logPort(const PortDescription &port)
{
    qCDebug(lcLink).noquote() << "Port name:" << orBlank(port.portName)
                              << "description:" << orBlank(port.description)
                              << "manufacturer:" << orBlank(port.manufacturer)
                              << "serial number:" << orBlank(port.serialNumber)
                              << "location:" << orBlank(port.systemLocation)
                              << "vendor id:" << idOrBlank(port.hasVendorId, port.vendorId)
                              << "product id:" << idOrBlank(port.hasProductId, port.productId);
}
