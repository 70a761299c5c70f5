#include "link/projectuploadplan.h"

#include "link/tovikstatus.h"

#include "project/devicetype.h"
#include "project/keyconfigimage.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QMap>
#include <QtEndian>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("desc_%1[%2]").arg(QLatin1String(name)).arg(index);
}

UploadStep descriptorStep(const QString &caption, const QString &name, const QString &value,
                          UploadStep::Restore restore = UploadStep::Restore::None)
{
    UploadStep step;
    step.kind = UploadStep::Descriptor;
    step.caption = caption;
    step.name = name;
    step.value = value;
    step.restore = restore;
    return step;
}

// The other devices of the unit's parent group, in project order.
QList<const ProjectDevice *> groupMates(const ProjectDevice *unit)
{
    QList<const ProjectDevice *> mates;
    const ProjectModel *project = unit->projectModel();
    if (!project)
        return mates;
    const ProjectGroup *group = unit->parentGroup();
    for (const ProjectDevice *device : project->allDevices()) {
        if (device != unit && device->parentGroup() == group)
            mates.append(device);
    }
    return mates;
}

QString joined(const QList<int> &numbers)
{
    QStringList texts;
    for (int n : numbers)
        texts << QString::number(n);
    return texts.isEmpty() ? u("нет") : texts.join(QStringLiteral(", "));
}

} // namespace

QString UploadStep::line() const
{
    switch (kind) {
    case Descriptor:
        return caption + QStringLiteral(" (") + name + QStringLiteral(" = ") + value +
            QLatin1Char(')');
    case File:
        return caption + QStringLiteral(" (") + name + QStringLiteral(", ") +
            QString::number(data.size()) + u(" байт") +
            (address > 0 ? u(", адрес ") + QString::number(address) : QString()) + QLatin1Char(')');
    case DeleteFile:
        return caption + QStringLiteral(" (") + u("удаление ") + name +
            (address > 0 ? u(", адрес ") + QString::number(address) : QString()) + QLatin1Char(')');
    }
    return caption;
}

QStringList UploadPlan::lines() const
{
    QStringList list;
    for (int i = 0; i < steps.size(); ++i)
        list << QStringLiteral("%1. %2").arg(i + 1).arg(steps.at(i).line());
    return list;
}

bool ProjectUploadPlan::parseSerial(const QString &text, quint32 *serial)
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

bool ProjectUploadPlan::keyImageHasLinks(const QByteArray &image)
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

ProjectUploadPlan::KeyFile ProjectUploadPlan::consoleKeyFile(const ProjectDevice *console,
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

UploadPlan ProjectUploadPlan::consoles(const ProjectDevice *unit)
{
    UploadPlan plan;
    if (!unit)
        return plan;
    QMap<int, quint32> taken;
    for (const ProjectDevice *console : groupMates(unit)) {
        if (console->type != DeviceType::BexarTovik2)
            continue;
        const quint32 s = console->serial;
        const int a = console->rs485_addr;
        const QString serial = QString::number(s);
        const QString address = QString::number(a);
        if (a < 1 || a > maxConsoleAddress) {
            plan.errors << u("Пульт №%1: адрес %2 вне диапазона 1..%3")
                               .arg(serial, address)
                               .arg(maxConsoleAddress);
            continue;
        }
        if (taken.contains(a)) {
            plan.errors << u("Пульты №%1 и №%2: один адрес %3")
                               .arg(QString::number(taken.value(a)), serial, address);
            continue;
        }
        taken.insert(a, s);

        QByteArray image;
        QString why;
        const KeyFile keyFile = consoleKeyFile(console, &image, &why);
        if (keyFile == KeyFile::Broken) {
            plan.errors << u("Пульт №%1: файл назначений не собран: %2").arg(serial, why);
            continue;
        }

        const int slot = a - 1;
        UploadStep off = descriptorStep(
            u("Выключение пульта №") + serial + u(" по адресу ") + address,
            indexed("Rs485PultEnable", slot), QStringLiteral("0"), UploadStep::Restore::Flag);
        UploadStep file;
        const QString path = QStringLiteral("0:\\links\\") + serial + QStringLiteral(".lnk");
        if (keyFile == KeyFile::Assignments) {
            file.kind = UploadStep::File;
            file.caption = u("Файл назначений пульта №") + serial;
            file.data = image;
        } else {
            // A console without assignments must not keep the ones of an earlier upload.
            file.kind = UploadStep::DeleteFile;
            file.caption = u("Удаление файла назначений пульта №") + serial;
        }
        file.name = path;
        UploadStep number = descriptorStep(
            u("Запись серийного номера пульта №") + serial + u(" по адресу ") + address,
            indexed("Rs485PultSerial", slot), serial, UploadStep::Restore::Number);
        UploadStep on = descriptorStep(
            u("Включение пульта №") + serial + u(" по адресу ") + address,
            indexed("Rs485PultEnable", slot), QStringLiteral("1"), UploadStep::Restore::Flag);
        for (UploadStep *step : {&off, &file, &number, &on}) {
            step->serial = s;
            step->address = a;
            plan.steps << *step;
        }
    }
    if (!plan.errors.isEmpty())
        plan.steps.clear();
    return plan;
}

UploadPlan ProjectUploadPlan::unitSettings(const ProjectDevice *unit, int build)
{
    UploadPlan plan;
    if (!unit)
        return plan;
    if (build < 0 || build >= TovikStatus::newerDescriptorsBuild) {
        plan.rows << qMakePair(u("Имя устройства:"), unit->tag);
        plan.steps << descriptorStep(u("Имя устройства"), QStringLiteral("desc_DeviceTag"),
                                     unit->tag);
    }
    plan.rows << qMakePair(u("RS-485: "), unit->rs485_enabled ? u("включено") : u("отключено"));
    plan.steps << descriptorStep(u("RS-485"), QStringLiteral("desc_Rs485GlobalEnable"),
                                 unit->rs485_enabled ? QStringLiteral("1") : QStringLiteral("0"));
    if (unit->rs485_enabled) {
        plan.rows << qMakePair(u("Тип блока:"),
                               unit->rs485_addr == 0
                                   ? u("Центральный блок")
                                   : u("Блок расширения ") + QString::number(unit->rs485_addr));
        plan.steps << descriptorStep(u("Тип блока"), QStringLiteral("desc_DevRole"),
                                     QString::number(unit->rs485_addr));
    }

    QMap<int, const ProjectDevice *> consoles;
    QMap<int, const ProjectDevice *> extensions;
    for (const ProjectDevice *device : groupMates(unit)) {
        const int a = device->rs485_addr;
        const QString serial = QString::number(device->serial);
        if (device->type == DeviceType::BexarTovik2) {
            if (a < 1 || a > maxConsoleAddress) {
                plan.errors << u("Пульт №%1: адрес %2 вне диапазона 1..%3")
                                   .arg(serial)
                                   .arg(a)
                                   .arg(maxConsoleAddress);
            } else if (consoles.contains(a)) {
                plan.errors << u("Пульты №%1 и №%2: один адрес %3")
                                   .arg(consoles.value(a)->serial)
                                   .arg(serial)
                                   .arg(a);
            } else {
                consoles.insert(a, device);
            }
        } else if ((device->type == DeviceType::Norda410x ||
                    device->type == DeviceType::Norda4200 || device->type == DeviceType::Kv510) &&
                   device->rs485_enabled && a != 0) {
            if (a > maxExtensionAddress) {
                plan.errors << u("Блок расширения №%1: адрес %2 вне диапазона 1..%3")
                                   .arg(serial)
                                   .arg(a)
                                   .arg(maxExtensionAddress);
            } else if (extensions.contains(a)) {
                plan.errors << u("Блоки расширения №%1 и №%2: один адрес %3")
                                   .arg(extensions.value(a)->serial)
                                   .arg(serial)
                                   .arg(a);
            } else {
                extensions.insert(a, device);
            }
        }
    }
    plan.rows << qMakePair(u("Пульты:"), joined(consoles.keys()));
    plan.rows << qMakePair(u("Блоки расширения:"), joined(extensions.keys()));
    for (int n = 0; n < maxExtensionAddress; ++n) {
        UploadStep step =
            descriptorStep(u("Блок расширения %1").arg(n + 1), indexed("ExtBlockRs485Enable", n),
                           extensions.contains(n + 1) ? QStringLiteral("1") : QStringLiteral("0"),
                           UploadStep::Restore::Flag);
        step.address = n + 1;
        plan.steps << step;
    }
    for (int n = 0; n < maxConsoleAddress; ++n) {
        UploadStep step =
            descriptorStep(u("Пульт %1").arg(n + 1), indexed("Rs485PultEnable", n),
                           consoles.contains(n + 1) ? QStringLiteral("1") : QStringLiteral("0"),
                           UploadStep::Restore::Flag);
        step.address = n + 1;
        plan.steps << step;
    }
    if (unit->ip_enabled) {
        plan.rows << qMakePair(u("IP-адрес:"), unit->ip_addr);
        plan.steps << descriptorStep(u("IP-адрес"), QStringLiteral("desc_IpAddress"),
                                     unit->ip_addr);
    }

    // Deletions first, then the uploads, as the unit window always did.
    QList<UploadStep> deletions;
    QList<UploadStep> uploads;
    for (auto it = consoles.cbegin(); it != consoles.cend(); ++it) {
        const int a = it.key();
        const ProjectDevice *console = it.value();
        QByteArray image;
        QString why;
        const KeyFile keyFile = consoleKeyFile(console, &image, &why);
        UploadStep step;
        step.serial = console->serial;
        step.address = a;
        step.name = QStringLiteral("0:\\keys\\keys%1.bin").arg(a);
        if (keyFile == KeyFile::Broken) {
            plan.errors
                << u("Пульт №%1: файл назначений не собран: %2").arg(console->serial).arg(why);
            continue;
        }
        const QString label = u("Пульт %1:").arg(a);
        if (keyFile == KeyFile::NoAssignments) {
            plan.rows << qMakePair(label, u("№%1 (по умолчанию)").arg(console->serial));
            step.kind = UploadStep::DeleteFile;
            step.caption = u("Удаление файла назначений пульта №%1").arg(console->serial);
            deletions << step;
        } else {
            plan.rows << qMakePair(label, u("№%1 (назначения)").arg(console->serial));
            step.kind = UploadStep::File;
            step.caption = u("Файл назначений пульта №%1").arg(console->serial);
            step.data = image;
            uploads << step;
        }
    }
    plan.steps << deletions << uploads;
    if (!plan.errors.isEmpty())
        plan.steps.clear();
    return plan;
}
