#include "journal/eventjournal.h"

#include <QVariant>

#include <limits>

int EventJournal::queryCount(int seenFilter)
{
    QString statement;
    if (seenFilter == 0)
        statement = QStringLiteral("SELECT count(*) as total FROM error_log WHERE seen=0");
    else if (seenFilter == 1)
        statement = QStringLiteral("SELECT count(*) as total FROM error_log WHERE seen=1");
    else
        statement = QStringLiteral("SELECT count(*) as total FROM error_log");
    QSqlQuery *query = run(statement);
    int total = -1;
    if (query && query->next())
        total = query->value(QStringLiteral("total")).toInt();
    done(query);
    return total;
}

qint64 EventJournal::maxRecordId()
{
    QSqlQuery *query = run(QStringLiteral("SELECT MAX(record_id) FROM error_log"));
    qint64 id = 0;
    if (query && query->next())
        id = query->value(0).toLongLong();
    done(query);
    return id;
}

qint64 EventJournal::minRecordId()
{
    QSqlQuery *query = run(QStringLiteral("SELECT MIN(record_id) FROM error_log"));
    qint64 id = 0;
    if (query && query->next())
        id = query->value(0).toLongLong();
    done(query);
    return id;
}

bool EventJournal::eventById(qint64 recordId, QDateTime &time, int &deviceId, int &code)
{
    QSqlQuery *query = run(QStringLiteral("SELECT param_time, device_unique_id, error_id FROM "
                                          "error_log WHERE record_id=?"),
                           {recordId});
    if (!query)
        return false;
    const bool found = query->next();
    if (found) {
        time = parseTime(query->value(0).toString());
        deviceId = query->value(1).toInt();
        code = query->value(2).toInt();
    }
    done(query);
    return found;
}

QVector<EventRecord> EventJournal::events(qint64 beforeId, int limit, bool unseenOnly, bool *ok)
{
    const QString statement = unseenOnly
        ? QStringLiteral("SELECT record_id, param_time, device_unique_id, error_id, "
                         "error_description, seen FROM error_log WHERE seen=0 AND record_id<? "
                         "ORDER BY record_id DESC LIMIT ?;")
        : QStringLiteral("SELECT record_id, param_time, device_unique_id, error_id, "
                         "error_description, seen FROM error_log WHERE record_id<? ORDER BY "
                         "record_id DESC LIMIT ?;");
    const qint64 below = beforeId > 0 ? beforeId : std::numeric_limits<qint64>::max();
    QVector<EventRecord> rows;
    QSqlQuery *query = run(statement, {below, limit});
    if (ok)
        *ok = query != nullptr;
    if (!query)
        return rows;
    while (query->next()) {
        EventRecord record;
        record.recordId = query->value(0).toLongLong();
        record.time = query->value(1).toString();
        record.deviceId = query->value(2).toInt();
        record.code = query->value(3).toInt();
        record.description = query->value(4).toString();
        record.seen = query->value(5).toInt();
        rows.append(record);
    }
    done(query);
    return rows;
}

bool EventJournal::oldestStatuses(int limit, QVector<QPair<qint64, QString>> &rows)
{
    rows.clear();
    QSqlQuery *query = run(QStringLiteral("SELECT record_id, param_time FROM status_log ORDER BY "
                                          "record_id LIMIT ?;"),
                           {limit});
    if (!query)
        return false;
    while (query->next())
        rows.append({query->value(0).toLongLong(), query->value(1).toString()});
    done(query);
    return true;
}

int EventJournal::removeStatusesThrough(qint64 recordId)
{
    QSqlQuery *query =
        run(QStringLiteral("DELETE FROM status_log WHERE record_id<=?;"), {recordId});
    if (!query)
        return -1;
    const int removed = query->numRowsAffected();
    done(query);
    return removed;
}
