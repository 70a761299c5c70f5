#pragma once

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>

// Where a journal lives: an SQLite file, or a PostgreSQL database named by a URL
// "postgresql://[USER@]HOST[:PORT][,HOST[:PORT]...]/DBNAME[?KEY=VALUE&...]".
//
// The URL is parsed here because the QPSQL driver takes libpq's key=value form only:
// parts are percent-decoded, several hosts become libpq's comma lists in host= and port=,
// query parameters become connection options (sslmode, service, connect_timeout,
// keepalives_*, application_name, ...). A password is never accepted, in the user part or
// as a parameter: it would end up in a settings file. libpq finds it itself in
// PGPASSWORD or the password file (~/.pgpass, PGPASSFILE).
class JournalLocation {
public:
    enum class Kind { Invalid, SqliteFile, PostgreSql };

    JournalLocation() = default;
    // An SQLite file (relative names resolve against the current folder).
    static JournalLocation file(const QString &path);
    // A file name or a URL; an unusable text gives Kind::Invalid with error() set.
    static JournalLocation parse(const QString &text);
    static bool looksLikeUrl(const QString &text);
    static JournalLocation invalid(const QString &error);

    Kind kind() const { return m_kind; }
    bool isValid() const { return m_kind != Kind::Invalid; }
    bool isPostgres() const { return m_kind == Kind::PostgreSql; }
    QString error() const { return m_error; }
    // The file, or the URL as given (it holds no password).
    QString text() const { return m_text; }
    QString filePath() const { return m_file; }
    QString databaseName() const { return m_database; }
    QString userName() const { return m_user; }
    // host:port pairs in order (port 0: libpq's default).
    QList<QPair<QString, int>> hosts() const { return m_hosts; }
    // The libpq options besides hosts, database and user, in the order given.
    QList<QPair<QString, QString>> options() const { return m_options; }
    // The connect options as QPSQL takes them (host, port, dbname and user included).
    QString connectOptions() const;

    // Adds a connection named `connectionName` and opens it (false with `error` set when it
    // could not be opened; the connection stays added, for the caller to remove).
    bool open(const QString &connectionName, QString *error = nullptr) const;

private:
    Kind m_kind = Kind::Invalid;
    QString m_error;
    QString m_text;
    QString m_file;
    QString m_database;
    QString m_user;
    QList<QPair<QString, int>> m_hosts;
    QList<QPair<QString, QString>> m_options;
};
