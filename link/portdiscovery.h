#pragma once

#include "project/portdescription.h"

#include <QList>
#include <QString>

#include <cstdint>

class ProjectDevice;

// Port discovery: asks every serial port for "GET VERSION" (and, unless the answer comes
// from a bootloader, for the serial number) and turns each port that answers like a device
// into a new project device. Runs on the caller's thread with transports of its own; a
// port that a worker holds open cannot be opened here and is skipped.
class PortDiscovery {
public:
    static constexpr int answerWaitMs = 500;

    // What one port said.
    struct Probe {
        PortDescription port;
        bool opened = false;
        bool answered = false; // a device was identified
        QString versionLine;
        int type = 0;
        QString version;
        uint32_t serial = 0;
        QString failure; // why the port does not count as a device
    };

    static Probe probe(const PortDescription &port);
    // Every port of SerialPortEnumerator, in its order.
    static QList<Probe> probeAll();
    // One new project device (no parent, caller owns it) for every port that answered.
    static QList<ProjectDevice *> findoutPorts();
    // The project device of one answered probe.
    static ProjectDevice *deviceFor(const Probe &probe);
};
