#pragma once

#include "journal/databasewrapper.h"

#include <QDateTime>
#include <QHash>

// The site database's table of current device states (device_state), as a monitor keeps
// it for the consoles that watch: one row per device, written when its online state or
// faults change. Rows are kept until flush() writes them in one transaction (upserts); a
// failed write keeps them, newest state per device, for the next flush.
class DeviceStateLog : public DatabaseWrapper {
    Q_OBJECT

public:
    explicit DeviceStateLog(const JournalLocation &location, QObject *parent = nullptr);

    // `faults` as FaultListText; `lastAnswer` the time of the device's last good answer.
    void record(int deviceId, int shard, bool online, const QString &faults,
                const QDateTime &lastAnswer);
    // Forgets the rows not written yet of the devices of `shard` (another monitor's now).
    void dropShard(int shard);
    bool flush();
    int pending() const { return m_rows.size(); }

private:
    struct Row {
        int shard;
        bool online;
        QString faults;
        QDateTime lastAnswer;
    };
    QHash<int, Row> m_rows;
};
