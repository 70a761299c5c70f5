#pragma once

#include <QByteArray>
#include <QJsonObject>

class SimDevice;

// The status document a simulated device serves on "GET /status", built from its live
// state: type key, serial number, version, general faults, and a 21-byte binary state
// with the mode, byte 3, the line states and the faulty consoles and extension units.
class SimStatusDocument {
public:
    static constexpr int stateBytes = 21;

    static QByteArray binaryState(const SimDevice &device);
    static QJsonObject build(const SimDevice &device);
    static QByteArray body(const SimDevice &device);
};
