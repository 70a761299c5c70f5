#pragma once

#include "journal/journallocation.h"
#include "journal/sqldialect.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTimer>
#include <QVariantList>

// One database of the project: an SQLite file reached through a named connection of the
// QSQLITE driver, or the site's PostgreSQL database (QPSQL), see JournalLocation.
//
// Every statement of the journals goes through here. Values travel as bound parameters,
// so a text with quotes is stored as it is. Statements are prepared once and reused.
// The file is kept in write-ahead-log mode; a commit survives a crash of the program at
// once, and a checkpoint at most a second after the last write makes it survive a power
// failure as well. On PostgreSQL the schema is made by `norda-cli journal init-db`: the
// connection only checks its version (openError() says why it refuses one), and a
// connection that broke is opened again, at most once a second, by the next statement.
class DatabaseWrapper : public QObject {
    Q_OBJECT

public:
    // The stored and parsed form of every time in the journals.
    static const QString timeFormat;

    // Opens (creating it when missing) the database file `fileName`, relative names
    // resolving against the current folder. The connection is named after the file; when
    // that name is already taken by another open project, a numbered suffix is added.
    explicit DatabaseWrapper(const QString &fileName, QObject *parent = nullptr);
    // The same for any location: an SQLite file or a PostgreSQL database.
    explicit DatabaseWrapper(const JournalLocation &location, QObject *parent = nullptr);
    ~DatabaseWrapper() override;

    // Runs one statement. When the connection is not valid nothing runs and the result
    // is true; a failing statement is logged and gives false.
    bool exec(const QString &statement);

    bool isOpen() const;
    // The file, or the URL of the PostgreSQL database.
    QString fileName() const { return m_fileName; }
    const JournalLocation &location() const { return m_location; }
    const SqlDialect &dialect() const { return m_dialect; }
    // Why the database cannot be used (empty when it can): it could not be opened, or on
    // PostgreSQL its schema is missing or of another version.
    QString openError() const { return m_openError; }
    // PostgreSQL: the server was reached but the schema is missing or of another version
    // (as opposed to a server that cannot be reached now, which is tried again).
    bool schemaRefused() const { return m_schemaRefused; }
    QString connectionName() const { return m_connectionName; }
    QSqlDatabase database() const;
    // Bytes of the file in use (free pages not counted); -1 when unknown.
    qint64 usedBytes();

    // PostgreSQL: a broken connection is opened again at most once in this time (1 s; a
    // site monitor lengthens it while its server is known to be out of reach, so that no
    // statement waits for a connection that cannot be made).
    static constexpr int defaultReconnectDelayMs = 1000;
    void setReconnectDelay(int milliseconds) { m_reconnectDelayMs = milliseconds; }

    static QString timeText(const QDateTime &time);
    static QDateTime parseTime(const QString &text);
    // A text as a bound value: an empty text is stored as '' like any other, never as NULL.
    static QVariant textValue(const QString &text);

protected:
    // Writes the status journal's rows through run().
    friend class StatusRowInsert;

    // Runs `statement` prepared once per connection with `values` bound in order. On
    // success the query is positioned before its first row; callers read it and then
    // call query.finish() (done() below) so that no read stays open on the file.
    // Returns null when the connection is unusable or the statement failed.
    QSqlQuery *run(const QString &statement, const QVariantList &values = {});
    static void done(QSqlQuery *query);

    // Called after every successful write: schedules the checkpoint.
    void noteWrite();
    // Set when the last statement failed; cleared by the next success.
    bool lastFailed() const { return m_lastFailed; }
    // The driver's text of the last failure, and whether it was another connection's
    // lock (busy or locked), which goes away by itself.
    QString lastErrorText() const { return m_lastError; }
    bool lastFailureWasLock() const { return m_lastFailureWasLock; }
    // Failures are written to the debug log unless this is off (a failure already
    // reported that repeats with every retry).
    void setFailureLogging(bool on) { m_logFailures = on; }
    // Whether a transaction of this connection is open: the checkpoint then waits for it
    // (a checkpoint cannot run inside a transaction).
    virtual bool transactionOpen() const { return false; }

private:
    void logFailure(const QString &what, const QSqlError &error);
    void checkpoint();
    void openSqlite();
    // PostgreSQL: opens the connection (again), checking the schema's version.
    bool connectServer();
    // Before a statement: a broken server connection is opened again (throttled).
    bool ensureConnected();

    JournalLocation m_location;
    SqlDialect m_dialect;
    QString m_openError;
    bool m_schemaRefused = false;
    bool m_broken = false; // the server connection failed; opened again before the next use
    QElapsedTimer m_lastConnectAttempt;
    int m_reconnectDelayMs = defaultReconnectDelayMs;
    QString m_fileName;
    QString m_connectionName;
    QHash<QString, QSqlQuery *> m_statements;
    QTimer m_checkpointTimer;
    bool m_lastFailed = false;
    QString m_lastError;
    bool m_lastFailureWasLock = false;
    bool m_logFailures = true;
};
