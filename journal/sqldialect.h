#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// What differs between the two engines a journal lives on, SQLite and PostgreSQL: every
// statement or error test that is not the same on both is decided here.
class SqlDialect {
public:
    enum class Engine { Sqlite, Postgres };

    explicit SqlDialect(Engine engine = Engine::Sqlite)
        : m_engine(engine)
    {
    }
    static SqlDialect of(const QSqlDatabase &database);

    Engine engine() const { return m_engine; }
    bool isPostgres() const { return m_engine == Engine::Postgres; }

    // The record number column: 64-bit and ever increasing on both.
    QString idColumn() const;
    // Opens a write transaction (SQLite takes the write lock at once).
    QString beginWrite() const;
    // `insert` (an INSERT statement without a final ';') that gives the new record_id as
    // its only row on PostgreSQL; SQLite gives it as the query's last insert id.
    QString insertReturningId(const QString &insert) const;
    // Whether the time columns of PostgreSQL (timestamptz beside the stored text) exist.
    bool hasTimestamps() const { return isPostgres(); }
    // A time as the text bound to a timestamptz column ("CAST(? AS timestamptz)").
    static QString timestampText(const QDateTime &time);

    // A query whose single value changes when another connection changed the event
    // journal; on SQLite it does not change with this connection's own writes, on
    // PostgreSQL it counts every statement that wrote error_log, this connection's too.
    QString changeCounter() const;
    bool changeCounterCountsOwnWrites() const { return isPostgres(); }

    // Whether a table of that name exists: one row when it does, bound value: the name.
    QString tableExists() const;
    // The names of a table's columns, first value of each row; bound value: the table.
    QString tableColumns() const;
    // Bytes the status journal takes (SQLite: the whole file in use).
    QString statusBytes() const;

    // Another connection's lock, which goes away by itself.
    bool isLockError(const QSqlError &error) const;

private:
    Engine m_engine;
};
