#include "link/cdcusbsession.h"

#include "link/cdcusbprocess.h"
#include "link/linklog.h"
#include "project/portdescription.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cstdint>

namespace {

// Every worker whose thread was started and that has not been destroyed yet, and the
// threads themselves. Workers are destroyed on their own threads; the threads belong to
// the thread that creates the sessions, which alone touches the thread list.
struct Running {
    QMutex mutex;
    QSet<CdcUsbProcess *> workers;
    QList<QPointer<QThread>> threads;
};

Running &running()
{
    static Running registry;
    return registry;
}

} // namespace

CdcUsbSession::CdcUsbSession(const ProjectDevice *device, quint16 commandPort, QObject *parent)
    : QObject(parent)
    , m_worker(new CdcUsbProcess(device, commandPort))
    , m_thread(new QThread)
{
    // Flashing signals carry uint32_t and downloads a buffer pointer across threads.
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<QByteArray *>("QByteArray*");
    qRegisterMetaType<PortDescription>();

    QThread *thread = m_thread;
    CdcUsbProcess *worker = m_worker;
    worker->moveToThread(thread);
    connect(thread, &QThread::started, worker, &CdcUsbProcess::deviceWorker);
    // quit() is thread-safe; called directly so that a thread waiting in stopAndWait() is
    // not needed to deliver it.
    connect(worker, &CdcUsbProcess::finished, thread, &QThread::quit, Qt::DirectConnection);
    connect(this, &CdcUsbSession::stopDevice, worker, &CdcUsbProcess::stop);
    connect(worker, &CdcUsbProcess::finished, worker, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    qCDebug(lcLink) << "CdcUsbSession";
}

CdcUsbSession::~CdcUsbSession()
{
    qCDebug(lcLink) << "~CdcUsbSession";
    if (!started) {
        // Nothing runs yet: nobody else would ever delete them.
        delete m_worker.data();
        delete m_thread.data();
        return;
    }
    emit stopDevice();
}

CdcUsbProcess *CdcUsbSession::worker() const
{
    return m_worker;
}

void CdcUsbSession::start()
{
    if (started || !m_thread || !m_worker)
        return;
    started = true;
    Running &registry = running();
    {
        QMutexLocker lock(&registry.mutex);
        registry.workers.insert(m_worker);
        registry.threads.erase(std::remove_if(registry.threads.begin(), registry.threads.end(),
                                              [](const QPointer<QThread> &thread) {
                                                  return !thread || thread->isFinished();
                                              }),
                               registry.threads.end());
        registry.threads.append(m_thread);
    }
    // Called on the worker's thread when its loop has ended, before it can be deleted:
    // from then on nobody stops it any more. (While stopAllAndWait() holds the lock, a
    // worker it stops cannot be deleted.)
    CdcUsbProcess *worker = m_worker;
    connect(
        worker, &CdcUsbProcess::finished, worker,
        [worker] {
            Running &registry = running();
            QMutexLocker lock(&registry.mutex);
            registry.workers.remove(worker);
        },
        Qt::DirectConnection);
    m_thread->start(QThread::InheritPriority);
}

bool CdcUsbSession::stopAndWait(int ms)
{
    if (!started)
        return true;
    emit stopDevice();
    return !m_thread || m_thread->wait(ulong(qMax(ms, 0)));
}

int CdcUsbSession::stopAllAndWait(int ms)
{
    Running &registry = running();
    QList<QPointer<QThread>> threads;
    {
        QMutexLocker lock(&registry.mutex);
        for (CdcUsbProcess *worker : qAsConst(registry.workers)) {
            worker->cancelFileWrite();
            worker->cancelFileRead();
            QMetaObject::invokeMethod(worker, &CdcUsbProcess::stop, Qt::QueuedConnection);
        }
        threads = registry.threads;
    }
    const QDeadlineTimer deadline(qMax(ms, 0));
    int left = 0;
    for (const QPointer<QThread> &thread : qAsConst(threads)) {
        if (thread && !thread->wait(deadline))
            ++left;
    }
    if (left > 0)
        qCWarning(lcLink) << left << "device link thread(s) still running after" << ms << "ms";
    return left;
}

int CdcUsbSession::runningThreads()
{
    Running &registry = running();
    QMutexLocker lock(&registry.mutex);
    int count = 0;
    for (const QPointer<QThread> &thread : qAsConst(registry.threads))
        count += thread && thread->isRunning() ? 1 : 0;
    return count;
}
