#include "tools/devsim/simdescriptors.h"

#include "link/tovikstatus.h"
#include "project/devicetype.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simlines.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

const char *const transIntervals[] = {"откл", "1 мин", "5 мин", "10 мин", "15 мин", "30 мин",
                                      "1 ч",  "2 ч",   "3 ч",   "6 ч",    "12 ч",   "24 ч"};

// Central unit descriptors that firmware builds before 576 do not have.
constexpr int newerBuild = 576;
const char *const newerDescriptors[] = {"MacAddress", "RemotePolarity", "Buu2Enable", "DeviceTag"};

bool unitLacks(const SimDevice *device, const QString &name)
{
    if (!isCentralUnitType(device->type) || device->build() >= newerBuild)
        return false;
    for (const char *newer : newerDescriptors) {
        if (name == QLatin1String(newer))
            return true;
    }
    return false;
}

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString yesNo(bool yes)
{
    return yes ? u("да") : u("нет");
}

QString onOff(bool on)
{
    return on ? u("вкл") : u("откл");
}

// "Name[3]" -> "Name"; "Name" stays.
QString baseName(const QString &name)
{
    const int bracket = name.indexOf(QLatin1Char('['));
    return bracket < 0 ? name : name.left(bracket);
}

bool isNumber(const QString &text, int *value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

void setDefault(SimDevice *device, const QString &name, const QString &value)
{
    if (!device->descriptors.contains(name))
        device->descriptors.insert(name, value);
}

void setIndexed(SimDevice *device, const QString &name, int count, const QString &value)
{
    for (int i = 0; i < count; ++i)
        setDefault(device, QStringLiteral("%1[%2]").arg(name).arg(i), value);
}

void populateCentralUnit(SimDevice *device)
{
    setDefault(device, QStringLiteral("BroadcastIP"), QStringLiteral("127.255.255.255"));
    setDefault(device, QStringLiteral("OutPort"), QStringLiteral("5004"));
    setDefault(device, QStringLiteral("MaxVolume"), QStringLiteral("80"));
    setDefault(device, QStringLiteral("Mode"), QStringLiteral("1"));
    setDefault(device, QStringLiteral("DevRole"), u("ЦБ"));
    setDefault(device, QStringLiteral("FirstSoundTime"), QStringLiteral("10"));
    setDefault(device, QStringLiteral("TransCheckInterval"), u("откл"));
    setDefault(device, QStringLiteral("AudioInGain"), QStringLiteral("100"));
    setDefault(device, QStringLiteral("CurrentTime"), QString());
    setDefault(device, QStringLiteral("DeviceTag"), QStringLiteral("Unit %1").arg(device->serial));
    setDefault(device, QStringLiteral("RemotePolarity"), u("РАЗМЫКАНИЕМ"));
    setDefault(device, QStringLiteral("Buu2Enable"), u("откл"));
    setDefault(device, QStringLiteral("Rs485GlobalEnable"), u("откл"));
    setDefault(device, QStringLiteral("Rs485SelfStatus"), QStringLiteral("0"));
    for (int n = 0; n < 8; ++n) {
        setDefault(device, QStringLiteral("LoCtrlEnable[%1]").arg(n), u("да"));
        setDefault(device, QStringLiteral("LoCalibValue[%1]").arg(n),
                   QString::number(12000 + 150 * n));
        setDefault(device, QStringLiteral("LoCtrlDelta[%1]").arg(n), QStringLiteral("1500"));
        setDefault(device, QStringLiteral("LoCalibTime[%1]").arg(n),
                   QStringLiteral("10:15:00 01/03/24"));
    }
    setIndexed(device, QStringLiteral("PpkCtrlEnable"), 8, u("нет"));
    setIndexed(device, QStringLiteral("Rs485PultEnable"), 32, u("нет"));
    setIndexed(device, QStringLiteral("Rs485PultSerial"), 32, QStringLiteral("0"));
    setIndexed(device, QStringLiteral("Rs485PultStatus"), 32, QStringLiteral("0"));
    setIndexed(device, QStringLiteral("ExtBlockRs485Enable"), 9, u("нет"));
    setIndexed(device, QStringLiteral("ExtBlockRs485Serial"), 9, QStringLiteral("0"));
    setIndexed(device, QStringLiteral("ExtBlockRs485Status"), 9, QStringLiteral("0"));
    setIndexed(device, QStringLiteral("InputCtrlState"), 3, u("норма"));
    setIndexed(device, QStringLiteral("InputCtrlEnable"), 3, u("нет"));
    setIndexed(device, QStringLiteral("OutputState"), 3, u("откл"));
    setIndexed(device, QStringLiteral("OutputPolarity"), 3, u("норм.закр."));
    for (int s = 0; s < 14; ++s)
        setIndexed(device, QStringLiteral("OutputAssign%1").arg(s, 2, 10, QLatin1Char('0')), 3,
                   QStringLiteral("-"));
}

} // namespace

void SimDescriptors::populate(SimDevice *device, quint16 commandPort)
{
    const int type = device->type;
    if (type == DeviceType::Bootloader || type == DeviceType::BexarBoot)
        return;
    setDefault(device, QStringLiteral("SerialNumber"), QString::number(device->serial));
    setDefault(device, QStringLiteral("IpAddress"), device->address.toString());
    setDefault(device, QStringLiteral("NetMask"), QStringLiteral("255.0.0.0"));
    setDefault(device, QStringLiteral("GateWay"), QStringLiteral("127.0.0.1"));
    setDefault(device, QStringLiteral("CommandPort"), QString::number(commandPort));
    const quint32 ip = device->address.toIPv4Address();
    setDefault(device, QStringLiteral("MacAddress"),
               QStringLiteral("02:4E:44:%1:%2:%3")
                   .arg((ip >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
                   .arg((ip >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                   .arg(ip & 0xFF, 2, 16, QLatin1Char('0'))
                   .toUpper());

    switch (type) {
    case DeviceType::Horn:
        setDefault(device, QStringLiteral("AmpNomPower"), QStringLiteral("0.0"));
        setDefault(device, QStringLiteral("MaxVolume"), QStringLiteral("80"));
        break;
    case DeviceType::IpPult:
        setDefault(device, QStringLiteral("BroadcastIP"), QStringLiteral("127.255.255.255"));
        setDefault(device, QStringLiteral("OutPort"), QStringLiteral("5004"));
        setDefault(device, QStringLiteral("SignalVolume_1"), QStringLiteral("100"));
        setDefault(device, QStringLiteral("SignalVolume_2"), QStringLiteral("100"));
        setDefault(device, QStringLiteral("AmpNomPower"), QStringLiteral("0.0"));
        setDefault(device, QStringLiteral("SpeakerNomPower"), QStringLiteral("-6"));
        break;
    case DeviceType::Media:
        setDefault(device, QStringLiteral("AmpNomPower"), QStringLiteral("0.0"));
        setDefault(device, QStringLiteral("MaxVolume"), QStringLiteral("80"));
        setDefault(device, QStringLiteral("AudioInGain"), QStringLiteral("100"));
        break;
    case DeviceType::Lumo4:
        setDefault(device, QStringLiteral("MaxVolume"), QStringLiteral("80"));
        setIndexed(device, QStringLiteral("InputCtrlState"), 3, u("норма"));
        setIndexed(device, QStringLiteral("InputCtrlEnable"), 3, u("нет"));
        setIndexed(device, QStringLiteral("OutputState"), 3, u("откл"));
        setIndexed(device, QStringLiteral("OutputPolarity"), 3, u("норм.закр."));
        for (int s = 0; s < 14; ++s)
            setIndexed(device, QStringLiteral("OutputAssign%1").arg(s, 2, 10, QLatin1Char('0')), 3,
                       QStringLiteral("-"));
        setDefault(device, QStringLiteral("RemotePolarity"), u("РАЗМЫКАНИЕМ"));
        setDefault(device, QStringLiteral("AudioInGain"), QStringLiteral("100"));
        break;
    default:
        if (isCentralUnitType(type))
            populateCentralUnit(device);
        break;
    }
}

bool SimDescriptors::read(const SimDevice *device, const QString &name, QString *value)
{
    if (unitLacks(device, name))
        return false;
    if (name == QLatin1String("CurrentTime") && device->descriptors.contains(name)) {
        *value = TovikStatus::unitTimeText(device->clock());
        return true;
    }
    if (!device->descriptors.contains(name))
        return false;
    *value = device->descriptors.value(name);
    return true;
}

bool SimDescriptors::write(SimDevice *device, const QString &name, const QString &value)
{
    static const QStringList commands {
        QStringLiteral("InitByDefaultCmd"), QStringLiteral("NorFormatCmd"),
        QStringLiteral("JournalClearCmd"),  QStringLiteral("LoCtrlCalibCmd"),
        QStringLiteral("Tovik2Reset"),      QStringLiteral("Zummer_enabled"),
    };
    const QString base = baseName(name);
    if (base == QLatin1String("WriteTime")) {
        // The unit's wall clock, as the PC sends it.
        const QDateTime time = TovikStatus::parseUnitTime(value);
        if (device->descriptors.isEmpty() || !time.isValid())
            return false;
        device->clockOffset = QDateTime::currentDateTime().secsTo(time);
        return true;
    }
    if (base == QLatin1String("LoCtrlCalibCmd"))
        return SimLines::calibrate(device, name, value);
    if (commands.contains(base))
        return !device->descriptors.isEmpty();
    if (unitLacks(device, name))
        return false;
    if (!device->descriptors.contains(name))
        return false;

    int number = 0;
    const bool numeric = isNumber(value, &number);
    QString stored = value;
    if (base == QLatin1String("LoCtrlEnable") || base == QLatin1String("Rs485PultEnable") ||
        base == QLatin1String("ExtBlockRs485Enable") || base == QLatin1String("InputCtrlEnable")) {
        stored = numeric ? yesNo(number != 0) : value;
    } else if (base == QLatin1String("Rs485GlobalEnable") || base == QLatin1String("Buu2Enable")) {
        stored = numeric ? onOff(number != 0) : value;
    } else if (base.startsWith(QLatin1String("OutputAssign"))) {
        stored = numeric && number != 0 ? QStringLiteral("+") : QStringLiteral("-");
    } else if (base == QLatin1String("OutputPolarity")) {
        stored = numeric && number == 0 ? u("норм.закр.") : u("норм.откр.");
    } else if (base == QLatin1String("RemotePolarity")) {
        stored = numeric && number == 0 ? u("РАЗМЫКАНИЕМ") : u("ЗАМЫКАНИЕМ");
    } else if (base == QLatin1String("Mode") && numeric) {
        stored = QString::number(number + 1);
    } else if (base == QLatin1String("DevRole") && numeric) {
        stored = number == 0 ? u("ЦБ") : u("БР") + QString::number(number);
    } else if (base == QLatin1String("TransCheckInterval") && numeric) {
        if (number < 0 || number >= int(sizeof transIntervals / sizeof *transIntervals))
            return false;
        stored = u(transIntervals[number]);
    } else if (base == QLatin1String("AmpNomPower") && numeric) {
        if (number < 0 || number > 255)
            return false;
        stored = QString::number(number * 0.5 - 103.5, 'f', 1);
    } else if (base == QLatin1String("SpeakerNomPower") && numeric) {
        if (number < 0 || number > 94)
            return false;
        stored = number == 94 ? u("откл") : QString::number(3 - number);
    } else if (base == QLatin1String("SerialNumber")) {
        if (!numeric || number < 0)
            return false;
        device->serial = number;
    } else if (base == QLatin1String("IpAddress")) {
        static const QRegularExpression address(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
        if (!address.match(value).hasMatch())
            return false;
    }
    device->descriptors.insert(name, stored);
    return true;
}
