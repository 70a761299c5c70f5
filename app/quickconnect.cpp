#include "app/quickconnect.h"

#include "devices/devicewindowfactories.h"
#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "link/networkports.h"
#include "project/devicetype.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QDebug>
#include <QRegularExpression>
#include <QSettings>
#include <QWidget>

namespace {

bool parseId(const QString &text, uint16_t *id)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{1,4}$"));
    if (!hex.match(text).hasMatch())
        return false;
    *id = uint16_t(text.toUInt(nullptr, 16));
    return true;
}

bool parsePort(const QString &text, quint16 *port)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(text).hasMatch())
        return false;
    const uint value = text.toUInt();
    if (value < 1 || value > 65535)
        return false;
    *port = quint16(value);
    return true;
}

} // namespace

QString QuickConnect::Target::text() const
{
    if (usb)
        return QStringLiteral("usb:%1:%2")
            .arg(vendorId, 4, 16, QLatin1Char('0'))
            .arg(productId, 4, 16, QLatin1Char('0'));
    return QStringLiteral("tcp://") + host +
        (port ? QLatin1Char(':') + QString::number(port) : QString());
}

bool QuickConnect::parse(const QString &text, Target *target, QString *error)
{
    auto refuse = [error, &text](const QString &why) {
        if (error)
            *error = QStringLiteral("--connect %1: %2").arg(text, why);
        return false;
    };
    Target result;
    if (text == QLatin1String("usb") || text.startsWith(QLatin1String("usb:"))) {
        result.usb = true;
        result.vendorId = ProjectDevice::defaultUsbVendorId;
        result.productId = ProjectDevice::defaultUsbProductId;
        if (text.size() > 3) {
            const QStringList ids = text.mid(4).split(QLatin1Char(':'));
            if (ids.size() != 2 || !parseId(ids.at(0), &result.vendorId) ||
                !parseId(ids.at(1), &result.productId))
                return refuse(QStringLiteral("expected usb or usb:VID:PID (hexadecimal ids)"));
        }
        *target = result;
        return true;
    }
    if (!text.startsWith(QLatin1String("tcp://")))
        return refuse(QStringLiteral("expected tcp://HOST[:PORT], usb or usb:VID:PID"));
    QString host = text.mid(6);
    const int colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        if (!parsePort(host.mid(colon + 1), &result.port))
            return refuse(QStringLiteral("the port must be a number from 1 to 65535"));
        host = host.left(colon);
    }
    if (host.isEmpty())
        return refuse(QStringLiteral("no host"));
    // Only a dotted address of four decimal numbers or a host name: the other forms of an
    // IPv4 address would be read differently by the network libraries.
    result.host = Ipv4Address::networkHost(host);
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9.-]+$"));
    if (result.host.isEmpty() || !name.match(result.host).hasMatch())
        return refuse(QStringLiteral("'%1' is not an IPv4 address of four decimal numbers 0 to "
                                     "255 nor a host name")
                          .arg(host));
    *target = result;
    return true;
}

QuickConnect::QuickConnect(const Target &target, QSettings *settings, QObject *parent)
    : QObject(parent)
    , target(target)
    , settings(settings)
{
    NetworkPorts ports;
    if (settings)
        ports = NetworkPorts::fromSettings(*settings);
    commandPort = target.port ? target.port : ports.commandPort;
    DeviceWindowFactories::install(&registry);
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, this, [this] {
        end(NoDevice,
            QStringLiteral("no device answered at %1 within %2 s")
                .arg(this->target.text())
                .arg(timeoutMs / 1000.0));
    });
}

QuickConnect::~QuickConnect()
{
    delete opened.data();
    if (probe)
        probe->close();
}

void QuickConnect::start()
{
    // The device that answers is asked what it is through a connection of its own; the
    // window then connects as it does for a project device.
    probeProject = new ProjectModel(ProjectModel::Journals::None, this);
    probeDevice = new ProjectDevice(DeviceType::Unknown);
    if (target.usb) {
        probeDevice->usbVendorId = target.vendorId;
        probeDevice->usbProductId = target.productId;
    } else {
        probeDevice->ip_enabled = true;
        probeDevice->ip_addr = target.host;
    }
    probeProject->addDevice(nullptr, probeDevice);
    probe = new Amodule(probeDevice, this, commandPort);
    connect(probe, &Amodule::connected, this, [this](int type) { onIdentified(type); });
    connect(probe, &Amodule::exchangeError, this, [this] { serialFailed = true; });
    connect(probe, &Amodule::receivedDescriptor, this,
            [this](const QString &name, const QVariant &value) {
                if (name == QLatin1String("SerialNumber"))
                    onSerial(value.toString());
            });
    deadline.start(timeoutMs);
}

void QuickConnect::onIdentified(int type)
{
    if (deviceType != 0 || ended)
        return;
    deviceType = type;
    serialFailed = false;
    if (probe->getDescriptor(QStringLiteral("SerialNumber")) != Amodule::Queued)
        onSerial(QString());
}

void QuickConnect::onSerial(const QString &value)
{
    if (!probe || ended)
        return;
    bool ok = false;
    const uint number = value.toUInt(&ok);
    // A failed answer gives no serial number; the window reads it again anyway.
    serial = ok && !serialFailed ? number : 0;
    deadline.stop();
    // The window opens once the probe's worker is gone and with it its hold on the port.
    QPointer<CdcUsbProcess> worker = probe->worker();
    Amodule *closing = probe;
    probe = nullptr;
    if (worker)
        connect(worker, &QObject::destroyed, this, &QuickConnect::openWindow, Qt::QueuedConnection);
    closing->close();
    closing->deleteLater();
    if (!worker)
        openWindow();
}

void QuickConnect::openWindow()
{
    if (ended || opened)
        return;
    DeviceWindowRegistry::Kind kind = DeviceWindowRegistry::Kind::Firmware;
    if ((!firmwareWindow && !DeviceWindowRegistry::kindForType(deviceType, &kind)) ||
        !registry.canOpen(kind)) {
        end(NoWindow,
            QStringLiteral("the device at %1 is a %2 (type %3); this build has no "
                           "settings window for it")
                .arg(target.text(), deviceTypeKey(deviceType))
                .arg(deviceType));
        return;
    }
    project = new ProjectModel(ProjectModel::Journals::None, this);
    auto *device = new ProjectDevice(deviceType);
    device->serial = serial;
    if (target.usb) {
        device->usbVendorId = target.vendorId;
        device->usbProductId = target.productId;
    } else {
        device->ip_enabled = true;
        device->ip_addr = target.host;
    }
    project->addDevice(nullptr, device);
    // The modified mark of this project asks nobody anything: it is never saved.
    DeviceWindowContext context;
    context.settings = settings;
    context.project = project;
    if (settings)
        context.ports = NetworkPorts::fromSettings(*settings);
    context.ports.commandPort = commandPort;
    opened = registry.open(kind, device, context);
    if (!opened) {
        end(NoWindow,
            QStringLiteral("the settings window of %1 could not be opened").arg(target.text()));
        return;
    }
    qDebug().noquote() << "Quick connection:" << opened->windowTitle();
    connect(opened, &QObject::destroyed, this, [this] { end(Closed, QString()); });
}

void QuickConnect::end(int code, const QString &message)
{
    if (ended)
        return;
    ended = true;
    deadline.stop();
    if (probe) {
        probe->close();
        probe->deleteLater();
        probe = nullptr;
    }
    emit finished(code, message);
}
