#pragma once

#include "journal/exportdevice.h"
#include "journal/journalfilter.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>

// Runs one journal export on the thread it was moved to (JournalExportJob starts it):
// reads the event database over its own read-only connection, writes the spreadsheet
// into a temporary file and reports through queued signals. It never touches a project.
class JournalExportWorker : public QObject {
    Q_OBJECT

public:
    JournalExportWorker(const QString &databasePath, const ExportDevices &devices,
                        const QString &path, const QDateTime &created,
                        const std::atomic_bool *cancel, QString *temporaryPath,
                        const JournalFilter *filter = nullptr);

public slots:
    void run();

signals:
    void progress(qint64 done, qint64 total);
    // `result` is a JournalExporter::Result. When it is Written, the complete spreadsheet
    // is in the temporary file named through the pointer given at construction, to be
    // read once the thread has ended.
    void done(int result, qint64 records, const QString &error);

private:
    QString m_databasePath;
    ExportDevices m_devices;
    QString m_path;
    QDateTime m_created;
    const std::atomic_bool *m_cancel;
    QString *m_temporaryPath;
    // A copy: the caller's filter may change while the export runs.
    bool m_filtered = false;
    JournalFilter m_filter;
};
