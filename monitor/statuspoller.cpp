#include "monitor/statuspoller.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"
#include "monitor/openfileslimit.h"
#include "monitor/statusacceptor.h"
#include "project/devicecounts.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

namespace {

// Tick durations kept for the statistics.
constexpr int keptTicks = 4096;
constexpr int deadlineCheckMs = 250;

} // namespace

StatusPoller::StatusPoller(QObject *parent)
    : QObject(parent)
    , m_wallClock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_maxBody(StatusAcceptor::maxBodySize)
    , m_readiness(new SocketReadiness(this))
{
    qRegisterMetaType<StatusPoller::Counters>();
    qRegisterMetaType<ProjectDevice *>();
    OpenFilesLimit::raiseToHard();
    m_clock.start();
    m_deadlineTimer.setInterval(deadlineCheckMs);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &StatusPoller::abortOverdue);
    m_sendTimer.setSingleShot(true);
    // Never early: a wait for the next window of new connections ends when it does.
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    m_sendTimer.setInterval(0);
    connect(&m_sendTimer, &QTimer::timeout, this, &StatusPoller::sendSlice);
    m_commitTimer.setSingleShot(true);
    m_commitTimer.setInterval(0);
    connect(&m_commitTimer, &QTimer::timeout, this, &StatusPoller::commitAnswerBatch);
}

StatusPoller::~StatusPoller()
{
    // The connections close before the readiness they are watched by, and report nothing.
    for (StatusHttpConnection *connection : qAsConst(m_connections))
        connection->disconnect(this);
    qDeleteAll(m_connections);
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

void StatusPoller::setOpeningBudget(int perWindow)
{
    m_openingsPerWindow = qMax(1, perWindow);
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
        m_sendTimer.start(0);
    return true;
}

void StatusPoller::sendSlice()
{
    QElapsedTimer timer;
    timer.start();
    int waitMs = 0;
    for (int n = 0; n < sliceSize && !m_queue.isEmpty(); ++n) {
        StatusHttpConnection *connection = m_connections.value(m_queue.first());
        if (!connection || !connection->isOpen()) {
            const qint64 now = m_clock.elapsed();
            if (m_openingWindowStart < 0 || now - m_openingWindowStart >= openingWindowMs) {
                m_openingWindowStart = now;
                m_openedInWindow = 0;
            }
            if (m_openedInWindow >= m_openingsPerWindow) {
                waitMs = int(qMax<qint64>(1, m_openingWindowStart + openingWindowMs - now));
                ++m_statistics.openingWaits;
                break;
            }
            ++m_openedInWindow;
        }
        const QString address = m_queue.takeFirst();
        m_queued.remove(address);
        sendRequest(address, connection);
    }
    keep(m_statistics.sliceMicroseconds, timer.nsecsElapsed() / 1000);
    if (!m_queue.isEmpty()) {
        m_sendTimer.start(waitMs);
        return;
    }
    keep(m_statistics.batchMicroseconds, (m_clock.elapsed() - m_batchStarted) * 1000);
    m_batchStarted = -1;
}

void StatusPoller::setStatusPort(quint16 port)
{
    if (port == m_port)
        return;
    m_port = port;
    const QStringList addresses = m_pending.keys();
    for (const QString &address : addresses) {
        m_pending.value(address).connection->abort();
        conclude(address, Outcome::Dropped);
    }
    qDeleteAll(m_connections);
    m_connections.clear();
}

int StatusPoller::openConnections() const
{
    int open = 0;
    for (const StatusHttpConnection *connection : qAsConst(m_connections))
        open += connection->isOpen() ? 1 : 0;
    return open;
}

StatusHttpConnection *StatusPoller::connectionTo(const QString &address)
{
    if (StatusHttpConnection *connection = m_connections.value(address))
        return connection;
    // Only a dotted address is ever asked, read strictly as decimal ("192.168.010.5" is
    // 192.168.10.5, never octal); anything else gets no connection.
    quint32 host = 0;
    if (!Ipv4Address::parse(address, &host))
        return nullptr;
    const QByteArray request =
        "GET /status HTTP/1.1\r\nHost: " + Ipv4Address::toString(host).toLatin1() + ':' +
        QByteArray::number(m_port) + "\r\nConnection: keep-alive\r\n\r\n";
    auto *connection = new StatusHttpConnection(address, host, m_port, request, m_readiness, this);
    connection->setMaxBody(m_maxBody);
    connect(connection, &StatusHttpConnection::finished, this, &StatusPoller::onFinished);
    connect(connection, &StatusHttpConnection::outOfDescriptors, this,
            &StatusPoller::closeIdleConnections);
    m_connections.insert(address, connection);
    return connection;
}

void StatusPoller::closeIdleConnections()
{
    for (StatusHttpConnection *connection : qAsConst(m_connections))
        connection->closeIfIdle();
}

void StatusPoller::pruneConnections()
{
    for (auto it = m_connections.begin(); it != m_connections.end();) {
        if (!m_index.contains(it.key()) && !it.value()->isBusy()) {
            delete it.value();
            it = m_connections.erase(it);
        } else {
            ++it;
        }
    }
}

void StatusPoller::sendRequest(const QString &address, StatusHttpConnection *known)
{
    StatusHttpConnection *connection = known ? known : connectionTo(address);
    if (!connection)
        return;
    connection->setMaxBody(m_maxBody);
    if (!connection->start())
        return;
    Pending pending;
    pending.connection = connection;
    pending.sentAt = m_clock.elapsed();
    m_pending.insert(address, pending);
    ++m_statistics.sent;
    if (!m_deadlineTimer.isActive())
        m_deadlineTimer.start();
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
    const QList<ProjectDevice *> devices = m_project->allDevices();
    for (ProjectDevice *device : devices) {
        if (!device->ip_enabled || (m_filter && !m_filter(device)))
            continue;
        polled.append(device);
    }
    // Built again only when the devices polled or their addresses changed: at every tick it
    // would be thousands of entries made and dropped for nothing. A device deleted since
    // never matches, even if another takes its place in memory.
    bool same = polled.size() == m_indexed.size();
    for (int i = 0; same && i < polled.size(); ++i) {
        const Indexed &indexed = m_indexed.at(i);
        same = indexed.device.data() == polled.at(i) && indexed.address == polled.at(i)->ip_addr;
    }
    if (!same) {
        m_index.clear();
        m_indexed.clear();
        m_indexed.reserve(polled.size());
        for (ProjectDevice *device : qAsConst(polled)) {
            m_indexed.append(Indexed {device, device->ip_addr});
            if (!m_index.contains(device->ip_addr))
                m_index.insert(device->ip_addr, device);
        }
    }
    if (m_connections.size() > m_index.size())
        pruneConnections();
    return polled;
}

void StatusPoller::abortOverdue()
{
    const qint64 now = m_clock.elapsed();
    QStringList overdue;
    for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it) {
        if (now - it->sentAt >= m_timeoutMs)
            overdue.append(it.key());
    }
    for (const QString &address : qAsConst(overdue)) {
        // An answer still to come would belong to no request: the connection goes.
        m_pending.value(address).connection->abort();
        conclude(address, Outcome::Overdue);
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

void StatusPoller::onFinished(StatusHttpConnection *connection, StatusHttpConnection::Error error)
{
    const QString address = connection->address();
    if (m_pending.value(address).connection != connection)
        return;
    switch (error) {
    case StatusHttpConnection::Error::None: {
        const int status = connection->statusCode();
        conclude(address, Outcome::Answer, status, connection->takeBody());
        break;
    }
    case StatusHttpConnection::Error::TooLarge:
        conclude(address, Outcome::TooLarge);
        break;
    default:
        conclude(address, Outcome::Dropped);
        break;
    }
}

void StatusPoller::conclude(const QString &address, Outcome outcome, int status,
                            const QByteArray &body)
{
    const Pending pending = m_pending.take(address);
    if (m_pending.isEmpty())
        m_deadlineTimer.stop();

    ProjectDevice *device = nullptr;
    if (outcome == Outcome::TooLarge) {
        ++m_statistics.tooLarge;
    } else if (outcome == Outcome::Overdue) {
        ++m_statistics.overdue;
    } else if (outcome == Outcome::Answer && m_project) {
        holdAnswerBatch();
        // The index saves a walk of the whole tree per answer.
        device = StatusAcceptor::accept(m_project, status, address, body, m_project->monitoring,
                                        QDateTime::fromMSecsSinceEpoch(m_wallClock()),
                                        indexedDevice(address));
    }
    if (!device) {
        if (outcome == Outcome::Answer || outcome == Outcome::Dropped)
            ++m_statistics.dropped;
        emit replyDropped(address);
        return;
    }
    ++m_statistics.accepted;
    const qint64 took = m_clock.elapsed() - pending.sentAt;
    m_statistics.acceptedMilliseconds += took;
    if (took < 1000)
        ++m_statistics.acceptedInTime;
    for (size_t i = 0; i < std::size(Statistics::answerBounds); ++i) {
        if (took < Statistics::answerBounds[i]) {
            ++m_statistics.answeredWithin[i];
            break;
        }
    }
    emit statusAccepted(device);
}
