#pragma once

#include <QString>

class SimDevice;

// The descriptors of a simulated device: plausible starting values for its type, and how a
// written value reads back (many are written as a list index and read as text, as the
// device windows expect).
class SimDescriptors {
public:
    // Fills in every descriptor of the device's type that is not set yet.
    static void populate(SimDevice *device, quint16 commandPort);

    // The value read for `name` ("Name" or "Name[3]", without "desc_"); false when the
    // device has no such descriptor.
    static bool read(const SimDevice *device, const QString &name, QString *value);
    // Stores a written value; false when the device does not know the descriptor.
    static bool write(SimDevice *device, const QString &name, const QString &value);
};
