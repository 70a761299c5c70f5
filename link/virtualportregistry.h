#pragma once

#include "project/portdescription.h"

#include <QList>
#include <QString>

// The seam through which pseudo-terminals are presented as USB serial ports.
//
// A registry is a folder named by the environment variable NORDA_VIRTUAL_PORTS. Every
// file "<name>.port" in it describes one port as "key=value" lines:
//
//     path=/dev/pts/7            the device node to open (required, must exist)
//     name=pts7                  port name shown to the user
//     description=...            free text
//     manufacturer=...           free text
//     serial=1001                USB serial number text
//     vid=0483                   USB vendor id, hexadecimal
//     pid=5740                   USB product id, hexadecimal
//
// The device simulator writes one file per simulated USB device and removes it when the
// device is unplugged or the simulator ends; SerialPortEnumerator lists these ports after
// the system's own. Entries whose device node no longer exists are ignored, so a
// simulator that was killed leaves nothing usable behind. Without NORDA_VIRTUAL_PORTS
// the registry is empty and only real ports are seen.
class VirtualPortRegistry {
public:
    static constexpr const char *environmentVariable = "NORDA_VIRTUAL_PORTS";

    // The registry folder from the environment; empty when none is set.
    static QString directory();

    // Ports of a registry folder, ordered by file name.
    static QList<PortDescription> ports(const QString &dir);
    static QList<PortDescription> ports() { return ports(directory()); }

    // Writes (atomically) or removes the entry "<name>.port". `name` may hold letters,
    // digits, '-', '_' and '.'.
    static bool publish(const QString &dir, const QString &name, const PortDescription &port);
    static bool withdraw(const QString &dir, const QString &name);

    // Parses the content of one entry; returns a null description when it is unusable.
    static PortDescription parse(const QByteArray &content);
    static QByteArray format(const PortDescription &port);
};
