#include "monitor/metricscollector.h"

#include "journal/databaselog.h"
#include "monitor/statuspoller.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QHash>

namespace {

MetricsSnapshot::Histogram histogramOf(const DurationHistogram &h)
{
    MetricsSnapshot::Histogram out;
    for (size_t i = 0; i < DurationHistogram::bounds.size(); ++i) {
        out.bounds.append(DurationHistogram::bounds[i]);
        out.within.append(h.countWithin(i));
    }
    out.count = h.count();
    out.sum = h.sumSeconds();
    return out;
}

MetricsSnapshot::Histogram answerHistogram(const StatusPoller::Statistics &s)
{
    MetricsSnapshot::Histogram out;
    quint64 within = 0;
    for (size_t i = 0; i < std::size(StatusPoller::Statistics::answerBounds); ++i) {
        within += quint64(s.answeredWithin[i]);
        out.bounds.append(StatusPoller::Statistics::answerBounds[i] / 1000.0);
        out.within.append(within);
    }
    out.count = quint64(s.accepted);
    out.sum = s.acceptedMilliseconds / 1000.0;
    return out;
}

} // namespace

MetricsCollector::MetricsCollector(StatusPoller *poller, QObject *parent)
    : QObject(parent)
    , m_poller(poller)
{
    connect(poller, &StatusPoller::countersChanged, this, &MetricsCollector::refresh);
    m_bytesTimer.setInterval(statusBytesIntervalMs);
    connect(&m_bytesTimer, &QTimer::timeout, this, &MetricsCollector::sampleStatusBytes);
}

void MetricsCollector::watchJournal(DatabaseLog *log)
{
    m_log = log;
    if (!log)
        return;
    connect(log, &DatabaseLog::writeFailed, this,
            [this](const QString &error) { setJournalState(false, error); });
    connect(log, &DatabaseLog::writeRecovered, this, [this] { setJournalState(true); });
    if (!log->isUsable())
        setJournalState(
            false, log->openError().isEmpty() ? QStringLiteral("not usable") : log->openError());
    sampleStatusBytes();
    m_bytesTimer.start();
}

void MetricsCollector::setShardHeld(int shard, bool held)
{
    if (m_shards.contains(shard) && m_shards.value(shard) == held)
        return;
    m_shards.insert(shard, held);
    refresh();
}

void MetricsCollector::setJournalState(bool reachable, const QString &problem)
{
    m_journalReachable = reachable;
    m_journalProblem = reachable ? QString() : problem;
    refresh();
}

void MetricsCollector::sampleStatusBytes()
{
    if (m_log && m_log->isUsable())
        m_statusBytes = m_log->usedBytes();
}

void MetricsCollector::refresh()
{
    auto s = std::make_shared<MetricsSnapshot>();
    const StatusPoller::Statistics &stats = m_poller->statistics();
    s->answers = quint64(stats.accepted);
    s->answerFailures = quint64(stats.dropped + stats.overdue + stats.tooLarge);
    s->answerDuration = answerHistogram(stats);
    if (m_log) {
        s->journalWrites = quint64(m_log->recordsWritten());
        s->journalWriteDuration = histogramOf(m_log->writeDurations());
    } else {
        s->journalWriteDuration = histogramOf(DurationHistogram());
    }
    s->statusLogBytes = m_statusBytes;
    s->shards = m_shards;
    s->journalReachable = m_journalReachable;
    s->journalProblem = m_journalProblem;
    // Ten ticks without a snapshot: the polling thread is stuck.
    s->staleAfter = std::chrono::milliseconds(qMax(10000, 10 * m_poller->tickInterval()));
    if (ProjectModel *project = m_poller->project()) {
        QHash<const ProjectGroup *, QString> groups;
        const QList<ProjectDevice *> devices = project->allDevices();
        s->devices.reserve(devices.size());
        for (const ProjectDevice *device : devices) {
            if (!device->ip_enabled)
                continue;
            MetricsSnapshot::Device d;
            d.id = device->id_obj;
            d.serial = device->serial ? QString::number(device->serial) : QString();
            d.type = deviceTypeKey(device->type);
            if (const ProjectGroup *group = device->parentGroup()) {
                auto it = groups.find(group);
                if (it == groups.end())
                    it = groups.insert(group, group->groupPath());
                d.group = it.value();
            }
            d.up = m_poller->isOnline(device);
            if (d.up) {
                for (const DeviceFault &fault : device->faults) {
                    if (fault.kind >= 0 && fault.kind < MetricsSnapshot::faultKinds)
                        ++d.faults[size_t(fault.kind)];
                }
            }
            s->devices.append(d);
        }
    }
    m_last = s;
    emit snapshotTaken(m_last);
}
