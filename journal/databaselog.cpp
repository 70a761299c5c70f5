#include "journal/databaselog.h"

#include "journal/eventtablemodel.h"

#include <QDebug>
#include <QSqlError>
#include <QVariant>

#include <limits>

namespace {

// Lookups kept in memory at most; beyond it the memory starts afresh.
constexpr int maxRemembered = 200000;

bool isLineFault(int code)
{
    return code >= 8 && code <= 31;
}

bool isLineNormal(int code)
{
    return code >= 32 && code <= 39;
}

} // namespace

DatabaseLog::DatabaseLog(const QString &fileName, QObject *parent)
    : DatabaseWrapper(fileName, parent)
{
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS status_log (record_id INTEGER PRIMARY KEY "
                        "AUTOINCREMENT,device_unique_id INTEGER,status_json TEXT,param_time "
                        "TEXT);"));
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS error_log (record_id INTEGER PRIMARY KEY "
                        "AUTOINCREMENT,param_time TEXT,device_unique_id INTEGER,error_id "
                        "INTEGER,error_description TEXT,seen INTEGER);"));
    // The repetition rules ask for the newest event of one code of one device, with and
    // without regard to acknowledgement; the journal view and the counters ask for the
    // unacknowledged events. These stay fast with millions of records.
    exec(QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_device_code ON "
                        "error_log(device_unique_id, error_id);"));
    exec(QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_device_code_seen ON "
                        "error_log(device_unique_id, error_id, seen);"));
    exec(QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_seen ON error_log(seen);"));

    m_model = new EventTableModel(this, this);
    if (!m_model->select())
        qWarning().noquote() << "Error select()" << database().lastError().text();
}

DatabaseLog::~DatabaseLog()
{
    delete m_model;
    m_model = nullptr;
}

quint64 DatabaseLog::key(int deviceId, int code)
{
    return (quint64(quint32(deviceId)) << 32) | quint32(code);
}

void DatabaseLog::setLookupMemory(bool on)
{
    m_memoryOn = on;
    forget();
}

void DatabaseLog::forget()
{
    m_last.clear();
    m_countAll = -1;
    m_countUnseen = -1;
}

void DatabaseLog::beginTransaction()
{
    if (m_depth++ > 0)
        return;
    // Immediate: no other program can write until the commit, so what is remembered
    // stays true for the whole transaction.
    m_inTransaction = isOpen() && exec(QStringLiteral("BEGIN IMMEDIATE;"));
    if (m_inTransaction && m_memoryOn)
        checkMemory();
}

void DatabaseLog::endTransaction()
{
    if (m_depth == 0 || --m_depth > 0)
        return;
    const QVector<EventRecord> records = m_uncommitted;
    m_uncommitted.clear();
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    if (!exec(QStringLiteral("COMMIT;"))) {
        exec(QStringLiteral("ROLLBACK;"));
        forget();
        return;
    }
    announce(records);
}

void DatabaseLog::announce(const QVector<EventRecord> &records)
{
    // The journal view takes the records of one piece of work as one insertion.
    m_model->prependRecords(records);
    for (const EventRecord &record : records)
        emit eventInserted(record);
}

void DatabaseLog::checkMemory()
{
    QSqlQuery *query = run(QStringLiteral("PRAGMA data_version;"));
    qint64 version = -1;
    if (query && query->next())
        version = query->value(0).toLongLong();
    done(query);
    if (version < 0 || version != m_dataVersion)
        forget();
    m_dataVersion = version;
}

bool DatabaseLog::insertStatus(int deviceId, const QString &jsonText, const QDateTime &time)
{
    QSqlQuery *query = run(QStringLiteral("INSERT INTO status_log (device_unique_id, "
                                          "status_json, param_time) VALUES (?, ?, ?);"),
                           {deviceId, textValue(jsonText), timeText(time)});
    done(query);
    return query != nullptr;
}

bool DatabaseLog::allowedByRules(int deviceId, int code)
{
    // A line back to normal is always recorded.
    if (isLineNormal(code))
        return true;

    QDateTime last;
    if (code & clearedBit) {
        // A fault going away: skipped when the fault itself was last reported before the
        // last unacknowledged record of its going away.
        if (!lastEventTime(deviceId, code, last, 0))
            return true;
        QDateTime fault;
        return !(lastEventTime(deviceId, code & ~clearedBit, fault, 0) && fault < last);
    }

    // A fault: recorded again only when it went away (line faults: the line was back to
    // normal) since its last unacknowledged record.
    if (!lastEventTime(deviceId, code, last, 0))
        return true;
    QDateTime cleared;
    const bool found = isLineFault(code) ? lastEventTime(deviceId, 32 + code % 8, cleared, -1)
                                         : lastEventTime(deviceId, code | clearedBit, cleared, 0);
    return found && !(cleared < last);
}

bool DatabaseLog::insertEvent(int deviceId, const QString &description, int code,
                              const QDateTime &time)
{
    if (!allowedByRules(deviceId, code))
        return true;

    EventRecord record;
    record.time = timeText(time);
    record.deviceId = deviceId;
    record.code = code;
    record.description = description.isNull() ? QStringLiteral("") : description;
    QSqlQuery *query = run(QStringLiteral("INSERT INTO error_log (device_unique_id, param_time, "
                                          "error_id, error_description, seen) VALUES (?, ?, ?, "
                                          "?, 0);"),
                           {deviceId, record.time, code, record.description});
    if (!query) {
        forget();
        return false;
    }
    record.recordId = query->lastInsertId().toInt();
    done(query);

    if (m_memoryOn) {
        if (m_last.size() >= maxRemembered)
            m_last.clear();
        Last &entry = m_last[key(deviceId, code)];
        const QDateTime stored = parseTime(record.time);
        entry.anyKnown = entry.anyFound = true;
        entry.any = stored;
        entry.unseenKnown = entry.unseenFound = true;
        entry.unseen = stored;
        if (m_countAll >= 0)
            ++m_countAll;
        if (m_countUnseen >= 0)
            ++m_countUnseen;
    }
    if (m_inTransaction)
        m_uncommitted.append(record);
    else
        announce({record});
    return true;
}

bool DatabaseLog::queryLastTime(int deviceId, int code, QDateTime &time, int seenFilter)
{
    QString statement;
    if (seenFilter == 0)
        statement = QStringLiteral("SELECT param_time FROM error_log WHERE device_unique_id=? "
                                   "AND error_id=? AND seen=0 ORDER BY record_id DESC LIMIT 1;");
    else if (seenFilter == 1)
        statement = QStringLiteral("SELECT param_time FROM error_log WHERE device_unique_id=? "
                                   "AND error_id=? AND seen=1 ORDER BY record_id DESC LIMIT 1;");
    else
        statement = QStringLiteral("SELECT param_time FROM error_log WHERE device_unique_id=? "
                                   "AND error_id=? ORDER BY record_id DESC LIMIT 1;");
    QSqlQuery *query = run(statement, {deviceId, code});
    if (!query)
        return false;
    const bool found = query->next();
    if (found)
        time = parseTime(query->value(QStringLiteral("param_time")).toString());
    done(query);
    return found;
}

bool DatabaseLog::lastEventTime(int deviceId, int code, QDateTime &time, int seenFilter)
{
    if (!m_memoryOn || seenFilter == 1)
        return queryLastTime(deviceId, code, time, seenFilter);

    if (!m_inTransaction)
        checkMemory();
    if (m_last.size() >= maxRemembered)
        m_last.clear();
    Last &entry = m_last[key(deviceId, code)];
    const bool unseenOnly = seenFilter == 0;
    bool &known = unseenOnly ? entry.unseenKnown : entry.anyKnown;
    bool &found = unseenOnly ? entry.unseenFound : entry.anyFound;
    QDateTime &last = unseenOnly ? entry.unseen : entry.any;
    if (!known) {
        found = queryLastTime(deviceId, code, last, seenFilter);
        known = !lastFailed();
        if (!known)
            return false;
    }
    if (found)
        time = last;
    return found;
}

bool DatabaseLog::markAllSeen()
{
    QSqlQuery *query = run(QStringLiteral("UPDATE error_log SET seen = 1 WHERE seen = 0;"));
    done(query);
    if (!query) {
        forget();
    } else if (m_memoryOn) {
        for (Last &entry : m_last) {
            entry.unseenKnown = true;
            entry.unseenFound = false;
            entry.unseen = QDateTime();
        }
        m_countUnseen = 0;
        // Records of the open transaction are acknowledged as well: they must not turn
        // up in the journal view when the transaction is committed.
        for (EventRecord &record : m_uncommitted)
            record.seen = 1;
    }
    if (!m_model->select())
        qWarning().noquote() << "Error select()" << database().lastError().text();
    emit allSeen();
    return query != nullptr;
}

int DatabaseLog::queryCount(int seenFilter)
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

int DatabaseLog::eventCount(int seenFilter)
{
    if (!m_memoryOn || seenFilter == 1)
        return qMax(0, queryCount(seenFilter));
    if (!m_inTransaction)
        checkMemory();
    int &count = seenFilter == 0 ? m_countUnseen : m_countAll;
    if (count < 0)
        count = queryCount(seenFilter);
    return qMax(0, count);
}

int DatabaseLog::maxRecordId()
{
    QSqlQuery *query = run(QStringLiteral("SELECT MAX(record_id) FROM error_log"));
    int id = 0;
    if (query && query->next())
        id = query->value(0).toInt();
    done(query);
    return id;
}

int DatabaseLog::minRecordId()
{
    QSqlQuery *query = run(QStringLiteral("SELECT MIN(record_id) FROM error_log"));
    int id = 0;
    if (query && query->next())
        id = query->value(0).toInt();
    done(query);
    return id;
}

bool DatabaseLog::eventById(int recordId, QDateTime &time, int &deviceId, int &code)
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

QVector<EventRecord> DatabaseLog::events(int beforeId, int limit, bool unseenOnly, bool *ok)
{
    const QString statement = unseenOnly
        ? QStringLiteral("SELECT record_id, param_time, device_unique_id, error_id, "
                         "error_description, seen FROM error_log WHERE seen=0 AND record_id<? "
                         "ORDER BY record_id DESC LIMIT ?;")
        : QStringLiteral("SELECT record_id, param_time, device_unique_id, error_id, "
                         "error_description, seen FROM error_log WHERE record_id<? ORDER BY "
                         "record_id DESC LIMIT ?;");
    const qint64 below = beforeId > 0 ? qint64(beforeId) : std::numeric_limits<qint64>::max();
    QVector<EventRecord> rows;
    QSqlQuery *query = run(statement, {below, limit});
    if (ok)
        *ok = query != nullptr;
    if (!query)
        return rows;
    while (query->next()) {
        EventRecord record;
        record.recordId = query->value(0).toInt();
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
