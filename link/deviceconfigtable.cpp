#include "link/deviceconfigtable.h"

#include "link/devicepaths.h"
#include "link/gainitems.h"
#include "link/tovikstatus.h"
#include "project/devicetype.h"

namespace {

using Form = DeviceConfigTable::Form;
using Value = DeviceConfigTable::Value;

const char *const transIntervals[] = {"откл", "1 мин", "5 мин", "10 мин", "15 мин", "30 мин",
                                      "1 ч",  "2 ч",   "3 ч",   "6 ч",    "12 ч",   "24 ч"};

constexpr int ppkCount = 8;
constexpr int lineCount = 8;
constexpr int consoleCount = 32;
constexpr int extensionCount = 9;
constexpr int inputCount = 3;
constexpr int outputCount = 3;
constexpr int assignCount = 14;

// The folder of the central unit's console key files ("0:\keys\keys" + address + ".bin").
const QString keyFolder = QStringLiteral("0:\\keys");

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1[%2]").arg(QLatin1String(name)).arg(index);
}

QString assignName(int signal, int output)
{
    return QStringLiteral("OutputAssign%1[%2]").arg(signal, 2, 10, QLatin1Char('0')).arg(output);
}

QStringList prefixed(const QStringList &names)
{
    QStringList list;
    for (const QString &name : names)
        list << QStringLiteral("desc_") + name;
    return list;
}

QStringList ethernet()
{
    return {QStringLiteral("IpAddress"), QStringLiteral("NetMask"), QStringLiteral("GateWay"),
            QStringLiteral("CommandPort")};
}

QStringList outputReads(int k)
{
    QStringList names {indexed("OutputState", k), indexed("OutputPolarity", k)};
    for (int s = 0; s < assignCount; ++s)
        names << assignName(s, k);
    return names;
}

QStringList centralUnitReads(int build)
{
    QStringList list {QStringLiteral("SerialNumber"),
                      QStringLiteral("IpAddress"),
                      QStringLiteral("NetMask"),
                      QStringLiteral("GateWay"),
                      QStringLiteral("CommandPort"),
                      QStringLiteral("BroadcastIP"),
                      QStringLiteral("OutPort"),
                      QStringLiteral("MaxVolume"),
                      QStringLiteral("Mode"),
                      QStringLiteral("DevRole"),
                      QStringLiteral("CurrentTime"),
                      QStringLiteral("FirstSoundTime"),
                      QStringLiteral("TransCheckInterval"),
                      QStringLiteral("AudioInGain")};
    for (int n = 0; n < lineCount; ++n)
        list << indexed("LoCtrlEnable", n) << indexed("LoCalibValue", n)
             << indexed("LoCtrlDelta", n);
    for (int n = 0; n < ppkCount; ++n)
        list << indexed("PpkCtrlEnable", n);
    for (int n = 0; n < consoleCount; ++n)
        list << indexed("Rs485PultEnable", n) << indexed("Rs485PultSerial", n)
             << indexed("Rs485PultStatus", n);
    for (int n = 0; n < extensionCount; ++n)
        list << indexed("ExtBlockRs485Enable", n) << indexed("ExtBlockRs485Serial", n)
             << indexed("ExtBlockRs485Status", n);
    list << QStringLiteral("Rs485GlobalEnable");
    if (build >= TovikStatus::newerDescriptorsBuild)
        list << QStringLiteral("MacAddress") << QStringLiteral("RemotePolarity")
             << QStringLiteral("AudioInGain") << QStringLiteral("Buu2Enable")
             << QStringLiteral("DeviceTag");
    for (int n = 0; n < inputCount; ++n)
        list << indexed("InputCtrlState", n);
    for (int n = 0; n < inputCount; ++n)
        list << indexed("InputCtrlEnable", n);
    for (int k = 0; k < outputCount; ++k)
        list << outputReads(k);
    // A name the list repeats is read once, at its first place (as the facade would).
    list.removeDuplicates();
    return list;
}

QStringList lumoReads(int build)
{
    QStringList list {QStringLiteral("SerialNumber")};
    if (build >= TovikStatus::newerDescriptorsBuild)
        list << QStringLiteral("RemotePolarity");
    list << QStringLiteral("AudioInGain");
    for (int n = 0; n < inputCount; ++n)
        list << indexed("InputCtrlState", n) << indexed("InputCtrlEnable", n);
    for (int k = 0; k < outputCount; ++k)
        list << outputReads(k);
    return list;
}

void addIo(QVector<Value> *values)
{
    for (int n = 0; n < inputCount; ++n)
        values->append({indexed("InputCtrlEnable", n), Form::YesNoFlag});
    for (int k = 0; k < outputCount; ++k) {
        values->append({indexed("OutputPolarity", k), Form::OutputPolarity});
        for (int s = 0; s < assignCount; ++s)
            values->append({assignName(s, k), Form::PlusFlag});
    }
}

QVector<Value> centralUnitValues(int build)
{
    QVector<Value> values;
    for (const QString &name : ethernet())
        values.append({name, name == QLatin1String("CommandPort") ? Form::Number : Form::Text});
    // Before the mode: a unit takes "DADAR СБП" only with its BUU-2 module, which is a
    // factory setting and stays as the unit has it.
    values.append({QStringLiteral("Mode"), Form::Mode});
    values.append({QStringLiteral("FirstSoundTime"), Form::Number});
    values.append({QStringLiteral("TransCheckInterval"), Form::TransCheckInterval});
    if (build >= TovikStatus::newerDescriptorsBuild)
        values.append({QStringLiteral("DeviceTag"), Form::Text});
    values.append({QStringLiteral("Rs485GlobalEnable"), Form::OnOffFlag});
    values.append({QStringLiteral("DevRole"), Form::Role});
    for (int n = 0; n < consoleCount; ++n)
        values.append({indexed("Rs485PultEnable", n), Form::YesNoFlag});
    for (int n = 0; n < extensionCount; ++n)
        values.append({indexed("ExtBlockRs485Enable", n), Form::YesNoFlag});
    for (int n = 0; n < ppkCount; ++n)
        values.append({indexed("PpkCtrlEnable", n), Form::YesNoText});
    addIo(&values);
    return values;
}

bool isWholeNumber(const QString &text, qint64 *number)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if ((c < QLatin1Char('0') || c > QLatin1Char('9')) && !(i == 0 && c == QLatin1Char('-')))
            return false;
    }
    bool ok = false;
    *number = text.toLongLong(&ok);
    return ok;
}

} // namespace

QStringList DeviceConfigTable::readAll(int type, int build)
{
    switch (type) {
    case DeviceType::Horn:
        return prefixed(
            QStringList {QStringLiteral("SerialNumber"), QStringLiteral("AmpNomPower")} +
            ethernet() + QStringList {QStringLiteral("MaxVolume")});
    case DeviceType::Media:
        return prefixed(
            QStringList {QStringLiteral("SerialNumber"), QStringLiteral("AmpNomPower")} +
            ethernet() + QStringList {QStringLiteral("MaxVolume"), QStringLiteral("AudioInGain")});
    case DeviceType::IpPult:
        return prefixed(
            QStringList {QStringLiteral("SerialNumber")} + ethernet() +
            QStringList {QStringLiteral("BroadcastIP"), QStringLiteral("OutPort"),
                         QStringLiteral("SignalVolume_1"), QStringLiteral("SignalVolume_2"),
                         QStringLiteral("AmpNomPower"), QStringLiteral("SpeakerNomPower")});
    case DeviceType::Lumo4:
        return prefixed(lumoReads(build));
    default:
        return isCentralUnitType(type) ? prefixed(centralUnitReads(build)) : QStringList();
    }
}

QVector<DeviceConfigTable::Value> DeviceConfigTable::restorable(int type, int build)
{
    QVector<Value> values;
    auto network = [&values](const QStringList &names) {
        for (const QString &name : names)
            values.append({name,
                           name == QLatin1String("CommandPort") || name == QLatin1String("OutPort")
                               ? Form::Number
                               : Form::Text});
    };
    switch (type) {
    case DeviceType::Horn:
    case DeviceType::Media:
        // The amplifier gain (and the converter's input gain) are on the factory tab.
        network(ethernet());
        values.append({QStringLiteral("MaxVolume"), Form::Number});
        return values;
    case DeviceType::IpPult:
        network(ethernet() +
                QStringList {QStringLiteral("BroadcastIP"), QStringLiteral("OutPort")});
        values.append({QStringLiteral("SignalVolume_1"), Form::Number});
        values.append({QStringLiteral("SignalVolume_2"), Form::Number});
        values.append({QStringLiteral("AmpNomPower"), Form::AmpNomPower});
        values.append({QStringLiteral("SpeakerNomPower"), Form::SpeakerNomPower});
        return values;
    case DeviceType::Lumo4:
        addIo(&values);
        return values;
    default:
        return isCentralUnitType(type) ? centralUnitValues(build) : values;
    }
}

QStringList DeviceConfigTable::files(int type, QString *folder)
{
    if (folder)
        folder->clear();
    switch (type) {
    case DeviceType::Horn:
    case DeviceType::Media:
        return {DevicePaths::configFile};
    case DeviceType::IpPult:
        return {DevicePaths::configFile, DevicePaths::keyFile};
    default:
        if (!isCentralUnitType(type))
            return {};
        if (folder)
            *folder = keyFolder;
        return {DevicePaths::configFile};
    }
}

bool DeviceConfigTable::isConfigFile(int type, const QString &path)
{
    QString folder;
    if (files(type, &folder).contains(path))
        return true;
    if (folder.isEmpty() || !path.startsWith(folder + QLatin1Char('\\')))
        return false;
    const QString name = path.mid(folder.size() + 1);
    return !name.isEmpty() && !name.contains(QLatin1Char('\\')) &&
        !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
        name != QLatin1String("..");
}

int DeviceConfigTable::roleIndex(const QString &text)
{
    if (text == QStringLiteral("ЦБ"))
        return 0;
    if (!text.contains(QStringLiteral("БР")))
        return -1;
    QString rest = text;
    rest.remove(QStringLiteral("БР"));
    bool ok = false;
    const int number = rest.trimmed().toInt(&ok);
    return ok && number >= 1 && number <= 9 ? number : -1;
}

int DeviceConfigTable::transCheckIntervalIndex(const QString &text)
{
    for (int i = 0; i < int(sizeof transIntervals / sizeof *transIntervals); ++i) {
        if (text == QString::fromUtf8(transIntervals[i]))
            return i;
    }
    return -1;
}

int DeviceConfigTable::modeIndex(const QString &text, int count)
{
    const QString mode = text.trimmed();
    if (mode.isEmpty())
        return -1;
    bool number = false;
    const int value = mode.toInt(&number);
    if (number)
        return value - 1 >= 0 && value - 1 < count ? value - 1 : -1;
    return count == 4 ? 3 : -1;
}

int DeviceConfigTable::outputPolarityIndex(const QString &text)
{
    return text == QStringLiteral("норм.закр.") ? 0 : 1;
}

int DeviceConfigTable::yesNoIndex(const QString &text)
{
    if (text == QStringLiteral("да"))
        return 1;
    if (text == QStringLiteral("нет"))
        return 0;
    return -1;
}

bool DeviceConfigTable::writeText(Form form, const QString &read, QString *written)
{
    const QString text = read.trimmed();
    // A failed answer is never a value, whatever its form.
    if (text.startsWith(QLatin1String("ERROR")))
        return false;
    int index = -1;
    switch (form) {
    case Form::Text:
        *written = text;
        return !text.isEmpty();
    case Form::Number: {
        qint64 number = 0;
        if (!isWholeNumber(text, &number))
            return false;
        *written = QString::number(number);
        return true;
    }
    case Form::YesNoFlag:
        index = yesNoIndex(text);
        break;
    case Form::YesNoText:
        if (yesNoIndex(text) < 0)
            return false;
        *written = text;
        return true;
    case Form::OnOffFlag:
        index = text == QStringLiteral("вкл") ? 1 : text == QStringLiteral("откл") ? 0 : -1;
        break;
    case Form::PlusFlag:
        index = text == QLatin1String("+") ? 1 : 0;
        break;
    case Form::Mode:
        // "DADAR СБП" is the fourth item of a unit that has the BUU-2 module.
        index = modeIndex(text, 4);
        break;
    case Form::Role:
        index = roleIndex(text);
        break;
    case Form::TransCheckInterval:
        index = transCheckIntervalIndex(text);
        break;
    case Form::OutputPolarity:
        index = outputPolarityIndex(text);
        break;
    case Form::AmpNomPower:
        index = GainItems::ampNomPowerIndex(text);
        break;
    case Form::SpeakerNomPower:
        index = GainItems::speakerNomPowerIndex(text);
        break;
    }
    if (index < 0)
        return false;
    *written = QString::number(index);
    return true;
}
