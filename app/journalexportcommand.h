#pragma once

#include "journal/journalexportjob.h"

#include <QObject>
#include <QPointer>
#include <QString>

class ProjectModel;
class QProgressDialog;
class QSettings;
class QWidget;

// "Экспорт..." of the journal tab: asks for a spreadsheet file, proposing one in the
// folder last used, and writes the project's event database into it on a thread of its
// own while a progress dialog (which can cancel it) is shown; polling and the journal go
// on meanwhile. Reports the result in a message box.
class JournalExportCommand : public QObject {
    Q_OBJECT

public:
    JournalExportCommand(QWidget *window, QSettings *settings);
    // A running export is cancelled; it leaves no file behind.
    ~JournalExportCommand() override;

    // Asks for the file and starts the export; returns at once. Nothing happens while an
    // export runs.
    // With a `filter`, only the records it matches (the history's export).
    void run(ProjectModel *project, const JournalFilter *filter = nullptr);
    bool isRunning() const { return m_job.isRunning(); }

private:
    void showProgress(qint64 done, qint64 total);
    void finish(int result, qint64 records, const QString &error);

    QWidget *m_window;
    QSettings *m_settings;
    JournalExportJob m_job;
    QPointer<QProgressDialog> m_progress;
    QString m_fileName;
};
