#pragma once

#include "project/scenario.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class AuditTrail;
class DatabaseLog;
class JournalLocation;
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

    // Groups nest at most this deep (a top-level group is at depth 1): deeper groups are
    // neither created nor read from a file, so every project the console saves reopens.
    static constexpr int maxGroupDepth = 256;

    explicit ProjectModel(QObject *parent = nullptr);
    explicit ProjectModel(Journals journals, QObject *parent = nullptr);
    // With the journals at `journal`: an SQLite file names the event database (the
    // parameters stay in "params.sqlite"); a PostgreSQL database holds both.
    explicit ProjectModel(const JournalLocation &journal, QObject *parent = nullptr);
    explicit ProjectModel(const QString &filePath, QObject *parent = nullptr);
    ~ProjectModel() override;

    QString name;
    QString path;
    QList<QObject *> nodes;
    bool modified = false;
    int lastId = -1;
    DatabaseParams *paramsDb = nullptr;
    DatabaseLog *logDb = nullptr;
    // The audit trail in the event journal's database, made the process's default trail
    // (AuditTrail::defaultTrail()) when the model is made; null without journals.
    AuditTrail *auditTrail = nullptr;
    bool monitoring = false;
    // The project's scenarios; the scenario list shown to the user is built from these.
    QList<Scenario> scenarios;

    // Project file: 0 on success, -1 when the file cannot be opened, -2 when its
    // content is unusable (load) or could not be written completely (save). `error`,
    // when given, says why in one line.
    int load(const QString &filePath, QString *error = nullptr);
    // ProjectFile::write's results; -3 when the audit trail could not record the save
    // (saveError says why).
    int save(const QString &filePath);
    QString saveError;

    // Gives a device without identifier the next one; false, adding nothing, when no
    // identifier is left.
    bool addDevice(ProjectGroup *group, ProjectDevice *device);
    // Null when the parent is a device, or a group at maxGroupDepth.
    ProjectGroup *addGroup(QObject *parent = nullptr);
    bool removeNode(QObject *node);
    bool moveDevice(ProjectGroup *group, ProjectDevice *device);
    bool replaceDevice(ProjectDevice *oldDevice, ProjectDevice *newDevice);
    void clear();

    QList<QObject *> allNodes() const;
    QList<ProjectGroup *> allGroups() const;
    QList<ProjectDevice *> allDevices() const;
    // The first device of the tree with this identifier. Answered from an index that the
    // first lookup after a structural change (nodeChanged) builds; a device the index
    // names is checked before it is returned, and an identifier the index does not hold
    // (or holds for more than one device) is looked for in the tree.
    ProjectDevice *findDeviceById(int id) const;
    ProjectDevice *findDeviceBySerial(quint32 serial) const;
    ProjectDevice *findDeviceByIp(const QString &address) const;
    void resetPortFlags();

    // Gives every group and device without an identifier (a negative one) the next
    // identifier above `lastId` and above every identifier in the tree. False, changing
    // nothing, when the identifiers would run out.
    bool assignMissingIds();
    static bool assignMissingIds(const QList<QObject *> &nodes, int *lastId);

signals:
    void nodeChanged(QObject *node);
    void projectChanged();

private:
    void openAuditTrail(const JournalLocation &journal);
    void detach(QObject *node);
    bool replaceIn(QList<QObject *> &list, QObject *owner, ProjectDevice *oldDevice,
                   ProjectDevice *newDevice);
    ProjectDevice *findDeviceInTree(int id) const;

    mutable QHash<int, QPointer<ProjectDevice>> m_deviceById;
    mutable QSet<int> m_sharedIds;
    mutable bool m_deviceIndexValid = false;
};
