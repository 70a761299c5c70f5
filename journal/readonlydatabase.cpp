#include "journal/readonlydatabase.h"

#include "journal/journallocation.h"
#include "journal/sqldialect.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace {

QAtomicInt connections;

// Bytes 18 and 19 of the header are 2 in a database in write-ahead-log mode.
bool inWalMode(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(20);
    return header.size() == 20 && header.at(18) == 2 && header.at(19) == 2;
}

} // namespace

ReadOnlyDatabase::ReadOnlyDatabase(const QString &path)
    : m_name(QStringLiteral("norda-readonly-%1").arg(connections.fetchAndAddRelaxed(1)))
{
    if (JournalLocation::looksLikeUrl(path)) {
        // A site database: read over a session that cannot write.
        const JournalLocation location = JournalLocation::parse(path);
        if (!location.isPostgres()) {
            m_error = location.error();
            return;
        }
        if (!location.open(m_name, &m_error))
            return;
        QSqlQuery query(database());
        if (!query.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY;")))
            m_error = query.lastError().text();
        return;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    if (!db.isValid()) {
        m_error = db.lastError().text();
        return;
    }
    const QFileInfo info(path);
    // A file in write-ahead-log mode without its log is not open anywhere (the log stays
    // while a connection is open, and a crash leaves it behind): it cannot change while
    // it is read, and reading it as immutable creates no files beside it. Otherwise the
    // other program's log and shared memory are used as they are.
    if (info.isFile() && inWalMode(path) && !QFileInfo::exists(path + QStringLiteral("-wal"))) {
        QUrl uri = QUrl::fromLocalFile(info.absoluteFilePath());
        uri.setQuery(QStringLiteral("immutable=1"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!info.isFile()) {
        m_error = QStringLiteral("no such file");
        return;
    }
    if (!db.open())
        m_error = db.lastError().text();
}

ReadOnlyDatabase::~ReadOnlyDatabase()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

bool ReadOnlyDatabase::isOpen() const
{
    return m_error.isEmpty() && database().isOpen();
}

QSqlDatabase ReadOnlyDatabase::database() const
{
    return QSqlDatabase::database(m_name, false);
}

bool ReadOnlyDatabase::hasTable(const QString &path, const QString &table)
{
    ReadOnlyDatabase reader(path);
    if (!reader.isOpen())
        return false;
    QSqlQuery query(reader.database());
    const bool found = query.prepare(SqlDialect::of(reader.database()).tableExists()) &&
        (query.addBindValue(table), query.exec()) && query.next();
    query.finish();
    return found;
}
