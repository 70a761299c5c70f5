#include "journal/databasewrapper.h"

#include "journal/journalschema.h"

#include <QDebug>
#include <QLocale>
#include <QMutex>
#include <QSet>
#include <QSqlError>

const QString DatabaseWrapper::timeFormat = QStringLiteral("hh:mm:ss dd.MM.yyyy");

namespace {

constexpr int checkpointDelayMs = 1000;

// Names handed out and not yet given back: two wrappers of one database made at once on
// two threads must not get the same name before either has added its connection.
QMutex &namesLock()
{
    static QMutex lock;
    return lock;
}

QSet<QString> &namesTaken()
{
    static QSet<QString> taken;
    return taken;
}

QString freeConnectionName(const QString &fileName)
{
    const QMutexLocker locker(&namesLock());
    QString name = fileName;
    for (int n = 2; namesTaken().contains(name) || QSqlDatabase::contains(name); ++n)
        name = fileName + QLatin1Char('#') + QString::number(n);
    namesTaken().insert(name);
    return name;
}

void releaseConnectionName(const QString &name)
{
    const QMutexLocker locker(&namesLock());
    namesTaken().remove(name);
}

} // namespace

DatabaseWrapper::DatabaseWrapper(const QString &fileName, QObject *parent)
    : DatabaseWrapper(JournalLocation::file(fileName), parent)
{
}

DatabaseWrapper::DatabaseWrapper(const JournalLocation &location, QObject *parent)
    : QObject(parent)
    , m_location(location)
    , m_dialect(location.isPostgres() ? SqlDialect::Engine::Postgres : SqlDialect::Engine::Sqlite)
    , m_fileName(location.isPostgres() ? location.text() : location.filePath())
    , m_connectionName(freeConnectionName(m_fileName))
{
    m_checkpointTimer.setSingleShot(true);
    m_checkpointTimer.setInterval(checkpointDelayMs);
    connect(&m_checkpointTimer, &QTimer::timeout, this, &DatabaseWrapper::checkpoint);
    if (!location.isValid()) {
        m_openError = location.error();
        qWarning().noquote() << "Error open db" << m_openError;
    } else if (m_dialect.isPostgres()) {
        connectServer();
    } else {
        openSqlite();
    }
}

void DatabaseWrapper::openSqlite()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!db.isValid()) {
        logFailure(QStringLiteral("Error open db"), db.lastError());
        m_openError = m_lastError;
        return;
    }
    db.setDatabaseName(m_fileName);
    // Another program (a second console, norda-cli) may write the same file: wait for its
    // write to end instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        logFailure(QStringLiteral("Error open db"), db.lastError());
        m_openError = m_lastError;
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

bool DatabaseWrapper::connectServer()
{
    m_lastConnectAttempt.start();
    // Statements prepared on a broken connection are gone with it.
    qDeleteAll(m_statements);
    m_statements.clear();
    QString error;
    bool opened = false;
    if (!QSqlDatabase::contains(m_connectionName)) {
        opened = m_location.open(m_connectionName, &error);
    } else {
        QSqlDatabase db = database();
        db.close();
        opened = db.open();
        if (!opened)
            error = db.lastError().text();
    }
    if (!opened) {
        m_broken = true;
        if (m_openError != error.trimmed()) {
            m_openError = error.trimmed();
            qWarning().noquote() << m_fileName << "Error open db" << m_openError;
        }
        return false;
    }
    const QString problem = JournalSchema::versionProblem(database(), m_fileName);
    m_schemaRefused = !problem.isEmpty();
    if (!problem.isEmpty()) {
        database().close();
        m_broken = true;
        if (m_openError != problem) {
            m_openError = problem;
            qWarning().noquote() << problem;
        }
        return false;
    }
    if (m_broken && !m_openError.isEmpty())
        qDebug().noquote() << m_fileName << "connected again";
    m_openError.clear();
    m_broken = false;
    return true;
}

bool DatabaseWrapper::ensureConnected()
{
    if (!m_dialect.isPostgres() || !m_location.isValid())
        return true;
    if (!m_broken && database().isOpen())
        return true;
    if (m_lastConnectAttempt.isValid() && m_lastConnectAttempt.elapsed() < m_reconnectDelayMs) {
        m_lastError = m_openError.isEmpty() ? QStringLiteral("no connection") : m_openError;
        return false;
    }
    if (connectServer())
        return true;
    m_lastError = m_openError;
    return false;
}

DatabaseWrapper::~DatabaseWrapper()
{
    qDeleteAll(m_statements);
    m_statements.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid()) {
            if (db.isOpen() && m_checkpointTimer.isActive() && !m_dialect.isPostgres())
                QSqlQuery(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE);"), db).finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    releaseConnectionName(m_connectionName);
}

QSqlDatabase DatabaseWrapper::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool DatabaseWrapper::isOpen() const
{
    return database().isOpen();
}

// Times are written and read with every status and event the monitor records, and the
// locale's formatter and parser take microseconds a call: the usual case, a valid time of a
// four-digit year, is done by hand, anything else by the locale.
QString DatabaseWrapper::timeText(const QDateTime &time)
{
    if (time.isValid()) {
        const QDate date = time.date();
        const QTime clock = time.time();
        const int year = date.year();
        if (year >= 1000 && year <= 9999) {
            QString text(19, Qt::Uninitialized);
            QChar *out = text.data();
            const auto put = [&out](int value, char after) {
                *out++ = QLatin1Char(char('0' + value / 10));
                *out++ = QLatin1Char(char('0' + value % 10));
                if (after)
                    *out++ = QLatin1Char(after);
            };
            put(clock.hour(), ':');
            put(clock.minute(), ':');
            put(clock.second(), ' ');
            put(date.day(), '.');
            put(date.month(), '.');
            put(year / 100, 0);
            put(year % 100, 0);
            return text;
        }
    }
    return QLocale::c().toString(time, timeFormat);
}

QDateTime DatabaseWrapper::parseTime(const QString &text)
{
    // "hh:mm:ss dd.MM.yyyy": the separators at these places, digits everywhere else.
    static const char pattern[] = "00:00:00 00.00.0000";
    bool plain = text.size() == 19;
    int digits[14];
    int n = 0;
    for (int i = 0; plain && i < 19; ++i) {
        const ushort c = text.at(i).unicode();
        if (pattern[i] == '0') {
            plain = c >= '0' && c <= '9';
            digits[n++] = c - '0';
        } else {
            plain = c == ushort(pattern[i]);
        }
    }
    if (plain) {
        const auto pair = [&digits](int at) { return digits[at] * 10 + digits[at + 1]; };
        const QDateTime time(QDate(pair(10) * 100 + pair(12), pair(8), pair(6)),
                             QTime(pair(0), pair(2), pair(4)));
        // A time the clock skips (the change to summer time) or an impossible date is left
        // to the locale, whatever it makes of it.
        if (time.isValid() && timeText(time) == text)
            return time;
    }
    return QLocale::c().toDateTime(text, timeFormat);
}

QVariant DatabaseWrapper::textValue(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

void DatabaseWrapper::logFailure(const QString &what, const QSqlError &error)
{
    m_lastError = error.text();
    m_lastFailureWasLock = m_dialect.isLockError(error);
    if (m_dialect.isPostgres() && !m_broken) {
        // Whether the statement failed or the connection: a connection that broke is
        // opened again before the next statement.
        QSqlQuery probe(database());
        if (!probe.exec(QStringLiteral("SELECT 1;")) &&
            probe.lastError().nativeErrorCode() != QLatin1String("25P02"))
            m_broken = true;
        probe.finish();
    }
    if (m_logFailures)
        qWarning().noquote() << m_fileName << what << m_lastError;
}

bool DatabaseWrapper::exec(const QString &statement)
{
    QSqlDatabase db = database();
    if (!db.isValid())
        return true;
    if (!ensureConnected()) {
        m_lastFailed = true;
        return false;
    }
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
    if (!db.isValid() || !ensureConnected()) {
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
    // The server keeps its own log.
    if (!m_checkpointTimer.isActive() && !m_dialect.isPostgres())
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
    if (m_dialect.isPostgres()) {
        QSqlQuery *query = run(m_dialect.statusBytes());
        const qint64 bytes = query && query->next() ? query->value(0).toLongLong() : -1;
        done(query);
        return bytes;
    }
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
