#include "devices/devicebackupmenu.h"

#include "devices/audiodevicewindow.h"
#include "devices/backupdiffdialog.h"
#include "devices/basedevicewindow.h"
#include "gui/filedialogs.h"
#include "gui/jobfailuretext.h"
#include "gui/messageboxes.h"
#include "jobs/devicebackupjob.h"
#include "jobs/devicerestorejob.h"
#include "link/amodule.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"

#include <QAction>
#include <QDate>
#include <QDebug>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>

namespace {

const char filter[] = "Конфигурация устройства (*.json)";

} // namespace

DeviceBackupMenu::DeviceBackupMenu(BaseDeviceWindow *window)
    : QObject(window)
    , window(window)
{
    setObjectName(QStringLiteral("DeviceBackupMenu"));
    menu = window->menuBar()->addMenu(QStringLiteral("Конфигурация"));
    menu->setObjectName(QStringLiteral("menuConfiguration"));
    save = menu->addAction(QStringLiteral("Сохранить конфигурацию в файл..."));
    save->setObjectName(QStringLiteral("actionSaveConfiguration"));
    restore = menu->addAction(QStringLiteral("Восстановить из файла..."));
    restore->setObjectName(QStringLiteral("actionRestoreConfiguration"));
    connect(save, &QAction::triggered, this, [this] { saveToFile(); });
    connect(restore, &QAction::triggered, this, [this] { restoreFromFile(); });
    Amodule *module = window->facade();
    connect(module, &Amodule::connected, this, [this] { updateActions(); });
    connect(module, &Amodule::disconnected, this, [this] { updateActions(); });
    updateActions();
}

void DeviceBackupMenu::updateActions()
{
    const bool ready = window->facade()->isConnected() && window->isIdentified() && !running;
    save->setEnabled(ready);
    restore->setEnabled(ready);
}

void DeviceBackupMenu::track(DeviceJob *job, const QString &label)
{
    running = job;
    updateActions();
    // The window's progress dialog, as for its own transfers; its "Отмена" cancels the job.
    window->beginWindowTransfer(label, 0);
    connect(window->progressDialog(), &QProgressDialog::canceled, job, &DeviceJob::cancel);
    connect(job, &DeviceJob::progress, this, [this](qint64 done, qint64 total) {
        window->setWindowTransferProgress(qMin(done, total), total);
    });
}

void DeviceBackupMenu::untrack()
{
    if (running) {
        disconnect(window->progressDialog(), nullptr, running.data(), nullptr);
        running->deleteLater();
    }
    running = nullptr;
    window->endWindowTransfer();
    updateActions();
}

void DeviceBackupMenu::saveToFile()
{
    if (running || !window->facade()->isConnected())
        return;
    const ProjectDevice *device = window->projectDevice();
    const QString proposal =
        QDir::home().filePath(QStringLiteral("%1_%2_%3.json")
                                  .arg(deviceTypeKey(device->type))
                                  .arg(device->serial)
                                  .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    const QString path = FileDialogs::saveFile(
        window, QStringLiteral("fileDialogSaveConfiguration"),
        QStringLiteral("Сохранить конфигурацию в файл"), proposal, QString::fromUtf8(filter));
    if (path.isEmpty() || running || !window->facade()->isConnected())
        return;
    auto *job = new DeviceBackupJob(window->facade(), this);
    connect(job, &DeviceJob::finished, this,
            [this, path](const DeviceJob::Result &result) { saved(result, path); });
    track(job, QStringLiteral("Чтение конфигурации..."));
    job->start();
}

void DeviceBackupMenu::saved(const DeviceJob::Result &result, const QString &path)
{
    auto *job = qobject_cast<DeviceBackupJob *>(running.data());
    const DeviceBackup read = job ? job->backup() : DeviceBackup();
    untrack();
    qDebug().noquote() << "Backup:" << result.message;
    if (!result.ok()) {
        MessageBoxes::error(window,
                            QStringLiteral("Конфигурация не сохранена: её не удалось "
                                           "прочитать из устройства.\n%1")
                                .arg(JobFailureText::backup(result)));
        return;
    }
    QString error;
    if (!read.save(path, &error)) {
        MessageBoxes::error(
            window, QStringLiteral("Конфигурация не сохранена: файл %1 не записан.").arg(path));
        return;
    }
    MessageBoxes::done(window, QStringLiteral("Конфигурация сохранена в файл %1.").arg(path));
}

void DeviceBackupMenu::restoreFromFile()
{
    if (running || !window->facade()->isConnected())
        return;
    const QString path = FileDialogs::openFile(
        window, QStringLiteral("fileDialogRestoreConfiguration"),
        QStringLiteral("Восстановить из файла"), QDir::homePath(), QString::fromUtf8(filter));
    if (path.isEmpty() || running || !window->facade()->isConnected())
        return;
    QString error;
    if (!DeviceBackup::load(path, &backup, &error)) {
        qDebug().noquote() << "Restore file refused:" << error;
        MessageBoxes::error(window,
                            QStringLiteral("Файл %1 не подходит для восстановления: это не "
                                           "сохранённая конфигурация устройства, или её не "
                                           "удалось прочитать.")
                                .arg(path));
        return;
    }
    backupPath = path;
    // First only read and compare: the user sees what would be written.
    auto *job = new DeviceRestoreJob(window->facade(), backup, this);
    job->setDryRun(true);
    connect(job, &DeviceJob::finished, this, &DeviceBackupMenu::compared);
    track(job, QStringLiteral("Сравнение конфигурации..."));
    job->start();
}

void DeviceBackupMenu::compared(const DeviceJob::Result &result)
{
    auto *job = qobject_cast<DeviceRestoreJob *>(running.data());
    if (!job)
        return;
    const QList<DeviceRestoreJob::Difference> differences = job->differences();
    const bool refusedType = job->refusedType();
    const bool otherSerial = job->otherSerial();
    const quint32 serial = job->deviceSerial();
    untrack();
    qDebug().noquote() << "Restore comparison:" << result.message;
    if (refusedType) {
        MessageBoxes::error(window,
                            QStringLiteral("Файл содержит конфигурацию другого типа устройства "
                                           "(%1). Ничего не записано.")
                                .arg(deviceTypeName(backup.typeCode)));
        return;
    }
    if (!result.ok()) {
        MessageBoxes::error(window,
                            QStringLiteral("Конфигурацию устройства не удалось прочитать. "
                                           "Ничего не записано.\n%1")
                                .arg(JobFailureText::restore(result)));
        return;
    }
    if (otherSerial &&
        !MessageBoxes::confirm(window, QStringLiteral("Восстановление конфигурации"),
                               QStringLiteral("Файл сохранён с устройства № %1, а подключено "
                                              "устройство № %2.\nВосстановить конфигурацию в "
                                              "это устройство?")
                                   .arg(backup.serial)
                                   .arg(serial)))
        return;
    if (differences.isEmpty()) {
        MessageBoxes::information(window, QStringLiteral("Восстановление конфигурации"),
                                  QStringLiteral("Конфигурация устройства совпадает с файлом. "
                                                 "Ничего не записано."));
        return;
    }
    BackupDiffDialog dialog(differences,
                            QStringLiteral("В устройство будут записаны отличия от файла %1 "
                                           "(%2):")
                                .arg(backupPath)
                                .arg(differences.size()),
                            window);
    if (dialog.exec() != QDialog::Accepted || !window->facade()->isConnected())
        return;
    auto *restoreJob = new DeviceRestoreJob(window->facade(), backup, this);
    restoreJob->setAllowOtherSerial(otherSerial);
    connect(restoreJob, &DeviceJob::finished, this, &DeviceBackupMenu::restored);
    track(restoreJob, QStringLiteral("Запись конфигурации..."));
    restoreJob->start();
}

void DeviceBackupMenu::restored(const DeviceJob::Result &result)
{
    auto *job = qobject_cast<DeviceRestoreJob *>(running.data());
    const int written = job ? job->writtenCount() : 0;
    untrack();
    qDebug().noquote() << "Restore:" << result.message;
    if (!result.ok()) {
        MessageBoxes::error(window,
                            QStringLiteral("Конфигурация восстановлена не полностью: "
                                           "записано отличий: %1.\n%2")
                                .arg(written)
                                .arg(JobFailureText::restore(result)));
        return;
    }
    MessageBoxes::done(
        window, QStringLiteral("Конфигурация восстановлена: записано отличий: %1.").arg(written));
    // The window shows what the device holds now.
    auto *audio = qobject_cast<AudioDeviceWindow *>(window);
    if (audio && written > 0 && window->facade()->isConnected())
        audio->on_pushButtonReadAll_clicked();
}
