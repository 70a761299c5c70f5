#include "monitor/sitewatch.h"

#include "project/faultlisttext.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QThread>
#include <QTimer>

SiteWatch::SiteWatch(const JournalLocation &location, QObject *parent)
    : QObject(parent)
{
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("site watch"));
    m_worker = new SiteWatcher(location);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_worker, &SiteWatcher::start);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &SiteWatcher::connectionChanged, this, &SiteWatch::onConnection);
    connect(m_worker, &SiteWatcher::devicesChanged, this, &SiteWatch::onDevices);
    connect(m_worker, &SiteWatcher::shardsChanged, this, &SiteWatch::onShards);
    connect(m_worker, &SiteWatcher::eventsAdded, this, &SiteWatch::eventsAdded);
    connect(m_worker, &SiteWatcher::acknowledged, this, &SiteWatch::acknowledged);
    m_thread->start();
}

SiteWatch::~SiteWatch()
{
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    setProject(nullptr);
}

int SiteWatch::shardOf(int deviceId, int count)
{
    if (count <= 1)
        return 0;
    const int shard = deviceId % count;
    return shard < 0 ? shard + count : shard;
}

void SiteWatch::setStaleSeconds(int seconds)
{
    SiteWatcher *worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, seconds] {
            worker->setStaleSeconds(seconds);
            worker->refresh();
        },
        Qt::QueuedConnection);
}

void SiteWatch::setProject(ProjectModel *project)
{
    if (m_project) {
        disconnect(m_project, nullptr, this, nullptr);
        for (ProjectDevice *device : m_project->allDevices())
            device->watched = ProjectDevice::Watched::No;
    }
    m_project = project;
    m_entries.clear();
    m_index.clear();
    if (!m_project)
        return;
    // Devices added or removed: indexed again once the change is complete.
    connect(m_project, &ProjectModel::nodeChanged, this, [this] {
        if (m_reindexPending)
            return;
        m_reindexPending = true;
        QTimer::singleShot(0, this, [this] {
            m_reindexPending = false;
            indexDevices();
            emit devicesUpdated(applyAll());
        });
    });
    indexDevices();
    applyAll();
}

void SiteWatch::indexDevices()
{
    QHash<int, Entry> known;
    for (const Entry &entry : qAsConst(m_entries))
        known.insert(entry.device->id_obj, entry);
    m_entries.clear();
    m_index.clear();
    if (!m_project)
        return;
    for (ProjectDevice *device : m_project->allDevices()) {
        Entry entry = known.value(device->id_obj);
        if (entry.device != device)
            entry = Entry();
        entry.device = device;
        m_index.insert(device->id_obj, m_entries.size());
        m_entries << entry;
    }
}

void SiteWatch::onConnection(bool connected, const QString &error)
{
    m_connected = connected;
    m_error = error;
    if (!connected)
        m_shardsKnown = false;
    emit devicesUpdated(applyAll());
    emit connectionChanged(connected, error);
}

void SiteWatch::onDevices(const QVector<SiteWatcher::DeviceState> &states, bool all)
{
    if (all)
        m_states.clear();
    for (const SiteWatcher::DeviceState &state : states)
        m_states.insert(state.deviceId, state);
    if (all) {
        emit devicesUpdated(applyAll());
        return;
    }
    QVector<ProjectDevice *> changed;
    for (const SiteWatcher::DeviceState &state : states) {
        const auto index = m_index.constFind(state.deviceId);
        if (index != m_index.constEnd() && apply(m_entries[*index]))
            changed << m_entries.at(*index).device;
    }
    announce(changed);
    emit devicesUpdated(changed.size());
}

void SiteWatch::onShards(int count, const QVector<SiteWatcher::Shard> &shards)
{
    QVector<SiteWatcher::Shard> table(count);
    m_stampTimes = QVector<QDateTime>(count);
    for (SiteWatcher::Shard &shard : table)
        shard.shard = -1; // not in the table: no data
    for (const SiteWatcher::Shard &shard : shards) {
        if (shard.shard < 0 || shard.shard >= count)
            continue;
        table[shard.shard] = shard;
        if (shard.stampedAtMs > 0)
            m_stampTimes[shard.shard] = QDateTime::fromMSecsSinceEpoch(shard.stampedAtMs);
    }
    // Once a second the stamps move on and nothing else changes: only the last answers
    // of the online devices follow them.
    bool same = m_shardsKnown && count == m_shardCount;
    for (int i = 0; same && i < count; ++i)
        same =
            table.at(i).shard == m_shards.at(i).shard && table.at(i).stale == m_shards.at(i).stale;
    m_shardCount = count;
    m_shards = table;
    m_shardsKnown = true;
    if (same) {
        followStamps();
        return;
    }
    emit devicesUpdated(applyAll());
}

int SiteWatch::applyAll()
{
    QVector<ProjectDevice *> changed;
    for (Entry &entry : m_entries) {
        if (apply(entry))
            changed << entry.device;
    }
    announce(changed);
    return changed.size();
}

void SiteWatch::announce(const QVector<ProjectDevice *> &changed)
{
    if (changed.size() > bulkLimit) {
        emit devicesReset();
        return;
    }
    for (ProjectDevice *device : changed)
        emit device->statusChanged();
}

void SiteWatch::followStamps()
{
    for (Entry &entry : m_entries) {
        ProjectDevice *device = entry.device;
        if (device->watched != ProjectDevice::Watched::Online)
            continue;
        const int shard = shardOf(device->id_obj, m_shardCount);
        const qint64 stamp = m_shards.at(shard).stampedAtMs;
        if (stamp > entry.seenMs) {
            entry.seenMs = stamp;
            device->lastSeen = m_stampTimes.at(shard);
        }
    }
}

bool SiteWatch::apply(Entry &entry)
{
    using Watched = ProjectDevice::Watched;
    ProjectDevice *device = entry.device;
    const auto state = m_states.constFind(device->id_obj);
    const bool hasState = state != m_states.constEnd();
    const int shard = shardOf(device->id_obj, m_shardCount);
    const bool known = m_connected && m_shardsKnown && shard < m_shards.size() &&
        m_shards.at(shard).shard == shard && !m_shards.at(shard).stale;
    Watched watched = Watched::NoData;
    if (known)
        watched = hasState && state->online ? Watched::Online : Watched::Offline;

    bool changed = false;
    if (device->watched != watched) {
        device->watched = watched;
        changed = true;
    }
    const qint64 change = hasState ? state->changedAtUs : -1;
    if (entry.changeUs != change) {
        entry.changeUs = change;
        QList<DeviceFault> faults;
        if (hasState) {
            for (DeviceFault fault : FaultListText::parse(state->faults)) {
                fault.device = device;
                faults << fault;
            }
        }
        if (faults != device->faults) {
            device->faults = faults;
            changed = true;
        }
    }
    // An online device of a stamped shard answered at the latest stamp: the monitor
    // rewrites its row only when something changed.
    qint64 seenMs = hasState ? state->lastAnswerMs : 0;
    const bool stampLater =
        known && watched == Watched::Online && m_shards.at(shard).stampedAtMs > seenMs;
    if (stampLater)
        seenMs = m_shards.at(shard).stampedAtMs;
    if (entry.seenMs != seenMs) {
        entry.seenMs = seenMs;
        if (seenMs <= 0)
            device->lastSeen = QDateTime();
        else
            device->lastSeen =
                stampLater ? m_stampTimes.at(shard) : QDateTime::fromMSecsSinceEpoch(seenMs);
    }
    return changed;
}
