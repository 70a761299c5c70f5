#include "pgcluster.h"

#include "journal/journallocation.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString serverBin()
{
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(found.begin(), found.end(),
              [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        const QString bin = versions.filePath(*it + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return QString();
}

} // namespace

PgCluster::PgCluster()
    : m_dir(std::make_unique<QTemporaryDir>())
{
    m_bin = serverBin();
    if (m_bin.isEmpty() || !m_dir->isValid()) {
        m_error = QStringLiteral("no PostgreSQL server binaries under /usr/lib/postgresql");
        return;
    }
    m_data = m_dir->filePath(QStringLiteral("data"));
    m_asPostgres = geteuid() == 0;
    if (m_asPostgres) {
        // The server refuses to run as root: its folder is handed to postgres.
        const passwd *user = getpwnam("postgres");
        if (!user ||
            chown(QFile::encodeName(m_dir->path()).constData(), user->pw_uid, user->pw_gid) != 0) {
            m_error = QStringLiteral("cannot hand %1 to the user postgres").arg(m_dir->path());
            return;
        }
    }
    const QString pwfile = m_dir->filePath(QStringLiteral("pw"));
    TestUtil::writeFile(pwfile, password().toUtf8());
    chmod(QFile::encodeName(pwfile).constData(), 0644);
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), m_data, QStringLiteral("-U"), superuser(),
              QStringLiteral("--pwfile=") + pwfile, QStringLiteral("--auth=scram-sha-256"),
              QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync")}))
        return;
    QFile::remove(pwfile);

    // Every login gives the password, found by libpq in the password file.
    const QString passfile = m_dir->filePath(QStringLiteral("pgpass"));
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = TestUtil::freePort("127.0.0.1");
        TestUtil::writeFile(
            passfile, QStringLiteral("127.0.0.1:%1:*:*:%2\n").arg(m_port).arg(password()).toUtf8());
        chmod(QFile::encodeName(passfile).constData(), 0600);
        qputenv("PGPASSFILE", QFile::encodeName(passfile));
        const QString conf = QStringLiteral("listen_addresses = '127.0.0.1'\nport = %1\n"
                                            "unix_socket_directories = '%2'\nfsync = off\n"
                                            "synchronous_commit = off\nfull_page_writes = off\n"
                                            "shared_buffers = 16MB\nmax_connections = 40\n"
                                            // A silent monitor's session is dropped, and
                                            // its shards freed, within seconds.
                                            "tcp_keepalives_idle = 1\n"
                                            "tcp_keepalives_interval = 1\n"
                                            "tcp_keepalives_count = 2\n")
                                 .arg(m_port)
                                 .arg(m_dir->path());
        QFile file(m_data + QStringLiteral("/postgresql.auto.conf"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(conf.toUtf8()) != conf.toUtf8().size()) {
            m_error = QStringLiteral("cannot write the server's settings");
            return;
        }
        file.close();
        if (start())
            return;
        // Another program took the port meanwhile: another one.
    }
}

PgCluster::~PgCluster()
{
    if (m_running)
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("immediate"),
             QStringLiteral("-w"), QStringLiteral("stop")});
}

bool PgCluster::run(const QString &program, const QStringList &args, QString *output)
{
    QProcess process;
    QStringList command = {m_bin + QLatin1Char('/') + program};
    command += args;
    if (m_asPostgres)
        command =
            QStringList {QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} +
            command;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir->path());
    process.start(m_asPostgres ? QStringLiteral("runuser") : command.takeFirst(), command);
    const bool finished = process.waitForFinished(120000);
    const QString text = QString::fromLocal8Bit(process.readAll());
    if (output)
        *output = text;
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + text.trimmed();
        return false;
    }
    m_error.clear();
    return true;
}

bool PgCluster::start()
{
    m_running = run(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), m_data, QStringLiteral("-l"),
                     m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                     QStringLiteral("-t"), QStringLiteral("120"), QStringLiteral("start")});
    return m_running;
}

bool PgCluster::stop()
{
    const bool stopped =
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), m_data, QStringLiteral("-m"), QStringLiteral("fast"),
             QStringLiteral("-w"), QStringLiteral("stop")});
    m_running = m_running && !stopped;
    return stopped;
}

QString PgCluster::url(const QString &database, const QString &user) const
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user).arg(m_port).arg(database);
}

bool PgCluster::createDatabase(const QString &name, bool initialize)
{
    const QString error =
        sql(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\";").arg(name));
    if (!error.isEmpty()) {
        m_error = error;
        return false;
    }
    if (!initialize)
        return true;
    const TestUtil::CliRun made =
        TestUtil::runCli({QStringLiteral("journal"), QStringLiteral("init-db"), url(name)});
    if (made.code != 0)
        m_error = QStringLiteral("init-db: ") + made.err;
    return made.code == 0;
}

bool PgCluster::createLogin(const QString &user, const QStringList &roles)
{
    QStringList quoted;
    for (const QString &role : roles)
        quoted << QLatin1Char('"') + role + QLatin1Char('"');
    m_error = sql(QStringLiteral("postgres"),
                  QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD '%2'%3;")
                      .arg(user, password(),
                           quoted.isEmpty()
                               ? QString()
                               : QStringLiteral(" IN ROLE ") + quoted.join(QStringLiteral(", "))));
    return m_error.isEmpty();
}

QString PgCluster::sql(const QString &database, const QString &statement, const QString &user) const
{
    static int next = 0;
    const QString name = QStringLiteral("pgcluster-%1").arg(++next);
    QString error;
    {
        const JournalLocation location = JournalLocation::parse(url(database, user));
        if (location.open(name, &error)) {
            QSqlQuery query(QSqlDatabase::database(name, false));
            if (!query.exec(statement))
                error = query.lastError().text();
        }
        QSqlDatabase::database(name, false).close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

QString PgCluster::value(const QString &database, const QString &query) const
{
    static int next = 0;
    const QString name = QStringLiteral("pgcluster-value-%1").arg(++next);
    QString result;
    {
        const JournalLocation location = JournalLocation::parse(url(database));
        if (location.open(name)) {
            QSqlQuery read(QSqlDatabase::database(name, false));
            if (read.exec(query) && read.next())
                result = read.value(0).toString();
        }
        QSqlDatabase::database(name, false).close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
