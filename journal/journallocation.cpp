#include "journal/journallocation.h"

#include <QSqlError>
#include <QStringList>

#include <cctype>

namespace {

const QLatin1String schemes[] = {QLatin1String("postgresql://"), QLatin1String("postgres://")};

// libpq's connection keywords that a URL may carry as parameters. host, port, dbname and
// user set what the URL's parts set; password and sslpassword are refused.
const char *const knownOptions[] = {"host",
                                    "hostaddr",
                                    "port",
                                    "dbname",
                                    "user",
                                    "passfile",
                                    "channel_binding",
                                    "connect_timeout",
                                    "client_encoding",
                                    "options",
                                    "application_name",
                                    "fallback_application_name",
                                    "keepalives",
                                    "keepalives_idle",
                                    "keepalives_interval",
                                    "keepalives_count",
                                    "tcp_user_timeout",
                                    "replication",
                                    "gssencmode",
                                    "sslmode",
                                    "sslcompression",
                                    "sslcert",
                                    "sslkey",
                                    "sslrootcert",
                                    "sslcrl",
                                    "sslcrldir",
                                    "sslsni",
                                    "requirepeer",
                                    "ssl_min_protocol_version",
                                    "ssl_max_protocol_version",
                                    "krbsrvname",
                                    "gsslib",
                                    "service",
                                    "target_session_attrs",
                                    "load_balance_hosts"};

const QString passwordRefused = QStringLiteral(
    "a password is not accepted in the journal URL (it would be stored in the settings): "
    "give it in PGPASSWORD or in the password file ~/.pgpass");

// Percent-decoding that refuses a '%' not followed by two hexadecimal digits.
bool decode(const QString &text, QString *out)
{
    const QByteArray bytes = text.toUtf8();
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) != '%')
            continue;
        if (i + 2 >= bytes.size() || !isxdigit(static_cast<unsigned char>(bytes.at(i + 1))) ||
            !isxdigit(static_cast<unsigned char>(bytes.at(i + 2))))
            return false;
    }
    *out = QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
    return true;
}

QString quoted(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

} // namespace

JournalLocation JournalLocation::file(const QString &path)
{
    JournalLocation location;
    location.m_kind = path.isEmpty() ? Kind::Invalid : Kind::SqliteFile;
    location.m_text = path;
    location.m_file = path;
    if (path.isEmpty())
        location.m_error = QStringLiteral("no journal file given");
    return location;
}

JournalLocation JournalLocation::invalid(const QString &error)
{
    JournalLocation location;
    location.m_error = error;
    return location;
}

bool JournalLocation::looksLikeUrl(const QString &text)
{
    return text.contains(QLatin1String("://"));
}

JournalLocation JournalLocation::parse(const QString &input)
{
    const QString text = input.trimmed();
    JournalLocation location;
    location.m_text = text;
    auto fail = [&location](const QString &error) {
        location.m_kind = Kind::Invalid;
        location.m_error = error;
        return location;
    };
    if (text.isEmpty())
        return fail(QStringLiteral("no journal database given"));
    if (!looksLikeUrl(text)) {
        location = file(text);
        return location;
    }
    QString rest;
    for (const QLatin1String &scheme : schemes) {
        if (text.startsWith(scheme, Qt::CaseInsensitive))
            rest = text.mid(scheme.size());
    }
    if (rest.isNull())
        return fail(QStringLiteral("'%1' is neither a file nor a postgresql:// URL").arg(text));

    const int question = rest.indexOf(QLatin1Char('?'));
    const QString query = question >= 0 ? rest.mid(question + 1) : QString();
    if (question >= 0)
        rest.truncate(question);
    const int slash = rest.indexOf(QLatin1Char('/'));
    QString authority = slash >= 0 ? rest.left(slash) : rest;
    const QString path = slash >= 0 ? rest.mid(slash + 1) : QString();

    const int at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        if (userInfo.contains(QLatin1Char(':')))
            return fail(passwordRefused);
        if (!decode(userInfo, &location.m_user))
            return fail(QStringLiteral("bad percent-encoding in the user name"));
    }
    if (!authority.isEmpty()) {
        for (const QString &entry : authority.split(QLatin1Char(','))) {
            QString host = entry;
            QString port;
            if (entry.startsWith(QLatin1Char('['))) {
                const int close = entry.indexOf(QLatin1Char(']'));
                if (close < 0)
                    return fail(QStringLiteral("unclosed '[' in host '%1'").arg(entry));
                host = entry.mid(1, close - 1);
                const QString after = entry.mid(close + 1);
                if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
                    return fail(QStringLiteral("bad host '%1'").arg(entry));
                port = after.mid(1);
            } else if (entry.count(QLatin1Char(':')) > 1) {
                return fail(
                    QStringLiteral("bad host '%1' (an IPv6 address goes in [ ])").arg(entry));
            } else if (entry.contains(QLatin1Char(':'))) {
                host = entry.section(QLatin1Char(':'), 0, 0);
                port = entry.section(QLatin1Char(':'), 1);
            }
            QString decoded;
            if (!decode(host, &decoded))
                return fail(QStringLiteral("bad percent-encoding in host '%1'").arg(entry));
            if (decoded.isEmpty() || decoded.contains(QLatin1Char(',')))
                return fail(QStringLiteral("empty or bad host in '%1'").arg(authority));
            int number = 0;
            if (entry.contains(QLatin1Char(':')) && !entry.startsWith(QLatin1Char('[')) &&
                port.isEmpty())
                return fail(QStringLiteral("empty port in '%1'").arg(entry));
            if (!port.isEmpty()) {
                bool ok = false;
                number = port.toInt(&ok);
                for (const QChar c : port)
                    ok = ok && c.isDigit() && c.unicode() < 128;
                if (!ok || number < 1 || number > 65535)
                    return fail(QStringLiteral("bad port '%1'").arg(port));
            }
            location.m_hosts.append({decoded, number});
        }
    }
    if (path.contains(QLatin1Char('/')))
        return fail(QStringLiteral("bad database name '%1'").arg(path));
    if (!decode(path, &location.m_database))
        return fail(QStringLiteral("bad percent-encoding in the database name"));

    if (!query.isEmpty()) {
        for (const QString &pair : query.split(QLatin1Char('&'))) {
            const int equals = pair.indexOf(QLatin1Char('='));
            QString key;
            QString value;
            if (equals <= 0 || !decode(pair.left(equals), &key) ||
                !decode(pair.mid(equals + 1), &value))
                return fail(QStringLiteral("bad parameter '%1' (KEY=VALUE)").arg(pair));
            if (key == QLatin1String("password") || key == QLatin1String("sslpassword"))
                return fail(passwordRefused);
            bool known = false;
            for (const char *option : knownOptions)
                known = known || key == QLatin1String(option);
            if (!known)
                return fail(QStringLiteral("unknown connection parameter '%1'").arg(key));
            if (value.contains(QLatin1Char(';')))
                return fail(QStringLiteral("the value of '%1' may not hold ';'").arg(key));
            if (key == QLatin1String("dbname"))
                location.m_database = value;
            else if (key == QLatin1String("user"))
                location.m_user = value;
            else
                location.m_options.append({key, value});
        }
    }
    if (location.m_database.isEmpty())
        return fail(QStringLiteral("the journal URL names no database: "
                                   "postgresql://HOST[:PORT]/DBNAME"));
    if (location.m_database.contains(QLatin1Char(';')) ||
        location.m_user.contains(QLatin1Char(';')))
        return fail(QStringLiteral("the database and user names may not hold ';'"));
    location.m_kind = Kind::PostgreSql;
    return location;
}

QString JournalLocation::connectOptions() const
{
    QStringList parts;
    if (!m_hosts.isEmpty()) {
        QStringList hosts;
        QStringList ports;
        bool anyPort = false;
        for (const auto &host : m_hosts) {
            hosts << host.first;
            ports << (host.second > 0 ? QString::number(host.second) : QString());
            anyPort = anyPort || host.second > 0;
        }
        parts << QStringLiteral("host=") + quoted(hosts.join(QLatin1Char(',')));
        if (anyPort)
            parts << QStringLiteral("port=") + quoted(ports.join(QLatin1Char(',')));
    }
    parts << QStringLiteral("dbname=") + quoted(m_database);
    if (!m_user.isEmpty())
        parts << QStringLiteral("user=") + quoted(m_user);
    for (const auto &option : m_options)
        parts << option.first + QLatin1Char('=') + quoted(option.second);
    return parts.join(QLatin1Char(';'));
}

bool JournalLocation::open(const QString &connectionName, QString *error) const
{
    if (m_kind == Kind::Invalid) {
        if (error)
            *error = m_error;
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(
        isPostgres() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), connectionName);
    if (!db.isValid()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    if (isPostgres()) {
        db.setConnectOptions(connectOptions());
    } else {
        db.setDatabaseName(m_file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (db.open())
        return true;
    if (error)
        *error = db.lastError().text();
    return false;
}
