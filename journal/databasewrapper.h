#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTimer>
#include <QVariantList>

// One SQLite database file of the project, reached through a named connection of the
// QSQLITE driver.
//
// Every statement of the journals goes through here. Values travel as bound parameters,
// so a text with quotes is stored as it is. Statements are prepared once and reused.
// The file is kept in write-ahead-log mode; a commit survives a crash of the program at
// once, and a checkpoint at most a second after the last write makes it survive a power
// failure as well.
class DatabaseWrapper : public QObject {
    Q_OBJECT

public:
    // The stored and parsed form of every time in the journals.
    static const QString timeFormat;

    // Opens (creating it when missing) the database file `fileName`, relative names
    // resolving against the current folder. The connection is named after the file; when
    // that name is already taken by another open project, a numbered suffix is added.
    explicit DatabaseWrapper(const QString &fileName, QObject *parent = nullptr);
    ~DatabaseWrapper() override;

    // Runs one statement. When the connection is not valid nothing runs and the result
    // is true; a failing statement is logged and gives false.
    bool exec(const QString &statement);

    bool isOpen() const;
    QString fileName() const { return m_fileName; }
    QString connectionName() const { return m_connectionName; }
    QSqlDatabase database() const;
    // Bytes of the file in use (free pages not counted); -1 when unknown.
    qint64 usedBytes();

    static QString timeText(const QDateTime &time);
    static QDateTime parseTime(const QString &text);
    // A text as a bound value: an empty text is stored as '' like any other, never as NULL.
    static QVariant textValue(const QString &text);

protected:
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

    QString m_fileName;
    QString m_connectionName;
    QHash<QString, QSqlQuery *> m_statements;
    QTimer m_checkpointTimer;
    bool m_lastFailed = false;
    QString m_lastError;
    bool m_lastFailureWasLock = false;
    bool m_logFailures = true;
};
