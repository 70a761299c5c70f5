#pragma once

#include <QList>
#include <QObject>
#include <QString>

class ProjectDevice;

// A group of the project tree; groups nest to any depth and hold devices.
class ProjectGroup : public QObject {
    Q_OBJECT

public:
    explicit ProjectGroup(const QString &name = QString(), QObject *parent = nullptr);

    QString name;
    QList<QObject *> nodes;
    int id_obj = -1;

    QList<ProjectGroup *> childGroups() const;
    QList<QObject *> allNodes() const;
    QList<ProjectGroup *> allGroups() const;
    QList<ProjectDevice *> allDevices() const;

    // Names of the chain of groups from the top-level one down to this one, joined by "-->".
    QString groupPath() const;
    // 1 for a top-level group, 2 for a group inside it, and so on.
    int depth() const;
};
