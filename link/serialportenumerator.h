#pragma once

#include "project/portdescription.h"

#include <QList>

#include <cstdint>

// The list of serial ports that port lookup and port discovery walk.
//
// In production this is QSerialPortInfo::availablePorts(). After those come the
// pseudo-terminals of the virtual port registry (VirtualPortRegistry, environment variable
// NORDA_VIRTUAL_PORTS), which tests, the device simulator and demonstrations use to present
// a "USB device" without hardware. With NORDA_VIRTUAL_PORTS_ONLY=1 the system's own ports
// are left out, so that tests never probe a real serial port of the machine they run on.
class SerialPortEnumerator {
public:
    static constexpr const char *virtualOnlyVariable = "NORDA_VIRTUAL_PORTS_ONLY";

    static QList<PortDescription> availablePorts();

    // Cheap presence test for a port found earlier: its device node still exists and, for a
    // virtual port, its registry entry is still there.
    static bool isPresent(const PortDescription &port);

    // The first port with the fixed USB ids 0x0483:0x5740 or with `vendorId`:`productId`,
    // in enumeration order. With `log` set every port walked is written to the diagnostics.
    static bool findPort(PortDescription &out, uint16_t vendorId, uint16_t productId, bool log);

    // Writes the port's name, description, maker, serial number, location and USB ids to the
    // diagnostics; empty texts and zero ids as "blankString".
    static void logPort(const PortDescription &port);
};
