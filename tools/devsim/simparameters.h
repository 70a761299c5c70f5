#pragma once

#include <QString>

class SimDevice;
class SimFileSystem;

// Answers of a simulated device to the plain GET requests of the device windows: "STATUS",
// "BINSTATUS", "LO_CURRENT_VALUES", "JOURNAL a,b" and "SCREEN". Each is one value line.
//
// "STATUS" of the audio devices and the four-line unit: type key and serial number, version
// "major.minor", four zeros, then storage status, size and free space (nine fields). Of the
// central units: type key and serial, version, time, journal fields, the same three storage
// fields (6 to 8), then their line and console states.
class SimParameters {
public:
    // The value line for `request` (the text after "GET "); false when the device does not
    // answer it.
    static bool answer(const SimDevice *device, const SimFileSystem &files, const QString &request,
                       QString *value);

    static QString status(const SimDevice *device, const SimFileSystem &files);
    static QString binaryStatus(const SimDevice *device);
    static QString lineVoltages(const SimDevice *device);
    static QString screen(const SimDevice *device);
};
