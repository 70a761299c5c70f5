#include "journal/journalindexbuilder.h"

#include "journal/journalfilter.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QAtomicInt builders;

// The builder waits this long for the lock of a writer (another program; the console's
// own commits take milliseconds).
constexpr int lockWaitMs = 60000;

struct IndexDefinition {
    const char *name;
    const char *statement;
};

// The repetition rules ask for the newest event of one code of one device, with and
// without regard to acknowledgement; the journal view and the counters ask for the
// unacknowledged events. These stay fast with millions of records.
const IndexDefinition indexDefinitions[] = {
    {"error_log_device_code",
     "CREATE INDEX IF NOT EXISTS error_log_device_code ON error_log(device_unique_id, "
     "error_id);"},
    {"error_log_device_code_seen",
     "CREATE INDEX IF NOT EXISTS error_log_device_code_seen ON error_log(device_unique_id, "
     "error_id, seen);"},
    {"error_log_seen", "CREATE INDEX IF NOT EXISTS error_log_seen ON error_log(seen);"},
    // The history: newest first by stored time, overall, per device and per code; each of
    // the last two carries the other's column, so that a filter on both is tested in the
    // index alone.
    {"error_log_time",
     "CREATE INDEX IF NOT EXISTS error_log_time ON error_log(time_key, record_id);"},
    {"error_log_device_time",
     "CREATE INDEX IF NOT EXISTS error_log_device_time ON error_log(device_unique_id, time_key, "
     "record_id, error_id);"},
    {"error_log_code_time",
     "CREATE INDEX IF NOT EXISTS error_log_code_time ON error_log(error_id, time_key, "
     "record_id, device_unique_id);"},
};

} // namespace

JournalIndexBuilder::JournalIndexBuilder(const QString &fileName, const QStringList &statements)
    : m_fileName(fileName)
    , m_statements(statements)
{
}

void JournalIndexBuilder::run()
{
    const QString name = QStringLiteral("norda-index-%1").arg(builders.fetchAndAddRelaxed(1));
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_fileName);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(lockWaitMs));
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            for (const QString &statement : qAsConst(m_statements)) {
                QSqlQuery query(db);
                if (!query.exec(statement)) {
                    error = query.lastError().text();
                    break;
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    emit done(error);
}

// The stored time text does not sort; the history needs a sortable copy. Added to older
// files in place: the column and the trigger at once (both take no time), the values of
// the records already there with the indexes, on a thread when there are many. The
// trigger fills the column for rows inserted without it, so an older version of the
// program writing the file later keeps it complete.
QStringList JournalIndexBuilder::missingStatements(const QSqlDatabase &database, bool *hasTimeKey)
{
    QSqlQuery query(database);
    *hasTimeKey = false;
    if (query.exec(QStringLiteral("PRAGMA table_info(error_log);"))) {
        while (query.next())
            *hasTimeKey = *hasTimeKey || query.value(1).toString() == QLatin1String("time_key");
    }
    if (!*hasTimeKey)
        *hasTimeKey =
            query.exec(QStringLiteral("ALTER TABLE error_log ADD COLUMN time_key INTEGER;"));
    if (*hasTimeKey)
        query.exec(QStringLiteral("CREATE TRIGGER IF NOT EXISTS error_log_time_key AFTER INSERT ON "
                                  "error_log WHEN NEW.time_key IS NULL BEGIN UPDATE error_log SET "
                                  "time_key=%1 WHERE record_id=NEW.record_id; END;")
                       .arg(JournalFilter::timeKeySql(QStringLiteral("NEW.param_time"))));
    QStringList present;
    if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='index' AND "
                                  "tbl_name='error_log';"))) {
        while (query.next())
            present << query.value(0).toString();
    }
    query.finish();
    QStringList missing;
    for (const IndexDefinition &index : indexDefinitions) {
        if (!*hasTimeKey && QByteArray(index.statement).contains("time_key"))
            continue;
        if (!present.contains(QLatin1String(index.name)))
            missing << QString::fromLatin1(index.statement);
    }
    // The time keys of the records written before the column existed come first: the
    // time index is built once they are all there.
    if (*hasTimeKey && !present.contains(QStringLiteral("error_log_time")))
        missing.prepend(QStringLiteral("UPDATE error_log SET time_key=%1 WHERE time_key IS NULL;")
                            .arg(JournalFilter::timeKeySql(QStringLiteral("param_time"))));
    return missing;
}
