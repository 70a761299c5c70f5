#pragma once

#include <QList>

class QObject;
class ProjectDevice;
class ProjectGroup;

// Depth-first walks over a list of tree nodes: a group comes before its contents,
// siblings in list order.
class TreeWalk {
public:
    static QList<QObject *> allNodes(const QList<QObject *> &nodes);
    static QList<ProjectGroup *> allGroups(const QList<QObject *> &nodes);
    static QList<ProjectDevice *> allDevices(const QList<QObject *> &nodes);
};
