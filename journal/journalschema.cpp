#include "journal/journalschema.h"

#include "journal/journallocation.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString identifier(const QString &name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString literal(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Role names are identifiers of at most 63 bytes; the longest suffix is "_console".
constexpr int maxDatabaseNameBytes = 63 - 8;

const char initDbHint[] = "norda-cli journal init-db";

} // namespace

const QVector<JournalSchema::Table> &JournalSchema::tables()
{
    static const QVector<Table> list = {
        {"error_log", ""},
        {"status_log", ""},
        {"dev_params", "params.sqlite"},
        {"audit_log", ""},
    };
    return list;
}

QString JournalSchema::roleName(const QString &databaseName, const char *role)
{
    return databaseName + QLatin1Char('_') + QLatin1String(role);
}

QStringList JournalSchema::statements(const QString &databaseName, int shards)
{
    const QString monitor = identifier(roleName(databaseName, "monitor"));
    const QString console = identifier(roleName(databaseName, "console"));
    const QString admin = identifier(roleName(databaseName, "admin"));
    QStringList sql;
    // The roles first: they are shared by the cluster, made once.
    for (const char *role : {"monitor", "console", "admin"}) {
        const QString name = roleName(databaseName, role);
        sql << QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE "
                              "rolname = %1) THEN CREATE ROLE %2 NOLOGIN; END IF; END $$;")
                   .arg(literal(name), identifier(name));
    }
    sql << QStringLiteral(
        "CREATE TABLE IF NOT EXISTS journal_meta (key text PRIMARY KEY, value text);");
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS error_log (record_id bigserial PRIMARY KEY, "
                          "param_time text, device_unique_id integer, error_id integer, "
                          "error_description text, seen integer NOT NULL DEFAULT 0, "
                          "time_key bigint, time timestamptz, seen_by text, seen_host text, "
                          "seen_at timestamptz);");
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS status_log (record_id bigserial PRIMARY "
                          "KEY, device_unique_id integer, status_json text, param_time text, "
                          "time timestamptz);");
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS dev_params (record_id bigserial PRIMARY "
                          "KEY, device_unique_id integer, param_name text, param_value text, "
                          "param_time text, time timestamptz);");
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS device_state (device_id integer PRIMARY "
                          "KEY, shard integer NOT NULL, online boolean, faults text, last_answer "
                          "timestamptz, changed_at timestamptz NOT NULL);");
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS shard_state (shard integer PRIMARY KEY, "
                          "owner text, stamped_at timestamptz);");
    // The same lookups as on SQLite: the repetition rules, the unacknowledged events and
    // the history by time; the status journal by device and by age.
    sql << QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_device_code ON "
                          "error_log(device_unique_id, error_id, record_id);")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_device_code_seen ON "
                          "error_log(device_unique_id, error_id, seen, record_id);")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_unseen ON error_log(record_id) "
                          "WHERE seen = 0;")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_time ON error_log(time_key, "
                          "record_id);")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_device_time ON "
                          "error_log(device_unique_id, time_key, record_id);")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS error_log_code_time ON error_log(error_id, "
                          "time_key, record_id);")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS status_log_device ON "
                          "status_log(device_unique_id, record_id);")
        << QStringLiteral("CREATE INDEX IF NOT EXISTS dev_params_device_name ON "
                          "dev_params(device_unique_id, param_name, record_id);");
    // Every statement that writes the event journal counts here: a connection learns that
    // another one changed it (an acknowledgement, another monitor's records).
    sql << QStringLiteral("CREATE SEQUENCE IF NOT EXISTS journal_changes;")
        << QStringLiteral("CREATE OR REPLACE FUNCTION journal_changed() RETURNS trigger "
                          "LANGUAGE plpgsql AS $$ BEGIN PERFORM nextval('journal_changes'); "
                          "PERFORM pg_notify('norda_journal', TG_TABLE_NAME); "
                          "RETURN NULL; END $$;")
        << QStringLiteral("DROP TRIGGER IF EXISTS error_log_changed ON error_log;")
        << QStringLiteral("CREATE TRIGGER error_log_changed AFTER INSERT OR UPDATE OR DELETE ON "
                          "error_log FOR EACH STATEMENT EXECUTE FUNCTION journal_changed();");
    // Acknowledgements count apart: a monitor compares this counter before it judges the next
    // status of its devices, and re-reads what was acknowledged only when it moved.
    sql << QStringLiteral("CREATE SEQUENCE IF NOT EXISTS ack_changes;")
        << QStringLiteral("CREATE OR REPLACE FUNCTION journal_acknowledged() RETURNS trigger "
                          "LANGUAGE plpgsql AS $$ BEGIN PERFORM nextval('ack_changes'); "
                          "RETURN NULL; END $$;")
        << QStringLiteral("DROP TRIGGER IF EXISTS error_log_acknowledged ON error_log;")
        << QStringLiteral("CREATE TRIGGER error_log_acknowledged AFTER UPDATE OF seen ON "
                          "error_log FOR EACH STATEMENT EXECUTE FUNCTION "
                          "journal_acknowledged();");
    // Watching consoles learn of new device states and of shards changing hands on the
    // channel norda_journal, its payload the table's name (the stamps every second do not
    // notify: a console reads them on its own clock).
    sql << QStringLiteral("CREATE OR REPLACE FUNCTION site_changed() RETURNS trigger LANGUAGE "
                          "plpgsql AS $$ BEGIN PERFORM pg_notify('norda_journal', "
                          "TG_TABLE_NAME); RETURN NULL; END $$;")
        << QStringLiteral("DROP TRIGGER IF EXISTS device_state_changed ON device_state;")
        << QStringLiteral("CREATE TRIGGER device_state_changed AFTER INSERT OR UPDATE OR DELETE "
                          "ON device_state FOR EACH STATEMENT EXECUTE FUNCTION site_changed();")
        << QStringLiteral("DROP TRIGGER IF EXISTS shard_state_changed ON shard_state;")
        << QStringLiteral("CREATE TRIGGER shard_state_changed AFTER UPDATE OF owner ON "
                          "shard_state FOR EACH STATEMENT EXECUTE FUNCTION site_changed();");

    // ---- Users of the consoles (since version 3) ----
    // Consoles read the users and record failed log-ins (the count and the wait); only the
    // administrator adds, changes and removes users.
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS users (name text PRIMARY KEY, level integer "
                          "NOT NULL, password_hash text NOT NULL, failed_logins integer NOT NULL "
                          "DEFAULT 0, retry_after bigint NOT NULL DEFAULT 0, changed_by text, "
                          "changed_at text);")
        << QStringLiteral("REVOKE ALL ON users FROM %1, %2, %3;").arg(monitor, console, admin)
        << QStringLiteral("GRANT SELECT ON users TO %1, %2;").arg(monitor, console)
        << QStringLiteral("GRANT UPDATE (failed_logins, retry_after) ON users TO %1;").arg(console)
        << QStringLiteral("GRANT INSERT, UPDATE, DELETE ON users TO %1;").arg(admin);
    // ---- End of the users ----

    sql << QStringLiteral("INSERT INTO journal_meta VALUES ('schema_version', '%1') ON CONFLICT "
                          "(key) DO UPDATE SET value = EXCLUDED.value;")
               .arg(version)
        << QStringLiteral(
               "INSERT INTO journal_meta VALUES ('project_sha256', '') ON CONFLICT DO NOTHING;");
    if (shards > 0) {
        sql << QStringLiteral("INSERT INTO journal_meta VALUES ('shards', '%1') ON CONFLICT "
                              "(key) DO UPDATE SET value = EXCLUDED.value;")
                   .arg(shards);
    } else {
        sql << QStringLiteral(
            "INSERT INTO journal_meta VALUES ('shards', '1') ON CONFLICT DO NOTHING;");
    }
    sql << QStringLiteral("INSERT INTO shard_state (shard) SELECT generate_series(0, (SELECT "
                          "value::integer FROM journal_meta WHERE key = 'shards') - 1) ON "
                          "CONFLICT DO NOTHING;")
        << QStringLiteral("DELETE FROM shard_state WHERE shard >= (SELECT value::integer FROM "
                          "journal_meta WHERE key = 'shards');");

    // The audit trail (schema version 3): records are only ever added, by every program
    // that changes something, each under an advisory lock; nobody may change or remove one.
    sql << QStringLiteral("CREATE TABLE IF NOT EXISTS audit_log (record_id bigint PRIMARY KEY, "
                          "time text NOT NULL, user_name text NOT NULL, host text NOT NULL, "
                          "device text NOT NULL, action text NOT NULL, details text NOT NULL, "
                          "prev_hash text NOT NULL, hash text NOT NULL);")
        << QStringLiteral("REVOKE ALL ON audit_log FROM %1, %2, %3;").arg(monitor, console, admin)
        << QStringLiteral("GRANT SELECT, INSERT ON audit_log TO %1, %2, %3;")
               .arg(monitor, console, admin);

    // Rights: nothing for anyone else; each role what it needs.
    const QString database = identifier(databaseName);
    sql << QStringLiteral("REVOKE ALL ON DATABASE %1 FROM PUBLIC;").arg(database)
        << QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2, %3, %4;")
               .arg(database, monitor, console, admin)
        << QStringLiteral("GRANT USAGE ON SCHEMA public TO %1, %2, %3;")
               .arg(monitor, console, admin)
        << QStringLiteral("REVOKE ALL ON journal_meta, error_log, status_log, dev_params, "
                          "device_state, shard_state FROM %1, %2, %3;")
               .arg(monitor, console, admin)
        << QStringLiteral("GRANT SELECT ON journal_meta, error_log, status_log, dev_params, "
                          "device_state, shard_state TO %1, %2, %3;")
               .arg(monitor, console, admin)
        << QStringLiteral("GRANT USAGE, SELECT ON SEQUENCE journal_changes, ack_changes, "
                          "error_log_record_id_seq, status_log_record_id_seq, "
                          "dev_params_record_id_seq TO %1, %2, %3;")
               .arg(monitor, console, admin)
        // The monitor records events and status documents (and trims the latter), keeps
        // the device states, stamps its shards and sets the project's checksum.
        << QStringLiteral("GRANT INSERT ON error_log, status_log, dev_params TO %1;").arg(monitor)
        << QStringLiteral("GRANT DELETE ON status_log TO %1;").arg(monitor)
        << QStringLiteral("GRANT INSERT, UPDATE, DELETE ON device_state TO %1;").arg(monitor)
        << QStringLiteral("GRANT UPDATE (owner, stamped_at) ON shard_state TO %1;").arg(monitor)
        << QStringLiteral("GRANT UPDATE (value) ON journal_meta TO %1;").arg(monitor)
        // The console reads, records acknowledgements (the event and the seen columns) and
        // the parameters its configuration windows wrote.
        << QStringLiteral("GRANT INSERT ON error_log, dev_params TO %1;").arg(console)
        << QStringLiteral("GRANT UPDATE (seen, seen_by, seen_host, seen_at) ON error_log TO %1;")
               .arg(console)
        // The administrator may do what both do, and what only it may change.
        << QStringLiteral("GRANT %1, %2 TO %3;").arg(monitor, console, admin)
        << QStringLiteral("GRANT INSERT, UPDATE, DELETE ON journal_meta, shard_state TO %1;")
               .arg(admin);
    return sql;
}

bool JournalSchema::initialize(const JournalLocation &location, int shards, QString *error)
{
    if (!location.isPostgres()) {
        *error = QStringLiteral("init-db takes a postgresql:// URL");
        return false;
    }
    if (location.databaseName().toUtf8().size() > maxDatabaseNameBytes) {
        *error = QStringLiteral("the database name is longer than %1 bytes: the role names "
                                "made from it would be cut")
                     .arg(maxDatabaseNameBytes);
        return false;
    }
    if (shards < 0 || shards > maxShards) {
        *error = QStringLiteral("the number of shards is 1..%1").arg(maxShards);
        return false;
    }
    const QString name = QStringLiteral("norda-init-db");
    bool ok = false;
    {
        if (!location.open(name, error)) {
            QSqlDatabase::removeDatabase(name);
            return false;
        }
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery query(db);
        // A database of a newer schema is left alone.
        if (query.exec(QStringLiteral("SELECT value FROM journal_meta WHERE key = "
                                      "'schema_version';")) &&
            query.next() && query.value(0).toInt() > version) {
            *error = QStringLiteral("the database has schema version %1, newer than this "
                                    "program's %2")
                         .arg(query.value(0).toString())
                         .arg(version);
        } else {
            query.finish();
            ok = db.transaction();
            for (const QString &statement : statements(location.databaseName(), shards)) {
                if (!ok)
                    break;
                ok = query.exec(statement);
                if (!ok)
                    *error = query.lastError().text() + QStringLiteral(" in: ") + statement;
            }
            ok = ok && db.commit();
            if (!ok) {
                if (error->isEmpty())
                    *error = db.lastError().text();
                db.rollback();
            }
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QString JournalSchema::versionProblem(const QSqlDatabase &database, const QString &shownName)
{
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("SELECT value FROM journal_meta WHERE key = "
                                   "'schema_version';")))
        return QStringLiteral("%1 holds no journal (%2): make it with %3 URL")
            .arg(shownName, query.lastError().text().trimmed(), QLatin1String(initDbHint));
    const QString found = query.next() ? query.value(0).toString() : QString();
    query.finish();
    if (found == QString::number(version))
        return QString();
    return QStringLiteral("%1 has journal schema version %2, this program needs %3: upgrade it "
                          "with %4 URL (as the database owner)")
        .arg(shownName, found.isEmpty() ? QStringLiteral("none") : found)
        .arg(version)
        .arg(QLatin1String(initDbHint));
}
