#include "journal/journalquery.h"

#include "journal/sqldialect.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace {

QString intList(const QVector<int> &values)
{
    QStringList texts;
    texts.reserve(values.size());
    for (const int value : values)
        texts << QString::number(value);
    return texts.join(QLatin1Char(','));
}

bool newerFirst(const EventRecord &a, const EventRecord &b)
{
    if (a.timeKey != b.timeKey)
        return a.timeKey > b.timeKey;
    return a.recordId > b.recordId;
}

} // namespace

JournalQuery::JournalQuery(const QSqlDatabase &database)
    : m_database(database)
{
}

bool JournalQuery::hasTimeKey()
{
    if (m_hasTimeKey < 0 && SqlDialect::of(m_database).isPostgres())
        m_hasTimeKey = 1; // made with the schema
    if (m_hasTimeKey < 0) {
        QSqlQuery query(m_database);
        m_hasTimeKey = 0;
        if (query.exec(QStringLiteral("PRAGMA table_info(error_log);"))) {
            while (query.next()) {
                if (query.value(1).toString() == QLatin1String("time_key"))
                    m_hasTimeKey = 1;
            }
        }
        // The indexes come after the keys of every record: without them the keys may be
        // incomplete (an upgrade that did not finish), and the record order is used.
        if (m_hasTimeKey == 1 &&
            (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' "
                                        "AND name IN ('error_log_time', 'error_log_device_time', "
                                        "'error_log_code_time');")) ||
             !query.next() || query.value(0).toInt() != 3))
            m_hasTimeKey = 0;
    }
    return m_hasTimeKey == 1;
}

QString JournalQuery::conditions(const JournalFilter &filter, const QString &partitionColumn) const
{
    const QString key = m_hasTimeKey == 1 ? QStringLiteral("time_key")
                                          : JournalFilter::timeKeySql(QStringLiteral("param_time"));
    QStringList where;
    if (!partitionColumn.isEmpty())
        where << partitionColumn + QStringLiteral("=:partition");
    if (filter.byDevice && partitionColumn != QLatin1String("device_unique_id"))
        where << QStringLiteral("device_unique_id IN (%1)").arg(intList(filter.deviceIds));
    if (filter.byCode && partitionColumn != QLatin1String("error_id"))
        where << QStringLiteral("error_id IN (%1)").arg(intList(filter.codes));
    if (filter.fromKey > 0)
        where << key + QStringLiteral(">=") + QString::number(filter.fromKey);
    if (filter.toKey > 0)
        where << key + QStringLiteral("<=") + QString::number(filter.toKey);
    if (filter.unacknowledgedOnly)
        where << QStringLiteral("seen=0");
    if (m_hasTimeKey == 1)
        where << QStringLiteral("(time_key, record_id) < (:key, :id)");
    else
        where << QStringLiteral("record_id < :id");
    return where.join(QStringLiteral(" AND "));
}

bool JournalQuery::page(const JournalFilter &filter, Cursor *cursor, int limit,
                        QVector<EventRecord> *rows, QString *error)
{
    rows->clear();
    limit = qMax(1, limit);
    if (cursor->atEnd)
        return true;
    if ((filter.byDevice && filter.deviceIds.isEmpty()) ||
        (filter.byCode && filter.codes.isEmpty())) {
        cursor->atEnd = true;
        return true;
    }
    const bool keyed = hasTimeKey();

    // Read along one index per device or per code when there are few of them.
    QString partitionColumn;
    QVector<int> partitions;
    if (keyed && filter.byDevice && filter.deviceIds.size() <= maxPartitions) {
        partitionColumn = QStringLiteral("device_unique_id");
        partitions = filter.deviceIds;
    } else if (keyed && filter.byCode && filter.codes.size() <= maxPartitions) {
        partitionColumn = QStringLiteral("error_id");
        partitions = filter.codes;
    }

    // A partition is read along its own index: the planner would otherwise take the
    // device-and-code index for a few codes of many devices and sort all they hold.
    // (The server's planner picks the partition's index by itself.)
    QString table = QStringLiteral("error_log");
    const bool sqlite = !SqlDialect::of(m_database).isPostgres();
    if (sqlite && partitionColumn == QLatin1String("device_unique_id"))
        table += QStringLiteral(" INDEXED BY error_log_device_time");
    else if (sqlite && partitionColumn == QLatin1String("error_id"))
        table += QStringLiteral(" INDEXED BY error_log_code_time");
    const QString statement =
        QStringLiteral("SELECT record_id, param_time, device_unique_id, error_id, "
                       "error_description, seen, %1 FROM %5 WHERE %2 ORDER BY %3 LIMIT %4;")
            .arg(keyed ? QStringLiteral("time_key") : QStringLiteral("0"),
                 conditions(filter, partitionColumn),
                 keyed ? QStringLiteral("time_key DESC, record_id DESC")
                       : QStringLiteral("record_id DESC"))
            .arg(limit)
            .arg(table);
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    if (partitions.isEmpty())
        partitions.append(0); // one pass, no partition value bound
    for (const int partition : qAsConst(partitions)) {
        if (!partitionColumn.isEmpty())
            query.bindValue(QStringLiteral(":partition"), partition);
        if (keyed)
            query.bindValue(QStringLiteral(":key"), cursor->timeKey);
        query.bindValue(QStringLiteral(":id"), cursor->recordId);
        if (!query.exec()) {
            if (error)
                *error = query.lastError().text();
            return false;
        }
        while (query.next()) {
            EventRecord record;
            record.recordId = query.value(0).toLongLong();
            record.time = query.value(1).toString();
            record.deviceId = query.value(2).toInt();
            record.code = query.value(3).toInt();
            record.description = query.value(4).toString();
            record.seen = query.value(5).toInt();
            record.timeKey = keyed ? query.value(6).toLongLong() : 0;
            rows->append(record);
        }
        query.finish();
    }
    if (partitionColumn.isEmpty()) {
        // Already in order.
    } else {
        std::sort(rows->begin(), rows->end(), newerFirst);
        if (rows->size() > limit)
            rows->resize(limit);
    }
    if (rows->size() < limit)
        cursor->atEnd = true;
    if (!rows->isEmpty()) {
        const EventRecord &last = rows->constLast();
        const bool movedOn = keyed
            ? (last.timeKey < cursor->timeKey ||
               (last.timeKey == cursor->timeKey && last.recordId < cursor->recordId))
            : last.recordId < cursor->recordId;
        if (!movedOn) {
            if (error)
                *error =
                    QStringLiteral("the records do not move on at record %1").arg(last.recordId);
            return false;
        }
        cursor->timeKey = last.timeKey;
        cursor->recordId = last.recordId;
    }
    return true;
}
