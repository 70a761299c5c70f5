#pragma once

#include "journal/databaselog.h"
#include "link/networkports.h"
#include "monitor/socketreadiness.h"
#include "monitor/statushttpconnection.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVector>

#include <iterator>

#include <functional>
#include <memory>

class ProjectDevice;

// Status polling over HTTP: asks every device of the project that has Ethernet for its
// status document ("http://" + address + ":" + port + "/status"), hands each answer to
// the status acceptance, records lost connections and counts devices for the counters
// above the tree. No widgets: the main window and norda-cli drive it with tick() once a
// second and show counters().
//
// Each device has one connection of its own (StatusHttpConnection), kept open between
// requests when the device allows it; a request costs a few system calls and no object,
// and idle connections cost the event loop nothing, so thousands of devices are asked
// within their second. A request has a hard deadline (3 s unless set), and a device with
// a request still outstanding is not asked again, so a silent or hostile device never
// makes requests pile up. A body larger than the bound is dropped as it arrives.
//
// The requests of a batch are issued in slices from the event loop, in project order:
// the user interface thread is never held for more than a few milliseconds.
//
// Silence counts only while the console asks: a device is lost after more than 10 s
// without an answer while it was being polled. Time in which no polling tick ran (the
// editing state, a process held up or suspended: more than two tick intervals between
// polling ticks) moves the device's askedSinceMs on, so that it is never taken for
// silence; what silence there was before such a pause still counts.
class StatusPoller : public QObject {
    Q_OBJECT

public:
    struct Counters {
        int total = 0; // "Всего устройств"
        int notConnected = 0; // "Нет связи": not online
        int faulty = 0; // "Неисправных": online with faults
        int tampered = 0; // "НСД": online with a housing-opened fault
        int journalAll = 0; // "Всего записей"
        int journalUnseen = 0; // "Актуальных"
    };

    struct Statistics {
        qint64 sent = 0;
        qint64 accepted = 0;
        qint64 acceptedInTime = 0; // accepted less than a second after the request
        qint64 dropped = 0; // finished but not used (error, status, body, no device)
        qint64 overdue = 0; // aborted at the deadline
        qint64 tooLarge = 0; // aborted for the size of the body
        qint64 skipped = 0; // not asked: the previous request was still outstanding
        qint64 openingWaits = 0; // sending waited for the next window of new connections
        // Accepted answers by the time they took: within 50, 100, 250, 500 ms, 1, 2, 3 s.
        static constexpr int answerBounds[] = {50, 100, 250, 500, 1000, 2000, 3000};
        qint64 answeredWithin[std::size(answerBounds)] = {};
        qint64 acceptedMilliseconds = 0; // the time all accepted answers took
        QVector<qint64> tickMicroseconds; // duration of the latest ticks, oldest first
        QVector<qint64> sliceMicroseconds; // duration of the latest request slices
        QVector<qint64> batchMicroseconds; // time to issue each of the latest batches
    };

    static constexpr quint16 defaultStatusPort = NetworkPorts::defaultStatusPort;
    static constexpr int defaultTimeoutMs = 3000;
    static constexpr int defaultTickIntervalMs = 1000;
    // A device silent for more than this many whole seconds (tick intervals) while asked
    // is recorded as lost; it shows as not connected one second earlier.
    static constexpr int lostAfterSeconds = ProjectDevice::onlineSeconds + 1;
    // Requests issued per turn of the event loop at most.
    static constexpr int sliceSize = 250;
    // Connections opened per window at most. A device's first answer costs several times
    // what the following ones do (its events are recorded, its journal looked up): opened
    // all at once, thousands of devices answer faster than they are taken, and the last
    // answers wait in the queue beyond their second. Requests on open connections are not
    // held back.
    static constexpr int openingWindowMs = 100;
    static constexpr int defaultOpeningsPerWindow = 500;

    // Status requests go straight to the devices, never through a proxy. The poller
    // raises the process's soft limit of open files towards its hard limit, since every
    // polled device keeps a connection.
    explicit StatusPoller(QObject *parent = nullptr);
    ~StatusPoller() override;

    // The project whose devices are polled and to which answers are routed; replies
    // arriving after a change go to the new project. May be null.
    void setProject(ProjectModel *project);
    ProjectModel *project() const { return m_project; }
    // A new port closes the connections (requests on their way are dropped).
    void setStatusPort(quint16 port);
    quint16 statusPort() const { return m_port; }
    void setTimeout(int milliseconds);
    // Connections opened per window of openingWindowMs at most (at least 1).
    void setOpeningBudget(int perWindow);
    int timeout() const { return m_timeoutMs; }
    void setMaxBodySize(qint64 bytes) { m_maxBody = bytes; }
    // The interval at which the caller runs tick() (1000 ms). The rules count in it: a
    // shorter interval (tests) makes a whole "second" of the lost rule that long.
    void setTickInterval(int milliseconds) { m_tickMs = qMax(1, milliseconds); }
    int tickInterval() const { return m_tickMs; }
    // The wall clock the poller goes by, in ms since the epoch: the system's unless set
    // (tests set one of their own to let time pass at once).
    void setWallClock(const std::function<qint64()> &clock);

    // Only the devices for which `polled` is true are asked and judged (a site monitor's
    // shards); all devices with Ethernet when not set.
    void setDeviceFilter(const std::function<bool(const ProjectDevice *)> &polled)
    {
        m_filter = polled;
    }

    static QUrl statusUrl(const QString &address, quint16 port);

    // One batch: a status request to every device with Ethernet, in project order,
    // except those with a request outstanding (or still waiting to be issued). Used by
    // the tick and by the search buttons. Returns the number of requests queued; they
    // are issued from the event loop right away.
    int sendRequests();
    // The one-second tick. With `polling` (monitoring mode, "Опрос устройств" checked):
    // one batch, then the lost-connection event for every device with Ethernet silent
    // for more than 10 s. Always: recounts and emits countersChanged().
    void tick(bool polling);

    // Counters as of the last tick, and counted now.
    Counters counters() const { return m_counters; }
    Counters count() const;
    // Whether a device counts as connected now by the rules of this poller (its tick
    // interval and clock): the counters' "Нет связи" are the devices for which it is
    // false. With the defaults the same as ProjectDevice::isOnline().
    bool isOnline(const ProjectDevice *device) const;

    // Requests waiting to be issued or waiting for their answer.
    int outstanding() const { return m_pending.size() + m_queue.size(); }
    bool isOutstanding(const QString &address) const
    {
        return m_pending.contains(address) || m_queued.contains(address);
    }
    // Connections open now (kept between requests or carrying one).
    int openConnections() const;
    const Statistics &statistics() const { return m_statistics; }

signals:
    void countersChanged(const StatusPoller::Counters &counters);
    void statusAccepted(ProjectDevice *device);
    // An answer that was not used; `address` is the one the request went to.
    void replyDropped(const QString &address);

private:
    struct Pending {
        StatusHttpConnection *connection = nullptr;
        qint64 sentAt = 0; // m_clock milliseconds
    };
    enum class Outcome { Answer, Dropped, Overdue, TooLarge };

    // The project's devices with Ethernet, in order; rebuilds the address index.
    QList<ProjectDevice *> indexPolledDevices();
    // Queues a request for `address` unless one is outstanding; false when skipped.
    bool queueRequest(const QString &address);
    void sendSlice();
    // `known`: the address's connection when the caller has it already.
    void sendRequest(const QString &address, StatusHttpConnection *known = nullptr);
    StatusHttpConnection *connectionTo(const QString &address);
    void onFinished(StatusHttpConnection *connection, StatusHttpConnection::Error error);
    // Ends the request to `address`; `body` and `status` only with an answer.
    void conclude(const QString &address, Outcome outcome, int status = 0,
                  const QByteArray &body = QByteArray());
    void closeIdleConnections();
    // Forgets the connections of addresses no longer polled.
    void pruneConnections();
    static void keep(QVector<qint64> &list, qint64 value);
    // The device an answer from `address` belongs to, when the index still holds it.
    ProjectDevice *indexedDevice(const QString &address) const;
    void abortOverdue();
    // Moves the silence of the polled devices on over time in which they were not asked.
    void skipTimeNotAsked(qint64 nowMs, bool polling);
    Counters countAt(qint64 nowMs) const;
    // The answers handled in one pass of the event loop (they arrive in bursts, one per
    // device a second) are stored in one transaction, committed once the loop has
    // nothing else queued: one commit and one journal view update per burst instead of
    // one per answer.
    void holdAnswerBatch();
    void commitAnswerBatch();

    QPointer<ProjectModel> m_project;
    quint16 m_port = defaultStatusPort;
    int m_timeoutMs = defaultTimeoutMs;
    int m_tickMs = defaultTickIntervalMs;
    std::function<qint64()> m_wallClock;
    std::function<bool(const ProjectDevice *)> m_filter;
    qint64 m_lastTickMs = -1; // wall-clock time of the previous tick
    bool m_lastTickPolled = false;
    qint64 m_maxBody;
    QHash<QString, Pending> m_pending; // requests on their way, by address
    QHash<QString, StatusHttpConnection *> m_connections; // owned, by address
    SocketReadiness *m_readiness;
    QList<QString> m_queue; // addresses to ask, in order
    QSet<QString> m_queued;
    QTimer m_sendTimer;
    int m_openingsPerWindow = defaultOpeningsPerWindow;
    qint64 m_openingWindowStart = -1; // m_clock time the current window began
    int m_openedInWindow = 0;
    qint64 m_batchStarted = -1; // m_clock time the current batch was queued
    // First device of the project with Ethernet at each address, as of the last batch.
    QHash<QString, QPointer<ProjectDevice>> m_index;
    // The devices polled and their addresses when the index was built, in order.
    struct Indexed {
        QPointer<ProjectDevice> device;
        QString address;
    };
    QVector<Indexed> m_indexed;
    QElapsedTimer m_clock;
    // Checks the deadline of outstanding requests between ticks as well.
    QTimer m_deadlineTimer;
    std::unique_ptr<DatabaseLog::Transaction> m_answerBatch;
    QTimer m_commitTimer;
    Counters m_counters;
    Statistics m_statistics;
};

Q_DECLARE_METATYPE(StatusPoller::Counters)
