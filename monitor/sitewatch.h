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
// data (ProjectDevice::Watched). Devices whose state changed emit statusChanged(); when
// many change at once (connecting, a shard falling silent) devicesReset() is emitted
// instead, once: a view of thousands of devices redraws once rather than row by row.
//
// The owner connects the journal list to eventsAdded() and acknowledged() and the status
// bar to connectionChanged(). The watcher's thread ends with this object.
class SiteWatch : public QObject {
    Q_OBJECT

public:
    static constexpr int bulkLimit = 64;

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
    // More than bulkLimit devices changed at once; they emitted no statusChanged().
    void devicesReset();

private:
    void onConnection(bool connected, const QString &error);
    void onDevices(const QVector<SiteWatcher::DeviceState> &states, bool all);
    void onShards(int count, const QVector<SiteWatcher::Shard> &shards);
    // A device and what it shows, as last applied.
    struct Entry {
        ProjectDevice *device = nullptr;
        qint64 changeUs = -2; // the state row applied; -1: none
        qint64 seenMs = -1;
    };

    // Shows the known state on every device of the project; the number changed.
    int applyAll();
    // Shows the known state on one device; whether it changed (it emits nothing).
    bool apply(Entry &entry);
    // Announces the changed devices: one by one, or all at once when they are many.
    void announce(const QVector<ProjectDevice *> &changed);
    // Only the last answers of the online devices follow the stamps.
    void followStamps();
    void indexDevices();

    QThread *m_thread = nullptr;
    SiteWatcher *m_worker = nullptr;
    QPointer<ProjectModel> m_project;
    QVector<Entry> m_entries; // the project's devices in order
    QHash<int, int> m_index; // id_obj -> entry
    QHash<int, SiteWatcher::DeviceState> m_states;
    QVector<QDateTime> m_stampTimes; // per shard, as local times
    QVector<SiteWatcher::Shard> m_shards;
    int m_shardCount = 1;
    bool m_shardsKnown = false;
    bool m_connected = false;
    bool m_reindexPending = false;
    QString m_error;
};
