#pragma once

#include "monitor/metricssnapshot.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class DatabaseLog;
class StatusPoller;

// Gathers what the metrics endpoint shows from the poller, its project and the journal, on
// the polling thread: after every tick it takes a snapshot of values and hands it over with
// snapshotTaken() (to MetricsServer::publish, which only stores it). Nothing here waits on
// the server.
//
// The shards held and the state of the journal are inputs: a monitor without a site
// database holds its one shard 0; the journal's state follows its write failures and
// recoveries (watchJournal()).
class MetricsCollector : public QObject {
    Q_OBJECT

public:
    // The space the status journal takes is asked for this often (a few queries).
    static constexpr int statusBytesIntervalMs = 30000;

    explicit MetricsCollector(StatusPoller *poller, QObject *parent = nullptr);

    // Follows the journal's writes: failures make it unreachable, a recovery reachable
    // again; a journal that is not usable is unreachable from the start.
    void watchJournal(DatabaseLog *log);

    // The latest snapshot taken (null before the first).
    MetricsSnapshot::Pointer snapshot() const { return m_last; }

public slots:
    void setShardHeld(int shard, bool held);
    void setJournalState(bool reachable, const QString &problem = QString());
    // Takes a snapshot now and emits it.
    void refresh();

signals:
    void snapshotTaken(const MetricsSnapshot::Pointer &snapshot);

private:
    void sampleStatusBytes();

    StatusPoller *m_poller;
    QPointer<DatabaseLog> m_log;
    QMap<int, bool> m_shards;
    bool m_journalReachable = true;
    QString m_journalProblem;
    qint64 m_statusBytes = -1;
    QTimer m_bytesTimer;
    MetricsSnapshot::Pointer m_last;
};
