#pragma once

#include "journal/durationhistogram.h"
#include "journal/eventjournal.h"
#include "journal/eventlookupmemory.h"
#include "journal/eventrecord.h"
#include "journal/statusrowinsert.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPair>
#include <QPointer>
#include <QTimer>
#include <QVector>

class EventSpill;
class EventTableModel;
class QThread;
class StatusLogRetention;

// The event database ("log.sqlite"): the status journal (every accepted status
// document) and the event journal (faults, their clearing, acknowledgements).
//
// insertEvent() applies the repetition rules that keep one journal entry per change
// although line faults are offered with every status. The rules compare records by
// their order (the record number), never by their one-second times. The lookups behind
// those rules and the record counts are answered from memory once read; the memory is
// forgotten whenever another connection (a second program on the same file) commits a
// change.
//
// New records are kept in memory until they are written, which happens at once, or at
// the end of the outermost Transaction. When writing fails (a full disk, a file locked by
// another program) they stay there and writing is tried again every second; nothing is
// dropped. writeFailed() says so once, writeRecovered() when they are written.
//
// The indexes of an old journal that lacks them are built on a thread of their own. The
// journal takes records meanwhile without reading the file for its rules (that would
// scan millions of records on the caller's thread): what it does not remember counts as
// absent, and once the indexes are built every record taken meanwhile is judged again
// against the stored journal before it is written. The status journal is trimmed to the
// retention limits in small steps (StatusLogRetention).
class DatabaseLog : public EventJournal {
    Q_OBJECT

public:
    // Records kept in memory at most while they cannot be written; status documents
    // beyond the bound are dropped oldest first, events are refused.
    static constexpr int maxPendingStatuses = 20000;
    static constexpr int maxPendingEvents = 1000000;
    // Writing is tried again this long after a failure (unless set otherwise).
    static constexpr int retryIntervalMs = 1000;
    // A file locked by another program counts as a failure once it stays locked this long.
    static constexpr int lockReportAfterMs = 10000;
    // Journals with fewer events get their missing indexes at once, others on a thread.
    static constexpr int inlineIndexRecords = 20000;

    // Groups the records of one piece of work (one status document, one tick): they are
    // written together in one transaction when the outermost Transaction ends, and
    // announced once written. Transactions nest. A transaction may outlive its log (one
    // kept open across answers): it then ends with nothing left to do.
    class Transaction {
    public:
        explicit Transaction(DatabaseLog *log)
            : m_log(log)
        {
            if (m_log)
                m_log->beginTransaction();
        }
        ~Transaction()
        {
            if (m_log)
                m_log->endTransaction();
        }
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;

    private:
        QPointer<DatabaseLog> m_log;
    };

    explicit DatabaseLog(const QString &fileName = QStringLiteral("log.sqlite"),
                         QObject *parent = nullptr);
    // The event journal at `location`. On PostgreSQL the status journal keeps only the
    // documents that differ from the device's previous one.
    explicit DatabaseLog(const JournalLocation &location, QObject *parent = nullptr);
    // Writes what is still kept in memory.
    ~DatabaseLog() override;

    // Whether the journal's tables exist: false for a file that cannot be opened or is
    // not a database, or a PostgreSQL database of another schema version; nothing is then
    // recorded. A server that cannot be reached keeps the journal usable: records wait in
    // memory until it is back.
    bool isUsable() const { return m_usable; }

    // Both take the record and write it (at once, or when the outermost Transaction
    // ends). False only when the journal is not usable or the memory bound is reached.
    bool insertStatus(int deviceId, const QString &jsonText, const QDateTime &time);
    // Records an event unless the repetition rules skip it (true then as well).
    bool insertEvent(int deviceId, const QString &description, int code, const QDateTime &time);
    // A line (0..7) reported normal, offered with every status: recorded (event 32 +
    // line) unless the journal already says so, that is when the line was never reported
    // normal or a fault of it was recorded after its last normal report.
    bool recordLineNormal(int deviceId, int line, const QDateTime &time);
    // Time of the newest event `code` of a device: seenFilter 0 only unacknowledged ones,
    // 1 only acknowledged ones, any other value all. False when there is none.
    bool lastEventTime(int deviceId, int code, QDateTime &time, int seenFilter);
    // Acknowledges every event.
    bool markAllSeen();
    // Acknowledges the events up to record `recordId` (those a list showed; not those
    // that arrived since) and every acknowledgement record. On PostgreSQL the records
    // keep who (`by`, else the login), from which host and when.
    bool markSeenThrough(qint64 recordId, const QString &by = QString());
    // "Просмотрено": records the acknowledgement (code 255, device -1) at `time` and
    // acknowledges the events up to `shownId`, the newest record the list showed.
    bool acknowledge(qint64 shownId, const QDateTime &time, const QString &by = QString());
    // Number of events, those not yet written included: seenFilter 0 unacknowledged,
    // 1 acknowledged, other values all.
    int eventCount(int seenFilter);

    // Writes the records kept in memory now (outside a Transaction). True when none is
    // left; false while the indexes are built or writing fails (tried again later).
    bool flush();
    int pendingEvents() const { return m_pendingEvents.size(); }
    int pendingStatuses() const { return m_pendingStatuses.size(); }
    // The write transactions committed, each from its start to its commit, and the records
    // (events and status documents) they wrote.
    const DurationHistogram &writeDurations() const { return m_writeDurations; }
    qint64 recordsWritten() const { return m_recordsWritten; }
    bool indexesReady() const { return m_indexThread == nullptr; }
    // How long after a failure writing is tried again (tests shorten it).
    void setRetryInterval(int milliseconds) { m_retryTimer.setInterval(qMax(1, milliseconds)); }

    // Retention of the status journal: documents older than `days` days, and the oldest
    // ones while the file uses more than `maxMb` MiB, are removed in small steps; 0 lifts
    // a limit. Defaults: StatusLogRetention::defaultDays and defaultMaxMb.
    void setStatusRetention(int days, int maxMb);
    StatusLogRetention *statusRetention() const { return m_retention; }

    EventTableModel *tableModel() const { return m_model; }

    // For measurements: with the memory off every lookup and count reads the file.
    void setLookupMemory(bool on)
    {
        m_memoryOn = on;
        forget();
    }

    // How many device codes the memory keeps before it forgets them all (tests make it
    // small).
    void setLookupMemoryCapacity(int keys)
    {
        m_memory.setCapacity(keys);
        forget();
    }

    // A site monitor's journal: no other program records these devices meanwhile (their
    // shards are this monitor's), so what is remembered of them is forgotten only when an
    // acknowledgement was recorded, or by forgetRemembered() (a shard taken over).
    void setOwnDevices(bool on);
    void forgetRemembered() { forget(); }
    // From the first failed write on, events go to `spill` (not owned) instead of memory,
    // and are written, judged again by the rules, once the server is back: only those of
    // devices with no record newer than the watermark kept with them. A spill holding
    // events of an earlier run is written as soon as possible.
    void setSpill(EventSpill *spill);
    // Whether the newest record of general fault `code` of a device is the fault rather
    // than its going away.
    bool faultRecorded(int deviceId, int code);

protected:
    bool transactionOpen() const override { return m_writing; }

signals:
    // A record was added to the event journal (once written).
    void eventInserted(const EventRecord &record);
    // Events were acknowledged (all, or up to a record).
    void allSeen();
    // Records could not be written and are kept in memory; emitted once until
    // writeRecovered().
    void writeFailed(const QString &error);
    void writeRecovered();
    // The indexes built on their thread are in place (false: the build failed).
    void indexesBuilt(bool ok);
    // The spill was written: `dropped` of its events were not, their devices having newer
    // records; `failed` says what went wrong with the spill file itself.
    void spillWritten(int written, int dropped);
    void spillFailed(const QString &error);

private:
    struct PendingEvent {
        EventRecord record;
        qint64 order; // above every record number: newer than everything written
        bool provisional = false; // taken while the indexes were built: judged again
        bool lineNormal = false; // by recordLineNormal()
    };
    using PendingStatus = StatusRowInsert::Row;

    void beginTransaction();
    void endTransaction();
    bool writePending(bool announceWritten = true);
    void writeFailedOnce();
    void rollbackQuietly();
    void announce(const QVector<EventRecord> &records);
    bool allowedByRules(int deviceId, int code);
    bool lineNormalNeeded(int deviceId, int line);
    bool queueEvent(const EventRecord &record, bool lineNormal);
    // Once the indexes are built: the records taken meanwhile are offered again in order.
    void judgeProvisional();
    bool lookup(int deviceId, int code, int seenFilter, qint64 *order, QDateTime *time);
    bool lookupStored(int deviceId, int code, int seenFilter, qint64 *order, QDateTime *time,
                      bool *ok);
    int pendingCount(int seenFilter) const;
    void ensureIndexes();
    void indexBuildDone(const QString &error);
    void stopIndexBuild();
    // Forgets the memory when another connection changed the file.
    void checkMemory();
    void forget();
    // PostgreSQL: the change counter after this connection's own `statements` writes of
    // the event journal, read before its commit (see SqlDialect::changeCounter()).
    void noteOwnChanges(int statements);
    // Moves the records kept in memory to the spill; false when it cannot take them.
    bool spillPending();
    // Before writing: the spilled events judged again, in m_pendingEvents; false when the
    // server cannot say which devices have newer records.
    bool prepareReplay(int *dropped);

    EventTableModel *m_model = nullptr;
    StatusLogRetention *m_retention = nullptr;
    bool m_usable = false;
    bool m_hasTimeKey = false; // error_log has the column time_key
    bool m_memoryOn = true;
    qint64 m_dataVersion = -1;
    EventLookupMemory m_memory;
    // The memory's generation when the oldest record waiting to be written was queued.
    quint64 m_pendingRememberedIn = 0;
    int m_countAll = -1; // written events, -1: not known
    int m_countUnseen = -1;
    int m_depth = 0; // nesting of transactions
    bool m_writing = false; // a write transaction is open
    QVector<PendingEvent> m_pendingEvents;
    QVector<PendingStatus> m_pendingStatuses;
    qint64 m_nextOrder;
    qint64 m_droppedStatuses = 0;
    DurationHistogram m_writeDurations;
    qint64 m_recordsWritten = 0;
    QTimer m_retryTimer;
    QElapsedTimer m_failingSince;
    bool m_failureReported = false;
    QString m_failure;
    bool m_failureWasLock = false;
    QThread *m_indexThread = nullptr;
    QHash<int, QString> m_lastStatus; // PostgreSQL: the last document taken per device
    EventSpill *m_spill = nullptr;
    bool m_ownDevices = false;
    bool m_replaying = false; // m_pendingEvents holds the spill's events
    qint64 m_watermark = 0; // the highest record number known
};
