#pragma once

#include "journal/databasewrapper.h"
#include "journal/eventrecord.h"

#include <QPair>
#include <QVector>

// The reads of the event database that need none of the journal's memory: records by
// number, pages of the event journal, counts as stored, and the oldest status documents
// for the retention. DatabaseLog adds the writing and the repetition rules.
class EventJournal : public DatabaseWrapper {
    Q_OBJECT

public:
    using DatabaseWrapper::DatabaseWrapper;

    qint64 maxRecordId();
    qint64 minRecordId();
    bool eventById(qint64 recordId, QDateTime &time, int &deviceId, int &code);
    // Up to `limit` written events with a record number below `beforeId` (0: from the
    // newest), newest first; only unacknowledged ones when `unseenOnly`.
    QVector<EventRecord> events(qint64 beforeId, int limit, bool unseenOnly, bool *ok = nullptr);
    // The oldest status documents (record number, stored time), oldest first.
    bool oldestStatuses(int limit, QVector<QPair<qint64, QString>> &rows);
    // Removes the status documents up to and including `recordId`; the number removed,
    // -1 on a failure.
    int removeStatusesThrough(qint64 recordId);

protected:
    // Stored events: seenFilter 0 unacknowledged, 1 acknowledged, other values all; -1
    // when they cannot be counted.
    int queryCount(int seenFilter);
};
