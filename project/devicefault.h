#pragma once

class ProjectDevice;

// One current fault of a device, decoded from its last status document.
struct DeviceFault {
    enum Kind : int {
        Line = 0,
        Amplifier = 1,
        Battery = 2,
        Mains = 3,
        Tamper = 4,
        ExtensionUnit = 5,
        Console = 6,
        None = 255,
    };

    int kind = None;
    int index = 0;
    int state = 0;
    ProjectDevice *device = nullptr;

    bool operator==(const DeviceFault &other) const
    {
        return kind == other.kind && index == other.index && state == other.state &&
            device == other.device;
    }
};
