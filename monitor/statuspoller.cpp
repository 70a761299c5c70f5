#include "monitor/statuspoller.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "monitor/statusacceptor.h"
#include "project/devicecounts.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// Tick durations kept for the statistics.
constexpr int keptTicks = 4096;
// Room above the body bound for the manager's read buffer.
constexpr qint64 bufferSlack = 64 * 1024;
constexpr int deadlineCheckMs = 250;

} // namespace

StatusPoller::StatusPoller(QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager ? manager : new QNetworkAccessManager(this))
    , m_managerAlive(m_manager)
    , m_wallClock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_maxBody(StatusAcceptor::maxBodySize)
{
    qRegisterMetaType<StatusPoller::Counters>();
    qRegisterMetaType<ProjectDevice *>();
    // Devices are on the local network; a proxy from the environment must not be used.
    m_manager->setProxy(QNetworkProxy::NoProxy);
    m_clock.start();
    m_deadlineTimer.setInterval(deadlineCheckMs);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &StatusPoller::abortOverdue);
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setInterval(0);
    connect(&m_sendTimer, &QTimer::timeout, this, &StatusPoller::sendSlice);
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(0);
    connect(&m_commitTimer, &QTimer::timeout, this, &StatusPoller::commitAnswerBatch);
}

StatusPoller::~StatusPoller()
{
    // Replies still in flight belong to the manager; they must not call back here. A
    // manager destroyed first (a sibling created earlier) took its replies with it.
    if (!m_managerAlive)
        return;
    for (auto it = m_replies.constBegin(); it != m_replies.constEnd(); ++it)
        disconnect(it.key(), nullptr, this, nullptr);
}

void StatusPoller::setProject(ProjectModel *project)
{
    commitAnswerBatch();
    m_project = project;
}

void StatusPoller::holdAnswerBatch()
{
    if (m_answerBatch || !m_project || !m_project->logDb)
        return;
    m_answerBatch = std::make_unique<DatabaseLog::Transaction>(m_project->logDb);
    m_commitTimer.start();
}

void StatusPoller::commitAnswerBatch()
{
    m_commitTimer.stop();
    m_answerBatch.reset();
}

void StatusPoller::setTimeout(int milliseconds)
{
    m_timeoutMs = qMax(1, milliseconds);
}

void StatusPoller::setWallClock(const std::function<qint64()> &clock)
{
    m_wallClock = clock ? clock : [] { return QDateTime::currentMSecsSinceEpoch(); };
}

QUrl StatusPoller::statusUrl(const QString &address, quint16 port)
{
    // Built part by part, so that an odd address can never change the path or the port.
    // The host is read strictly as decimal ("192.168.010.5" is 192.168.10.5; the URL
    // parser would take 010 as octal); an address of another numeric form gives no host.
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(Ipv4Address::networkHost(address), QUrl::StrictMode);
    url.setPort(port);
    url.setPath(QStringLiteral("/status"));
    return url;
}

bool StatusPoller::queueRequest(const QString &address)
{
    if (isOutstanding(address)) {
        ++m_statistics.skipped;
        return false;
    }
    if (address.isEmpty())
        return false;
    m_queue.append(address);
    m_queued.insert(address);
    if (m_batchStarted < 0)
        m_batchStarted = m_clock.elapsed();
    if (!m_sendTimer.isActive())
        m_sendTimer.start();
    return true;
}

void StatusPoller::sendSlice()
{
    QElapsedTimer timer;
    timer.start();
    for (int n = 0; n < sliceSize && !m_queue.isEmpty(); ++n) {
        const QString address = m_queue.takeFirst();
        m_queued.remove(address);
        sendRequest(address);
    }
    keep(m_statistics.sliceMicroseconds, timer.nsecsElapsed() / 1000);
    if (!m_queue.isEmpty()) {
        m_sendTimer.start();
        return;
    }
    keep(m_statistics.batchMicroseconds, (m_clock.elapsed() - m_batchStarted) * 1000);
    m_batchStarted = -1;
}

void StatusPoller::sendRequest(const QString &address)
{
    const QUrl url = statusUrl(address, m_port);
    if (!url.isValid() || url.host().isEmpty())
        return;
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    QNetworkReply *reply = m_manager->get(request);
    reply->setReadBufferSize(m_maxBody + bufferSlack);
    Pending pending;
    pending.address = address;
    pending.sentAt = m_clock.elapsed();
    m_replies.insert(reply, pending);
    m_byAddress.insert(address, reply);
    ++m_statistics.sent;
    if (!m_deadlineTimer.isActive())
        m_deadlineTimer.start();
    connect(reply, &QNetworkReply::finished, this, [this, reply] { handleReply(reply); });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) {
                if (received <= m_maxBody && total <= m_maxBody)
                    return;
                auto it = m_replies.find(reply);
                if (it == m_replies.end() || it->tooLarge)
                    return;
                it->tooLarge = true;
                reply->abort();
            });
}

int StatusPoller::sendRequests()
{
    if (!m_project)
        return 0;
    abortOverdue();
    int sent = 0;
    for (ProjectDevice *device : indexPolledDevices()) {
        if (queueRequest(device->ip_addr))
            ++sent;
    }
    return sent;
}

QList<ProjectDevice *> StatusPoller::indexPolledDevices()
{
    QList<ProjectDevice *> polled;
    m_index.clear();
    const QList<ProjectDevice *> devices = m_project->allDevices();
    for (ProjectDevice *device : devices) {
        if (!device->ip_enabled)
            continue;
        polled.append(device);
        if (!m_index.contains(device->ip_addr))
            m_index.insert(device->ip_addr, device);
    }
    return polled;
}

void StatusPoller::abortOverdue()
{
    const qint64 now = m_clock.elapsed();
    QList<QNetworkReply *> overdue;
    for (auto it = m_replies.begin(); it != m_replies.end(); ++it) {
        if (now - it->sentAt >= m_timeoutMs && !it->overdue) {
            it->overdue = true;
            overdue.append(it.key());
        }
    }
    for (QNetworkReply *reply : qAsConst(overdue)) {
        reply->abort();
        // abort() normally finishes the reply at once; make sure it is forgotten.
        handleReply(reply);
    }
}

void StatusPoller::skipTimeNotAsked(qint64 nowMs, bool polling)
{
    const qint64 previous = m_lastTickMs;
    const bool polled = m_lastTickPolled;
    m_lastTickMs = nowMs;
    m_lastTickPolled = polling;
    if (previous < 0 || !m_project)
        return;
    const qint64 gap = nowMs - previous;
    qint64 notAsked = 0;
    if (!polling || !polled)
        notAsked = gap; // editing state, or polling switched on just now
    else if (gap > 2 * qint64(m_tickMs))
        notAsked = gap - m_tickMs; // the ticks were held up: one interval was asked
    if (notAsked <= 0)
        return; // also a wall clock set back
    const QList<ProjectDevice *> devices = m_project->allDevices();
    for (ProjectDevice *device : devices) {
        if (!device->ip_enabled)
            continue;
        // Silence so far (in milliseconds) is kept; the time not asked is left out.
        const qint64 silentSince = nowMs - device->silentSeconds(nowMs, 1);
        device->askedSinceMs = silentSince + notAsked;
    }
}

void StatusPoller::tick(bool polling)
{
    QElapsedTimer timer;
    timer.start();
    const qint64 nowMs = m_wallClock();
    skipTimeNotAsked(nowMs, polling);
    if (polling && m_project) {
        abortOverdue();
        DatabaseLog *log = m_project->logDb;
        const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs);
        // The lost events of one tick are stored in one transaction.
        DatabaseLog::Transaction transaction(log);
        const QList<ProjectDevice *> devices = indexPolledDevices();
        for (ProjectDevice *device : devices) {
            queueRequest(device->ip_addr);
            const bool silent = !device->lastSeen.isValid() ||
                device->silentSeconds(nowMs, m_tickMs) > lostAfterSeconds;
            // Offered at every tick of the silence; the journal keeps one record per loss.
            if (silent && log)
                log->insertEvent(device->id_obj, QString(), EventCode::ConnectionLost, now);
        }
    }
    m_counters = countAt(nowMs);
    keep(m_statistics.tickMicroseconds, timer.nsecsElapsed() / 1000);
    emit countersChanged(m_counters);
}

bool StatusPoller::isOnline(const ProjectDevice *device) const
{
    return device->isOnlineAt(m_wallClock(), m_tickMs);
}

StatusPoller::Counters StatusPoller::count() const
{
    return countAt(m_wallClock());
}

StatusPoller::Counters StatusPoller::countAt(qint64 nowMs) const
{
    Counters counters;
    if (!m_project)
        return counters;
    const DeviceCounts counts = DeviceCounts::of(m_project->allDevices(), nowMs, m_tickMs);
    counters.total = counts.all;
    counters.notConnected = counts.notConnected;
    counters.faulty = counts.faulty;
    counters.tampered = counts.tampered;
    if (DatabaseLog *log = m_project->logDb) {
        counters.journalAll = log->eventCount(-1);
        counters.journalUnseen = log->eventCount(0);
    }
    return counters;
}

ProjectDevice *StatusPoller::indexedDevice(const QString &address) const
{
    ProjectDevice *device = m_index.value(address);
    // Only while it is still what the project would answer for the address.
    if (device && device->ip_enabled && device->ip_addr == address &&
        device->projectModel() == m_project)
        return device;
    return nullptr;
}

void StatusPoller::keep(QVector<qint64> &list, qint64 value)
{
    if (list.size() >= keptTicks)
        list.remove(0, list.size() - keptTicks + 1);
    list.append(value);
}

void StatusPoller::handleReply(QNetworkReply *reply)
{
    auto it = m_replies.find(reply);
    if (it == m_replies.end())
        return;
    Pending pending = it.value();
    m_replies.erase(it);
    // Cancelled by the manager's own transfer time-out: overdue as well.
    if (!pending.tooLarge &&
        (reply->error() == QNetworkReply::OperationCanceledError ||
         reply->error() == QNetworkReply::TimeoutError))
        pending.overdue = true;
    if (m_byAddress.value(pending.address) == reply)
        m_byAddress.remove(pending.address);
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater();
    if (m_replies.isEmpty())
        m_deadlineTimer.stop();

    ProjectDevice *device = nullptr;
    if (pending.tooLarge) {
        ++m_statistics.tooLarge;
    } else if (pending.overdue) {
        ++m_statistics.overdue;
    } else if (reply->error() == QNetworkReply::NoError && m_project) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body =
            reply->bytesAvailable() <= m_maxBody ? reply->readAll() : QByteArray();
        holdAnswerBatch();
        // The index saves a walk of the whole tree per answer.
        device = StatusAcceptor::accept(
            m_project, status, pending.address, body, m_project->monitoring,
            QDateTime::fromMSecsSinceEpoch(m_wallClock()), indexedDevice(pending.address));
    }
    if (!device) {
        if (!pending.tooLarge && !pending.overdue)
            ++m_statistics.dropped;
        emit replyDropped(pending.address);
        return;
    }
    ++m_statistics.accepted;
    if (m_clock.elapsed() - pending.sentAt < 1000)
        ++m_statistics.acceptedInTime;
    emit statusAccepted(device);
}
