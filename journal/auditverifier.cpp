#include "journal/auditverifier.h"

#include "journal/sqldialect.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

AuditVerifier::Result found(AuditVerifier::Finding finding, qint64 sequence, qint64 records,
                            const QString &message)
{
    AuditVerifier::Result result;
    result.finding = finding;
    result.sequence = sequence;
    result.records = records;
    result.message = message;
    return result;
}

} // namespace

AuditVerifier::Result AuditVerifier::verify(const QSqlDatabase &database, const QString &head)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(SqlDialect::of(database).tableExists()))
        return found(Finding::Unreadable, 0, 0, query.lastError().text());
    query.addBindValue(QStringLiteral("audit_log"));
    if (!query.exec())
        return found(Finding::Unreadable, 0, 0, query.lastError().text());
    const bool hasTable = query.next();
    query.finish();
    if (hasTable &&
        !query.exec(QStringLiteral("SELECT record_id, time, user_name, host, device, action, "
                                   "details, prev_hash, hash FROM audit_log ORDER BY record_id;")))
        return found(Finding::Unreadable, 0, 0, query.lastError().text());

    // One record of look-ahead: a record that does not fit is inserted when the one after
    // it links to the record before it.
    const auto fetch = [&query](AuditRecord *record) {
        if (!query.next())
            return false;
        record->sequence = query.value(0).toLongLong();
        record->time = query.value(1).toString();
        record->user = query.value(2).toString();
        record->host = query.value(3).toString();
        record->device = query.value(4).toString();
        record->action = query.value(5).toString();
        record->details = query.value(6).toString();
        record->prevHash = query.value(7).toString();
        record->hash = query.value(8).toString();
        return true;
    };
    Result result;
    QString expectedPrev; // hash of the last record that belongs to the chain
    QString beforePrev; // and of the one before it
    qint64 expectedSequence = 1;
    bool headSeen = head.isEmpty();
    AuditRecord record;
    AuditRecord next;
    bool haveNext = hasTable && fetch(&next);
    while (haveNext) {
        record = next;
        haveNext = fetch(&next);
        const bool linked = record.prevHash == expectedPrev;
        const bool consistent =
            record.computeHash() == record.hash && record.sequence == expectedSequence;
        if (!linked && result.records > 0 && record.prevHash == beforePrev)
            return found(Finding::Inserted, expectedSequence - 1, result.records,
                         QStringLiteral("record %1 was inserted: record %2 links to the one "
                                        "before it")
                             .arg(expectedSequence - 1)
                             .arg(record.sequence));
        if (record.sequence > expectedSequence && !linked) {
            const qint64 last = record.sequence - 1;
            return found(Finding::Removed, expectedSequence, result.records,
                         last == expectedSequence
                             ? QStringLiteral("record %1 was removed").arg(expectedSequence)
                             : QStringLiteral("records %1 to %2 were removed")
                                   .arg(expectedSequence)
                                   .arg(last));
        }
        if (!linked || !consistent) {
            if (haveNext && next.prevHash == expectedPrev)
                return found(Finding::Inserted, record.sequence, result.records,
                             QStringLiteral("record %1 was inserted: record %2 links to the "
                                            "one before it")
                                 .arg(record.sequence)
                                 .arg(next.sequence));
            // A consistent record that does not follow its predecessor: the predecessor
            // was changed and given a new hash.
            const qint64 altered = !linked && consistent && result.records > 0
                ? expectedSequence - 1
                : record.sequence;
            return found(Finding::Altered, altered, result.records,
                         QStringLiteral("record %1 was altered").arg(altered));
        }
        beforePrev = expectedPrev;
        expectedPrev = record.hash;
        ++expectedSequence;
        ++result.records;
        if (!headSeen && record.hash.compare(head, Qt::CaseInsensitive) == 0)
            headSeen = true;
    }
    if (query.lastError().isValid())
        return found(Finding::Unreadable, expectedSequence, result.records,
                     query.lastError().text());
    if (!headSeen)
        return found(Finding::CutOff, expectedSequence, result.records,
                     result.records == 0
                         ? QStringLiteral("the trail is empty: every record up to the head was "
                                          "cut off")
                         : QStringLiteral("records from %1 on were cut off the end: the head "
                                          "is not in the trail, whose last record is %2")
                               .arg(expectedSequence)
                               .arg(expectedSequence - 1));
    result.lastHash = expectedPrev;
    result.message = QStringLiteral("%1 records, intact").arg(result.records);
    return result;
}
