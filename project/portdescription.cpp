#include "project/portdescription.h"

#include <QSerialPortInfo>

PortDescription::PortDescription(const QSerialPortInfo &info)
    : portName(info.portName())
    , systemLocation(info.systemLocation())
    , description(info.description())
    , manufacturer(info.manufacturer())
    , serialNumber(info.serialNumber())
    , vendorId(info.vendorIdentifier())
    , productId(info.productIdentifier())
    , hasVendorId(info.hasVendorIdentifier())
    , hasProductId(info.hasProductIdentifier())
{
}

bool PortDescription::matches(uint16_t vid, uint16_t pid) const
{
    return hasVendorId && hasProductId && vendorId == vid && productId == pid;
}

QString PortDescription::usbIdText() const
{
    if (!hasVendorId || !hasProductId)
        return QStringLiteral("-");
    return QStringLiteral("%1:%2")
        .arg(vendorId, 4, 16, QLatin1Char('0'))
        .arg(productId, 4, 16, QLatin1Char('0'));
}

bool PortDescription::operator==(const PortDescription &other) const
{
    return portName == other.portName && systemLocation == other.systemLocation &&
        description == other.description && manufacturer == other.manufacturer &&
        serialNumber == other.serialNumber && vendorId == other.vendorId &&
        productId == other.productId && hasVendorId == other.hasVendorId &&
        hasProductId == other.hasProductId && isVirtual == other.isVirtual;
}
