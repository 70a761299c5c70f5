#pragma once

#include "journal/journallocation.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>

class DeviceStateLog;
class EventSpill;
class ProjectModel;
class ShardKeeper;
class StatusPoller;

// A monitor of a site database: polls only the devices of the shards its ShardKeeper holds,
// reads the recorded faults of the devices of a shard it takes over before recording
// anything of them, keeps their rows of device_state for the watching consoles, and spills
// the events it cannot write (EventSpill) until the server is back.
class SiteMonitor : public QObject {
    Q_OBJECT

public:
    // `project` (with its journal on `location`) and `poller` outlive the monitor.
    SiteMonitor(ProjectModel *project, StatusPoller *poller, const JournalLocation &location,
                const QString &projectSha256, const QString &owner, QObject *parent = nullptr);
    ~SiteMonitor() override;

    // Opens the spill file (locked: one monitor per file) and starts taking shards; false
    // with `error` set when the spill cannot be used.
    bool start(const QString &spillPath, QString *error);
    // Gives the shards up.
    void stop();
    // After each polling tick: writes the device states that changed.
    void recordStates();

    ShardKeeper *keeper() const { return m_keeper.get(); }
    EventSpill *spill() const { return m_spill.get(); }
    // The owner text of this process: host name and process id.
    static QString ownerText();

signals:
    // A line for the monitor's log.
    void message(const QString &text);
    void refused(const QString &reason);

private:
    void takeShard(int shard);
    void pollingChanged();

    ProjectModel *m_project;
    StatusPoller *m_poller;
    std::unique_ptr<ShardKeeper> m_keeper;
    std::unique_ptr<EventSpill> m_spill;
    std::unique_ptr<DeviceStateLog> m_states;
    // Device id -> (online, faults) as last written.
    QHash<int, QPair<bool, QString>> m_written;
};
