#pragma once

#include "journal/journallocation.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QVector>

class ShardSession;

// Which shards of a site database this monitor polls. A device's shard is its id modulo
// the number of shards; each shard is polled by the one monitor that holds it (see
// ShardSession, which runs on the keeper's thread). With one shard the monitors are a hot
// standby.
//
// A shard is held while its session stamps it. When the server has not been reached for
// lostAfterMs the shards count as no longer held (shardHeld(false), nothing more is
// written of them) but their devices are still polled, their events going to the spill:
// once the server answers again, those the session holds again are held, the others are
// another monitor's and left alone.
class ShardKeeper : public QObject {
    Q_OBJECT

public:
    static constexpr int lostAfterMs = 3000;

    // `projectSha256`: hexadecimal SHA-256 of the project file; `owner` names this host
    // and process in shard_state.
    ShardKeeper(const JournalLocation &location, const QString &projectSha256, const QString &owner,
                QObject *parent = nullptr);
    // Stops when still running.
    ~ShardKeeper() override;

    // The location with the connection options a monitor needs when the URL does not give
    // them: a short connect timeout, TCP keepalives and a statement timeout, so that no
    // statement waits long for a server out of reach.
    static JournalLocation withTimeouts(const JournalLocation &location);
    static int shardOf(int deviceId, int shards);

    void start();
    // Gives the shards up and joins the session's thread.
    void stop();

    // 0 until the server was reached.
    int shardCount() const { return m_shards; }
    bool holds(int shard) const { return state(shard) == State::Held; }
    // Whether a device's events are recorded (or spilled) by this monitor.
    bool polls(int deviceId) const;
    QList<int> heldShards() const;
    bool isReachable() const { return m_reachable; }

signals:
    // A shard came to this monitor or went (for the metrics and the log).
    void shardHeld(int shard, bool held);
    // A shard came from no one or another monitor: its devices' last recorded states are
    // to be read before recording anything of them.
    void shardTaken(int shard);
    // The set of polled devices changed.
    void pollingChanged();
    void reachableChanged(bool reachable, const QString &error);
    void refused(const QString &reason);

private:
    enum class State { Free, Held, Doubtful };

    State state(int shard) const
    {
        return shard >= 0 && shard < m_states.size() ? m_states.at(shard) : State::Free;
    }
    void onReached(int shards, const QList<int> &held, const QList<int> &taken);
    void onUnreachable(const QString &error);
    void checkContact();
    void setState(int shard, State state);

    QThread m_thread;
    ShardSession *m_session = nullptr;
    QVector<State> m_states;
    int m_shards = 0;
    bool m_reachable = false;
    bool m_reported = false; // the last failure was reported
    QElapsedTimer m_lastContact;
    QTimer m_watch;
};
