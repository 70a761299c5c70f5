#pragma once

#include "project/devicefault.h"

#include <QMetaType>

class ProjectDevice;

// What the fault pane's model hands to its delegate for one row: a fault of the device,
// or one of the two rows above the faults (the device header and the device state).
struct FailItemDescriptor {
    enum Kind : int {
        DeviceState = 254,
        DeviceHeader = 255,
    };

    int kind = DeviceHeader;
    int index = 0;
    int state = 0;
    ProjectDevice *device = nullptr;

    static FailItemDescriptor fromFault(const DeviceFault &fault)
    {
        return FailItemDescriptor {fault.kind, fault.index, fault.state, fault.device};
    }
};

Q_DECLARE_METATYPE(FailItemDescriptor)
