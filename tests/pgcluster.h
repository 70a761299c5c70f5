#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A throwaway PostgreSQL cluster for the tests of the site journal: made with initdb in a
// temporary folder, listening on 127.0.0.1 only, on a free port it picks (clusters of
// tests running side by side never meet), its socket in that folder. When the tests run
// as root the server runs as the user postgres (the folder is handed to it and removed at
// the end). Every login has the password password(); the cluster's password file is set
// as PGPASSFILE for this process and the programs it starts. The destructor stops the
// server, also when a test failed.
class PgCluster {
public:
    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }
    quint16 port() const { return m_port; }
    static QString password() { return QStringLiteral("secret-pw"); }
    static QString superuser() { return QStringLiteral("postgres"); }

    // postgresql://USER@127.0.0.1:PORT/DATABASE (no password in it).
    QString url(const QString &database, const QString &user = superuser()) const;

    bool isRunning() const { return m_running; }
    bool stop();
    bool start();

    // A new database owned by the superuser, with the journal schema of this program made
    // by `norda-cli journal init-db` when `initialize`.
    bool createDatabase(const QString &name, bool initialize = true);
    // A login user in the given roles (e.g. {"site_console"}).
    bool createLogin(const QString &user, const QStringList &roles);
    // Runs one statement as `user` in `database`: empty on success, else the server's error.
    QString sql(const QString &database, const QString &statement,
                const QString &user = superuser()) const;
    // The first value of the first row of a query as the superuser.
    QString value(const QString &database, const QString &query) const;

private:
    bool run(const QString &program, const QStringList &args, QString *output = nullptr);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    QString m_data;
    QString m_error;
    quint16 m_port = 0;
    bool m_asPostgres = false;
    bool m_running = false;
};
