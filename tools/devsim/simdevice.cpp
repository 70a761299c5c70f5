#include "tools/devsim/simdevice.h"

#include "link/tovikstatus.h"

#include "project/devicetype.h"

SimDevice::SimDevice(int type, int serial, const QHostAddress &address, QObject *parent)
    : QObject(parent)
    , type(type)
    , serial(serial)
    , address(address)
    , reportedKey(type == DeviceType::Bootloader ? QStringLiteral("boot") : deviceTypeKey(type))
{
}

QDateTime SimDevice::clock() const
{
    return QDateTime::currentDateTime().addSecs(clockOffset);
}

int SimDevice::build() const
{
    return TovikStatus::buildNumber(version);
}
