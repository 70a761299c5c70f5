#include "journal/audittrail.h"

#include <QPointer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

namespace {

QPointer<AuditTrail> &defaultTrailPointer()
{
    static QPointer<AuditTrail> trail;
    return trail;
}

const char insertStatement[] =
    "INSERT INTO audit_log (record_id, time, user_name, host, device, action, details, "
    "prev_hash, hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?);";

const char columnList[] = "record_id, time, user_name, host, device, action, details, "
                          "prev_hash, hash";

} // namespace

AuditTrail::AuditTrail(const JournalLocation &location, QObject *parent)
    : DatabaseWrapper(location, parent)
{
    setActor(QString());
    if (dialect().isPostgres() && location.isValid() && !schemaRefused()) {
        // The schema of a site database is made by init-db; the version check of the
        // connection refuses one without the table. A server that cannot be reached now is
        // tried again by each append.
        m_usable = true;
        return;
    }
    if (!isOpen()) {
        m_error = openError();
        return;
    }
    m_usable = true;
    for (const QString &statement : sqliteStatements())
        m_usable = m_usable && exec(statement);
    if (!m_usable)
        m_error = lastErrorText();
}

AuditTrail::~AuditTrail()
{
    if (defaultTrailPointer() == this)
        defaultTrailPointer() = nullptr;
}

QStringList AuditTrail::sqliteStatements()
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS audit_log (record_id INTEGER PRIMARY KEY, "
                       "time TEXT NOT NULL, user_name TEXT NOT NULL, host TEXT NOT NULL, "
                       "device TEXT NOT NULL, action TEXT NOT NULL, details TEXT NOT NULL, "
                       "prev_hash TEXT NOT NULL, hash TEXT NOT NULL);"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS audit_log_no_update BEFORE UPDATE ON "
                       "audit_log BEGIN SELECT RAISE(ABORT, 'audit_log is append-only'); END;"),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS audit_log_no_delete BEFORE DELETE ON "
                       "audit_log BEGIN SELECT RAISE(ABORT, 'audit_log is append-only'); END;"),
    };
}

void AuditTrail::setActor(const QString &user, const QString &host)
{
    m_user = user;
    m_host = host.isEmpty() ? QSysInfo::machineHostName() : host;
}

bool AuditTrail::append(const QString &device, const QString &action, const QJsonObject &details,
                        AuditRecord *made)
{
    m_error.clear();
    if (!m_usable) {
        m_error = openError().isEmpty() ? QStringLiteral("the audit trail cannot be written")
                                        : openError();
        return false;
    }
    AuditRecord record;
    if (!exec(dialect().beginWrite())) {
        m_error = lastErrorText();
        return false;
    }
    m_inTransaction = true;
    const bool ok = appendLocked(device, action, AuditRecord::detailsText(details), &record) &&
        exec(QStringLiteral("COMMIT;"));
    if (!ok) {
        if (m_error.isEmpty())
            m_error = lastErrorText();
        exec(QStringLiteral("ROLLBACK;"));
    }
    m_inTransaction = false;
    if (!ok)
        return false;
    if (made)
        *made = record;
    emit appended(record);
    return true;
}

bool AuditTrail::appendLocked(const QString &device, const QString &action, const QString &details,
                              AuditRecord *made)
{
    if (dialect().isPostgres()) {
        QSqlQuery *lock = run(QStringLiteral("SELECT pg_advisory_xact_lock(?);"), {lockKey});
        if (!lock)
            return false;
        done(lock);
    }
    // The time after the lock, from the database's own clock: the times of the records
    // follow their order whichever program wrote them.
    const QString now = dialect().isPostgres()
        ? QStringLiteral("to_char(clock_timestamp() AT TIME ZONE 'UTC', "
                         "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')")
        : QStringLiteral("strftime('%Y-%m-%dT%H:%M:%fZ', 'now')");
    QSqlQuery *head = run(QStringLiteral("SELECT %1, (SELECT record_id FROM audit_log ORDER BY "
                                         "record_id DESC LIMIT 1), (SELECT hash FROM audit_log "
                                         "ORDER BY record_id DESC LIMIT 1);")
                              .arg(now));
    if (!head)
        return false;
    if (!head->next()) {
        done(head);
        m_error = QStringLiteral("the audit trail's last record cannot be read");
        return false;
    }
    made->time = head->value(0).toString();
    made->sequence = head->value(1).toLongLong() + 1;
    made->prevHash = head->value(2).toString();
    done(head);
    made->user = m_user;
    made->host = m_host;
    made->device = device;
    made->action = action;
    made->details = details;
    made->hash = made->computeHash();
    QSqlQuery *insert =
        run(QLatin1String(insertStatement),
            {made->sequence, made->time, textValue(made->user), textValue(made->host),
             textValue(made->device), textValue(made->action), textValue(made->details),
             textValue(made->prevHash), made->hash});
    if (!insert)
        return false;
    done(insert);
    return true;
}

QVector<AuditRecord> AuditTrail::read(const QSqlDatabase &database, const Filter &filter, bool *ok,
                                      QString *error)
{
    QVector<AuditRecord> records;
    if (ok)
        *ok = true;
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const SqlDialect dialect = SqlDialect::of(database);
    if (query.prepare(dialect.tableExists())) {
        query.addBindValue(QStringLiteral("audit_log"));
        if (query.exec() && !query.next())
            return records;
    }
    query.finish();
    QStringList where;
    QVariantList values;
    if (!filter.device.isEmpty()) {
        where << QStringLiteral("lower(device) LIKE ?");
        values << QLatin1Char('%') + filter.device.toLower() + QLatin1Char('%');
    }
    if (!filter.user.isEmpty()) {
        where << QStringLiteral("user_name = ?");
        values << filter.user;
    }
    // The stored times sort as text.
    if (filter.from.isValid()) {
        where << QStringLiteral("time >= ?");
        values << AuditRecord::timeText(filter.from);
    }
    if (filter.to.isValid()) {
        where << QStringLiteral("time < ?");
        values << AuditRecord::timeText(filter.to);
    }
    QString sql = QStringLiteral("SELECT %1 FROM audit_log").arg(QLatin1String(columnList));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += filter.limit > 0 ? QStringLiteral(" ORDER BY record_id DESC LIMIT %1;").arg(filter.limit)
                            : QStringLiteral(" ORDER BY record_id;");
    bool good = query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    good = good && query.exec();
    while (good && query.next()) {
        AuditRecord record;
        record.sequence = query.value(0).toLongLong();
        record.time = query.value(1).toString();
        record.user = query.value(2).toString();
        record.host = query.value(3).toString();
        record.device = query.value(4).toString();
        record.action = query.value(5).toString();
        record.details = query.value(6).toString();
        record.prevHash = query.value(7).toString();
        record.hash = query.value(8).toString();
        records << record;
    }
    if (!good) {
        if (ok)
            *ok = false;
        if (error)
            *error = query.lastError().text();
    }
    return records;
}

AuditTrail *AuditTrail::defaultTrail()
{
    return defaultTrailPointer();
}

void AuditTrail::setDefaultTrail(AuditTrail *trail)
{
    defaultTrailPointer() = trail;
}

bool AuditTrail::record(const QString &device, const QString &action, const QJsonObject &details,
                        QString *error)
{
    AuditTrail *trail = defaultTrail();
    if (!trail || trail->append(device, action, details))
        return true;
    if (error)
        *error = QStringLiteral("the change is not made: the audit trail cannot be written (%1)")
                     .arg(trail->error());
    return false;
}
