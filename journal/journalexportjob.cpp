#include "journal/journalexportjob.h"

#include "journal/journalexporter.h"
#include "journal/journalexportworker.h"

#include <QThread>

JournalExportJob::JournalExportJob(QObject *parent)
    : QObject(parent)
{
}

JournalExportJob::~JournalExportJob()
{
    m_cancel = true;
    stopThread();
    // An export that ended before its result was taken leaves no file behind.
    JournalExporter::discard(m_temporaryPath);
}

bool JournalExportJob::start(const QString &databasePath, const ExportDevices &devices,
                             const QString &path, const QDateTime &created,
                             const JournalFilter *filter)
{
    if (m_thread)
        return false;
    m_cancel = false;
    m_path = path;
    m_temporaryPath.clear();
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("journal export"));
    auto *worker = new JournalExportWorker(databasePath, devices, path, created, &m_cancel,
                                           &m_temporaryPath, filter);
    worker->moveToThread(m_thread);
    connect(m_thread, &QThread::started, worker, &JournalExportWorker::run);
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &JournalExportWorker::progress, this, &JournalExportJob::progress);
    connect(worker, &JournalExportWorker::done, this, &JournalExportJob::workerDone);
    m_thread->start();
    return true;
}

void JournalExportJob::cancel()
{
    m_cancel = true;
}

void JournalExportJob::stopThread()
{
    if (!m_thread)
        return;
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

void JournalExportJob::workerDone(int result, qint64 records, const QString &error)
{
    stopThread();
    const QString temporaryPath = m_temporaryPath;
    m_temporaryPath.clear();
    auto outcome = JournalExporter::Result(result);
    QString reason = error;
    // The decision to keep the file is taken here, on this thread: a cancel that came
    // before this point always wins, even over an export that had already finished.
    if (outcome == JournalExporter::Result::Written && m_cancel) {
        JournalExporter::discard(temporaryPath);
        outcome = JournalExporter::Result::Cancelled;
    } else if (outcome == JournalExporter::Result::Written &&
               !JournalExporter::commit(temporaryPath, m_path)) {
        outcome = JournalExporter::Result::CannotWrite;
        reason = QStringLiteral("cannot write %1").arg(m_path);
    }
    emit finished(int(outcome), records, reason);
}
