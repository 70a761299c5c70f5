#include "link/cdcusbsession.h"

#include "link/cdcusbprocess.h"
#include "link/linklog.h"
#include "project/portdescription.h"

#include <QByteArray>
#include <QThread>

#include <cstdint>

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

void CdcUsbSession::start()
{
    if (started || !m_thread)
        return;
    started = true;
    m_thread->start(QThread::InheritPriority);
}

bool CdcUsbSession::stopAndWait(int ms)
{
    if (!started)
        return true;
    emit stopDevice();
    return !m_thread || m_thread->wait(ulong(qMax(ms, 0)));
}
