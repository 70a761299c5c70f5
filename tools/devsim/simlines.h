#pragma once

#include <QString>

class SimDevice;

// The alarm lines of a simulated central unit: what it measures on each line and its
// calibration. A line in short circuit measures 0.120 V and an open one 30.000 V; a normal
// line its value (SimDevice::lineValues). Calibrating a line ("SET DESCRIPTOR
// desc_LoCtrlCalibCmd[n] 1") makes what it measures now its norm ("LoCalibValue[n]") and
// the unit's clock its calibration time ("LoCalibTime[n]").
class SimLines {
public:
    static constexpr int lineCount = 8;

    // Millivolts line `line` (0 to 7) measures now.
    static int measured(const SimDevice *device, int line);
    // The answer to "GET LO_CURRENT_VALUES": eight integers in millivolts.
    static QString currentValues(const SimDevice *device);
    // A write of "LoCtrlCalibCmd[n]" (`name` without "desc_"); false when the unit refuses
    // it (no such line, a value other than 1).
    static bool calibrate(SimDevice *device, const QString &name, const QString &value);
};
