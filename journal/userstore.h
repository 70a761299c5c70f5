#pragma once

#include "journal/journallocation.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <optional>

// The console's users, kept in the journal's database (table "users") so that the consoles
// of a site share them: a name, an access level 1..4 and the password as an Argon2id hash
// (libsodium's crypto_pwhash_str with the interactive limits), never the password itself.
//
// Failed log-ins are counted per user in the same table, so that every program using the
// database waits alike: after the n-th failure the user's next attempt is refused for
// 1 s * 2^(n-1), at most 60 s; a good log-in resets the count. NORDA_LOGIN_DELAY_MS in the
// environment replaces the 1 s (the tests shorten it).
//
// Who may change users is the caller's business (a user of the factory level); the store
// keeps its own rules: a valid name, level and password, the first user of the factory
// level, and never removing or lowering the last one of that level.
class UserStore : public QObject {
    Q_OBJECT

public:
    struct User {
        QString name;
        int level = 0;
        int failedLogins = 0;
        qint64 retryAfterMs = 0; // ms since the epoch, UTC
    };
    enum class Change { Added, PasswordChanged, Removed };
    enum class Check { Ok, UnknownUser, BadPassword, Waiting, Failed };
    struct Verdict {
        Check check = Check::Failed;
        int level = 0;
        // BadPassword: the wait before the next attempt; Waiting: what is left of it.
        qint64 waitMs = 0;
        QString error;
    };

    explicit UserStore(const JournalLocation &location, QObject *parent = nullptr);
    ~UserStore() override;

    // Opens the database; an SQLite file gets the table when it has none yet (an older
    // journal). False with `error` set when it cannot be used.
    bool open(QString *error = nullptr);
    bool isOpen() const { return opened; }
    const JournalLocation &location() const { return where; }

    QVector<User> users(QString *error = nullptr) const;
    bool hasUsers() const;
    std::optional<User> find(const QString &name) const;

    bool add(const QString &name, int level, const QString &password, const QString &by,
             QString *error);
    bool setPassword(const QString &name, const QString &password, const QString &by,
                     QString *error);
    bool remove(const QString &name, const QString &by, QString *error);
    // Checks a log-in and records its outcome (the failure count and the wait).
    Verdict verify(const QString &name, const QString &password);

    static QString hashPassword(const QString &password);
    static bool passwordMatches(const QString &hash, const QString &password);
    static qint64 failureDelayMs(int failures);
    static bool isValidName(const QString &name);
    // The computer's name, for the records of who did what where.
    static QString hostName();

signals:
    void userChanged(UserStore::Change change, const QString &name, const QString &by);

private:
    bool exec(const QString &sql, const QVariantList &values, QString *error) const;
    int factoryUsers() const;

    JournalLocation where;
    QString connection;
    bool opened = false;
};
