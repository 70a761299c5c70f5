#pragma once

#include <QMetaType>
#include <QString>

#include <cstdint>

class QSerialPortInfo;

// Description of one serial port as the device link sees it: what the system reports
// about a real port, or what a virtual port registry entry says about a pseudo-terminal
// that stands in for a USB device (see VirtualPortRegistry).
class PortDescription {
public:
    PortDescription() = default;
    // Not explicit on purpose: code that hands a QSerialPortInfo to ProjectDevice::setPort
    // keeps working unchanged.
    PortDescription(const QSerialPortInfo &info); // NOLINT(google-explicit-constructor)

    QString portName;
    QString systemLocation; // the device node, e.g. "/dev/ttyACM0" or "/dev/pts/7"
    QString description;
    QString manufacturer;
    QString serialNumber;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    bool hasVendorId = false;
    bool hasProductId = false;
    // True for a port announced through the virtual port registry.
    bool isVirtual = false;

    bool isNull() const { return systemLocation.isEmpty(); }
    // True when the port carries the given USB ids.
    bool matches(uint16_t vid, uint16_t pid) const;
    // "vvvv:pppp" in hexadecimal, or "-" when the port has no USB ids.
    QString usbIdText() const;

    bool operator==(const PortDescription &other) const;
    bool operator!=(const PortDescription &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(PortDescription)
