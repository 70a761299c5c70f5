#include "link/portdiscovery.h"

#include "link/cdcusbdevice.h"
#include "link/linklog.h"
#include "link/serialportenumerator.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"

namespace {

// One answer line within the discovery wait, without any "\r" and "\n".
QString readAnswerLine(CdcUsbDevice &transport)
{
    if (!transport.waitForLine(PortDiscovery::answerWaitMs))
        return QString();
    QString line = ConnectionDevice::decode(transport.readLine());
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    return line;
}

bool isBootloaderType(int type)
{
    return type == DeviceType::Bootloader || type == DeviceType::BexarTovik2 ||
        type == DeviceType::BexarBoot;
}

} // namespace

PortDiscovery::Probe PortDiscovery::probe(const PortDescription &port)
{
    Probe result;
    result.port = port;
    SerialPortEnumerator::logPort(port);
    qCDebug(lcLink).noquote() << "Findout USB CDC port " + port.serialNumber + ".";

    CdcUsbDevice transport;
    if (!transport.open(port)) {
        result.failure = QStringLiteral("cannot be opened");
        return result;
    }
    result.opened = true;
    auto fail = [&](const QString &reason) {
        transport.close();
        result.failure = reason;
        return result;
    };

    transport.clearReceived();
    transport.write(QStringLiteral("GET VERSION\r\n"));
    result.versionLine = readAnswerLine(transport);
    if (result.versionLine.isEmpty())
        return fail(QStringLiteral("no answer"));
    if (readAnswerLine(transport) != QLatin1String("OK"))
        return fail(QStringLiteral("version not confirmed with OK"));
    const QStringList words = result.versionLine.split(QLatin1Char(' '));
    if (words.size() < 2)
        return fail(QStringLiteral("version answer has no version"));
    result.type = deviceTypeFromKey(words.at(0));
    if (result.type <= 0)
        return fail(QStringLiteral("unknown type key '%1'").arg(words.at(0)));
    result.version = words.at(1);

    // Bootloaders and the RS-485 console (type 6) are not asked for a serial number;
    // theirs is 0.
    if (!isBootloaderType(result.type)) {
        transport.write(QStringLiteral("GET DESCRIPTOR desc_SerialNumber\r\n"));
        const QString serial = readAnswerLine(transport);
        if (serial.isEmpty())
            return fail(QStringLiteral("no serial number"));
        if (readAnswerLine(transport) != QLatin1String("OK"))
            return fail(QStringLiteral("serial number not confirmed with OK"));
        bool ok = false;
        const uint value = serial.toUInt(&ok);
        result.serial = ok ? value : 0;
    }
    transport.close();
    result.answered = true;
    return result;
}

QList<PortDiscovery::Probe> PortDiscovery::probeAll()
{
    QList<Probe> probes;
    const QList<PortDescription> ports = SerialPortEnumerator::availablePorts();
    for (const PortDescription &port : ports)
        probes.append(probe(port));
    return probes;
}

QList<ProjectDevice *> PortDiscovery::findoutPorts()
{
    QList<ProjectDevice *> devices;
    const QList<Probe> probes = probeAll();
    for (const Probe &probe : probes) {
        if (probe.answered)
            devices.append(deviceFor(probe));
    }
    return devices;
}

ProjectDevice *PortDiscovery::deviceFor(const Probe &probe)
{
    auto *device = new ProjectDevice(probe.type, int(probe.serial), QString(), false, 0, false,
                                     QStringLiteral("0.0.0.0"), -1, nullptr);
    device->setPort(probe.port);
    device->firmwareVersion = probe.version;
    device->usbVendorId = probe.port.vendorId;
    device->usbProductId = probe.port.productId;
    return device;
}
