#include "jobs/projectuploadplan.h"

#include "link/tovikstatus.h"

#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectwriterules.h"

namespace {

using Form = DeviceConfigTable::Form;

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("desc_%1[%2]").arg(QLatin1String(name)).arg(index);
}

UploadStep descriptorStep(const QString &caption, const QString &name, const QString &value,
                          Form form)
{
    UploadStep step;
    step.kind = UploadStep::Descriptor;
    step.caption = caption;
    step.name = name;
    step.value = value;
    step.form = form;
    return step;
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

UploadPlan ProjectUploadPlan::consoles(const ProjectDevice *unit)
{
    UploadPlan plan;
    if (!unit)
        return plan;
    const ProjectWriteRules::Bus bus = ProjectWriteRules::bus(unit);
    plan.errors = bus.consoleErrors;
    if (!plan.runnable())
        return plan;
    // In project order, as the consoles stand in the group.
    for (const ProjectDevice *console : ProjectWriteRules::groupMates(unit)) {
        const int a = console->rs485_addr;
        if (bus.consoles.value(a) != console)
            continue;
        const quint32 s = console->serial;
        const QString serial = QString::number(s);
        const QString address = QString::number(a);
        QByteArray image;
        const ProjectWriteRules::KeyFile keyFile =
            ProjectWriteRules::consoleKeyFile(console, &image, nullptr);

        const int slot = a - 1;
        UploadStep off =
            descriptorStep(u("Выключение пульта №") + serial + u(" по адресу ") + address,
                           indexed("Rs485PultEnable", slot), QStringLiteral("0"), Form::YesNoFlag);
        UploadStep file;
        const QString path = QStringLiteral("0:\\links\\") + serial + QStringLiteral(".lnk");
        if (keyFile == ProjectWriteRules::KeyFile::Assignments) {
            file.kind = UploadStep::File;
            file.caption = u("Файл назначений пульта №") + serial;
            file.data = image;
        } else {
            // A console without assignments must not keep the ones of an earlier upload.
            file.kind = UploadStep::DeleteFile;
            file.caption = u("Удаление файла назначений пульта №") + serial;
        }
        file.name = path;
        UploadStep number = descriptorStep(u("Запись серийного номера пульта №") + serial +
                                               u(" по адресу ") + address,
                                           indexed("Rs485PultSerial", slot), serial, Form::Number);
        UploadStep on =
            descriptorStep(u("Включение пульта №") + serial + u(" по адресу ") + address,
                           indexed("Rs485PultEnable", slot), QStringLiteral("1"), Form::YesNoFlag);
        for (UploadStep *step : {&off, &file, &number, &on}) {
            step->serial = s;
            step->address = a;
            plan.steps << *step;
        }
    }
    return plan;
}

UploadPlan ProjectUploadPlan::unitSettings(const ProjectDevice *unit, int build)
{
    UploadPlan plan;
    if (!unit)
        return plan;
    const bool withName = build < 0 || build >= TovikStatus::newerDescriptorsBuild;
    const ProjectWriteRules::Bus bus = ProjectWriteRules::bus(unit);
    plan.errors =
        ProjectWriteRules::unitErrors(unit, withName) + bus.consoleErrors + bus.extensionErrors;
    if (withName) {
        // A unit is never given an empty name: the window refuses one too.
        if (unit->tag.isEmpty()) {
            plan.rows << qMakePair(u("Имя устройства:"), u("(не задано, не записывается)"));
        } else {
            plan.rows << qMakePair(u("Имя устройства:"), unit->tag);
            plan.steps << descriptorStep(u("Имя устройства"), QStringLiteral("desc_DeviceTag"),
                                         unit->tag, Form::Text);
        }
    }
    plan.rows << qMakePair(u("RS-485: "), unit->rs485_enabled ? u("включено") : u("отключено"));
    plan.steps << descriptorStep(u("RS-485"), QStringLiteral("desc_Rs485GlobalEnable"),
                                 unit->rs485_enabled ? QStringLiteral("1") : QStringLiteral("0"),
                                 Form::OnOffFlag);
    if (unit->rs485_enabled) {
        plan.rows << qMakePair(u("Тип блока:"),
                               unit->rs485_addr == 0
                                   ? u("Центральный блок")
                                   : u("Блок расширения ") + QString::number(unit->rs485_addr));
        plan.steps << descriptorStep(u("Тип блока"), QStringLiteral("desc_DevRole"),
                                     QString::number(unit->rs485_addr), Form::Role);
    }

    plan.rows << qMakePair(u("Пульты:"), joined(bus.consoles.keys()));
    plan.rows << qMakePair(u("Блоки расширения:"), joined(bus.extensions.keys()));
    for (int n = 0; n < ProjectWriteRules::maxExtensionAddress; ++n) {
        UploadStep step = descriptorStep(
            u("Блок расширения %1").arg(n + 1), indexed("ExtBlockRs485Enable", n),
            bus.extensions.contains(n + 1) ? QStringLiteral("1") : QStringLiteral("0"),
            Form::YesNoFlag);
        step.address = n + 1;
        plan.steps << step;
    }
    for (int n = 0; n < ProjectWriteRules::maxConsoleAddress; ++n) {
        UploadStep step =
            descriptorStep(u("Пульт %1").arg(n + 1), indexed("Rs485PultEnable", n),
                           bus.consoles.contains(n + 1) ? QStringLiteral("1") : QStringLiteral("0"),
                           Form::YesNoFlag);
        step.address = n + 1;
        plan.steps << step;
    }
    if (unit->ip_enabled) {
        const QString address = ProjectWriteRules::writtenAddress(unit->ip_addr);
        plan.rows << qMakePair(u("IP-адрес:"), address.isEmpty() ? unit->ip_addr : address);
        plan.steps << descriptorStep(u("IP-адрес"), QStringLiteral("desc_IpAddress"), address,
                                     Form::Text);
    }

    // Deletions first, then the uploads, as the unit window always did.
    QList<UploadStep> deletions;
    QList<UploadStep> uploads;
    for (auto it = bus.consoles.cbegin(); it != bus.consoles.cend(); ++it) {
        const int a = it.key();
        const ProjectDevice *console = it.value();
        QByteArray image;
        const ProjectWriteRules::KeyFile keyFile =
            ProjectWriteRules::consoleKeyFile(console, &image, nullptr);
        UploadStep step;
        step.serial = console->serial;
        step.address = a;
        step.name = QStringLiteral("0:\\keys\\keys%1.bin").arg(a);
        const QString label = u("Пульт %1:").arg(a);
        if (keyFile == ProjectWriteRules::KeyFile::NoAssignments) {
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
