#pragma once

#include "journal/journallocation.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

// The session through which a monitor holds its shards of a site database, on a thread of
// its own (ShardKeeper moves it there): its statements may wait for an unreachable server
// without holding up the polling.
//
// Once a second it connects when it has to, takes every free shard with an advisory lock
// of its session (pg_try_advisory_lock, keyed by the database and the shard: the server
// frees them when the session ends, also when the process is killed), names itself their
// owner in shard_state and stamps the shards it holds. The first time it reaches the
// server it checks the schema and the project's SHA-256 kept in journal_meta (set by the
// first monitor); with another project it takes nothing.
class ShardSession : public QObject {
    Q_OBJECT

public:
    static constexpr int intervalMs = 1000;

    ShardSession(const JournalLocation &location, const QString &projectSha256,
                 const QString &owner);
    ~ShardSession() override;

    // The first key of the advisory locks of a database's shards (the second is the shard).
    static qint32 lockClass(const QString &databaseName);

public slots:
    void start();
    // Gives the shards up (owner cleared, locks released) and closes the session.
    void stop();

signals:
    // The server was reached: it has `shards` shards, of which this session holds `held`;
    // `taken` were taken just now.
    void reached(int shards, const QList<int> &held, const QList<int> &taken);
    void unreachable(const QString &error);
    // The database belongs to another project or has another schema: nothing is taken.
    void refused(const QString &reason);

private:
    void tick();
    bool connectServer(QString *error);
    bool checkDatabase(QString *refusal, QString *error);
    void disconnectServer();
    static QString list(const QSet<int> &shards);

    JournalLocation m_location;
    QString m_sha;
    QString m_owner;
    QString m_name;
    QTimer *m_timer = nullptr;
    bool m_connected = false;
    bool m_refused = false;
    int m_shards = 0;
    qint32 m_class = 0;
    QSet<int> m_held;
};
