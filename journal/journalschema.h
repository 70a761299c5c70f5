#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

class JournalLocation;

// The journal's schema on PostgreSQL, its version and its roles, and the list of tables
// that make up a journal on either engine (what `journal copy` copies).
//
// A site database is made and upgraded by its owner with `norda-cli journal init-db`;
// monitors and consoles never change the schema and refuse a database of another version.
// Three NOLOGIN roles carry the rights, named after the database so that several sites
// share one server: <db>_monitor, <db>_console and <db>_admin.
class JournalSchema {
public:
    static constexpr int version = 3;
    static constexpr int maxShards = 1024;

    // A table of the journal: its name and the file it lives in on SQLite (empty: the
    // event journal's file; else a file of that name beside it).
    struct Table {
        const char *name;
        const char *sqliteFile;
    };
    // Every table a journal holds records in, records numbered by record_id.
    static const QVector<Table> &tables();

    static QString roleName(const QString &databaseName, const char *role);
    // The statements of init-db for database `databaseName` with `shards` shards.
    static QStringList statements(const QString &databaseName, int shards);
    // Runs them as one transaction; false with `error` set. `shards` 0 keeps the number
    // already set (1 for a new database).
    static bool initialize(const JournalLocation &location, int shards, QString *error);
    // Empty when `database` (PostgreSQL) holds the schema of this version; else why not,
    // naming init-db.
    static QString versionProblem(const QSqlDatabase &database, const QString &shownName);
};
