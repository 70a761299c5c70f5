#pragma once

// Ways of tampering with an audit trail of five records, the same on SQLite and PostgreSQL,
// and what `norda-cli audit verify` must say of each.

#include "journal/audittrail.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>

namespace AuditTamper {

struct Row {
    const char *name;
    QStringList statements;
    // --head with the hash of this record as the trail had it (0: no --head).
    int head;
    int code;
    const char *message;
};

inline const QVector<Row> &rows()
{
    static const QVector<Row> list = {
        {"intact", {}, 0, 0, "5 records, intact"},
        {"intact up to an older head", {}, 4, 0, "5 records, intact"},
        {"one record changed",
         {"UPDATE audit_log SET details = '{\"after\":\"99\",\"name\":\"MaxVolume\"}' WHERE "
          "record_id = 3;"},
         0,
         5,
         "record 3 was altered"},
        {"one record removed",
         {"DELETE FROM audit_log WHERE record_id = 3;"},
         0,
         5,
         "record 3 was removed"},
        {"two records removed",
         {"DELETE FROM audit_log WHERE record_id IN (2, 3);"},
         0,
         5,
         "records 2 to 3 were removed"},
        {"one record inserted",
         {"UPDATE audit_log SET record_id = record_id + 100 WHERE record_id >= 3;",
          "UPDATE audit_log SET record_id = record_id - 99 WHERE record_id >= 103;",
          "INSERT INTO audit_log (record_id, time, user_name, host, device, action, details, "
          "prev_hash, hash) VALUES (3, '2026-12-08T08:00:00.000Z', '', 'pc', 'horn', "
          "'descriptor-write', '{}', (SELECT hash FROM audit_log WHERE record_id = 2), "
          "'forged');"},
         0,
         5,
         "record 3 was inserted"},
        {"last record cut off, no head",
         {"DELETE FROM audit_log WHERE record_id = 5;"},
         0,
         0,
         "4 records, intact"},
        {"last record cut off",
         {"DELETE FROM audit_log WHERE record_id = 5;"},
         5,
         5,
         "records from 5 on were cut off the end"},
    };
    return list;
}

// Five records through `trail`; their hashes in order.
inline QStringList fill(AuditTrail *trail)
{
    QStringList hashes;
    for (int i = 1; i <= 5; ++i) {
        trail->setActor(i % 2 ? QStringLiteral("ivanov") : QString(), QStringLiteral("pc"));
        AuditRecord record;
        if (!trail->append(QStringLiteral("horn №%1").arg(1000 + i),
                           QLatin1String(AuditRecord::descriptorWrite),
                           {{QStringLiteral("name"), QStringLiteral("MaxVolume")},
                            {QStringLiteral("before"), QString::number(i)},
                            {QStringLiteral("after"), QStringLiteral("Громкость %1").arg(i)}},
                           &record))
            return {};
        hashes << record.hash;
    }
    return hashes;
}

// Runs the row's statements on `db`; the first error, or empty.
inline QString apply(const QSqlDatabase &db, const QStringList &statements)
{
    for (const QString &statement : statements) {
        QSqlQuery query(db);
        if (!query.exec(statement))
            return query.lastError().text() + QStringLiteral(" in ") + statement;
    }
    return QString();
}

// Appends `count` records from a thread of its own, through a connection of its own.
class Writer : public QThread {
public:
    Writer(const JournalLocation &location, int count)
        : location(location)
        , count(count)
    {
    }
    int written = 0;

protected:
    void run() override
    {
        AuditTrail trail(location);
        for (int i = 0; i < count; ++i) {
            if (trail.append(QStringLiteral("horn"), QStringLiteral("descriptor-write"),
                             {{QStringLiteral("n"), i}}))
                ++written;
        }
    }

private:
    JournalLocation location;
    int count;
};

} // namespace AuditTamper
