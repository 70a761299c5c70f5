#include "project/projectgroup.h"

#include "project/projectdevice.h"
#include "project/treewalk.h"

ProjectGroup::ProjectGroup(const QString &name, QObject *parent)
    : QObject(parent)
    , name(name)
{
}

QList<ProjectGroup *> ProjectGroup::childGroups() const
{
    QList<ProjectGroup *> groups;
    for (QObject *node : nodes) {
        if (auto *group = qobject_cast<ProjectGroup *>(node))
            groups.append(group);
    }
    return groups;
}

QList<QObject *> ProjectGroup::allNodes() const
{
    return TreeWalk::allNodes(nodes);
}

QList<ProjectGroup *> ProjectGroup::allGroups() const
{
    return TreeWalk::allGroups(nodes);
}

QList<ProjectDevice *> ProjectGroup::allDevices() const
{
    return TreeWalk::allDevices(nodes);
}

QString ProjectGroup::groupPath() const
{
    QStringList names;
    for (const QObject *node = this; node; node = node->parent()) {
        const auto *group = qobject_cast<const ProjectGroup *>(node);
        if (!group)
            break;
        names.prepend(group->name);
    }
    return names.join(QStringLiteral("-->"));
}

int ProjectGroup::depth() const
{
    int levels = 0;
    for (const QObject *node = this; qobject_cast<const ProjectGroup *>(node);
         node = node->parent())
        ++levels;
    return levels;
}
