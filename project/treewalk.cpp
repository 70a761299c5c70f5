#include "project/treewalk.h"

#include "project/projectdevice.h"
#include "project/projectgroup.h"

namespace {

// Calls visit(node, group) for every node in walk order, `group` being the node as a
// group or null. Each node is cast once: the casts, not the walk, are what a walk over
// thousands of devices costs.
template<typename Visit> void walk(const QList<QObject *> &nodes, Visit &visit)
{
    for (QObject *node : nodes) {
        auto *group = qobject_cast<ProjectGroup *>(node);
        visit(node, group);
        if (group)
            walk(group->nodes, visit);
    }
}

} // namespace

QList<QObject *> TreeWalk::allNodes(const QList<QObject *> &nodes)
{
    QList<QObject *> out;
    auto visit = [&out](QObject *node, ProjectGroup *) { out.append(node); };
    walk(nodes, visit);
    return out;
}

QList<ProjectGroup *> TreeWalk::allGroups(const QList<QObject *> &nodes)
{
    QList<ProjectGroup *> out;
    auto visit = [&out](QObject *, ProjectGroup *group) {
        if (group)
            out.append(group);
    };
    walk(nodes, visit);
    return out;
}

QList<ProjectDevice *> TreeWalk::allDevices(const QList<QObject *> &nodes)
{
    QList<ProjectDevice *> out;
    auto visit = [&out](QObject *node, ProjectGroup *group) {
        if (group)
            return;
        if (auto *device = qobject_cast<ProjectDevice *>(node))
            out.append(device);
    };
    walk(nodes, visit);
    return out;
}
