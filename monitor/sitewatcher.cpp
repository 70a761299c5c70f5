#include "monitor/sitewatcher.h"

#include "journal/eventcode.h"
#include "journal/journalschema.h"

#include <QAtomicInt>
#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QAtomicInt connectionCounter;

// libpq waits for a connect or an unanswered write as long as the system lets it, which
// is minutes when the server's machine is gone: the watcher would say nothing meanwhile.
// What the URL does not set is bounded here.
QString boundedOptions(const JournalLocation &location)
{
    QString options = location.connectOptions();
    bool timeout = false;
    bool userTimeout = false;
    for (const auto &option : location.options()) {
        timeout = timeout || option.first == QLatin1String("connect_timeout");
        userTimeout = userTimeout || option.first == QLatin1String("tcp_user_timeout");
    }
    if (!timeout)
        options += QStringLiteral(";connect_timeout=5");
    if (!userTimeout)
        options += QStringLiteral(";tcp_user_timeout=10000");
    return options;
}

} // namespace

SiteWatcher::SiteWatcher(const JournalLocation &location, int staleSeconds)
    : m_location(location)
    , m_connectionName(
          QStringLiteral("norda-sitewatch-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
    , m_staleSeconds(qMax(1, staleSeconds))
{
    qRegisterMetaType<SiteWatcher::DeviceState>();
    qRegisterMetaType<SiteWatcher::Shard>();
    qRegisterMetaType<SiteWatcher::Acknowledgement>();
    qRegisterMetaType<QVector<SiteWatcher::DeviceState>>();
    qRegisterMetaType<QVector<SiteWatcher::Shard>>();
    qRegisterMetaType<QVector<EventRecord>>();
}

SiteWatcher::~SiteWatcher()
{
    qDeleteAll(m_statements);
    m_statements.clear();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

void SiteWatcher::start()
{
    m_clock.start();
    m_fallback = new QTimer(this);
    m_fallback->setInterval(fallbackIntervalMs);
    connect(m_fallback, &QTimer::timeout, this, &SiteWatcher::refresh);
    m_coalesce = new QTimer(this);
    m_coalesce->setSingleShot(true);
    m_coalesce->setInterval(coalesceMs);
    connect(m_coalesce, &QTimer::timeout, this, [this] {
        const int what = m_dirty;
        m_dirty = 0;
        look(what);
    });
    m_fallback->start();
    refresh();
}

void SiteWatcher::setStaleSeconds(int seconds)
{
    m_staleSeconds = qMax(1, seconds);
}

void SiteWatcher::refresh()
{
    if (!m_connected) {
        connectServer();
        return;
    }
    look(Everything);
}

void SiteWatcher::onNotification(const QString &name, QSqlDriver::NotificationSource,
                                 const QVariant &payload)
{
    if (name != QLatin1String(channel))
        return;
    const QString table = payload.toString();
    if (table == QLatin1String("error_log"))
        m_dirty |= Events;
    else if (table == QLatin1String("device_state"))
        m_dirty |= States;
    else if (table == QLatin1String("shard_state"))
        m_dirty |= Shards;
    else
        m_dirty |= Everything;
    if (!m_coalesce->isActive())
        m_coalesce->start();
}

void SiteWatcher::look(int what)
{
    if (!m_connected)
        return;
    // Each step stops at the first failure, which drops the connection.
    if ((what & Events) && !(readAcknowledgements(true) && readEvents()))
        return;
    if ((what & States) && !readStates(false))
        return;
    if (what & Shards)
        readShards();
}

bool SiteWatcher::connectServer()
{
    QString error;
    bool opened = false;
    if (!QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        db.setConnectOptions(boundedOptions(m_location));
        connect(db.driver(),
                qOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>(
                    &QSqlDriver::notification),
                this, &SiteWatcher::onNotification);
    }
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    opened = db.isValid() && db.open();
    if (!opened)
        error = db.lastError().text().trimmed();
    if (opened) {
        error = JournalSchema::versionProblem(db, m_location.text());
        opened = error.isEmpty();
    }
    if (opened && !db.driver()->subscribeToNotification(QLatin1String(channel))) {
        error = db.driver()->lastError().text().trimmed();
        opened = false;
    }
    if (!opened) {
        disconnectServer(error.isEmpty() ? QStringLiteral("no connection") : error);
        return false;
    }
    m_connected = true;
    if (!readBaseline())
        return false;
    if (m_errorReported)
        qDebug().noquote() << "Site database" << m_location.text() << "connected again";
    m_errorReported = false;
    m_lastError.clear();
    emit connectionChanged(true, QString());
    return true;
}

void SiteWatcher::disconnectServer(const QString &error)
{
    const bool was = m_connected;
    m_connected = false;
    m_dirty = 0;
    qDeleteAll(m_statements);
    m_statements.clear();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::database(m_connectionName, false).close();
    if (was || !m_errorReported || error != m_lastError) {
        qWarning().noquote() << "Site database" << m_location.text() << "not reached:" << error;
        m_errorReported = true;
        m_lastError = error;
        emit connectionChanged(false, error);
    }
}

QSqlQuery *SiteWatcher::run(const QString &statement, const QVariantList &values)
{
    if (!m_connected)
        return nullptr;
    QSqlQuery *query = m_statements.value(statement);
    if (!query) {
        query = new QSqlQuery(QSqlDatabase::database(m_connectionName, false));
        query->setForwardOnly(true);
        if (!query->prepare(statement)) {
            const QString error = query->lastError().text().trimmed();
            delete query;
            disconnectServer(error);
            return nullptr;
        }
        m_statements.insert(statement, query);
    }
    for (int i = 0; i < values.size(); ++i)
        query->bindValue(i, values.at(i));
    if (!query->exec()) {
        disconnectServer(query->lastError().text().trimmed());
        return nullptr;
    }
    return query;
}

bool SiteWatcher::readBaseline()
{
    if (m_lastEventId < 0) {
        // Events before the console started are the list's, read by the list.
        QSqlQuery *query = run(QStringLiteral("SELECT COALESCE(MAX(record_id), 0) FROM error_log"));
        if (!query)
            return false;
        m_lastEventId = query->next() ? query->value(0).toLongLong() : 0;
        query->finish();
    } else if (!readEvents()) {
        return false;
    }
    return readAcknowledgements(m_ackCounter >= 0) && readStates(true) && readShards();
}

bool SiteWatcher::readEvents()
{
    const qint64 now = m_clock.elapsed();
    for (auto it = m_gaps.begin(); it != m_gaps.end();) {
        if (now - it.value() > gapWaitMs)
            it = m_gaps.erase(it);
        else
            ++it;
    }
    const qint64 from =
        m_gaps.isEmpty() ? m_lastEventId : qMin(m_lastEventId, m_gaps.firstKey() - 1);
    QSqlQuery *query = run(QStringLiteral("SELECT record_id, param_time, device_unique_id, "
                                          "error_id, error_description, seen, time_key FROM "
                                          "error_log WHERE record_id > ? ORDER BY record_id "
                                          "LIMIT ?"),
                           {from, maxNewEvents + 1});
    if (!query)
        return false;
    QVector<EventRecord> records;
    bool inOrder = true;
    int rows = 0;
    while (query->next()) {
        ++rows;
        EventRecord record;
        record.recordId = query->value(0).toLongLong();
        if (record.recordId <= m_lastEventId) {
            if (m_gaps.remove(record.recordId) == 0)
                continue; // handed out before
            inOrder = false;
        } else {
            for (qint64 id = m_lastEventId + 1; id < record.recordId && m_gaps.size() < maxGaps;
                 ++id)
                m_gaps.insert(id, now);
            m_lastEventId = record.recordId;
        }
        record.time = query->value(1).toString();
        record.deviceId = query->value(2).toInt();
        record.code = query->value(3).toInt();
        record.description = query->value(4).toString();
        record.seen = query->value(5).toInt();
        record.timeKey = query->value(6).toLongLong();
        records << record;
    }
    query->finish();
    if (rows > maxNewEvents) {
        // More than a list wants at once: it reads itself again from the newest.
        QSqlQuery *newest =
            run(QStringLiteral("SELECT COALESCE(MAX(record_id), 0) FROM error_log"));
        if (!newest)
            return false;
        if (newest->next())
            m_lastEventId = qMax(m_lastEventId, newest->value(0).toLongLong());
        newest->finish();
        m_gaps.clear();
        emit eventsAdded({}, false);
        return true;
    }
    if (!records.isEmpty())
        emit eventsAdded(records, inOrder);
    return true;
}

bool SiteWatcher::readAcknowledgements(bool announce)
{
    QSqlQuery *query = run(
        QStringLiteral("SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM ack_changes"));
    if (!query)
        return false;
    const qint64 counter = query->next() ? query->value(0).toLongLong() : 0;
    query->finish();
    if (counter == m_ackCounter)
        return true;
    m_ackCounter = counter;
    if (!announce)
        return true;
    query = run(QStringLiteral("SELECT seen_by, seen_host, (extract(epoch FROM seen_at) * "
                               "1000)::bigint FROM error_log WHERE device_unique_id = -1 AND "
                               "error_id = ? AND seen_at IS NOT NULL ORDER BY record_id DESC "
                               "LIMIT 1"),
                {int(EventCode::Acknowledged)});
    if (!query)
        return false;
    Acknowledgement acknowledgement;
    if (query->next()) {
        acknowledgement.by = query->value(0).toString();
        acknowledgement.host = query->value(1).toString();
        acknowledgement.atMs = query->value(2).toLongLong();
    }
    query->finish();
    emit acknowledged(acknowledgement);
    return true;
}

bool SiteWatcher::readStates(bool all)
{
    const QString columns = QStringLiteral(
        "SELECT device_id, shard, online, faults, COALESCE((extract(epoch FROM last_answer) * "
        "1000)::bigint, 0), (extract(epoch FROM changed_at) * 1000000)::bigint FROM "
        "device_state");
    QSqlQuery *query = all ? run(columns)
                           : run(columns + QStringLiteral(" WHERE changed_at > to_timestamp(?)"),
                                 {double(m_statesSinceUs) / 1e6 - stateOverlapSeconds});
    if (!query)
        return false;
    QVector<DeviceState> changed;
    QHash<int, DeviceState> table;
    while (query->next()) {
        DeviceState state;
        state.deviceId = query->value(0).toInt();
        state.shard = query->value(1).toInt();
        state.online = query->value(2).toBool();
        state.faults = query->value(3).toString();
        state.lastAnswerMs = query->value(4).toLongLong();
        state.changedAtUs = query->value(5).toLongLong();
        m_statesSinceUs = qMax(m_statesSinceUs, state.changedAtUs);
        if (all) {
            table.insert(state.deviceId, state);
            changed << state;
            continue;
        }
        const auto known = m_states.constFind(state.deviceId);
        if (known != m_states.constEnd() && known->changedAtUs == state.changedAtUs &&
            known->online == state.online && known->faults == state.faults &&
            known->lastAnswerMs == state.lastAnswerMs && known->shard == state.shard)
            continue;
        m_states.insert(state.deviceId, state);
        changed << state;
    }
    query->finish();
    if (all)
        m_states = table;
    if (all || !changed.isEmpty())
        emit devicesChanged(changed, all);
    return true;
}

bool SiteWatcher::readShards()
{
    QSqlQuery *query =
        run(QStringLiteral("SELECT (SELECT value FROM journal_meta WHERE key = 'shards'), shard, "
                           "COALESCE(owner, ''), COALESCE((extract(epoch FROM stamped_at) * "
                           "1000)::bigint, 0), stamped_at IS NULL OR now() - stamped_at > "
                           "make_interval(secs => ?) FROM shard_state ORDER BY shard"),
            {m_staleSeconds});
    if (!query)
        return false;
    int count = 0;
    QVector<Shard> shards;
    while (query->next()) {
        count = query->value(0).toInt();
        Shard shard;
        shard.shard = query->value(1).toInt();
        shard.owner = query->value(2).toString();
        shard.stampedAtMs = query->value(3).toLongLong();
        shard.stale = query->value(4).toBool();
        shards << shard;
    }
    query->finish();
    emit shardsChanged(qBound(1, count, JournalSchema::maxShards), shards);
    return true;
}
