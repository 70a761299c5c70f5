#pragma once

#include "journal/eventrecord.h"
#include "journal/journallocation.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QMetaType>
#include <QObject>
#include <QSqlDriver>
#include <QString>
#include <QTimer>
#include <QVector>

class QSqlQuery;

// Reads what the monitors write into the site database, for a console that watches
// instead of polling: new events, acknowledgements, the states of the devices and the
// stamps of the shards. Lives on a thread of its own (a server that cannot be reached
// may hold a connect for seconds) with a connection of its own, and hands values out by
// queued signals.
//
// It listens on the channel norda_journal and, a few milliseconds after a notification
// (several coalesce into one read), reads what changed since it last looked: events
// with a higher record number, the acknowledgement counter, device states changed since
// the newest one seen (with a few seconds' overlap, since records of transactions that
// committed late may carry an earlier time) and the shards. Every second it reads the
// same anyway, in case a notification went missing; that read costs the counters, the
// shard stamps and the few rows that changed. A connection that fails is dropped and
// opened again every second; once it is back the watcher catches up and says so.
//
// Record numbers are handed out before commit, so a lower one may turn up after a
// higher: numbers skipped over are waited for a while (gapWaitMs) and handed out late
// when they come.
class SiteWatcher : public QObject {
    Q_OBJECT

public:
    // What a monitor last wrote of a device (a row of device_state).
    struct DeviceState {
        int deviceId = 0;
        int shard = 0;
        bool online = false;
        QString faults; // FaultListText
        qint64 lastAnswerMs = 0; // ms since the epoch, 0: never answered
        qint64 changedAtUs = 0; // µs since the epoch
    };
    // A shard and whether its holder still stamps it (compared on the server's clock).
    struct Shard {
        int shard = 0;
        QString owner;
        qint64 stampedAtMs = 0; // 0: never stamped
        bool stale = true;
    };
    // The newest acknowledgement: who, from which host, when.
    struct Acknowledgement {
        QString by;
        QString host;
        qint64 atMs = 0;
    };

    static constexpr int defaultStaleSeconds = 10;
    static constexpr int fallbackIntervalMs = 1000;
    static constexpr int coalesceMs = 20;
    static constexpr int stateOverlapSeconds = 5;
    static constexpr int gapWaitMs = 10000;
    static constexpr int maxGaps = 1000;
    // New events read at most per look; beyond that the list is read again instead.
    static constexpr int maxNewEvents = 2000;
    static constexpr char channel[] = "norda_journal";

    explicit SiteWatcher(const JournalLocation &location, int staleSeconds = defaultStaleSeconds);
    ~SiteWatcher() override;

public slots:
    // Run on the watcher's thread once it started.
    void start();
    void setStaleSeconds(int seconds);
    // Reads everything now (as the fallback does).
    void refresh();

signals:
    // Connected (the first look after connecting is done) or not, with the driver's text.
    void connectionChanged(bool connected, const QString &error);
    // Events recorded since the last look, oldest first. `inOrder` false: some are older
    // than ones handed out before, or there were too many; the list is best read again.
    void eventsAdded(const QVector<EventRecord> &records, bool inOrder);
    // Events were acknowledged (by the newest acknowledgement recorded).
    void acknowledged(const SiteWatcher::Acknowledgement &acknowledgement);
    // Device states that changed; `all` with the whole table (after connecting).
    void devicesChanged(const QVector<SiteWatcher::DeviceState> &states, bool all);
    // Every shard, once a second and when one changed hands; `count` is the site's
    // number of shards.
    void shardsChanged(int count, const QVector<SiteWatcher::Shard> &shards);

private:
    enum Dirty { Events = 1, States = 2, Shards = 4, Everything = 7 };

    void onNotification(const QString &name, QSqlDriver::NotificationSource source,
                        const QVariant &payload);
    void look(int what);
    bool connectServer();
    void disconnectServer(const QString &error);
    // A prepared statement of the connection, run with `values`; null on failure (the
    // connection is then dropped).
    QSqlQuery *run(const QString &statement, const QVariantList &values = {});
    bool readBaseline();
    bool readEvents();
    bool readAcknowledgements(bool announce);
    bool readStates(bool all);
    bool readShards();

    JournalLocation m_location;
    QString m_connectionName;
    int m_staleSeconds;
    bool m_connected = false;
    QString m_lastError;
    bool m_errorReported = false;
    QTimer *m_fallback = nullptr;
    QTimer *m_coalesce = nullptr;
    int m_dirty = 0;
    QHash<QString, QSqlQuery *> m_statements;
    QElapsedTimer m_clock;
    qint64 m_lastEventId = -1;
    QMap<qint64, qint64> m_gaps; // record number -> m_clock ms when it was skipped
    qint64 m_ackCounter = -1;
    qint64 m_statesSinceUs = 0;
    QHash<int, DeviceState> m_states;
};

Q_DECLARE_METATYPE(SiteWatcher::DeviceState)
Q_DECLARE_METATYPE(SiteWatcher::Shard)
Q_DECLARE_METATYPE(SiteWatcher::Acknowledgement)
