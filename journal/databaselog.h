#pragma once

#include "journal/databasewrapper.h"
#include "journal/eventrecord.h"

#include <QHash>
#include <QPointer>
#include <QVector>

class EventTableModel;

// The event database ("log.sqlite"): the status journal (every accepted status
// document) and the event journal (faults, their clearing, acknowledgements).
//
// insertEvent() applies the repetition rules that keep one journal entry per change
// although line faults are offered with every status. The lookups behind those rules
// and the record counts are answered from memory once read; the memory is forgotten
// whenever another connection (a second program on the same file) commits a change.
class DatabaseLog : public DatabaseWrapper {
    Q_OBJECT

public:
    // A fault going away has the fault's code with this bit set.
    static constexpr int clearedBit = 0x40000000;

    // Groups the records of one piece of work (one status document, one tick) into one
    // write transaction: they are stored together or not at all, and the file is locked
    // once instead of once per statement. Transactions nest; the outermost commits.
    // Signals about the records are emitted once they are committed.
    // A transaction may outlive its log (one kept open across answers): it then ends
    // with nothing left to do.
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
    ~DatabaseLog() override;

    bool insertStatus(int deviceId, const QString &jsonText, const QDateTime &time);
    // Records an event unless the repetition rules skip it. Returns the result of the
    // insert, true when the rules skipped it.
    bool insertEvent(int deviceId, const QString &description, int code, const QDateTime &time);
    // Time of the newest event `code` of a device: seenFilter 0 only unacknowledged ones,
    // 1 only acknowledged ones, any other value all. False when there is none.
    bool lastEventTime(int deviceId, int code, QDateTime &time, int seenFilter);
    // Acknowledges every event.
    bool markAllSeen();
    // Number of events: seenFilter 0 unacknowledged, 1 acknowledged, other values all.
    int eventCount(int seenFilter);
    int maxRecordId();
    int minRecordId();
    bool eventById(int recordId, QDateTime &time, int &deviceId, int &code);

    // Up to `limit` events with a record number below `beforeId` (0: from the newest),
    // newest first; only unacknowledged ones when `unseenOnly`.
    QVector<EventRecord> events(int beforeId, int limit, bool unseenOnly, bool *ok = nullptr);

    EventTableModel *tableModel() const { return m_model; }

    // For measurements: with the memory off every lookup and count reads the file.
    void setLookupMemory(bool on);

protected:
    bool transactionOpen() const override { return m_depth > 0; }

signals:
    // A record was added to the event journal.
    void eventInserted(const EventRecord &record);
    // Every event was acknowledged.
    void allSeen();

private:
    struct Last {
        bool anyKnown = false;
        bool anyFound = false;
        QDateTime any;
        bool unseenKnown = false;
        bool unseenFound = false;
        QDateTime unseen;
    };

    void beginTransaction();
    void endTransaction();
    void announce(const QVector<EventRecord> &records);
    bool allowedByRules(int deviceId, int code);
    bool queryLastTime(int deviceId, int code, QDateTime &time, int seenFilter);
    int queryCount(int seenFilter);
    // Forgets the memory when another connection changed the file, or after a failure.
    void checkMemory();
    void forget();
    static quint64 key(int deviceId, int code);

    EventTableModel *m_model = nullptr;
    bool m_memoryOn = true;
    qint64 m_dataVersion = -1;
    QHash<quint64, Last> m_last;
    int m_countAll = -1;
    int m_countUnseen = -1;
    int m_depth = 0; // nesting of transactions
    bool m_inTransaction = false; // the outermost one could be begun
    QVector<EventRecord> m_uncommitted;
};
