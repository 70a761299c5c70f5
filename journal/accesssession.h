#pragma once

#include "journal/userstore.h"

#include <QObject>
#include <QString>

class QTimer;

// Who works at the console now and at which level.
//
// Without users the level is the one the settings give ([factory] fullaccess: 4, else 3)
// and nobody logs in. Once users exist the level is 1 until someone logs in, and falls back
// to 1 after the idle time without input (monitoring goes on: only what the level allows
// changes). The signals carry what a record of log-ins needs.
class AccessSession : public QObject {
    Q_OBJECT

public:
    // `store` may be null (no user database: as without users).
    AccessSession(UserStore *store, int levelWithoutUsers, QObject *parent = nullptr);

    int level() const;
    QString userName() const { return user; }
    bool usersDefined() const { return usersExist; }
    UserStore *store() const { return users; }
    static QString hostName() { return UserStore::hostName(); }

    // 0: never; the console sets [access] idleminutes.
    void setIdleTimeout(int milliseconds);
    int idleTimeout() const { return idleMs; }

    UserStore::Verdict logIn(const QString &name, const QString &password);
    void logOut();
    // Input at the console: the idle time starts again.
    void noteActivity();
    // Looks again whether users exist (after the users changed).
    void refresh();

signals:
    void levelChanged(int level);
    void loggedIn(const QString &user, int level);
    void loggedOut(const QString &user);
    void loginFailed(const QString &user, double delaySeconds);

private:
    void setState(const QString &name, int userLevel);

    UserStore *users = nullptr;
    int withoutUsers = 3;
    bool usersExist = false;
    QString user;
    int loggedLevel = 0;
    int idleMs = 0;
    QTimer *idle = nullptr;
};
