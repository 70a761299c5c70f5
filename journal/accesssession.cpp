#include "journal/accesssession.h"

#include "journal/audittrail.h"

#include <QDebug>
#include <QTimer>

AccessSession::AccessSession(UserStore *store, int levelWithoutUsers, QObject *parent)
    : QObject(parent)
    , users(store)
    , withoutUsers(levelWithoutUsers)
    , idle(new QTimer(this))
{
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, this, [this] {
        if (!user.isEmpty()) {
            qInfo().noquote() << "AccessSession: no input for" << idleMs / 1000
                              << "s, back to level 1";
            logOut();
        }
    });
    if (users)
        connect(users, &UserStore::userChanged, this, &AccessSession::refresh);
    refresh();
}

int AccessSession::level() const
{
    if (!usersExist)
        return withoutUsers;
    return user.isEmpty() ? 1 : loggedLevel;
}

void AccessSession::setIdleTimeout(int milliseconds)
{
    idleMs = qMax(0, milliseconds);
    idle->stop();
    if (idleMs > 0 && !user.isEmpty())
        idle->start(idleMs);
}

void AccessSession::refresh()
{
    const int before = level();
    const bool had = usersExist;
    usersExist = users && users->isOpen() && users->hasUsers();
    if (usersExist && !had && withoutUsers == 4)
        qInfo().noquote() << "AccessSession: users are defined, [factory] fullaccess is ignored";
    if (!usersExist) {
        user.clear();
        loggedLevel = 0;
    } else if (!user.isEmpty()) {
        // The logged-in user may have been removed or changed meanwhile.
        const std::optional<UserStore::User> found = users->find(user);
        if (!found)
            logOut();
        else
            loggedLevel = found->level;
    }
    if (level() != before)
        emit levelChanged(level());
}

UserStore::Verdict AccessSession::logIn(const QString &name, const QString &password)
{
    UserStore::Verdict verdict;
    if (!users || !usersDefined()) {
        verdict.error = QStringLiteral("no users are defined");
        return verdict;
    }
    verdict = users->verify(name, password);
    if (verdict.check == UserStore::Check::Ok) {
        setState(name, verdict.level);
        emit loggedIn(name, verdict.level);
    } else if (verdict.check != UserStore::Check::Failed) {
        emit loginFailed(name, double(verdict.waitMs) / 1000.0);
    }
    return verdict;
}

void AccessSession::logOut()
{
    if (user.isEmpty())
        return;
    const QString was = user;
    setState(QString(), 0);
    emit loggedOut(was);
}

void AccessSession::noteActivity()
{
    if (idleMs > 0 && !user.isEmpty())
        idle->start(idleMs);
}

void AccessSession::setState(const QString &name, int userLevel)
{
    const int before = level();
    user = name;
    loggedLevel = userLevel;
    // Changes from now on are recorded as this user's (nobody's after a log-out).
    if (AuditTrail *trail = AuditTrail::defaultTrail())
        trail->setActor(user, hostName());
    idle->stop();
    if (idleMs > 0 && !user.isEmpty())
        idle->start(idleMs);
    if (level() != before)
        emit levelChanged(level());
}
