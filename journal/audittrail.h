#pragma once

#include "journal/auditrecord.h"
#include "journal/databasewrapper.h"

#include <QJsonObject>
#include <QSqlDatabase>
#include <QVector>

// The audit trail: every change made through the program, one hash-chained record each,
// in the table audit_log of the journal's database (the event journal's SQLite file or
// the site's PostgreSQL database). See AuditRecord for the chain.
//
// Records are appended one at a time under a lock, so that several programs writing the
// same trail never fork the chain: on SQLite in a BEGIN IMMEDIATE transaction, on
// PostgreSQL under a transaction-scoped advisory lock, with the time then taken from the
// server's clock. The record number is the previous one plus one, the sequence that
// verification follows. An SQLite file gets the table when it lacks it and refuses
// changes and removals of records by triggers; on PostgreSQL the schema (init-db) grants
// consoles and monitors INSERT and SELECT only.
//
// The program's front ends make one trail for the journal they use and set it as the
// process's default; the places that change devices or the project record through
// defaultTrail(). A change whose record cannot be written is not made.
class AuditTrail : public DatabaseWrapper {
    Q_OBJECT

public:
    // The advisory lock of appends on PostgreSQL ("audit" in ASCII).
    static constexpr qint64 lockKey = 0x6175646974;

    explicit AuditTrail(const JournalLocation &location, QObject *parent = nullptr);
    ~AuditTrail() override;

    // The table exists (made now on SQLite when missing).
    bool isUsable() const { return m_usable; }
    // The statements that make the table on SQLite.
    static QStringList sqliteStatements();

    // Who makes the changes recorded from now: an empty user means no users are defined.
    void setActor(const QString &user, const QString &host = QString());
    QString user() const { return m_user; }
    QString host() const { return m_host; }

    // Appends one record; false with error() set when it could not be written (nothing
    // was appended then).
    bool append(const QString &device, const QString &action, const QJsonObject &details,
                AuditRecord *made = nullptr);
    // Why the last append failed, or why the trail is not usable.
    QString error() const { return m_error; }

    struct Filter {
        QString device; // part of the device text, any case
        QString user; // exact; empty: any
        QDateTime from; // inclusive; invalid: open
        QDateTime to; // exclusive; invalid: open
        int limit = 0; // newest first when set; else all, oldest first
    };
    // Records of any connection holding audit_log; empty (ok true) when it has no table.
    static QVector<AuditRecord> read(const QSqlDatabase &database, const Filter &filter,
                                     bool *ok = nullptr, QString *error = nullptr);

    // The trail the process records into (null: changes go unrecorded, as in tools that
    // only read).
    static AuditTrail *defaultTrail();
    static void setDefaultTrail(AuditTrail *trail);
    // Records through the default trail: true when there is none or the record was
    // written; false with `error` set when the change must not be made.
    static bool record(const QString &device, const QString &action, const QJsonObject &details,
                       QString *error = nullptr);

signals:
    void appended(const AuditRecord &record);

protected:
    bool transactionOpen() const override { return m_inTransaction; }

private:
    bool appendLocked(const QString &device, const QString &action, const QString &details,
                      AuditRecord *made);

    bool m_usable = false;
    bool m_inTransaction = false;
    QString m_user;
    QString m_host;
    QString m_error;
};
