#include "project/projectlint.h"

#include "project/devicetype.h"
#include "project/inout.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "project/projectwriterules.h"

#include <QHash>
#include <QSet>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString subjectOf(const ProjectDevice *device)
{
    QString subject = deviceTitle(device);
    if (!device->tag.isEmpty())
        subject += QStringLiteral(" - ") + device->tag;
    return subject;
}

QString pathOf(const ProjectGroup *group)
{
    return group ? group->groupPath() : u("(корень проекта)");
}

} // namespace

QString ProjectLint::Finding::line() const
{
    return (severity == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning")) +
        QLatin1Char('\t') + subject + QLatin1Char('\t') + what;
}

bool ProjectLint::hasErrors(const QList<Finding> &findings)
{
    for (const Finding &finding : findings) {
        if (finding.severity == Severity::Error)
            return true;
    }
    return false;
}

QList<ProjectLint::Finding> ProjectLint::check(const ProjectModel &project)
{
    QList<Finding> findings;
    auto add = [&findings](Severity severity, const QString &subject, const QString &what,
                           const QObject *node) {
        findings.append({severity, subject, what, node});
    };
    const QList<ProjectDevice *> devices = project.allDevices();

    // Addresses and serial numbers.
    QHash<quint32, const ProjectDevice *> byAddress;
    QHash<quint32, const ProjectDevice *> bySerial;
    for (const ProjectDevice *device : devices) {
        const QString subject = subjectOf(device);
        if (device->serial == 0) {
            add(Severity::Warning, subject, u("нет серийного номера"), device);
        } else if (const ProjectDevice *other = bySerial.value(device->serial)) {
            add(Severity::Error, subject,
                u("тот же серийный номер, что у устройства ") + subjectOf(other), device);
        } else {
            bySerial.insert(device->serial, device);
        }
        if (!device->ip_enabled)
            continue;
        quint32 address = 0;
        if (device->ip_addr.trimmed().isEmpty()) {
            add(Severity::Error, subject, u("Ethernet включён, но адрес не задан"), device);
        } else if (!Ipv4Address::parse(device->ip_addr, &address)) {
            add(Severity::Error, subject,
                u("адрес \"%1\" не является адресом IPv4").arg(device->ip_addr), device);
        } else if (const ProjectDevice *other = byAddress.value(address)) {
            add(Severity::Error, subject,
                u("тот же адрес %1, что у устройства %2")
                    .arg(Ipv4Address::toString(address), subjectOf(other)),
                device);
        } else {
            byAddress.insert(address, device);
        }
    }

    // Every central or extension unit, whatever its own address: the rules its upload plans
    // apply (its bus, its name, role and address).
    QSet<QString> reported;
    for (const ProjectDevice *device : devices) {
        if (!isCentralUnitType(device->type))
            continue;
        for (const QString &error : ProjectWriteRules::errors(device)) {
            const QString key = pathOf(device->parentGroup()) + QLatin1Char('\n') + error;
            if (reported.contains(key))
                continue; // two units in one group share their bus
            reported.insert(key);
            add(Severity::Error, subjectOf(device), error, device);
        }
    }

    // Key links.
    for (const ProjectDevice *device : devices) {
        for (const InOut *button : device->inouts) {
            for (const OutLink &link : button->outlinks) {
                const ProjectDevice *target = project.findDeviceById(link.id_obj);
                const QString key = u("кнопка \"%1\"").arg(button->displayName());
                if (!target) {
                    add(Severity::Error, subjectOf(device),
                        key +
                            u(": связь с устройством, которого нет в проекте (id %1)")
                                .arg(link.id_obj),
                        device);
                    continue;
                }
                for (const int index : link.indexes) {
                    bool line = false;
                    for (const InOut *io : target->inouts)
                        line = line || (io->index == index && io->type == InOutType::LineOutput);
                    if (!line)
                        add(Severity::Error, subjectOf(device),
                            key +
                                u(": связь с линией %1 устройства %2, которой у него нет")
                                    .arg(index)
                                    .arg(subjectOf(target)),
                            device);
                }
            }
        }
    }

    // Groups of one name side by side cannot be told apart (filters by group name).
    auto sameNames = [&](const QList<QObject *> &nodes, const ProjectGroup *parent) {
        QSet<QString> names;
        for (const QObject *node : nodes) {
            const auto *group = qobject_cast<const ProjectGroup *>(node);
            if (!group)
                continue;
            if (names.contains(group->name))
                add(Severity::Warning, pathOf(parent),
                    u("две группы с именем \"%1\" на одном уровне").arg(group->name), group);
            names.insert(group->name);
        }
    };
    sameNames(project.nodes, nullptr);
    for (const ProjectGroup *group : project.allGroups())
        sameNames(group->nodes, group);
    return findings;
}
