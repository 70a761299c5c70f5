#include "journal/databasewrapper.h"

#include <QDebug>
#include <QLocale>
#include <QSqlError>

const QString DatabaseWrapper::timeFormat = QStringLiteral("hh:mm:ss dd.MM.yyyy");

namespace {

constexpr int checkpointDelayMs = 1000;

QString freeConnectionName(const QString &fileName)
{
    QString name = fileName;
    for (int n = 2; QSqlDatabase::contains(name); ++n)
        name = fileName + QLatin1Char('#') + QString::number(n);
    return name;
}

} // namespace

DatabaseWrapper::DatabaseWrapper(const QString &fileName, QObject *parent)
    : QObject(parent)
    , m_fileName(fileName)
    , m_connectionName(freeConnectionName(fileName))
{
    m_checkpointTimer.setSingleShot(true);
    m_checkpointTimer.setInterval(checkpointDelayMs);
    connect(&m_checkpointTimer, &QTimer::timeout, this, &DatabaseWrapper::checkpoint);

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!db.isValid()) {
        logFailure(QStringLiteral("Error open db"), db.lastError());
        return;
    }
    db.setDatabaseName(fileName);
    // Another program (a second console, norda-cli) may write the same file: wait for its
    // write to end instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        logFailure(QStringLiteral("Error open db"), db.lastError());
        return;
    }
    // Write-ahead log: readers never block the writer, and a commit is one append.
    // With synchronous=NORMAL a commit is safe against a crash of the program; the
    // checkpoint after each second of writing makes it safe against a power failure.
    exec(QStringLiteral("PRAGMA journal_mode=WAL;"));
    exec(QStringLiteral("PRAGMA synchronous=NORMAL;"));
    // The insert trigger makes every insert keep a statement journal; in a file it cost a
    // dozen writes per record.
    exec(QStringLiteral("PRAGMA temp_store=MEMORY;"));
}

DatabaseWrapper::~DatabaseWrapper()
{
    qDeleteAll(m_statements);
    m_statements.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid()) {
            if (db.isOpen() && m_checkpointTimer.isActive())
                QSqlQuery(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);"), db).finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase DatabaseWrapper::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool DatabaseWrapper::isOpen() const
{
    return database().isOpen();
}

QString DatabaseWrapper::timeText(const QDateTime &time)
{
    return QLocale::c().toString(time, timeFormat);
}

QDateTime DatabaseWrapper::parseTime(const QString &text)
{
    return QLocale::c().toDateTime(text, timeFormat);
}

QVariant DatabaseWrapper::textValue(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

void DatabaseWrapper::logFailure(const QString &what, const QSqlError &error)
{
    m_lastError = error.text();
    // SQLITE_BUSY and SQLITE_LOCKED, also as extended codes.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    m_lastFailureWasLock = code == 5 || code == 6;
    if (m_logFailures)
        qWarning().noquote() << m_fileName << what << m_lastError;
}

bool DatabaseWrapper::exec(const QString &statement)
{
    QSqlDatabase db = database();
    if (!db.isValid())
        return true;
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        logFailure(QStringLiteral("Error exec request"), query.lastError());
        m_lastFailed = true;
        return false;
    }
    m_lastFailed = false;
    if (!query.isSelect())
        noteWrite();
    query.finish();
    return true;
}

QSqlQuery *DatabaseWrapper::run(const QString &statement, const QVariantList &values)
{
    QSqlDatabase db = database();
    if (!db.isValid()) {
        m_lastFailed = true;
        return nullptr;
    }
    QSqlQuery *query = m_statements.value(statement);
    if (!query) {
        query = new QSqlQuery(db);
        query->setForwardOnly(true);
        if (!query->prepare(statement)) {
            logFailure(QStringLiteral("Error exec request"), query->lastError());
            delete query;
            m_lastFailed = true;
            return nullptr;
        }
        m_statements.insert(statement, query);
    }
    for (int i = 0; i < values.size(); ++i)
        query->bindValue(i, values.at(i));
    if (!query->exec()) {
        logFailure(QStringLiteral("Error exec request"), query->lastError());
        query->finish();
        m_lastFailed = true;
        return nullptr;
    }
    m_lastFailed = false;
    if (!query->isSelect())
        noteWrite();
    return query;
}

void DatabaseWrapper::done(QSqlQuery *query)
{
    if (query)
        query->finish();
}

void DatabaseWrapper::noteWrite()
{
    if (!m_checkpointTimer.isActive())
        m_checkpointTimer.start();
}

void DatabaseWrapper::checkpoint()
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        return;
    if (transactionOpen()) {
        m_checkpointTimer.start();
        return;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);")))
        logFailure(QStringLiteral("Error exec request"), query.lastError());
    query.finish();
}

qint64 DatabaseWrapper::usedBytes()
{
    qint64 values[3] = {-1, -1, -1};
    const char *pragmas[3] = {"PRAGMA page_count;", "PRAGMA freelist_count;", "PRAGMA page_size;"};
    for (int i = 0; i < 3; ++i) {
        QSqlQuery *query = run(QString::fromLatin1(pragmas[i]));
        if (query && query->next())
            values[i] = query->value(0).toLongLong();
        done(query);
        if (values[i] < 0)
            return -1;
    }
    return (values[0] - values[1]) * values[2];
}
