#include "monitor/shardsession.h"

#include "journal/journalschema.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

QAtomicInt sessions;

} // namespace

ShardSession::ShardSession(const JournalLocation &location, const QString &projectSha256,
                           const QString &owner)
    : m_location(location)
    , m_sha(projectSha256)
    , m_owner(owner)
    , m_name(QStringLiteral("norda-shards-%1").arg(sessions.fetchAndAddRelaxed(1)))
    , m_class(lockClass(location.databaseName()))
{
}

ShardSession::~ShardSession()
{
    disconnectServer();
}

qint32 ShardSession::lockClass(const QString &databaseName)
{
    const QByteArray hash = QCryptographicHash::hash(
        QByteArrayLiteral("norda-shards:") + databaseName.toUtf8(), QCryptographicHash::Sha256);
    return qint32(quint32(uchar(hash.at(0))) << 24 | quint32(uchar(hash.at(1))) << 16 |
                  quint32(uchar(hash.at(2))) << 8 | quint32(uchar(hash.at(3))));
}

void ShardSession::start()
{
    // Made here: the timer belongs to the session's thread.
    m_timer = new QTimer(this);
    m_timer->setInterval(intervalMs);
    connect(m_timer, &QTimer::timeout, this, &ShardSession::tick);
    m_timer->start();
    tick();
}

void ShardSession::stop()
{
    if (m_timer)
        m_timer->stop();
    if (m_connected && !m_held.isEmpty()) {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        query.exec(QStringLiteral("UPDATE shard_state SET owner = NULL WHERE shard IN (%1);")
                       .arg(list(m_held)));
        query.exec(QStringLiteral("SELECT pg_advisory_unlock_all();"));
    }
    m_held.clear();
    disconnectServer();
}

QString ShardSession::list(const QSet<int> &shards)
{
    QList<int> sorted = shards.values();
    std::sort(sorted.begin(), sorted.end());
    QStringList texts;
    for (int shard : sorted)
        texts << QString::number(shard);
    return texts.join(QLatin1Char(','));
}

bool ShardSession::connectServer(QString *error)
{
    disconnectServer();
    if (!m_location.open(m_name, error)) {
        QSqlDatabase::removeDatabase(m_name);
        return false;
    }
    m_connected = true;
    return true;
}

void ShardSession::disconnectServer()
{
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    m_connected = false;
}

bool ShardSession::checkDatabase(QString *refusal, QString *error)
{
    const QSqlDatabase db = QSqlDatabase::database(m_name, false);
    *refusal = JournalSchema::versionProblem(db, m_location.text());
    if (!refusal->isEmpty())
        return false;
    QSqlQuery query(db);
    // The first monitor names the project; the others must have the same one.
    query.prepare(QStringLiteral(
        "UPDATE journal_meta SET value = ? WHERE key = 'project_sha256' AND value = '';"));
    query.addBindValue(m_sha);
    if (!query.exec() ||
        !query.exec(QStringLiteral("SELECT (SELECT value FROM journal_meta "
                                   "WHERE key = 'project_sha256'), (SELECT "
                                   "value::integer FROM journal_meta WHERE key "
                                   "= 'shards');")) ||
        !query.next()) {
        *error = query.lastError().text();
        return false;
    }
    const QString sha = query.value(0).toString();
    if (sha != m_sha) {
        *refusal = QStringLiteral("%1 records the project with SHA-256 %2, not this one (%3): "
                                  "no shard taken")
                       .arg(m_location.text(), sha, m_sha);
        return false;
    }
    m_shards = qBound(1, query.value(1).toInt(), JournalSchema::maxShards);
    return true;
}

void ShardSession::tick()
{
    if (m_refused)
        return;
    QString error;
    if (!m_connected) {
        m_held.clear();
        QString refusal;
        if (!connectServer(&error) || !checkDatabase(&refusal, &error)) {
            if (!refusal.isEmpty()) {
                m_refused = true;
                m_timer->stop();
                disconnectServer();
                emit refused(refusal);
                return;
            }
            disconnectServer();
            emit unreachable(error.trimmed());
            return;
        }
    }
    QSqlQuery query(QSqlDatabase::database(m_name, false));
    // The shards held are stamped; then every free one is taken in one statement.
    bool ok = m_held.isEmpty() ||
        query.exec(QStringLiteral("UPDATE shard_state SET stamped_at = now() WHERE shard IN (%1);")
                       .arg(list(m_held)));
    QSet<int> taken;
    if (ok) {
        ok = query.exec(QStringLiteral("SELECT s FROM generate_series(0, %1) s WHERE s NOT IN "
                                       "(%2) AND pg_try_advisory_lock(%3, s);")
                            .arg(m_shards - 1)
                            .arg(m_held.isEmpty() ? QStringLiteral("-1") : list(m_held))
                            .arg(m_class));
        while (ok && query.next())
            taken.insert(query.value(0).toInt());
    }
    if (ok && !taken.isEmpty()) {
        query.prepare(
            QStringLiteral("UPDATE shard_state SET owner = ?, stamped_at = now() WHERE shard IN "
                           "(%1);")
                .arg(list(taken)));
        query.addBindValue(m_owner);
        ok = query.exec();
        if (!ok) {
            // Not announced: given up again, tried next time.
            QSqlQuery unlock(QSqlDatabase::database(m_name, false));
            for (int shard : qAsConst(taken))
                unlock.exec(
                    QStringLiteral("SELECT pg_advisory_unlock(%1, %2);").arg(m_class).arg(shard));
            taken.clear();
        }
    }
    if (!ok) {
        // The session and its locks are as good as gone: a new one takes what it can.
        error = query.lastError().text().trimmed();
        query.finish();
        disconnectServer();
        m_held.clear();
        emit unreachable(error);
        return;
    }
    query.finish();
    m_held += taken;
    QList<int> held = m_held.values();
    std::sort(held.begin(), held.end());
    QList<int> newly = taken.values();
    std::sort(newly.begin(), newly.end());
    emit reached(m_shards, held, newly);
}
