#include "project/treewalk.h"

#include "project/projectdevice.h"
#include "project/projectgroup.h"

namespace {

void collect(const QList<QObject *> &nodes, QList<QObject *> &out)
{
    for (QObject *node : nodes) {
        out.append(node);
        if (auto *group = qobject_cast<ProjectGroup *>(node))
            collect(group->nodes, out);
    }
}

} // namespace

QList<QObject *> TreeWalk::allNodes(const QList<QObject *> &nodes)
{
    QList<QObject *> out;
    collect(nodes, out);
    return out;
}

QList<ProjectGroup *> TreeWalk::allGroups(const QList<QObject *> &nodes)
{
    QList<ProjectGroup *> out;
    for (QObject *node : allNodes(nodes)) {
        if (auto *group = qobject_cast<ProjectGroup *>(node))
            out.append(group);
    }
    return out;
}

QList<ProjectDevice *> TreeWalk::allDevices(const QList<QObject *> &nodes)
{
    QList<ProjectDevice *> out;
    for (QObject *node : allNodes(nodes)) {
        if (auto *device = qobject_cast<ProjectDevice *>(node))
            out.append(device);
    }
    return out;
}
