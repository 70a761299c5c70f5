#pragma once

#include <QSqlDatabase>
#include <QString>

// A read-only connection to an SQLite file that leaves the file and its folder exactly
// as they were: nothing is written, not even the shared-memory and write-ahead-log files
// that a read-only connection would otherwise create beside a database in
// write-ahead-log mode that no program has open.
//
// A postgresql:// URL (JournalLocation) opens a session of the site database in which
// every transaction is read-only.
//
// The connection belongs to the thread that creates the object and is closed and
// removed when the object goes.
class ReadOnlyDatabase {
public:
    explicit ReadOnlyDatabase(const QString &path);
    ~ReadOnlyDatabase();
    ReadOnlyDatabase(const ReadOnlyDatabase &) = delete;
    ReadOnlyDatabase &operator=(const ReadOnlyDatabase &) = delete;

    bool isOpen() const;
    QSqlDatabase database() const;
    // Why the file could not be opened.
    QString error() const { return m_error; }

    // True when `path` is an SQLite file or a site database holding the table `table`.
    static bool hasTable(const QString &path, const QString &table);

private:
    QString m_name;
    QString m_error;
};
