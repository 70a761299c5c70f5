#include "journal/journalexportworker.h"

#include "journal/journalexporter.h"

JournalExportWorker::JournalExportWorker(const QString &databasePath, const ExportDevices &devices,
                                         const QString &path, const QDateTime &created,
                                         const std::atomic_bool *cancel, QString *temporaryPath,
                                         const JournalFilter *filter)
    : m_databasePath(databasePath)
    , m_devices(devices)
    , m_path(path)
    , m_created(created)
    , m_cancel(cancel)
    , m_temporaryPath(temporaryPath)
    , m_filtered(filter != nullptr)
    , m_filter(filter ? *filter : JournalFilter())
{
}

void JournalExportWorker::run()
{
    const JournalExporter::Outcome outcome = JournalExporter::write(
        m_databasePath, m_devices, m_path, m_created, m_cancel,
        [this](qint64 done, qint64 total) { emit progress(done, total); },
        JournalExporter::defaultPageSize, m_filtered ? &m_filter : nullptr);
    *m_temporaryPath = outcome.temporaryPath;
    emit done(int(outcome.result), outcome.records, outcome.error);
}
