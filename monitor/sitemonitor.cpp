#include "monitor/sitemonitor.h"

#include "journal/databaselog.h"
#include "journal/devicestatelog.h"
#include "journal/eventspill.h"
#include "monitor/shardkeeper.h"
#include "monitor/statuspoller.h"
#include "project/faultlisttext.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "project/statusdecoder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSysInfo>

SiteMonitor::SiteMonitor(ProjectModel *project, StatusPoller *poller,
                         const JournalLocation &location, const QString &projectSha256,
                         const QString &owner, QObject *parent)
    : QObject(parent)
    , m_project(project)
    , m_poller(poller)
    , m_keeper(std::make_unique<ShardKeeper>(location, projectSha256, owner))
    , m_states(std::make_unique<DeviceStateLog>(ShardKeeper::withTimeouts(location)))
{
    ShardKeeper *keeper = m_keeper.get();
    m_poller->setDeviceFilter(
        [keeper](const ProjectDevice *device) { return keeper->polls(device->id_obj); });
    connect(keeper, &ShardKeeper::shardTaken, this, &SiteMonitor::takeShard);
    connect(keeper, &ShardKeeper::pollingChanged, this, &SiteMonitor::pollingChanged);
    connect(keeper, &ShardKeeper::refused, this, &SiteMonitor::refused);
    connect(keeper, &ShardKeeper::shardHeld, this, [this](int shard, bool held) {
        if (!held)
            emit message(QStringLiteral("shard %1 no longer held: its devices' events are kept "
                                        "in the spill until the server answers")
                             .arg(shard));
    });
    connect(
        keeper, &ShardKeeper::reachableChanged, this, [this](bool reachable, const QString &error) {
            // Out of reach: no statement waits for a connection that cannot be made
            // (a cut network holds each attempt for the connect timeout); the keeper's
            // session on its own thread finds out when the server is back.
            const int delay = reachable ? DatabaseWrapper::defaultReconnectDelayMs : 3600000;
            m_project->logDb->setReconnectDelay(delay);
            m_project->logDb->setRetryInterval(reachable ? DatabaseLog::retryIntervalMs : 3600000);
            m_states->setReconnectDelay(delay);
            emit message(reachable
                             ? QStringLiteral("site database reached")
                             : QStringLiteral("site database out of reach: %1")
                                   .arg(error.isEmpty() ? QStringLiteral("no answer") : error));
        });
}

SiteMonitor::~SiteMonitor()
{
    stop();
    m_poller->setDeviceFilter(nullptr);
    if (m_project && m_project->logDb)
        m_project->logDb->setSpill(nullptr);
}

QString SiteMonitor::ownerText()
{
    return QStringLiteral("%1 %2 %3")
        .arg(QSysInfo::machineHostName(), QCoreApplication::applicationName())
        .arg(QCoreApplication::applicationPid());
}

bool SiteMonitor::start(const QString &spillPath, QString *error)
{
    m_spill = std::make_unique<EventSpill>(spillPath);
    if (!m_spill->open(error))
        return false;
    if (m_spill->damagedLines() > 0)
        emit message(QStringLiteral("%1: %2 damaged lines left out")
                         .arg(spillPath)
                         .arg(m_spill->damagedLines()));
    if (!m_spill->isEmpty())
        emit message(QStringLiteral("%1 holds %2 events of an earlier run: written as soon as "
                                    "the server answers")
                         .arg(spillPath)
                         .arg(m_spill->count()));
    DatabaseLog *log = m_project->logDb;
    log->setOwnDevices(true);
    log->setSpill(m_spill.get());
    connect(log, &DatabaseLog::spillWritten, this, [this](int written, int dropped) {
        emit message(QStringLiteral("spilled events written: %1, dropped (their devices have "
                                    "newer records): %2")
                         .arg(written)
                         .arg(dropped));
    });
    connect(log, &DatabaseLog::spillFailed, this, [this](const QString &text) {
        emit message(QStringLiteral("spill file: %1").arg(text));
    });
    m_keeper->start();
    return true;
}

void SiteMonitor::stop()
{
    m_keeper->stop();
}

void SiteMonitor::takeShard(int shard)
{
    // Another monitor recorded these devices until now: what this one remembers of them is
    // stale, and their recorded faults are what their next documents are compared with.
    m_project->logDb->forgetRemembered();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    int count = 0;
    for (ProjectDevice *device : m_project->allDevices()) {
        if (!device->ip_enabled ||
            ShardKeeper::shardOf(device->id_obj, m_keeper->shardCount()) != shard)
            continue;
        StatusDecoder::takeRecordedFaults(device);
        // Silence counts from now: nobody asked it here before.
        device->askedSinceMs = now;
        m_written.remove(device->id_obj);
        ++count;
    }
    emit message(QStringLiteral("shard %1 of %2 taken: %3 devices")
                     .arg(shard)
                     .arg(m_keeper->shardCount())
                     .arg(count));
}

void SiteMonitor::pollingChanged()
{
    const int shards = m_keeper->shardCount();
    for (int shard = 0; shard < shards; ++shard) {
        if (m_keeper->holds(shard))
            continue;
        bool polled = false;
        for (auto it = m_written.begin(); it != m_written.end();) {
            if (ShardKeeper::shardOf(it.key(), shards) != shard) {
                ++it;
                continue;
            }
            polled = polled || m_keeper->polls(it.key());
            it = polled ? std::next(it) : m_written.erase(it);
        }
        if (!polled)
            m_states->dropShard(shard);
    }
}

void SiteMonitor::recordStates()
{
    const int shards = m_keeper->shardCount();
    if (shards == 0 || m_keeper->heldShards().isEmpty())
        return;
    for (ProjectDevice *device : m_project->allDevices()) {
        if (!device->ip_enabled || !m_keeper->holds(ShardKeeper::shardOf(device->id_obj, shards)))
            continue;
        const QPair<bool, QString> state(m_poller->isOnline(device),
                                         FaultListText::format(device->faults.toVector()));
        auto written = m_written.find(device->id_obj);
        if (written != m_written.end() && written.value() == state)
            continue;
        m_written.insert(device->id_obj, state);
        m_states->record(device->id_obj, ShardKeeper::shardOf(device->id_obj, shards), state.first,
                         state.second, device->lastSeen);
    }
    m_states->flush();
}
