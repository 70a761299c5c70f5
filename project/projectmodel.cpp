#include "project/projectmodel.h"

#include "journal/audittrail.h"
#include "project/projectsaveaudit.h"

#include "journal/databaselog.h"
#include "journal/databaseparams.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectfile.h"
#include "project/projectgroup.h"
#include "project/treewalk.h"

#include <limits>

ProjectModel::ProjectModel(QObject *parent)
    : ProjectModel(Journals::Open, parent)
{
}

ProjectModel::ProjectModel(Journals journals, QObject *parent)
    : QObject(parent)
{
    // Every structural change is announced; the identifier index is rebuilt when next used.
    connect(this, &ProjectModel::nodeChanged, this, [this] { m_deviceIndexValid = false; });
    if (journals == Journals::Open) {
        paramsDb = new DatabaseParams(QStringLiteral("params.sqlite"), this);
        logDb = new DatabaseLog(QStringLiteral("log.sqlite"), this);
        openAuditTrail(JournalLocation::file(QStringLiteral("log.sqlite")));
    }
}

void ProjectModel::openAuditTrail(const JournalLocation &journal)
{
    // The newest project with journals is the one the program works on.
    auditTrail = new AuditTrail(journal, this);
    AuditTrail::setDefaultTrail(auditTrail);
}

ProjectModel::ProjectModel(const JournalLocation &journal, QObject *parent)
    : ProjectModel(Journals::None, parent)
{
    paramsDb = journal.isPostgres() ? new DatabaseParams(journal, this)
                                    : new DatabaseParams(QStringLiteral("params.sqlite"), this);
    logDb = new DatabaseLog(journal, this);
    openAuditTrail(journal);
}

ProjectModel::ProjectModel(const QString &filePath, QObject *parent)
    : ProjectModel(parent)
{
    path = filePath;
    load(filePath);
}

ProjectModel::~ProjectModel() = default;

int ProjectModel::load(const QString &filePath, QString *error)
{
    return ProjectFile::read(this, filePath, error);
}

int ProjectModel::save(const QString &filePath)
{
    // The save is recorded in the audit trail before the file is replaced; a save that
    // cannot be recorded is not made.
    const QByteArray before = ProjectSaveAudit::currentContent(filePath);
    const int result = ProjectFile::write(this, filePath, [&](const QByteArray &content) {
        return AuditTrail::record(QString(), QLatin1String(AuditRecord::projectSave),
                                  ProjectSaveAudit::details(filePath, before, content), &saveError);
    });
    if (result == 0)
        modified = false;
    return result;
}

bool ProjectModel::addDevice(ProjectGroup *group, ProjectDevice *device)
{
    if (!device)
        return false;
    if (device->id_obj == -1) {
        if (lastId >= std::numeric_limits<int>::max())
            return false;
        device->id_obj = ++lastId;
    }
    if (group) {
        group->nodes.append(device);
        device->setParent(group);
        emit nodeChanged(group);
    } else {
        nodes.append(device);
        device->setParent(this);
    }
    emit nodeChanged(device);
    modified = true;
    return true;
}

ProjectGroup *ProjectModel::addGroup(QObject *parent)
{
    if (!parent || parent == this) {
        auto *group = new ProjectGroup(QStringLiteral("Новая группа устройств"), this);
        nodes.append(group);
        modified = true;
        emit nodeChanged(group);
        return group;
    }
    if (auto *parentGroup = qobject_cast<ProjectGroup *>(parent)) {
        if (parentGroup->depth() >= maxGroupDepth)
            return nullptr;
        auto *group = new ProjectGroup(QStringLiteral("Новая подгруппа устройств"), parentGroup);
        parentGroup->nodes.append(group);
        modified = true;
        emit nodeChanged(parentGroup);
        emit nodeChanged(group);
        return group;
    }
    return nullptr;
}

void ProjectModel::detach(QObject *node)
{
    if (auto *group = qobject_cast<ProjectGroup *>(node)) {
        const QList<QObject *> children = group->nodes;
        for (QObject *child : children)
            detach(child);
        group->nodes.clear();
    }
    if (auto *parentGroup = qobject_cast<ProjectGroup *>(node->parent()))
        parentGroup->nodes.removeOne(node);
    else
        nodes.removeOne(node);
    node->setParent(nullptr);
}

bool ProjectModel::removeNode(QObject *node)
{
    if (!node)
        return false;
    QObject *formerParent = node->parent();
    auto *formerGroup = qobject_cast<ProjectGroup *>(formerParent);
    detach(node);
    modified = true;
    emit nodeChanged(formerGroup ? static_cast<QObject *>(formerGroup) : this);
    return true;
}

bool ProjectModel::moveDevice(ProjectGroup *group, ProjectDevice *device)
{
    if (!group || !device)
        return false;
    if (auto *formerGroup = device->parentGroup()) {
        formerGroup->nodes.removeOne(device);
        emit nodeChanged(formerGroup);
    } else {
        nodes.removeOne(device);
        emit nodeChanged(device);
    }
    group->nodes.append(device);
    device->setParent(group);
    emit nodeChanged(group);
    modified = true;
    return true;
}

bool ProjectModel::replaceIn(QList<QObject *> &list, QObject *owner, ProjectDevice *oldDevice,
                             ProjectDevice *newDevice)
{
    const int position = list.indexOf(oldDevice);
    if (position < 0 || oldDevice->parent() != owner)
        return false;
    list[position] = newDevice;
    newDevice->setParent(owner);
    oldDevice->setParent(nullptr);
    oldDevice->deleteLater();
    return true;
}

bool ProjectModel::replaceDevice(ProjectDevice *oldDevice, ProjectDevice *newDevice)
{
    if (!oldDevice || !newDevice || oldDevice == newDevice)
        return false;
    bool replaced = replaceIn(nodes, this, oldDevice, newDevice);
    if (!replaced) {
        const QList<ProjectGroup *> groups = allGroups();
        for (ProjectGroup *group : groups) {
            if (replaceIn(group->nodes, group, oldDevice, newDevice)) {
                replaced = true;
                break;
            }
        }
    }
    if (!replaced)
        return false;
    modified = true;
    emit nodeChanged(newDevice);
    return true;
}

void ProjectModel::clear()
{
    // Every node of the tree goes, not only the top-level ones: a dismantled group no
    // longer owns its former children.
    const QList<QObject *> all = allNodes();
    const QList<QObject *> topLevel = nodes;
    for (QObject *node : topLevel)
        detach(node);
    for (QObject *node : all)
        node->deleteLater();
    nodes.clear();
    modified = true;
    emit nodeChanged(this);
}

QList<QObject *> ProjectModel::allNodes() const
{
    return TreeWalk::allNodes(nodes);
}

QList<ProjectGroup *> ProjectModel::allGroups() const
{
    return TreeWalk::allGroups(nodes);
}

QList<ProjectDevice *> ProjectModel::allDevices() const
{
    return TreeWalk::allDevices(nodes);
}

ProjectDevice *ProjectModel::findDeviceById(int id) const
{
    // Key links, the project check and the journal views look devices up by identifier
    // once per link or row: a walk of a tree of thousands of devices each time would
    // make them cost the square of the project's size.
    if (!m_deviceIndexValid) {
        m_deviceById.clear();
        m_sharedIds.clear();
        for (ProjectDevice *device : allDevices()) {
            if (m_deviceById.contains(device->id_obj))
                m_sharedIds.insert(device->id_obj);
            else
                m_deviceById.insert(device->id_obj, device);
        }
        m_deviceIndexValid = true;
    }
    if (!m_sharedIds.contains(id)) {
        ProjectDevice *device = m_deviceById.value(id);
        if (device && device->id_obj == id && device->projectModel() == this)
            return device;
    }
    return findDeviceInTree(id);
}

ProjectDevice *ProjectModel::findDeviceInTree(int id) const
{
    for (ProjectDevice *device : allDevices()) {
        if (device->id_obj == id)
            return device;
    }
    return nullptr;
}

ProjectDevice *ProjectModel::findDeviceBySerial(quint32 serial) const
{
    for (ProjectDevice *device : allDevices()) {
        if (device->serial == serial)
            return device;
    }
    return nullptr;
}

ProjectDevice *ProjectModel::findDeviceByIp(const QString &address) const
{
    for (ProjectDevice *device : allDevices()) {
        if (device->ip_enabled && Ipv4Address::sameHost(device->ip_addr, address))
            return device;
    }
    return nullptr;
}

void ProjectModel::resetPortFlags()
{
    for (ProjectDevice *device : allDevices()) {
        device->portFound = false;
        emit nodeChanged(device);
    }
}

bool ProjectModel::assignMissingIds()
{
    return assignMissingIds(nodes, &lastId);
}

bool ProjectModel::assignMissingIds(const QList<QObject *> &nodes, int *lastId)
{
    QList<int *> missing;
    int largest = qMax(*lastId, -1);
    for (QObject *node : TreeWalk::allNodes(nodes)) {
        int *id = nullptr;
        if (auto *group = qobject_cast<ProjectGroup *>(node))
            id = &group->id_obj;
        else if (auto *device = qobject_cast<ProjectDevice *>(node))
            id = &device->id_obj;
        if (!id)
            continue;
        if (*id < 0)
            missing.append(id);
        else
            largest = qMax(largest, *id);
    }
    if (qint64(largest) + missing.size() > std::numeric_limits<int>::max())
        return false;
    for (int *id : qAsConst(missing))
        *id = ++largest;
    *lastId = largest;
    return true;
}
