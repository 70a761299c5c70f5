#include "project/devicetype.h"

#include "project/projectdevice.h"

namespace {

struct CatalogueEntry {
    int code;
    const char *key;
    const char *name;
    const char *icon;
};

// clang-format off
const CatalogueEntry catalogue[] = {
    {DeviceType::Unknown,     "",             "Неизвестное устройство",                    ":/images/icons/information.png"},
    {DeviceType::Tovik2,      "tovik2",       "Блок NORDA-4100/4101",                      ":/images/icons/tovik2.png"},
    {DeviceType::Norda410x,   "norda410x",    "Блок NORDA-4100/4101",                      ":/images/icons/tovik2.png"},
    {DeviceType::Norda4200,   "norda4200",    "Блок NORDA-4200",                           ":/images/icons/norda4200-icon.png"},
    {DeviceType::Lumo4,       "lumo4",        "УКБ KV\u2011520 исп.2",                     ":/images/icons/kv520-icon.png"},
    {DeviceType::BexarTovik2, "bexar_tovik2", "Пульт микрофонный NORDA-4400",              ":/images/icons/pult.png"},
    {DeviceType::Horn,        "horn",         "Оповещатель/Громкоговоритель NORDA исп.IP", ":/images/icons/horn.png"},
    {DeviceType::IpPult,      "ip_pult",      "Пульт микрофонный NORDA-4300",              ":/images/icons/ip-pult.png"},
    {DeviceType::Media,       "media",        "Медиаконвертер новый",                      ":/images/icons/norda4500.png"},
    {DeviceType::Kv510,       "kv510",        "Блок KV-510",                               ":/images/icons/norda4200-icon.png"},
    {DeviceType::BexarBoot,   "bexar_boot",   "Пульт микрофонный NORDA-4400 (загрузчик)",  ":/images/icons/information.png"},
    {DeviceType::Bootloader,  "bootloader",   "Загрузчик NORDA",                           ":/images/icons/usb-cable.png"},
};

// Order in which reported keys are matched; "boot" is what a bootloader reports.
const std::pair<const char *, int> keyLookupOrder[] = {
    {"tovik2", DeviceType::Tovik2},
    {"norda410x", DeviceType::Norda410x},
    {"kv510", DeviceType::Kv510},
    {"norda4200", DeviceType::Norda4200},
    {"lumo4", DeviceType::Lumo4},
    {"ip_pult", DeviceType::IpPult},
    {"bexar_tovik2", DeviceType::BexarTovik2},
    {"media", DeviceType::Media},
    {"bexar_boot", DeviceType::BexarBoot},
    {"horn", DeviceType::Horn},
    {"boot", DeviceType::Bootloader},
};
// clang-format on

const CatalogueEntry *entryOf(int type)
{
    for (const CatalogueEntry &entry : catalogue) {
        if (entry.code == type)
            return &entry;
    }
    return nullptr;
}

} // namespace

QString deviceTypeName(int type)
{
    const CatalogueEntry *entry = entryOf(type);
    return QString::fromUtf8(entry ? entry->name : catalogue[0].name);
}

QString deviceTypeName(const ProjectDevice *device)
{
    return deviceTypeName(device ? device->type : int(DeviceType::Unknown));
}

QString deviceCaption(const ProjectDevice *device)
{
    return deviceTypeName(device) + QStringLiteral(" (серийный номер ") +
        QString::number(device ? device->serial : 0) + QLatin1Char(')');
}

QString deviceTitle(const ProjectDevice *device)
{
    return deviceTypeName(device) + QStringLiteral(" (№") +
        QString::number(device ? device->serial : 0) + QLatin1Char(')');
}

QString deviceTypeKey(int type)
{
    const CatalogueEntry *entry = entryOf(type);
    return entry ? QString::fromLatin1(entry->key) : QString();
}

int deviceTypeFromKey(const QString &key)
{
    const QString lower = key.toLower();
    for (const auto &[text, code] : keyLookupOrder) {
        if (lower == QLatin1String(text))
            return code;
    }
    return DeviceType::Unknown;
}

QString deviceTypeIconPath(int type)
{
    const CatalogueEntry *entry = entryOf(type);
    return QString::fromLatin1(entry ? entry->icon : catalogue[0].icon);
}

QString deviceTypeIconPath(const ProjectDevice *device)
{
    return deviceTypeIconPath(device ? device->type : int(DeviceType::Unknown));
}

bool isCentralUnitType(int type)
{
    return type == DeviceType::Tovik2 || type == DeviceType::Norda410x ||
        type == DeviceType::Norda4200 || type == DeviceType::Kv510;
}

bool isConsoleType(int type)
{
    return type == DeviceType::BexarTovik2 || type == DeviceType::IpPult;
}
