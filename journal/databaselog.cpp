#include "journal/databaselog.h"

#include "journal/eventcode.h"
#include "journal/eventspill.h"
#include "journal/eventtablemodel.h"
#include "journal/journalfilter.h"
#include "journal/journalindexbuilder.h"
#include "journal/statuslogretention.h"

#include <QDebug>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSysInfo>
#include <QThread>
#include <QVariant>

namespace {

// Orders of records kept in memory start here, far above any record number.
constexpr qint64 pendingOrderBase = qint64(1) << 62;

bool matchesSeen(int seen, int seenFilter)
{
    return (seenFilter != 0 && seenFilter != 1) || seen == seenFilter;
}

} // namespace

DatabaseLog::DatabaseLog(const QString &fileName, QObject *parent)
    : DatabaseLog(JournalLocation::file(fileName), parent)
{
}

DatabaseLog::DatabaseLog(const JournalLocation &location, QObject *parent)
    : EventJournal(location, parent)
    , m_nextOrder(pendingOrderBase)
{
    if (dialect().isPostgres()) {
        // The schema, its time keys and indexes are made by init-db.
        m_usable = location.isValid() && !schemaRefused();
        m_hasTimeKey = true;
    } else {
        m_usable = isOpen() &&
            exec(QStringLiteral("CREATE TABLE IF NOT EXISTS status_log (record_id INTEGER "
                                "PRIMARY KEY AUTOINCREMENT,device_unique_id INTEGER,status_json "
                                "TEXT,param_time TEXT);")) &&
            exec(QStringLiteral("CREATE TABLE IF NOT EXISTS error_log (record_id INTEGER PRIMARY "
                                "KEY AUTOINCREMENT,param_time TEXT,device_unique_id "
                                "INTEGER,error_id INTEGER,error_description TEXT,seen "
                                "INTEGER);"));
        if (m_usable) {
            // Commits take milliseconds; one that finds the file locked by another program
            // (or by the index build) is tried again later instead of holding the caller.
            exec(QStringLiteral("PRAGMA busy_timeout=250;"));
            ensureIndexes();
        }
    }

    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(retryIntervalMs);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        if (indexesReady())
            writePending();
    });

    m_model = new EventTableModel(this, this);
    if (!m_model->select())
        qWarning().noquote() << "Error select()" << database().lastError().text();
    m_retention = new StatusLogRetention(this);
}

DatabaseLog::~DatabaseLog()
{
    if (m_indexThread) {
        // The build runs to its end; what was taken meanwhile is judged before it is
        // written.
        stopIndexBuild();
        judgeProvisional();
    }
    delete m_retention;
    m_retention = nullptr;
    m_retryTimer.stop();
    if (!m_pendingEvents.isEmpty() || !m_pendingStatuses.isEmpty()) {
        writePending(false);
        if (!m_pendingEvents.isEmpty() || !m_pendingStatuses.isEmpty())
            qWarning().noquote() << fileName() << "could not write" << m_pendingEvents.size()
                                 << "events and" << m_pendingStatuses.size()
                                 << "status documents:" << m_failure;
    }
    delete m_model;
    m_model = nullptr;
}

void DatabaseLog::forget()
{
    m_memory.clear();
    m_countAll = -1;
    m_countUnseen = -1;
}

// ---- Indexes ----

void DatabaseLog::ensureIndexes()
{
    const QStringList missing = JournalIndexBuilder::missingStatements(database(), &m_hasTimeKey);
    if (missing.isEmpty())
        return;
    QSqlQuery *query =
        run(QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM error_log LIMIT ?);"),
            {inlineIndexRecords});
    // Unknown (the file is busy): built aside, which never holds this thread.
    const qint64 records =
        query && query->next() ? query->value(0).toLongLong() : qint64(inlineIndexRecords);
    done(query);
    if (records < inlineIndexRecords) {
        for (const QString &statement : qAsConst(missing))
            exec(statement);
        return;
    }
    // A long build: on a thread of its own, over a connection of its own.
    qDebug().noquote() << fileName() << "building" << missing.size() << "indexes";
    m_indexThread = new QThread;
    m_indexThread->setObjectName(QStringLiteral("journal indexes"));
    auto *builder = new JournalIndexBuilder(QFileInfo(fileName()).absoluteFilePath(), missing);
    builder->moveToThread(m_indexThread);
    connect(m_indexThread, &QThread::started, builder, &JournalIndexBuilder::run);
    connect(m_indexThread, &QThread::finished, builder, &QObject::deleteLater);
    connect(builder, &JournalIndexBuilder::done, this, &DatabaseLog::indexBuildDone);
    m_indexThread->start();
}

void DatabaseLog::stopIndexBuild()
{
    if (!m_indexThread)
        return;
    // A statement cannot be stopped half-way: the build runs to its end.
    m_indexThread->quit();
    m_indexThread->wait();
    delete m_indexThread;
    m_indexThread = nullptr;
}

void DatabaseLog::indexBuildDone(const QString &error)
{
    stopIndexBuild();
    if (!error.isEmpty())
        qWarning().noquote() << fileName() << "indexes not built:" << error;
    forget();
    judgeProvisional();
    emit indexesBuilt(error.isEmpty());
    if (!m_retryTimer.isActive())
        writePending();
}

// ---- Writing ----

void DatabaseLog::beginTransaction()
{
    if (m_depth++ > 0)
        return;
    if (m_memoryOn)
        checkMemory();
}

void DatabaseLog::endTransaction()
{
    if (m_depth == 0 || --m_depth > 0)
        return;
    flush();
}

bool DatabaseLog::flush()
{
    if (m_pendingEvents.isEmpty() && m_pendingStatuses.isEmpty())
        return true;
    // Written once the indexes are built, or by the next retry after a failure; events are
    // kept in the spill meanwhile, when there is one.
    if (m_retryTimer.isActive())
        spillPending();
    if (!m_usable || !indexesReady() || m_retryTimer.isActive())
        return false;
    return writePending();
}

void DatabaseLog::rollbackQuietly()
{
    // A failed commit may have ended the transaction already.
    QSqlQuery query(database());
    query.exec(QStringLiteral("ROLLBACK;"));
    query.finish();
}

bool DatabaseLog::writePending(bool announceWritten)
{
    const bool spilled = m_spill && !m_spill->isEmpty();
    if (m_pendingEvents.isEmpty() && m_pendingStatuses.isEmpty() && !spilled)
        return true;
    if (!m_usable)
        return false;
    // A failure that repeats with every retry is logged once.
    setFailureLogging(!m_failingSince.isValid());
    const bool server = dialect().isPostgres();
    QElapsedTimer took;
    took.start();
    int dropped = 0;
    m_writing = (!spilled || prepareReplay(&dropped)) && exec(dialect().beginWrite());
    bool ok = m_writing;
    ok = ok && StatusRowInsert::write(this, m_pendingStatuses);
    QVector<qint64> ids;
    ids.reserve(m_pendingEvents.size());
    for (int i = 0; ok && i < m_pendingEvents.size(); ++i) {
        const EventRecord &record = m_pendingEvents.at(i).record;
        const qint64 timeKey = JournalFilter::timeKey(record.time);
        QSqlQuery *query = server
            ? run(QStringLiteral("INSERT INTO error_log (device_unique_id, param_time, error_id, "
                                 "error_description, seen, time_key, time) VALUES (?, ?, ?, ?, "
                                 "?, ?, CAST(? AS timestamptz)) RETURNING record_id;"),
                  {record.deviceId, record.time, record.code, textValue(record.description),
                   record.seen, timeKey > 0 ? QVariant(timeKey) : QVariant(),
                   SqlDialect::timestampText(parseTime(record.time))})
            : m_hasTimeKey
            ? run(QStringLiteral("INSERT INTO error_log (device_unique_id, param_time, error_id, "
                                 "error_description, seen, time_key) VALUES (?, ?, ?, ?, ?, ?);"),
                  {record.deviceId, record.time, record.code, textValue(record.description),
                   record.seen, timeKey > 0 ? QVariant(timeKey) : QVariant()})
            : run(QStringLiteral("INSERT INTO error_log (device_unique_id, param_time, error_id, "
                                 "error_description, seen) VALUES (?, ?, ?, ?, ?);"),
                  {record.deviceId, record.time, record.code, textValue(record.description),
                   record.seen});
        ok = query != nullptr && (!server || query->next());
        if (ok)
            ids.append(server ? query->value(0).toLongLong() : query->lastInsertId().toLongLong());
        done(query);
    }
    if (ok && server && m_memoryOn && !m_ownDevices)
        noteOwnChanges(m_pendingEvents.size());
    ok = ok && exec(QStringLiteral("COMMIT;"));
    if (!ok) {
        m_failure = lastErrorText();
        m_failureWasLock = lastFailureWasLock();
        if (m_writing)
            rollbackQuietly();
        m_writing = false;
        if (m_replaying) {
            // Every one of them is still in the spill.
            m_pendingEvents.clear();
            m_replaying = false;
            forget();
        } else {
            spillPending();
        }
        setFailureLogging(true);
        writeFailedOnce();
        m_retryTimer.start();
        return false;
    }
    m_writing = false;
    setFailureLogging(true);
    m_writeDurations.add(took.nsecsElapsed());
    m_recordsWritten += m_pendingEvents.size() + m_pendingStatuses.size();

    QVector<EventRecord> written;
    written.reserve(m_pendingEvents.size());
    int unseen = 0;
    for (int i = 0; i < m_pendingEvents.size(); ++i) {
        EventRecord record = m_pendingEvents.at(i).record;
        record.recordId = ids.at(i);
        unseen += record.seen == 0 ? 1 : 0;
        // What the memory knows as this record now goes by its record number; the order
        // of records is the same.
        m_memory.renumber(record.deviceId, record.code, m_pendingEvents.at(i).order,
                          record.recordId);
        written.append(record);
        m_watermark = qMax(m_watermark, record.recordId);
    }
    if (m_countAll >= 0)
        m_countAll += written.size();
    if (m_countUnseen >= 0)
        m_countUnseen += unseen;
    m_pendingEvents.clear();
    m_pendingStatuses.clear();
    m_failingSince.invalidate();
    if (m_replaying) {
        m_replaying = false;
        // Emptied only now: should that fail, the events written have newer records than
        // their watermark and are dropped next time instead of written twice.
        QString error;
        if (!m_spill->clear(&error))
            emit spillFailed(error);
        qDebug().noquote() << fileName() << "spilled events written," << dropped
                           << "dropped for newer records";
        emit spillWritten(written.size(), dropped);
    }
    if (m_failureReported) {
        m_failureReported = false;
        qDebug().noquote() << fileName() << "written again";
        emit writeRecovered();
    }
    if (announceWritten)
        announce(written);
    return true;
}

void DatabaseLog::writeFailedOnce()
{
    if (!m_failingSince.isValid())
        m_failingSince.start();
    if (m_failureReported)
        return;
    // Another program's write ends by itself; only a lock that lasts is reported.
    if (m_failureWasLock && m_failingSince.elapsed() < lockReportAfterMs)
        return;
    m_failureReported = true;
    qWarning().noquote() << fileName() << "records kept in memory:" << m_failure;
    emit writeFailed(m_failure);
}

void DatabaseLog::announce(const QVector<EventRecord> &records)
{
    if (records.isEmpty())
        return;
    // The journal view takes the records of one piece of work as one insertion.
    m_model->prependRecords(records);
    for (const EventRecord &record : records)
        emit eventInserted(record);
}

void DatabaseLog::checkMemory()
{
    // A site monitor: only acknowledgements change what it remembers; the record numbers'
    // sequence gives the watermark of what it spills.
    const bool own = m_ownDevices && dialect().isPostgres();
    QSqlQuery *query = run(own ? QStringLiteral("SELECT a.last_value * 2 + a.is_called::int, "
                                                "r.last_value - 1 + r.is_called::int FROM "
                                                "ack_changes a, error_log_record_id_seq r;")
                               : dialect().changeCounter());
    qint64 version = -1;
    if (query && query->next()) {
        version = query->value(0).toLongLong();
        if (own)
            m_watermark = qMax(m_watermark, query->value(1).toLongLong());
    }
    done(query);
    // Not readable now (a server out of reach): what is remembered stays, and is compared
    // once the counter can be read again.
    if (version < 0 && dialect().isPostgres())
        return;
    if (version < 0 || version != m_dataVersion)
        forget();
    m_dataVersion = version;
}

void DatabaseLog::setOwnDevices(bool on)
{
    m_ownDevices = on;
    m_dataVersion = -1;
    forget();
}

void DatabaseLog::setSpill(EventSpill *spill)
{
    m_spill = spill;
    if (!spill)
        return;
    m_watermark = qMax(m_watermark, spill->lastWatermark());
    if (!spill->isEmpty() && !m_retryTimer.isActive())
        m_retryTimer.start();
}

bool DatabaseLog::spillPending()
{
    if (!m_spill || m_pendingEvents.isEmpty() || m_replaying)
        return true;
    QVector<EventRecord> records;
    records.reserve(m_pendingEvents.size());
    for (const PendingEvent &pending : qAsConst(m_pendingEvents))
        records.append(pending.record);
    QString error;
    if (!m_spill->append(records, m_watermark, &error)) {
        qWarning().noquote() << "events kept in memory:" << error;
        emit spillFailed(error);
        return false;
    }
    m_pendingEvents.clear();
    return true;
}

bool DatabaseLog::prepareReplay(int *dropped)
{
    // What waits in memory joins the spill: everything is judged in the order it came.
    if (!spillPending())
        return false;
    const QVector<EventSpill::Entry> entries = m_spill->entries();
    // A device recorded by someone else since its first event was spilled is left to them.
    QHash<int, qint64> marks;
    for (const EventSpill::Entry &entry : entries) {
        if (!marks.contains(entry.record.deviceId))
            marks.insert(entry.record.deviceId, entry.watermark);
    }
    QSet<int> newer;
    for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
        QSqlQuery *query = run(QStringLiteral("SELECT 1 FROM error_log WHERE device_unique_id=? "
                                              "AND record_id>? LIMIT 1;"),
                               {it.key(), it.value()});
        if (!query)
            return false;
        if (query->next())
            newer.insert(it.key());
        done(query);
    }
    forget();
    m_replaying = true;
    ++m_depth; // queued only; written by the caller
    for (const EventSpill::Entry &entry : entries) {
        const EventRecord &record = entry.record;
        const bool lineNormal = EventCode::isLineNormal(record.code);
        if (newer.contains(record.deviceId)) {
            ++*dropped;
            qWarning().noquote() << "spilled event dropped, its device has newer records:"
                                 << record.time << record.deviceId << record.code;
        } else if (lineNormal ? lineNormalNeeded(record.deviceId, EventCode::lineOf(record.code))
                              : allowedByRules(record.deviceId, record.code)) {
            queueEvent(record, lineNormal);
        }
    }
    --m_depth;
    return true;
}

void DatabaseLog::noteOwnChanges(int statements)
{
    QSqlQuery *query = run(dialect().changeCounter());
    qint64 version = -1;
    if (query && query->next())
        version = query->value(0).toLongLong();
    done(query);
    // Anything beyond this connection's own statements came from another one.
    if (version < 0 || m_dataVersion < 0 || version != m_dataVersion + statements)
        forget();
    m_dataVersion = version;
}

bool DatabaseLog::insertStatus(int deviceId, const QString &jsonText, const QDateTime &time)
{
    if (!m_usable)
        return false;
    if (dialect().isPostgres()) {
        // A site's status journal keeps the changes: a document like the device's
        // previous one adds nothing (the device's current state is device_state).
        const QString text = jsonText.isNull() ? QStringLiteral("") : jsonText;
        auto last = m_lastStatus.find(deviceId);
        if (last != m_lastStatus.end() && last.value() == text)
            return true;
        m_lastStatus.insert(deviceId, text);
    }
    if (m_pendingStatuses.size() >= maxPendingStatuses) {
        // The status journal is a history; events are what must not be lost.
        if (m_droppedStatuses++ == 0)
            qWarning().noquote() << fileName()
                                 << "status documents dropped while the journal "
                                    "cannot be written";
        m_pendingStatuses.removeFirst();
    }
    m_pendingStatuses.append(
        {deviceId, jsonText.isNull() ? QStringLiteral("") : jsonText, timeText(time)});
    if (m_depth == 0)
        flush();
    return true;
}

bool DatabaseLog::insertEvent(int deviceId, const QString &description, int code,
                              const QDateTime &time)
{
    if (!m_usable)
        return false;
    if (!allowedByRules(deviceId, code))
        return true;
    EventRecord record;
    record.time = timeText(time);
    record.deviceId = deviceId;
    record.code = code;
    record.description = description.isNull() ? QStringLiteral("") : description;
    return queueEvent(record, false);
}

bool DatabaseLog::recordLineNormal(int deviceId, int line, const QDateTime &time)
{
    if (!m_usable)
        return false;
    if (!lineNormalNeeded(deviceId, line))
        return true;
    EventRecord record;
    record.time = timeText(time);
    record.deviceId = deviceId;
    record.code = EventCode::lineNormal(line);
    record.description = QStringLiteral("");
    return queueEvent(record, true);
}

bool DatabaseLog::queueEvent(const EventRecord &record, bool lineNormal)
{
    if (m_pendingEvents.size() >= maxPendingEvents) {
        qWarning().noquote() << fileName() << "event" << record.code << "of device"
                             << record.deviceId << "refused: too many events wait to be written";
        return false;
    }
    if (m_pendingEvents.isEmpty())
        m_pendingRememberedIn = m_memory.generation();
    PendingEvent pending;
    pending.record = record;
    pending.order = m_nextOrder++;
    pending.provisional = !indexesReady();
    pending.lineNormal = lineNormal;
    m_pendingEvents.append(pending);

    if (m_memoryOn) {
        m_memory.remember(record.deviceId, record.code, pending.order, parseTime(record.time),
                          record.seen == 0);
    }
    if (m_depth == 0)
        flush();
    return true;
}

void DatabaseLog::judgeProvisional()
{
    QVector<PendingEvent> taken;
    QVector<PendingEvent> kept;
    for (const PendingEvent &pending : qAsConst(m_pendingEvents))
        (pending.provisional ? taken : kept).append(pending);
    if (taken.isEmpty())
        return;
    m_pendingEvents = kept;
    forget();
    // Offered again as they came, now against the stored journal as well.
    int dropped = 0;
    for (const PendingEvent &pending : qAsConst(taken)) {
        const EventRecord &record = pending.record;
        const bool wanted = pending.lineNormal
            ? lineNormalNeeded(record.deviceId, EventCode::lineOf(record.code))
            : allowedByRules(record.deviceId, record.code);
        if (wanted) {
            ++m_depth; // queued only; written below with the rest
            queueEvent(record, pending.lineNormal);
            --m_depth;
        } else {
            ++dropped;
        }
    }
    if (dropped > 0)
        qDebug().noquote() << fileName() << dropped
                           << "events taken while the indexes were built were already recorded";
}

// ---- Repetition rules and lookups ----

bool DatabaseLog::allowedByRules(int deviceId, int code)
{
    // A line back to normal is always recorded.
    if (EventCode::isLineNormal(code))
        return true;

    QDateTime unused;
    qint64 last = 0;
    if (EventCode::isCleared(code)) {
        // A fault going away: skipped when the fault itself was last recorded before the
        // last unacknowledged record of its going away.
        if (!lookup(deviceId, code, 0, &last, &unused))
            return true;
        qint64 fault = 0;
        return !(lookup(deviceId, code & ~EventCode::Cleared, 0, &fault, &unused) && fault < last);
    }

    // A fault: recorded again only when it went away (line faults: the line was back to
    // normal) after its last unacknowledged record.
    if (!lookup(deviceId, code, 0, &last, &unused))
        return true;
    qint64 cleared = 0;
    const bool found = EventCode::isLineFault(code)
        ? lookup(deviceId, EventCode::lineNormal(EventCode::lineOf(code)), -1, &cleared, &unused)
        : lookup(deviceId, code | EventCode::Cleared, 0, &cleared, &unused);
    return found && cleared > last;
}

bool DatabaseLog::lineNormalNeeded(int deviceId, int line)
{
    QDateTime unused;
    qint64 normal = 0;
    if (!lookup(deviceId, EventCode::lineNormal(line), -1, &normal, &unused))
        return true;
    // The newest fault of any kind counts: a short circuit long ago must not hide an
    // open circuit reported after the last normal report.
    qint64 newestFault = 0;
    for (int base : {EventCode::LineShort, EventCode::LineOpen, EventCode::LineTolerance}) {
        qint64 fault = 0;
        if (lookup(deviceId, base + line, -1, &fault, &unused))
            newestFault = qMax(newestFault, fault);
    }
    return normal < newestFault;
}

bool DatabaseLog::lookupStored(int deviceId, int code, int seenFilter, qint64 *order,
                               QDateTime *time, bool *ok)
{
    // Records kept in memory are newer than every written one. The memory of lookups holds
    // each of them from its queueing on, unless it forgot everything since: only then are
    // they searched one by one.
    const bool remembered =
        m_memoryOn && seenFilter != 1 && m_pendingRememberedIn == m_memory.generation();
    for (auto it = m_pendingEvents.crbegin(); !remembered && it != m_pendingEvents.crend(); ++it) {
        if (it->record.deviceId == deviceId && it->record.code == code &&
            matchesSeen(it->record.seen, seenFilter)) {
            *order = it->order;
            *time = parseTime(it->record.time);
            *ok = true;
            return true;
        }
    }
    // While the indexes are built a lookup would read the whole journal: what is not
    // remembered counts as absent, and the records taken meanwhile are judged again.
    if (!indexesReady()) {
        *ok = true;
        return false;
    }
    // A device met for the first time, typically all of them when monitoring starts on a
    // new file: one question instead of one per code. Of a device the file held nothing
    // of, every stored event is one of ours, remembered since it was queued.
    if (m_memoryOn && seenFilter != 1) {
        std::optional<bool> stored = m_memory.deviceStored(deviceId);
        if (!stored) {
            QSqlQuery *query =
                run(QStringLiteral("SELECT 1 FROM error_log WHERE device_unique_id=? LIMIT 1;"),
                    {deviceId});
            if (!query) {
                *ok = false;
                return false;
            }
            stored = query->next();
            done(query);
            m_memory.setDeviceStored(deviceId, *stored);
        }
        if (!*stored) {
            *ok = true;
            return false;
        }
    }
    QString statement;
    if (seenFilter == 0)
        statement = QStringLiteral("SELECT record_id, param_time FROM error_log WHERE "
                                   "device_unique_id=? AND error_id=? AND seen=0 ORDER BY "
                                   "record_id DESC LIMIT 1;");
    else if (seenFilter == 1)
        statement = QStringLiteral("SELECT record_id, param_time FROM error_log WHERE "
                                   "device_unique_id=? AND error_id=? AND seen=1 ORDER BY "
                                   "record_id DESC LIMIT 1;");
    else
        statement = QStringLiteral("SELECT record_id, param_time FROM error_log WHERE "
                                   "device_unique_id=? AND error_id=? ORDER BY record_id DESC "
                                   "LIMIT 1;");
    QSqlQuery *query = run(statement, {deviceId, code});
    *ok = query != nullptr;
    if (!query)
        return false;
    const bool found = query->next();
    if (found) {
        *order = query->value(0).toLongLong();
        *time = parseTime(query->value(1).toString());
    }
    done(query);
    return found;
}

bool DatabaseLog::lookup(int deviceId, int code, int seenFilter, qint64 *order, QDateTime *time)
{
    bool ok = false;
    if (!m_memoryOn || seenFilter == 1)
        return lookupStored(deviceId, code, seenFilter, order, time, &ok);

    if (m_depth == 0)
        checkMemory();
    const bool unseenOnly = seenFilter == 0;
    EventLookupMemory::Entry *entry = &m_memory.entry(deviceId, code);
    if (!(unseenOnly ? entry->unseenKnown : entry->anyKnown)) {
        qint64 foundOrder = 0;
        QDateTime foundTime;
        const bool found = lookupStored(deviceId, code, seenFilter, &foundOrder, &foundTime, &ok);
        if (!ok)
            return false;
        // The stored lookup may have made room in the memory (forgetting everything): the
        // entry is taken again, never kept across it.
        entry = &m_memory.entry(deviceId, code);
        (unseenOnly ? entry->unseenKnown : entry->anyKnown) = true;
        (unseenOnly ? entry->unseenOrder : entry->anyOrder) = found ? foundOrder : 0;
        (unseenOnly ? entry->unseenTime : entry->anyTime) = foundTime;
    }
    const qint64 lastOrder = unseenOnly ? entry->unseenOrder : entry->anyOrder;
    if (lastOrder == 0)
        return false;
    *order = lastOrder;
    *time = unseenOnly ? entry->unseenTime : entry->anyTime;
    return true;
}

bool DatabaseLog::faultRecorded(int deviceId, int code)
{
    QDateTime unused;
    qint64 fault = 0;
    qint64 cleared = 0;
    return lookup(deviceId, code, -1, &fault, &unused) &&
        !(lookup(deviceId, code | EventCode::Cleared, -1, &cleared, &unused) && cleared > fault);
}

bool DatabaseLog::lastEventTime(int deviceId, int code, QDateTime &time, int seenFilter)
{
    qint64 order = 0;
    QDateTime found;
    if (!lookup(deviceId, code, seenFilter, &order, &found))
        return false;
    time = found;
    return true;
}

bool DatabaseLog::markAllSeen()
{
    return markSeenThrough(std::numeric_limits<qint64>::max());
}

bool DatabaseLog::acknowledge(qint64 shownId, const QDateTime &time, const QString &by)
{
    const bool recorded = insertEvent(-1, QString(), EventCode::Acknowledged, time);
    return markSeenThrough(shownId, by) && recorded;
}

bool DatabaseLog::markSeenThrough(qint64 recordId, const QString &by)
{
    const bool all = recordId == std::numeric_limits<qint64>::max();
    // An acknowledgement record is never left to be acknowledged, whoever made it: the
    // one just recorded is newer than what the list showed.
    const QString which = all ? QStringLiteral("WHERE seen = 0")
                              : QStringLiteral("WHERE seen = 0 AND (record_id <= ? OR "
                                               "(device_unique_id = -1 AND error_id = %1))")
                                    .arg(EventCode::Acknowledged);
    const QVariantList bound = all ? QVariantList() : QVariantList {recordId};
    QSqlQuery *query = nullptr;
    if (dialect().isPostgres()) {
        // Who acknowledged, and from which host, for the other seats: the given user, else
        // the login.
        if (m_memoryOn)
            checkMemory();
        if (exec(dialect().beginWrite())) {
            query = run(QStringLiteral("UPDATE error_log SET seen = 1, seen_by = "
                                       "COALESCE(NULLIF(?, ''), current_user), seen_host = ?, "
                                       "seen_at = now() ") +
                            which + QLatin1Char(';'),
                        QVariantList {textValue(by), QSysInfo::machineHostName()} + bound);
            done(query);
            if (query && m_memoryOn)
                noteOwnChanges(1);
            if (!query || !exec(QStringLiteral("COMMIT;"))) {
                rollbackQuietly();
                query = nullptr;
            }
        }
    } else {
        query =
            run(QStringLiteral("UPDATE error_log SET seen = 1 ") + which + QLatin1Char(';'), bound);
        done(query);
    }
    if (!query) {
        forget();
    } else {
        // Records not written yet are newer than any shown: acknowledged only by "all",
        // except an acknowledgement itself.
        for (PendingEvent &pending : m_pendingEvents) {
            if (all || pending.record.code == EventCode::Acknowledged)
                pending.record.seen = 1;
        }
        if (m_memoryOn) {
            m_memory.seenThrough(recordId);
            EventLookupMemory::Entry &own = m_memory.entry(-1, EventCode::Acknowledged);
            own.unseenKnown = true;
            own.unseenOrder = 0;
            own.unseenTime = QDateTime();
            m_countUnseen = all ? 0 : -1;
        }
    }
    if (!m_model->select())
        qWarning().noquote() << "Error select()" << database().lastError().text();
    emit allSeen();
    return query != nullptr;
}

// ---- Counts and reads ----

int DatabaseLog::pendingCount(int seenFilter) const
{
    if (seenFilter != 0 && seenFilter != 1)
        return m_pendingEvents.size();
    int count = 0;
    for (const PendingEvent &pending : m_pendingEvents)
        count += pending.record.seen == seenFilter ? 1 : 0;
    return count;
}

int DatabaseLog::eventCount(int seenFilter)
{
    if (!m_memoryOn || seenFilter == 1)
        return qMax(0, queryCount(seenFilter)) + pendingCount(seenFilter);
    if (m_depth == 0)
        checkMemory();
    int &count = seenFilter == 0 ? m_countUnseen : m_countAll;
    if (count < 0)
        count = queryCount(seenFilter);
    return qMax(0, count) + pendingCount(seenFilter);
}

// ---- Status journal retention ----

void DatabaseLog::setStatusRetention(int days, int maxMb)
{
    m_retention->setLimits(days, maxMb);
}
