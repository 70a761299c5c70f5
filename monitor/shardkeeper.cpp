#include "monitor/shardkeeper.h"

#include "monitor/shardsession.h"

#include <QUrl>

ShardKeeper::ShardKeeper(const JournalLocation &location, const QString &projectSha256,
                         const QString &owner, QObject *parent)
    : QObject(parent)
    , m_session(new ShardSession(withTimeouts(location), projectSha256, owner))
{
    qRegisterMetaType<QList<int>>();
    m_thread.setObjectName(QStringLiteral("shards"));
    m_session->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, m_session, &ShardSession::start);
    connect(&m_thread, &QThread::finished, m_session, &QObject::deleteLater);
    connect(m_session, &ShardSession::reached, this, &ShardKeeper::onReached);
    connect(m_session, &ShardSession::unreachable, this, &ShardKeeper::onUnreachable);
    connect(m_session, &ShardSession::refused, this, &ShardKeeper::refused);
    m_watch.setInterval(250);
    connect(&m_watch, &QTimer::timeout, this, &ShardKeeper::checkContact);
}

ShardKeeper::~ShardKeeper()
{
    stop();
    if (m_session && !m_thread.isRunning())
        delete m_session;
}

JournalLocation ShardKeeper::withTimeouts(const JournalLocation &location)
{
    if (!location.isPostgres())
        return location;
    // Well within the time after which the shards count as lost; the server's own
    // keepalive settings (see the site guide) drop a silent session.
    static const QList<QPair<QString, QString>> defaults = {
        {QStringLiteral("connect_timeout"), QStringLiteral("2")},
        {QStringLiteral("keepalives"), QStringLiteral("1")},
        {QStringLiteral("keepalives_idle"), QStringLiteral("1")},
        {QStringLiteral("keepalives_interval"), QStringLiteral("1")},
        {QStringLiteral("keepalives_count"), QStringLiteral("2")},
        {QStringLiteral("tcp_user_timeout"), QStringLiteral("3000")},
        {QStringLiteral("options"), QStringLiteral("-c statement_timeout=2500")},
    };
    QString text = location.text();
    for (const auto &option : defaults) {
        bool given = false;
        for (const auto &present : location.options())
            given = given || present.first == option.first;
        if (given)
            continue;
        text += (text.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) +
            option.first + QLatin1Char('=') +
            QString::fromLatin1(QUrl::toPercentEncoding(option.second));
    }
    const JournalLocation extended = JournalLocation::parse(text);
    return extended.isValid() ? extended : location;
}

int ShardKeeper::shardOf(int deviceId, int shards)
{
    if (shards <= 1)
        return 0;
    const int shard = deviceId % shards;
    return shard < 0 ? shard + shards : shard;
}

void ShardKeeper::start()
{
    if (m_thread.isRunning())
        return;
    m_lastContact.start();
    m_thread.start();
    m_watch.start();
}

void ShardKeeper::stop()
{
    m_watch.stop();
    if (!m_thread.isRunning())
        return;
    QMetaObject::invokeMethod(m_session, &ShardSession::stop, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    m_session = nullptr;
    for (int shard = 0; shard < m_states.size(); ++shard)
        setState(shard, State::Free);
}

bool ShardKeeper::polls(int deviceId) const
{
    return m_shards > 0 && state(shardOf(deviceId, m_shards)) != State::Free;
}

QList<int> ShardKeeper::heldShards() const
{
    QList<int> list;
    for (int shard = 0; shard < m_states.size(); ++shard) {
        if (m_states.at(shard) == State::Held)
            list << shard;
    }
    return list;
}

void ShardKeeper::setState(int shard, State state)
{
    const State before = m_states.at(shard);
    if (before == state)
        return;
    m_states[shard] = state;
    if ((before == State::Held) != (state == State::Held))
        emit shardHeld(shard, state == State::Held);
    if (before == State::Free && state == State::Held)
        emit shardTaken(shard);
}

void ShardKeeper::onReached(int shards, const QList<int> &held, const QList<int> &taken)
{
    Q_UNUSED(taken)
    m_lastContact.start();
    if (!m_reachable) {
        m_reachable = true;
        m_reported = false;
        emit reachableChanged(true, QString());
    }
    const bool changed = shards != m_shards;
    if (changed) {
        for (int shard = 0; shard < m_states.size(); ++shard)
            setState(shard, State::Free);
        m_shards = shards;
        m_states.fill(State::Free, shards);
    }
    bool polling = changed;
    for (int shard = 0; shard < m_shards; ++shard) {
        const State next = held.contains(shard) ? State::Held : State::Free;
        polling = polling || (m_states.at(shard) == State::Free) != (next == State::Free);
        setState(shard, next);
    }
    if (polling)
        emit pollingChanged();
}

void ShardKeeper::onUnreachable(const QString &error)
{
    if (m_reachable || !m_reported) {
        m_reachable = false;
        m_reported = true;
        emit reachableChanged(false, error);
    }
    checkContact();
}

void ShardKeeper::checkContact()
{
    // The session may be waiting for a silent server: the time since it last got through
    // decides, not its reports.
    if (m_lastContact.elapsed() < lostAfterMs)
        return;
    for (int shard = 0; shard < m_states.size(); ++shard) {
        if (m_states.at(shard) == State::Held)
            setState(shard, State::Doubtful);
    }
}
