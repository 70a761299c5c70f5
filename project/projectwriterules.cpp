#include "project/projectwriterules.h"

#include "project/devicetype.h"
#include "project/ipv4address.h"
#include "project/keyconfigimage.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QTextCodec>
#include <QtEndian>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString codePoint(uint code)
{
    return QStringLiteral("U+") +
        QString::number(code, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

bool isExtensionOnBus(const ProjectDevice *device)
{
    return (device->type == DeviceType::Norda410x || device->type == DeviceType::Norda4200 ||
            device->type == DeviceType::Kv510) &&
        device->rs485_enabled && device->rs485_addr != 0;
}

} // namespace

QList<const ProjectDevice *> ProjectWriteRules::groupMates(const ProjectDevice *unit)
{
    QList<const ProjectDevice *> mates;
    const ProjectModel *project = unit ? unit->projectModel() : nullptr;
    if (!project)
        return mates;
    const ProjectGroup *group = unit->parentGroup();
    for (const ProjectDevice *device : project->allDevices()) {
        if (device != unit && device->parentGroup() == group)
            mates.append(device);
    }
    return mates;
}

ProjectWriteRules::Bus ProjectWriteRules::bus(const ProjectDevice *unit)
{
    Bus bus;
    QMap<quint32, int> serials;
    for (const ProjectDevice *device : groupMates(unit)) {
        const int a = device->rs485_addr;
        const QString serial = QString::number(device->serial);
        if (device->type == DeviceType::BexarTovik2) {
            if (a < 1 || a > maxConsoleAddress) {
                bus.consoleErrors << u("Пульт №%1: адрес %2 вне диапазона 1..%3")
                                         .arg(serial)
                                         .arg(a)
                                         .arg(maxConsoleAddress);
                continue;
            }
            if (const ProjectDevice *other = bus.consoles.value(a)) {
                bus.consoleErrors
                    << u("Пульты №%1 и №%2: один адрес %3").arg(other->serial).arg(serial).arg(a);
                continue;
            }
            if (serials.contains(device->serial)) {
                bus.consoleErrors << u("Пульты по адресам %1 и %2: один серийный номер №%3")
                                         .arg(serials.value(device->serial))
                                         .arg(a)
                                         .arg(serial);
                continue;
            }
            QString why;
            if (consoleKeyFile(device, nullptr, &why) == KeyFile::Broken) {
                bus.consoleErrors << u("Пульт №%1: файл назначений не собран: %2").arg(serial, why);
                continue;
            }
            serials.insert(device->serial, a);
            bus.consoles.insert(a, device);
        } else if (isExtensionOnBus(device)) {
            if (a > maxExtensionAddress) {
                bus.extensionErrors << u("Блок расширения №%1: адрес %2 вне диапазона 1..%3")
                                           .arg(serial)
                                           .arg(a)
                                           .arg(maxExtensionAddress);
            } else if (const ProjectDevice *other = bus.extensions.value(a)) {
                bus.extensionErrors << u("Блоки расширения №%1 и №%2: один адрес %3")
                                           .arg(other->serial)
                                           .arg(serial)
                                           .arg(a);
            } else {
                bus.extensions.insert(a, device);
            }
        }
    }
    return bus;
}

QStringList ProjectWriteRules::unitErrors(const ProjectDevice *unit, bool withName)
{
    QStringList errors;
    if (!unit)
        return errors;
    const QString serial = QString::number(unit->serial);
    if (withName) {
        const QString problem = nameProblem(unit->tag);
        if (!problem.isEmpty())
            errors << u("Блок №%1: имя устройства не записывается: %2").arg(serial, problem);
    }
    if (unit->rs485_enabled && unit->rs485_addr > maxExtensionAddress)
        errors << u("Блок №%1: адрес RS-485 %2 вне диапазона 0..%3 (0 — центральный блок)")
                      .arg(serial)
                      .arg(unit->rs485_addr)
                      .arg(maxExtensionAddress);
    if (unit->ip_enabled && writtenAddress(unit->ip_addr).isEmpty())
        errors
            << u("Блок №%1: IP-адрес \"%2\" не является адресом IPv4").arg(serial, unit->ip_addr);
    return errors;
}

QStringList ProjectWriteRules::errors(const ProjectDevice *unit)
{
    const Bus found = bus(unit);
    return unitErrors(unit) + found.consoleErrors + found.extensionErrors;
}

QString ProjectWriteRules::nameProblem(const QString &name)
{
    if (name.size() > maxNameLength)
        return u("длиннее %1 символов").arg(maxNameLength);
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return u("в нём управляющий символ (%1)").arg(codePoint(c.unicode()));
    }
    static QTextCodec *const codec = QTextCodec::codecForName("Windows-1251");
    if (codec && codec->toUnicode(codec->fromUnicode(name)) != name) {
        for (int at = 0; at < name.size(); ++at) {
            const QString one = name.mid(at, name.at(at).isHighSurrogate() ? 2 : 1);
            if (codec->toUnicode(codec->fromUnicode(one)) != one)
                return u("в нём символ, которого нет в кодировке Windows-1251 (%1)")
                    .arg(codePoint(one.toUcs4().value(0)));
        }
    }
    return QString();
}

QString ProjectWriteRules::writtenAddress(const QString &text)
{
    return Ipv4Address::canonical(text.trimmed());
}

bool ProjectWriteRules::parseSerial(const QString &text, quint32 *serial)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 10)
        return false;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    const qulonglong value = trimmed.toULongLong();
    if (value == 0 || value > 0xFFFFFFFFull)
        return false;
    if (serial)
        *serial = quint32(value);
    return true;
}

bool ProjectWriteRules::keyImageHasLinks(const QByteArray &image)
{
    // u32 total length, u16 format, then entries: u16 length of the rest, u8 key number,
    // u8 name length, the name, the link records.
    const auto *bytes = reinterpret_cast<const uchar *>(image.constData());
    int at = 6;
    while (at + 4 <= image.size()) {
        const int rest = qFromLittleEndian<quint16>(bytes + at);
        const int nameLength = bytes[at + 3];
        if (rest > 2 + nameLength)
            return true;
        at += 2 + rest;
    }
    return false;
}

ProjectWriteRules::KeyFile ProjectWriteRules::consoleKeyFile(const ProjectDevice *console,
                                                             QByteArray *image, QString *error)
{
    QByteArray built;
    QString why;
    if (!keyConfigImage(console, &built, &why)) {
        if (error)
            *error = why;
        return KeyFile::Broken;
    }
    if (!keyImageHasLinks(built)) {
        if (image)
            image->clear();
        return KeyFile::NoAssignments;
    }
    if (image)
        *image = built;
    return KeyFile::Assignments;
}
