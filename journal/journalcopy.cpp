#include "journal/journalcopy.h"

#include "journal/audittrail.h"
#include "journal/databaselog.h"
#include "journal/databaseparams.h"
#include "journal/journalfilter.h"
#include "journal/journallocation.h"
#include "journal/journalschema.h"
#include "journal/readonlydatabase.h"
#include "journal/sqldialect.h"
#include "journal/userstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

namespace {

// The file of `table` on SQLite, or the URL.
QString place(const QString &journal, const JournalSchema::Table &table)
{
    if (JournalLocation::looksLikeUrl(journal) || !*table.sqliteFile)
        return journal;
    return QFileInfo(journal).dir().filePath(QLatin1String(table.sqliteFile));
}

QStringList columns(const QSqlDatabase &db, const QString &table)
{
    QStringList names;
    QSqlQuery query(db);
    if (query.prepare(SqlDialect::of(db).tableColumns())) {
        query.addBindValue(table);
        if (query.exec()) {
            while (query.next())
                names << query.value(0).toString();
        }
    }
    return names;
}

// One side's connection to the place of one table.
class Side {
public:
    ~Side()
    {
        m_reader.reset();
        if (!m_name.isEmpty()) {
            QSqlDatabase::database(m_name, false).close();
            QSqlDatabase::removeDatabase(m_name);
        }
    }

    bool openSource(const QString &where, QString *error)
    {
        m_reader = std::make_unique<ReadOnlyDatabase>(where);
        if (!m_reader->isOpen()) {
            *error = QStringLiteral("cannot open %1: %2").arg(where, m_reader->error());
            return false;
        }
        m_db = m_reader->database();
        return true;
    }

    bool openTarget(const QString &where, const JournalSchema::Table &table, QString *error)
    {
        const JournalLocation location = JournalLocation::looksLikeUrl(where)
            ? JournalLocation::parse(where)
            : JournalLocation::file(where);
        if (!location.isPostgres()) {
            // The journal's own classes make the tables of a new file.
            if (QLatin1String(table.name) == QLatin1String("audit_log")) {
                const AuditTrail made(location);
            } else if (QLatin1String(table.sqliteFile).isEmpty()) {
                const DatabaseLog made(location.filePath());
            } else {
                const DatabaseParams made(location.filePath());
            }
        }
        static int next = 0;
        m_name = QStringLiteral("norda-copy-target-%1").arg(++next);
        if (!location.open(m_name, error)) {
            *error = QStringLiteral("cannot open %1: %2").arg(where, *error);
            return false;
        }
        m_db = QSqlDatabase::database(m_name, false);
        if (location.isPostgres()) {
            const QString problem = JournalSchema::versionProblem(m_db, where);
            if (!problem.isEmpty()) {
                *error = problem;
                return false;
            }
        }
        return true;
    }

    QSqlDatabase db() const { return m_db; }

private:
    std::unique_ptr<ReadOnlyDatabase> m_reader;
    QString m_name;
    QSqlDatabase m_db;
};

struct TablePlan {
    QString table;
    std::unique_ptr<Side> source;
    std::unique_ptr<Side> target;
    QStringList common; // columns both have, record_id first
    bool deriveTimeKey = false;
    bool deriveTime = false;
    qint64 after = 0; // the target's highest record number
    qint64 rows = 0;
};

bool scalar(const QSqlDatabase &db, const QString &statement, qint64 *value, QString *error)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    *value = query.value(0).toLongLong();
    return true;
}

bool copyRows(TablePlan &plan, qint64 *done, qint64 total, const JournalCopy::Progress &progress,
              QString *error)
{
    const SqlDialect targetDialect = SqlDialect::of(plan.target->db());
    QStringList names = plan.common;
    QStringList marks;
    for (int i = 0; i < plan.common.size(); ++i)
        marks << QStringLiteral("?");
    if (plan.deriveTimeKey) {
        names << QStringLiteral("time_key");
        marks << QStringLiteral("?");
    }
    if (plan.deriveTime) {
        names << QStringLiteral("time");
        marks << QStringLiteral("CAST(? AS timestamptz)");
    }
    const int timeColumn = plan.common.indexOf(QStringLiteral("param_time"));
    QSqlQuery read(plan.source->db());
    read.setForwardOnly(true);
    QSqlQuery write(plan.target->db());
    if (!read.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE record_id > ? ORDER BY record_id "
                                     "LIMIT %3;")
                          .arg(plan.common.join(QStringLiteral(", ")), plan.table)
                          .arg(JournalCopy::pageRows)) ||
        !write.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3);")
                           .arg(plan.table, names.join(QStringLiteral(", ")),
                                marks.join(QStringLiteral(", "))))) {
        *error = read.lastError().isValid() ? read.lastError().text() : write.lastError().text();
        return false;
    }
    qint64 cursor = plan.after;
    for (;;) {
        read.bindValue(0, cursor);
        if (!read.exec()) {
            *error = read.lastError().text();
            return false;
        }
        int rows = 0;
        QSqlDatabase target = plan.target->db();
        if (!target.transaction()) {
            *error = target.lastError().text();
            return false;
        }
        while (read.next()) {
            for (int i = 0; i < plan.common.size(); ++i)
                write.bindValue(i, read.value(i));
            const QString time = timeColumn >= 0 ? read.value(timeColumn).toString() : QString();
            int at = plan.common.size();
            if (plan.deriveTimeKey) {
                const qint64 key = JournalFilter::timeKey(time);
                write.bindValue(at++, key > 0 ? QVariant(key) : QVariant());
            }
            if (plan.deriveTime) {
                const QString text = SqlDialect::timestampText(DatabaseWrapper::parseTime(time));
                write.bindValue(at++, text.isEmpty() ? QVariant() : QVariant(text));
            }
            if (!write.exec()) {
                *error = write.lastError().text();
                target.rollback();
                return false;
            }
            cursor = read.value(0).toLongLong();
            ++rows;
        }
        read.finish();
        if (!target.commit()) {
            *error = target.lastError().text();
            return false;
        }
        *done += rows;
        if (progress)
            progress(*done, total);
        if (rows < JournalCopy::pageRows)
            break;
    }
    // Records made on the server later go on above the copied numbers.
    qint64 unused = 0;
    return !targetDialect.isPostgres() ||
        scalar(plan.target->db(),
               QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'record_id'), (SELECT "
                              "COALESCE(MAX(record_id), 1) FROM %1));")
                   .arg(plan.table),
               &unused, error);
}

// The users the target lacks, with their hashes; a source without users touches nothing.
bool copyUsers(const QString &from, const QString &to, qint64 *added, QString *error)
{
    const JournalSchema::Table &journal = JournalSchema::tables().first();
    Side source;
    if (!source.openSource(place(from, journal), error))
        return false;
    QSqlQuery read(source.db());
    if (!columns(source.db(), QStringLiteral("users")).contains(QStringLiteral("password_hash")))
        return true;
    if (!read.exec(QStringLiteral("SELECT name, level, password_hash, changed_by, changed_at FROM "
                                  "users ORDER BY name;"))) {
        *error = read.lastError().text();
        return false;
    }
    if (!read.next())
        return true;
    const JournalLocation location =
        JournalLocation::looksLikeUrl(to) ? JournalLocation::parse(to) : JournalLocation::file(to);
    if (!location.isPostgres()) {
        // The store makes its table in a file that has none yet.
        UserStore made(location);
        if (!made.open(error))
            return false;
    }
    Side target;
    if (!target.openTarget(place(to, journal), journal, error))
        return false;
    QSqlQuery write(target.db());
    if (!write.prepare(QStringLiteral(
            "INSERT INTO users (name, level, password_hash, failed_logins, retry_after, "
            "changed_by, changed_at) SELECT CAST(? AS text), CAST(? AS integer), CAST(? AS text), "
            "0, "
            "0, CAST(? AS text), CAST(? AS text) WHERE NOT EXISTS (SELECT 1 FROM users WHERE "
            "name = ?);"))) {
        *error = write.lastError().text();
        return false;
    }
    do {
        for (int i = 0; i < 5; ++i)
            write.bindValue(i, read.value(i));
        write.bindValue(5, read.value(0));
        if (!write.exec()) {
            *error = write.lastError().text();
            return false;
        }
        *added += qMax(0, write.numRowsAffected());
    } while (read.next());
    return true;
}

} // namespace

JournalCopy::Outcome JournalCopy::copy(const QString &from, const QString &to,
                                       const Progress &progress)
{
    Outcome outcome;
    for (const QString &end : {from, to}) {
        if (JournalLocation::looksLikeUrl(end) && !JournalLocation::parse(end).isPostgres()) {
            outcome.error = JournalLocation::parse(end).error();
            return outcome;
        }
    }
    if (!JournalLocation::looksLikeUrl(from) && !QFileInfo(from).isFile()) {
        outcome.error = QStringLiteral("cannot open %1: no such file").arg(from);
        return outcome;
    }
    // First what is to be copied, table by table, for the progress; then the copy.
    std::vector<TablePlan> plans;
    qint64 total = 0;
    for (const JournalSchema::Table &table : JournalSchema::tables()) {
        TablePlan plan;
        plan.table = QLatin1String(table.name);
        const QString source = place(from, table);
        // An SQLite journal without a parameter file beside it has no parameters.
        if (!JournalLocation::looksLikeUrl(source) && !QFileInfo(source).isFile())
            continue;
        plan.source = std::make_unique<Side>();
        plan.target = std::make_unique<Side>();
        if (!plan.source->openSource(source, &outcome.error) ||
            !plan.target->openTarget(place(to, table), table, &outcome.error))
            return outcome;
        const QStringList sourceColumns = columns(plan.source->db(), plan.table);
        const QStringList targetColumns = columns(plan.target->db(), plan.table);
        if (sourceColumns.isEmpty())
            continue; // a journal that never had this table
        if (!sourceColumns.contains(QStringLiteral("record_id")) ||
            !targetColumns.contains(QStringLiteral("record_id"))) {
            outcome.error = QStringLiteral("%1 has no record numbers").arg(plan.table);
            return outcome;
        }
        plan.common << QStringLiteral("record_id");
        for (const QString &column : sourceColumns) {
            if (column != QLatin1String("record_id") && targetColumns.contains(column))
                plan.common << column;
        }
        const bool hasTime = plan.common.contains(QStringLiteral("param_time"));
        plan.deriveTimeKey = hasTime && targetColumns.contains(QStringLiteral("time_key")) &&
            !plan.common.contains(QStringLiteral("time_key")) &&
            SqlDialect::of(plan.target->db()).isPostgres();
        plan.deriveTime = hasTime && targetColumns.contains(QStringLiteral("time")) &&
            !plan.common.contains(QStringLiteral("time")) &&
            SqlDialect::of(plan.target->db()).isPostgres();
        if (!scalar(plan.target->db(),
                    QStringLiteral("SELECT COALESCE(MAX(record_id), 0) FROM %1;").arg(plan.table),
                    &plan.after, &outcome.error) ||
            !scalar(plan.source->db(),
                    QStringLiteral("SELECT count(*) FROM %1 WHERE record_id > %2;")
                        .arg(plan.table)
                        .arg(plan.after),
                    &plan.rows, &outcome.error)) {
            outcome.error = QStringLiteral("cannot read %1: %2").arg(plan.table, outcome.error);
            return outcome;
        }
        total += plan.rows;
        plans.push_back(std::move(plan));
    }
    if (progress)
        progress(0, total);
    for (TablePlan &plan : plans) {
        if (plan.rows == 0)
            continue;
        if (!copyRows(plan, &outcome.copied, total, progress, &outcome.error)) {
            outcome.error = QStringLiteral("copying %1: %2").arg(plan.table, outcome.error);
            return outcome;
        }
    }
    if (!copyUsers(from, to, &outcome.usersAdded, &outcome.error)) {
        outcome.error = QStringLiteral("copying users: %1").arg(outcome.error);
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}
