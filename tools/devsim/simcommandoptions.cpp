#include "tools/devsim/simcommandoptions.h"

#include "link/virtualportregistry.h"
#include "project/projectdevice.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simulator.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTextStream>

SimCommandOptions::SimCommandOptions()
    : commandPort(QStringLiteral("command-port"),
                  QStringLiteral("TCP command port of every device (default 23, or a free port "
                                 "per device with --status-port; 0 picks a free port per "
                                 "device)."),
                  QStringLiteral("PORT"), QStringLiteral("23"))
    , usb(QStringLiteral("usb"),
          QStringLiteral("Also present the device with this serial number as a USB serial port "
                         "(a pseudo-terminal in the virtual port registry); repeatable. USB ids "
                         "default to 0483:5740."),
          QStringLiteral("SERIAL[=VID:PID]"))
    , usbAll(QStringLiteral("usb-all"), QStringLiteral("Present every device as a USB port."))
    , registry(QStringLiteral("port-registry"),
               QStringLiteral("Virtual port registry folder (default: $NORDA_VIRTUAL_PORTS)."),
               QStringLiteral("DIR"))
    , fault(QStringLiteral("fault"),
            QStringLiteral("Inject a fault, into every device or into the one with the serial "
                           "number given: silent, split[=BYTES], delay=MS, error-every=N, "
                           "garbage=N, flood[=BYTES], baud=RATE, fail=COUNT[@SKIP]:PREFIX, "
                           "mute=COUNT[@SKIP]:PREFIX, drop=COUNT[@SKIP]:PREFIX, "
                           "unplug=COUNT[@SKIP]:PREFIX, nul=COUNT[@SKIP]:PREFIX, "
                           "late=MS[/COUNT[@SKIP]]:PREFIX, long-block=BYTES, short-block=BYTES, "
                           "bad-page=ADDRESS, raw=COUNT[@SKIP]:HEX:PREFIX, "
                           "oversize=COUNT[@SKIP]:BYTES:PREFIX, bare-lf; repeatable."),
            QStringLiteral("[SERIAL:]FAULT"))
    , flashLayout(QStringLiteral("flash-layout"),
                  QStringLiteral("Flash sector layout the bootloaders report: 0 mixed "
                                 "(default), 1 uniform."),
                  QStringLiteral("N"), QStringLiteral("0"))
    , requestLog(QStringLiteral("request-log"),
                 QStringLiteral("Append every request line the devices receive to FILE, one per "
                                "line: address, serial number and request, separated by tabs."),
                 QStringLiteral("FILE"))
    , journal(QStringLiteral("journal"),
              QStringLiteral("Set up the event journal of the central units, or of the one with "
                             "the serial number given; comma-separated items: capacity=N (slots, "
                             "default 1000), start=P (slot of the first record, default 0), "
                             "records=N (N made-up records, one a minute), file=PATH (records "
                             "oldest first, one a line as 14 hex digits; other text is handed "
                             "out as it stands; '#' comments), wrong-index=I (the answer for "
                             "slot I names slot I+1). More records than slots wrap round. "
                             "Default: 3 records, capacity 1000."),
              QStringLiteral("[SERIAL:]SETUP"))
{
}

void SimCommandOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOption(commandPort);
    parser.addOption(usb);
    parser.addOption(usbAll);
    parser.addOption(registry);
    parser.addOption(fault);
    parser.addOption(flashLayout);
    parser.addOption(requestLog);
    parser.addOption(journal);
}

int SimCommandOptions::start(const QCommandLineParser &parser, Simulator &simulator,
                             SimCommandServer &server, QTextStream &out, QTextStream &err,
                             bool freePortByDefault, bool sharedListener) const
{
    auto fail = [&err](int status, const QString &message) {
        err << "norda-devsim: " << message << Qt::endl;
        return status;
    };
    bool ok = false;
    const int port =
        !parser.isSet(commandPort) && freePortByDefault ? 0 : parser.value(commandPort).toInt(&ok);
    ok = ok || (!parser.isSet(commandPort) && freePortByDefault);
    if (!ok || port < 0 || port > 65535)
        return fail(1, QStringLiteral("bad command port '%1'").arg(parser.value(commandPort)));
    const int layout = parser.value(flashLayout).toInt(&ok);
    if (!ok || (layout != 0 && layout != 1))
        return fail(1, QStringLiteral("bad flash layout '%1'").arg(parser.value(flashLayout)));

    QString error;
    if (parser.isSet(requestLog) && !server.openRequestLog(parser.value(requestLog), &error))
        return fail(2, error);
    if (!server.listen(quint16(port), &error, sharedListener))
        return fail(2, error + QStringLiteral(" (try --command-port)"));

    for (SimDevice *device : simulator.devices())
        server.commandDevice(device)->flashLayout = layout;

    static const QRegularExpression serialPrefix(QStringLiteral("^(\\d+):(.+)$"));
    for (const QString &text : parser.values(fault)) {
        const QRegularExpressionMatch match = serialPrefix.match(text);
        QList<SimDevice *> targets = simulator.devices();
        QString faultText = text;
        if (match.hasMatch()) {
            SimDevice *device = simulator.deviceBySerial(match.captured(1).toInt());
            if (!device)
                return fail(
                    1, QStringLiteral("no device with serial number %1").arg(match.captured(1)));
            targets = {device};
            faultText = match.captured(2);
        }
        for (SimDevice *device : qAsConst(targets)) {
            if (!server.commandDevice(device)->faults.apply(faultText, &error))
                return fail(1, error);
        }
    }

    for (const QString &text : parser.values(journal)) {
        const QRegularExpressionMatch match = serialPrefix.match(text);
        QList<SimDevice *> targets = simulator.devices();
        QString setup = text;
        if (match.hasMatch()) {
            SimDevice *device = simulator.deviceBySerial(match.captured(1).toInt());
            if (!device)
                return fail(
                    1, QStringLiteral("no device with serial number %1").arg(match.captured(1)));
            targets = {device};
            setup = match.captured(2);
        }
        for (SimDevice *device : qAsConst(targets)) {
            if (!device->journal.apply(setup, &error))
                return fail(1, error);
        }
    }

    const QString registryDir =
        parser.isSet(registry) ? parser.value(registry) : VirtualPortRegistry::directory();
    QList<QPair<SimDevice *, QPair<uint16_t, uint16_t>>> usbDevices;
    const QPair<uint16_t, uint16_t> defaultIds {ProjectDevice::defaultUsbVendorId,
                                                ProjectDevice::defaultUsbProductId};
    if (parser.isSet(usbAll)) {
        for (SimDevice *device : simulator.devices())
            usbDevices.append({device, defaultIds});
    }
    static const QRegularExpression usbPattern(
        QStringLiteral("^(\\d+)(?:=([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4}))?$"));
    for (const QString &text : parser.values(usb)) {
        const QRegularExpressionMatch match = usbPattern.match(text);
        if (!match.hasMatch())
            return fail(1,
                        QStringLiteral("bad USB device '%1': expected SERIAL[=VID:PID]").arg(text));
        SimDevice *device = simulator.deviceBySerial(match.captured(1).toInt());
        if (!device)
            return fail(1,
                        QStringLiteral("no device with serial number %1").arg(match.captured(1)));
        QPair<uint16_t, uint16_t> ids = defaultIds;
        if (!match.captured(2).isEmpty())
            ids = {uint16_t(match.captured(2).toUInt(nullptr, 16)),
                   uint16_t(match.captured(3).toUInt(nullptr, 16))};
        usbDevices.append({device, ids});
    }
    for (const auto &usbDevice : qAsConst(usbDevices)) {
        if (!server.addUsb(usbDevice.first, usbDevice.second.first, usbDevice.second.second,
                           registryDir, &error))
            return fail(2, error);
    }

    for (SimDevice *device : simulator.devices()) {
        const QString name =
            device->reportedKey + QLatin1Char(':') + QString::number(device->serial);
        out << "tcp " << name << ' ' << device->address.toString() << ':' << server.tcpPort(device)
            << '\n';
        const QString path = server.usbPath(device);
        if (!path.isEmpty()) {
            for (const auto &usbDevice : qAsConst(usbDevices)) {
                if (usbDevice.first == device) {
                    out << "usb " << name << ' ' << path << ' '
                        << QStringLiteral("%1:%2")
                               .arg(usbDevice.second.first, 4, 16, QLatin1Char('0'))
                               .arg(usbDevice.second.second, 4, 16, QLatin1Char('0'))
                        << '\n';
                    break;
                }
            }
        }
    }
    out << "ready" << Qt::endl;
    return 0;
}
