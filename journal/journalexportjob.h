#pragma once

#include "journal/exportdevice.h"
#include "journal/journalfilter.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>

class QThread;

// One journal export on a thread of its own, driven from the user interface thread:
// the event database is read over a connection of the export's own, so that polling and
// the journal go on while it runs. The spreadsheet is put at its path only when it is
// complete and the export was not cancelled; a cancelled export leaves nothing there.
class JournalExportJob : public QObject {
    Q_OBJECT

public:
    explicit JournalExportJob(QObject *parent = nullptr);
    // Cancels a running export and waits for its thread.
    ~JournalExportJob() override;

    // Starts exporting the database file `databasePath` to `path`; false while another
    // export of this job runs.
    // With a `filter`, only the events it matches (the history's export).
    bool start(const QString &databasePath, const ExportDevices &devices, const QString &path,
               const QDateTime &created = QDateTime::currentDateTime(),
               const JournalFilter *filter = nullptr);
    // Asks the running export to stop; finished() follows with Cancelled. Whatever the
    // export had written so far is removed.
    void cancel();
    bool isRunning() const { return m_thread != nullptr; }

signals:
    void progress(qint64 done, qint64 total);
    // `result` is a JournalExporter::Result: Written when the file is in place.
    void finished(int result, qint64 records, const QString &error);

private:
    void workerDone(int result, qint64 records, const QString &error);
    void stopThread();

    QThread *m_thread = nullptr;
    QString m_path;
    // Written by the worker, read once its thread has ended.
    QString m_temporaryPath;
    std::atomic_bool m_cancel {false};
};
