#pragma once

#include "monitor/sitewatcher.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QVector>

class ProjectDevice;
class ProjectModel;
class QThread;

// A console watching the site database instead of polling: runs a SiteWatcher on its
// own thread and shows what it reads on the project's devices. A device is online or
// not, with its faults and last answer, as its monitor last wrote; a device whose shard
// has not been stamped for staleSeconds (or when the database cannot be reached) has no
// data (ProjectDevice::Watched). Devices whose state changed emit statusChanged().
//
// The owner connects the journal list to eventsAdded() and acknowledged() and the status
// bar to connectionChanged(). The watcher's thread ends with this object.
class SiteWatch : public QObject {
    Q_OBJECT

public:
    explicit SiteWatch(const JournalLocation &location, QObject *parent = nullptr);
    ~SiteWatch() override;

    // The devices shown; null: none. The project's devices are marked as watched.
    void setProject(ProjectModel *project);
    // After how many seconds without a stamp a shard's devices have no data (10).
    void setStaleSeconds(int seconds);
    bool isConnected() const { return m_connected; }
    QString lastError() const { return m_error; }
    // The shard of a device when the site has `count` shards.
    static int shardOf(int deviceId, int count);

signals:
    void connectionChanged(bool connected, const QString &error);
    void eventsAdded(const QVector<EventRecord> &records, bool inOrder);
    void acknowledged(const SiteWatcher::Acknowledgement &acknowledgement);
    // States were shown on the devices (`changed` of them changed).
    void devicesUpdated(int changed);

private:
    void onConnection(bool connected, const QString &error);
    void onDevices(const QVector<SiteWatcher::DeviceState> &states, bool all);
    void onShards(int count, const QVector<SiteWatcher::Shard> &shards);
    // Shows the known state on every device of the project; the number changed.
    int applyAll();
    bool apply(ProjectDevice *device);
    void indexDevices();

    // What a device shows, as last applied.
    struct Shown {
        qint64 changeUs = -2; // the state row applied; -1: none
        qint64 seenMs = -1;
    };

    QThread *m_thread = nullptr;
    SiteWatcher *m_worker = nullptr;
    QPointer<ProjectModel> m_project;
    QHash<int, ProjectDevice *> m_devices; // by id_obj
    QHash<int, SiteWatcher::DeviceState> m_states;
    QHash<int, Shown> m_shown;
    QVector<QDateTime> m_stampTimes; // per shard, as local times
    QVector<SiteWatcher::Shard> m_shards;
    int m_shardCount = 1;
    bool m_shardsKnown = false;
    bool m_connected = false;
    bool m_reindexPending = false;
    QString m_error;
};
