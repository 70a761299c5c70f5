#pragma once

#include "jobs/devicejob.h"
#include "link/unitjournalrecord.h"

#include <QVector>

// Reads a central unit's event journal: "GET STATUS" first for the journal's write
// position, record count and capacity (fields 3 to 5), then one "GET JOURNAL 0," + index
// per record, oldest first, one request outstanding at a time. A full journal (count equal
// to the capacity) starts at the write position and wraps round at the capacity; one not
// yet full starts at 0.
//
// The job ends Done with every record, or with none when the journal is empty; Failed when
// the status has no journal fields or contradicts itself (position not below the capacity,
// more records than the capacity), or when an answer is not the record asked for (another
// index, a malformed record, an error); LinkLost when the link drops; Cancelled. Records
// are handed out only when the job is Done: a journal read in part never looks complete.
class UnitJournalReadJob : public DeviceJob {
    Q_OBJECT

public:
    enum Step { Status = 1, Records = 2 };

    // More records than this are not believed (they would take hours to read).
    static constexpr quint64 maxRecords = 1u << 20;

    explicit UnitJournalReadJob(Amodule *module, QObject *parent = nullptr);
    ~UnitJournalReadJob() override;

    // The records, oldest first, once the job is Done.
    QVector<UnitJournalRecord> records() const
    {
        return done ? list : QVector<UnitJournalRecord>();
    }
    // The journal fields of the status the job read (0 before).
    quint64 position() const { return writePosition; }
    quint64 count() const { return total; }
    quint64 capacity() const { return size; }

protected:
    void begin() override;
    void abort() override;

private:
    void onStatus(int err, const QString &answer);
    void requestNext();
    void fail(const QString &message, const QString &detail);
    // A request the device answered with an error or not at all: Failed while the link
    // lives, LinkLost when it went with it.
    void failAfterError(const QString &message, const QString &answer);

    QVector<UnitJournalRecord> list;
    quint64 writePosition = 0;
    quint64 total = 0;
    quint64 size = 0;
    quint64 first = 0;
    bool done = false;
};
