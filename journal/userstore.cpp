#include "journal/userstore.h"

#include "journal/auditrecord.h"
#include "journal/audittrail.h"

#include <QDateTime>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include <sodium.h>

#include <atomic>

namespace {

std::atomic<int> connectionCounter {0};

constexpr qint64 defaultBaseDelayMs = 1000;
constexpr int maxDelayFactor = 60;
constexpr int maxNameLength = 64;
constexpr int maxPasswordBytes = 1024;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString nowText()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

// A change of the users is recorded before it is made; one that cannot be recorded is not
// made.
bool recordChange(const char *change, const QString &name, int level, const QString &by,
                  QString *error)
{
    QJsonObject details {{QStringLiteral("change"), QLatin1String(change)},
                         {QStringLiteral("name"), name},
                         {QStringLiteral("by"), by}};
    if (level > 0)
        details.insert(QStringLiteral("level"), level);
    return AuditTrail::record(QString(), QLatin1String(AuditRecord::userChange), details, error);
}

// Log-ins are recorded as they happen; a trail that cannot be written does not lock anybody
// out (the changes they would make are refused by the same trail).
void recordLogIn(const char *action, const QString &name, const char *outcome, qint64 waitMs)
{
    QJsonObject details {{QStringLiteral("name"), name}};
    if (outcome)
        details.insert(QStringLiteral("outcome"), QLatin1String(outcome));
    if (waitMs > 0)
        details.insert(QStringLiteral("wait_ms"), waitMs);
    AuditTrail::record(QString(), QLatin1String(action), details);
}

} // namespace

UserStore::UserStore(const JournalLocation &location, QObject *parent)
    : QObject(parent)
    , where(location)
    , connection(QStringLiteral("norda-users-%1").arg(++connectionCounter))
{
}

UserStore::~UserStore()
{
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
}

bool UserStore::open(QString *error)
{
    QString why;
    if (sodium_init() < 0) {
        why = QStringLiteral("libsodium cannot be initialised");
    } else if (!where.isValid()) {
        why = where.error();
    } else if (!where.open(connection, &why)) {
        if (why.isEmpty())
            why = QStringLiteral("cannot open %1").arg(where.text());
    } else if (!where.isPostgres()) {
        // The users table came with schema version 3; older journal files get it here.
        opened = exec(QStringLiteral("CREATE TABLE IF NOT EXISTS users (name TEXT PRIMARY KEY, "
                                     "level INTEGER NOT NULL, password_hash TEXT NOT NULL, "
                                     "failed_logins INTEGER NOT NULL DEFAULT 0, retry_after "
                                     "INTEGER NOT NULL DEFAULT 0, changed_by TEXT, changed_at "
                                     "TEXT);"),
                      {}, &why);
    } else {
        opened = true;
    }
    if (!opened && error)
        *error = why;
    return opened;
}

bool UserStore::exec(const QString &sql, const QVariantList &values, QString *error) const
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.prepare(sql)) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    return true;
}

QVector<UserStore::User> UserStore::users(QString *error) const
{
    QVector<User> list;
    if (!opened)
        return list;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec(QStringLiteral("SELECT name, level, failed_logins, retry_after FROM users "
                                   "ORDER BY name;"))) {
        if (error)
            *error = query.lastError().text();
        return list;
    }
    while (query.next())
        list.append({query.value(0).toString(), query.value(1).toInt(), query.value(2).toInt(),
                     query.value(3).toLongLong()});
    return list;
}

bool UserStore::hasUsers() const
{
    return !users().isEmpty();
}

std::optional<UserStore::User> UserStore::find(const QString &name) const
{
    for (const User &user : users()) {
        if (user.name == name)
            return user;
    }
    return std::nullopt;
}

int UserStore::factoryUsers() const
{
    int count = 0;
    for (const User &user : users())
        count += user.level == 4 ? 1 : 0;
    return count;
}

bool UserStore::isValidName(const QString &name)
{
    static const QRegularExpression allowed(QStringLiteral("^[\\w.@-]{1,%1}$").arg(maxNameLength),
                                            QRegularExpression::UseUnicodePropertiesOption);
    return allowed.match(name).hasMatch();
}

bool UserStore::add(const QString &name, int level, const QString &password, const QString &by,
                    QString *error)
{
    if (!isValidName(name)) {
        *error = QStringLiteral("a user name is 1..%1 letters, digits, '.', '_', '-' or '@'")
                     .arg(maxNameLength);
        return false;
    }
    if (level < 1 || level > 4) {
        *error = QStringLiteral("the level is 1..4");
        return false;
    }
    if (!hasUsers() && level != 4) {
        *error = QStringLiteral("the first user must have level 4");
        return false;
    }
    if (find(name)) {
        *error = QStringLiteral("user '%1' exists").arg(name);
        return false;
    }
    const QString hash = hashPassword(password);
    if (hash.isEmpty()) {
        *error = QStringLiteral("the password is empty, too long or cannot be hashed");
        return false;
    }
    if (!recordChange("add", name, level, by, error))
        return false;
    if (!exec(QStringLiteral("INSERT INTO users (name, level, password_hash, failed_logins, "
                             "retry_after, changed_by, changed_at) VALUES (?, ?, ?, 0, 0, ?, ?);"),
              {name, level, hash, by, nowText()}, error))
        return false;
    emit userChanged(Change::Added, name, by);
    return true;
}

bool UserStore::setPassword(const QString &name, const QString &password, const QString &by,
                            QString *error)
{
    if (!find(name)) {
        *error = QStringLiteral("no user '%1'").arg(name);
        return false;
    }
    const QString hash = hashPassword(password);
    if (hash.isEmpty()) {
        *error = QStringLiteral("the password is empty, too long or cannot be hashed");
        return false;
    }
    if (!recordChange("passwd", name, 0, by, error))
        return false;
    if (!exec(QStringLiteral("UPDATE users SET password_hash = ?, failed_logins = 0, retry_after "
                             "= 0, changed_by = ?, changed_at = ? WHERE name = ?;"),
              {hash, by, nowText(), name}, error))
        return false;
    emit userChanged(Change::PasswordChanged, name, by);
    return true;
}

bool UserStore::remove(const QString &name, const QString &by, QString *error)
{
    const std::optional<User> user = find(name);
    if (!user) {
        *error = QStringLiteral("no user '%1'").arg(name);
        return false;
    }
    // Nobody could manage the users any more.
    if (user->level == 4 && factoryUsers() == 1 && users().size() > 1) {
        *error =
            QStringLiteral("'%1' is the last user of level 4; remove the others first").arg(name);
        return false;
    }
    if (!recordChange("remove", name, user->level, by, error))
        return false;
    if (!exec(QStringLiteral("DELETE FROM users WHERE name = ?;"), {name}, error))
        return false;
    emit userChanged(Change::Removed, name, by);
    return true;
}

UserStore::Verdict UserStore::verify(const QString &name, const QString &password)
{
    Verdict verdict;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.prepare(QStringLiteral(
        "SELECT level, password_hash, failed_logins, retry_after FROM users WHERE name = ?;"));
    query.addBindValue(name);
    if (!opened || !query.exec()) {
        verdict.error = opened ? query.lastError().text() : QStringLiteral("no user database");
        return verdict;
    }
    if (!query.next()) {
        verdict.check = Check::UnknownUser;
        recordLogIn(AuditRecord::loginFailed, name, "unknown user", 0);
        return verdict;
    }
    const int level = query.value(0).toInt();
    const QString hash = query.value(1).toString();
    const int failures = query.value(2).toInt();
    const qint64 retryAfter = query.value(3).toLongLong();
    query.finish();
    const qint64 now = nowMs();
    // While the wait runs the password is not even looked at.
    if (now < retryAfter) {
        verdict.check = Check::Waiting;
        verdict.waitMs = retryAfter - now;
        recordLogIn(AuditRecord::loginFailed, name, "waiting", verdict.waitMs);
        return verdict;
    }
    if (passwordMatches(hash, password)) {
        if (failures != 0 &&
            !exec(QStringLiteral(
                      "UPDATE users SET failed_logins = 0, retry_after = 0 WHERE name = ?;"),
                  {name}, &verdict.error))
            return verdict;
        verdict.check = Check::Ok;
        verdict.level = level;
        // What follows is done by this user.
        if (AuditTrail *trail = AuditTrail::defaultTrail())
            trail->setActor(name, hostName());
        recordLogIn(AuditRecord::login, name, nullptr, 0);
        return verdict;
    }
    const qint64 delay = failureDelayMs(failures + 1);
    if (!exec(QStringLiteral("UPDATE users SET failed_logins = failed_logins + 1, retry_after = ? "
                             "WHERE name = ?;"),
              {nowMs() + delay, name}, &verdict.error))
        return verdict;
    verdict.check = Check::BadPassword;
    verdict.waitMs = delay;
    recordLogIn(AuditRecord::loginFailed, name, "bad password", delay);
    return verdict;
}

QString UserStore::hashPassword(const QString &password)
{
    const QByteArray bytes = password.toUtf8();
    if (bytes.isEmpty() || bytes.size() > maxPasswordBytes || sodium_init() < 0)
        return QString();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, bytes.constData(), quint64(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return QString();
    return QString::fromLatin1(hash);
}

bool UserStore::passwordMatches(const QString &hash, const QString &password)
{
    const QByteArray stored = hash.toLatin1();
    const QByteArray bytes = password.toUtf8();
    if (stored.isEmpty() || stored.size() >= int(crypto_pwhash_STRBYTES) ||
        bytes.size() > maxPasswordBytes || sodium_init() < 0)
        return false;
    return crypto_pwhash_str_verify(stored.constData(), bytes.constData(), quint64(bytes.size())) ==
        0;
}

qint64 UserStore::failureDelayMs(int failures)
{
    bool ok = false;
    qint64 base = qEnvironmentVariable("NORDA_LOGIN_DELAY_MS").toLongLong(&ok);
    if (!ok || base < 0 || base > defaultBaseDelayMs)
        base = defaultBaseDelayMs;
    if (failures < 1)
        return 0;
    const int shift = qMin(failures - 1, 6);
    return qMin(base << shift, base * maxDelayFactor);
}

QString UserStore::hostName()
{
    return QSysInfo::machineHostName();
}
