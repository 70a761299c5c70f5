#include "journal/databaseparams.h"

#include <QVariant>

DatabaseParams::DatabaseParams(const QString &fileName, QObject *parent)
    : DatabaseParams(JournalLocation::file(fileName), parent)
{
}

DatabaseParams::DatabaseParams(const JournalLocation &location, QObject *parent)
    : DatabaseWrapper(location, parent)
{
    // On PostgreSQL the table and its index are made by init-db.
    if (dialect().isPostgres())
        return;
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS dev_params (record_id INTEGER PRIMARY KEY "
                        "AUTOINCREMENT,device_unique_id INTEGER,param_name TEXT,param_value "
                        "TEXT,param_time TEXT);"));
    // The newest value of one parameter of one device is looked up by these columns.
    exec(QStringLiteral("CREATE INDEX IF NOT EXISTS dev_params_device_name ON "
                        "dev_params(device_unique_id, param_name);"));
}

bool DatabaseParams::insertOne(int deviceId, const QString &name, const QString &value,
                               const QDateTime &time)
{
    QSqlQuery *query = dialect().isPostgres()
        ? run(QStringLiteral("INSERT INTO dev_params(device_unique_id, param_name, "
                             "param_value, param_time, time) VALUES (?, ?, ?, ?, CAST(? AS "
                             "timestamptz));"),
              {deviceId, textValue(name), textValue(value), timeText(time),
               SqlDialect::timestampText(time)})
        : run(QStringLiteral("INSERT INTO dev_params(device_unique_id, param_name, "
                             "param_value, param_time) VALUES (?, ?, ?, ?);"),
              {deviceId, textValue(name), textValue(value), timeText(time)});
    done(query);
    return query != nullptr;
}

bool DatabaseParams::insertParam(int deviceId, const QString &name, const QString &value,
                                 const QDateTime &time)
{
    return insertOne(deviceId, name, value, time);
}

bool DatabaseParams::insertParams(int deviceId, const QList<QPair<QString, QString>> &values,
                                  const QDateTime &time)
{
    if (!isOpen() || !exec(dialect().beginWrite()))
        return false;
    bool ok = true;
    for (int i = 0; ok && i < values.size(); ++i)
        ok = insertOne(deviceId, values.at(i).first, values.at(i).second, time);
    if (ok && exec(QStringLiteral("COMMIT;")))
        return true;
    // A failed commit may have ended the transaction already.
    QSqlQuery rollback(database());
    rollback.exec(QStringLiteral("ROLLBACK;"));
    rollback.finish();
    return false;
}

bool DatabaseParams::lastParam(int deviceId, const QString &name, QString &value, QDateTime &time)
{
    QSqlQuery *query = run(QStringLiteral("SELECT param_value, param_time FROM dev_params WHERE "
                                          "device_unique_id=? AND param_name=? ORDER BY "
                                          "record_id DESC LIMIT 1;"),
                           {deviceId, textValue(name)});
    if (!query)
        return false;
    const bool found = query->next();
    if (found) {
        value = query->value(QStringLiteral("param_value")).toString();
        time = parseTime(query->value(QStringLiteral("param_time")).toString());
    }
    done(query);
    return found;
}
