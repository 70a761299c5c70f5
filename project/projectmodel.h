#pragma once

#include "project/scenario.h"

#include <QList>
#include <QObject>
#include <QString>

class DatabaseLog;
class DatabaseParams;
class ProjectDevice;
class ProjectGroup;

// The open project: the tree of groups and devices, its scenarios and its journals.
//
// The model owns its nodes through parent-child ownership. Structural changes are
// announced with nodeChanged() so that views can follow them.
//
// paramsDb and logDb are the project's parameter and event databases, "params.sqlite"
// and "log.sqlite" in the current folder, opened by the model when it is created. A
// model made with Journals::None (the command-line project tools, the simulator) has
// none: they stay null, every tree and file operation works without them, and callers
// must check them before use.
class ProjectModel : public QObject {
    Q_OBJECT

public:
    enum class Journals { Open, None };

    explicit ProjectModel(QObject *parent = nullptr);
    explicit ProjectModel(Journals journals, QObject *parent = nullptr);
    explicit ProjectModel(const QString &filePath, QObject *parent = nullptr);
    ~ProjectModel() override;

    QString name;
    QString path;
    QList<QObject *> nodes;
    bool modified = false;
    int lastId = -1;
    DatabaseParams *paramsDb = nullptr;
    DatabaseLog *logDb = nullptr;
    bool monitoring = false;
    // The project's scenarios; the scenario list shown to the user is built from these.
    QList<Scenario> scenarios;

    // Project file: 0 on success, -1 when the file cannot be opened, -2 when its
    // content is unusable (load) or could not be written completely (save).
    int load(const QString &filePath);
    int save(const QString &filePath);

    bool addDevice(ProjectGroup *group, ProjectDevice *device);
    ProjectGroup *addGroup(QObject *parent = nullptr);
    bool removeNode(QObject *node);
    bool moveDevice(ProjectGroup *group, ProjectDevice *device);
    bool replaceDevice(ProjectDevice *oldDevice, ProjectDevice *newDevice);
    void clear();

    QList<QObject *> allNodes() const;
    QList<ProjectGroup *> allGroups() const;
    QList<ProjectDevice *> allDevices() const;
    ProjectDevice *findDeviceById(int id) const;
    ProjectDevice *findDeviceBySerial(int serial) const;
    ProjectDevice *findDeviceByIp(const QString &address) const;
    void resetPortFlags();

    // Gives the next identifier to every group and device that has none.
    void assignMissingIds();

signals:
    void nodeChanged(QObject *node);
    void projectChanged();

private:
    void detach(QObject *node);
    bool replaceIn(QList<QObject *> &list, QObject *owner, ProjectDevice *oldDevice,
                   ProjectDevice *newDevice);
};
