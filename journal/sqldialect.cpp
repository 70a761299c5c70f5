#include "journal/sqldialect.h"

SqlDialect SqlDialect::of(const QSqlDatabase &database)
{
    return SqlDialect(database.driverName() == QLatin1String("QPSQL") ? Engine::Postgres
                                                                      : Engine::Sqlite);
}

QString SqlDialect::idColumn() const
{
    return isPostgres() ? QStringLiteral("record_id bigserial PRIMARY KEY")
                        : QStringLiteral("record_id INTEGER PRIMARY KEY AUTOINCREMENT");
}

QString SqlDialect::beginWrite() const
{
    return isPostgres() ? QStringLiteral("BEGIN;") : QStringLiteral("BEGIN IMMEDIATE;");
}

QString SqlDialect::insertReturningId(const QString &insert) const
{
    return isPostgres() ? insert + QStringLiteral(" RETURNING record_id;")
                        : insert + QLatin1Char(';');
}

QString SqlDialect::timestampText(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString SqlDialect::changeCounter() const
{
    return isPostgres() ? QStringLiteral("SELECT last_value FROM journal_changes;")
                        : QStringLiteral("PRAGMA data_version;");
}

QString SqlDialect::tableExists() const
{
    return isPostgres() ? QStringLiteral("SELECT 1 FROM information_schema.tables WHERE "
                                         "table_schema=current_schema() AND table_name=?;")
                        : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND "
                                         "name=?;");
}

QString SqlDialect::tableColumns() const
{
    return isPostgres() ? QStringLiteral("SELECT column_name FROM information_schema.columns "
                                         "WHERE table_schema=current_schema() AND table_name=? "
                                         "ORDER BY ordinal_position;")
                        : QStringLiteral("SELECT name FROM pragma_table_info(?);");
}

QString SqlDialect::statusBytes() const
{
    return isPostgres() ? QStringLiteral("SELECT pg_total_relation_size('status_log');")
                        : QString();
}

bool SqlDialect::isLockError(const QSqlError &error) const
{
    const QString code = error.nativeErrorCode();
    if (isPostgres()) {
        // lock_not_available, serialization_failure, deadlock_detected
        return code == QLatin1String("55P03") || code == QLatin1String("40001") ||
            code == QLatin1String("40P01");
    }
    // SQLITE_BUSY and SQLITE_LOCKED, also as extended codes.
    const int number = code.toInt() & 0xff;
    return number == 5 || number == 6;
}
