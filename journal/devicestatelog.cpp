#include "journal/devicestatelog.h"

#include "journal/sqldialect.h"

#include <QVariant>

DeviceStateLog::DeviceStateLog(const JournalLocation &location, QObject *parent)
    : DatabaseWrapper(location, parent)
{
}

void DeviceStateLog::record(int deviceId, int shard, bool online, const QString &faults,
                            const QDateTime &lastAnswer)
{
    m_rows.insert(deviceId, {shard, online, faults, lastAnswer});
}

void DeviceStateLog::dropShard(int shard)
{
    for (auto it = m_rows.begin(); it != m_rows.end();)
        it = it.value().shard == shard ? m_rows.erase(it) : std::next(it);
}

bool DeviceStateLog::flush()
{
    if (m_rows.isEmpty() || !dialect().isPostgres())
        return true;
    bool ok = exec(dialect().beginWrite());
    for (auto it = m_rows.cbegin(); ok && it != m_rows.cend(); ++it) {
        const Row &row = it.value();
        QSqlQuery *query = run(
            QStringLiteral("INSERT INTO device_state (device_id, shard, online, faults, "
                           "last_answer, changed_at) VALUES (?, ?, ?, ?, CAST(? AS timestamptz), "
                           "now()) ON CONFLICT (device_id) DO UPDATE SET shard = EXCLUDED.shard, "
                           "online = EXCLUDED.online, faults = EXCLUDED.faults, last_answer = "
                           "EXCLUDED.last_answer, changed_at = EXCLUDED.changed_at;"),
            {it.key(), row.shard, row.online, textValue(row.faults),
             row.lastAnswer.isValid() ? QVariant(SqlDialect::timestampText(row.lastAnswer))
                                      : QVariant(QVariant::String)});
        ok = query != nullptr;
        done(query);
    }
    if (ok && exec(QStringLiteral("COMMIT;"))) {
        m_rows.clear();
        return true;
    }
    QSqlQuery rollback(database());
    rollback.exec(QStringLiteral("ROLLBACK;"));
    return false;
}
