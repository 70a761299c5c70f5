#include "app/journalexportcommand.h"

#include "gui/filedialogs.h"
#include "gui/messageboxes.h"
#include "journal/databaselog.h"
#include "journal/journalexporter.h"
#include "monitor/journaldevices.h"
#include "project/projectmodel.h"

#include <QDebug>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSettings>

namespace {

// The progress dialog appears only for an export that takes longer.
constexpr int progressDelayMs = 500;

} // namespace

JournalExportCommand::JournalExportCommand(QWidget *window, QSettings *settings)
    : QObject(window)
    , m_window(window)
    , m_settings(settings)
{
    connect(&m_job, &JournalExportJob::progress, this, &JournalExportCommand::showProgress);
    connect(&m_job, &JournalExportJob::finished, this, &JournalExportCommand::finish);
}

JournalExportCommand::~JournalExportCommand()
{
    m_job.cancel();
    delete m_progress;
}

void JournalExportCommand::run(ProjectModel *project, const JournalFilter *filter)
{
    if (!project || !project->logDb || m_job.isRunning())
        return;
    // An empty journal is said to be so, and no file is written for it. (The history's
    // export is offered only while its filter shows records.)
    if (!filter && project->logDb->eventCount(2) == 0) {
        MessageBoxes::information(m_window, QStringLiteral("Экспорт журнала"),
                                  QStringLiteral("Нет записей для экспорта"));
        return;
    }
    const QString folder =
        m_settings->value(QStringLiteral("paths/savelogpath"), QString()).toString();
    const QString fileName = FileDialogs::saveFile(
        m_window, QStringLiteral("journalFileDialog"), QStringLiteral("Сохранить журнал БД..."),
        JournalExporter::proposedFileName(folder, QDate::currentDate()),
        QStringLiteral("Файлы Excel (*.xlsx)"));
    if (fileName.isEmpty())
        return;
    qDebug().noquote() << QStringLiteral("Selected db xlsx file ") + fileName;
    const QFileInfo info(fileName);
    m_settings->setValue(QStringLiteral("paths/savelogpath"), info.absolutePath());

    // The export reads the file: what is still kept in memory goes in first.
    project->logDb->flush();
    m_fileName = fileName;
    m_job.start(project->logDb->location().isPostgres()
                    ? project->logDb->fileName()
                    : QFileInfo(project->logDb->fileName()).absoluteFilePath(),
                JournalDevices::snapshot(project), fileName, QDateTime::currentDateTime(), filter);

    m_progress = new QProgressDialog(QStringLiteral("Экспорт журнала в файл ") + info.fileName() +
                                         QStringLiteral("..."),
                                     QStringLiteral("Отмена"), 0, 100, m_window);
    m_progress->setObjectName(QStringLiteral("journalExportProgress"));
    m_progress->setWindowTitle(QStringLiteral("Экспорт журнала"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setMinimumDuration(progressDelayMs);
    m_progress->setValue(0);
    connect(m_progress, &QProgressDialog::canceled, &m_job, &JournalExportJob::cancel);
}

void JournalExportCommand::showProgress(qint64 done, qint64 total)
{
    if (!m_progress)
        return;
    if (total > 0)
        m_progress->setValue(int(qBound<qint64>(0, done * 100 / total, 100)));
    else
        m_progress->setRange(0, 0); // a filtered export does not know its total
}

void JournalExportCommand::finish(int result, qint64 records, const QString &error)
{
    const bool cancelled = m_progress && m_progress->wasCanceled();
    delete m_progress;
    const auto outcome = JournalExporter::Result(result);
    qDebug().noquote() << "Journal export:" << records << "events" << error;
    if (outcome == JournalExporter::Result::Cancelled || cancelled)
        return;
    if (outcome != JournalExporter::Result::Written) {
        MessageBoxes::error(m_window, QStringLiteral("Ошибка при создании файла."));
        return;
    }
    MessageBoxes::done(m_window,
                       QStringLiteral("Журнал сохранён в файл ") +
                           QFileInfo(m_fileName).fileName() + QLatin1Char('.'));
}
