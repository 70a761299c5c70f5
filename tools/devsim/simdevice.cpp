#include "tools/devsim/simdevice.h"

#include "project/devicetype.h"

SimDevice::SimDevice(int type, int serial, const QHostAddress &address, QObject *parent)
    : QObject(parent)
    , type(type)
    , serial(serial)
    , address(address)
    , reportedKey(type == DeviceType::Bootloader ? QStringLiteral("boot") : deviceTypeKey(type))
{
}
