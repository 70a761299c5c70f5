// The audio files of AudioDeviceWindow: the folder listing, the configuration file with the
// signal assignments, uploads, deleting, erasing and formatting.

#include "devices/audiodevicewindow.h"

#include "devices/audiofiletable.h"
#include "gui/filedialogs.h"
#include "jobs/filedownloadjob.h"
#include "jobs/filelistjob.h"
#include "jobs/fileuploadjob.h"
#include "link/amodule.h"
#include "link/connectiondevice.h"
#include "link/devicepaths.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

namespace {

// A warning with two buttons of the caller's; true when the first was clicked.
bool confirmWarning(QWidget *parent, const QString &title, const QString &text, const QString &yes,
                    const QString &no)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    QPushButton *accept = box.addButton(yes, QMessageBox::AcceptRole);
    QPushButton *reject = box.addButton(no, QMessageBox::RejectRole);
    box.setDefaultButton(reject);
    box.setEscapeButton(reject);
    box.exec();
    return box.clickedButton() == accept;
}

QString unsendableName(const QString &name)
{
    return QStringLiteral("Имя файла «%1» нельзя передать устройству: в нём есть управляющие "
                          "символы или символы, которых нет в кодировке Windows-1251.")
        .arg(name);
}

} // namespace

// ---- Listing and configuration ----

void AudioDeviceWindow::on_pushButtonReadAudiofileList_clicked()
{
    refreshFiles();
}

void AudioDeviceWindow::refreshFiles()
{
    if (!linked())
        return;
    fileTable->clear();
    w.fileCount->setText(QStringLiteral("Количество файлов: 0"));
    w.applyAssigns->setEnabled(false);
    updateFileButtons();
    requestFileList();
    requestConfig();
}

void AudioDeviceWindow::requestFileList()
{
    // One listing at a time; a refresh asked for meanwhile follows its answer.
    if (listOutstanding) {
        listWanted = true;
        return;
    }
    if (amodule->getParam(QStringLiteral("FILE_LIST ") + DevicePaths::audioFolder) ==
        Amodule::Queued)
        listOutstanding = true;
}

void AudioDeviceWindow::requestConfig()
{
    // One download at a time: a download job takes every block of its file.
    if (configJob) {
        configWanted = true;
        return;
    }
    configJob = new FileDownloadJob(amodule, DevicePaths::configFile, this);
    connect(configJob, &DeviceJob::finished, this,
            [this](const DeviceJob::Result &result) { onConfigDownloaded(result); });
    configJob->start();
}

void AudioDeviceWindow::showFileList(const QString &answer)
{
    fileTable->setRows(DevicePaths::rows(FileListing::parse(DevicePaths::audioFolder, answer)));
    if (configLoaded)
        fileTable->showAssignments(config);
    w.fileCount->setText(QStringLiteral("Количество файлов: %1").arg(fileTable->fileCount()));
    w.applyAssigns->setEnabled(false);
    updateFileButtons();
}

void AudioDeviceWindow::onConfigDownloaded(const DeviceJob::Result &result)
{
    FileDownloadJob *job = configJob;
    configJob = nullptr;
    if (job) {
        // A device that refuses to open the file has none (a formatted flash): its
        // configuration starts empty. Any other failure leaves the file unknown, and the
        // assignments are not written until it has been read.
        const bool absent =
            result.status == DeviceJob::Status::Failed && result.step == FileDownloadJob::Open;
        if (result.ok() || absent) {
            config.setDownloaded(absent ? QByteArray() : job->content());
            configLoaded = true;
            fileTable->showAssignments(config);
            w.applyAssigns->setEnabled(false);
        } else {
            configLoaded = false;
            qDebug().noquote() << "config.ini not read:" << result.message;
        }
        job->deleteLater();
    }
    if (configWanted) {
        configWanted = false;
        requestConfig();
    }
    updateProgress();
}

void AudioDeviceWindow::updateFileButtons()
{
    w.deleteFile->setEnabled(!fileTable->selectedDevicePath().isEmpty());
}

void AudioDeviceWindow::on_tableAudioFiles_itemSelectionChanged()
{
    updateFileButtons();
}

void AudioDeviceWindow::on_tableAssign_changed(int row)
{
    Q_UNUSED(row)
    w.applyAssigns->setEnabled(true);
}

void AudioDeviceWindow::on_pushButtonApplyAssigns_clicked()
{
    if (!linked()) {
        showError(QStringLiteral("Назначения не записаны: устройство не подключено."));
        return;
    }
    // Only the assignments change: every other line of the device's file stays as it is.
    if (!configLoaded) {
        showError(QStringLiteral("Назначения не записаны: файл конфигурации устройства не "
                                 "прочитан. Прочитайте список файлов ещё раз."));
        return;
    }
    QByteArray bytes;
    QString error;
    QStringList paths;
    for (int signal = 1; signal <= fileTable->signalCount(); ++signal)
        paths << fileTable->assignedPath(signal);
    if (!config.compose(paths, &bytes, &error)) {
        qDebug().noquote() << "Assignments not composed:" << error;
        showError(QStringLiteral("Назначения не записаны: имя назначенного файла нельзя "
                                 "записать в файл конфигурации устройства."));
        return;
    }
    startUpload(DevicePaths::configFile, bytes, QStringLiteral("Запись назначений..."),
                Upload::Config);
}

// ---- Uploads ----

void AudioDeviceWindow::on_pushButtonLoadCustomFile_clicked()
{
    if (!linked()) {
        showError(QStringLiteral("Файл не записан: устройство не подключено."));
        return;
    }
    if (uploadJob)
        return;
    QString folder;
    if (settings())
        folder = settings()->value(QStringLiteral("paths/audiofilespath"), QString()).toString();
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    const QString path = FileDialogs::openFile(this, QStringLiteral("fileDialogAudioFile"),
                                               QStringLiteral("Загрузить файл"), folder,
                                               QStringLiteral("Звуковые файлы (*.wav *.mp3)"));
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (settings())
        settings()->setValue(QStringLiteral("paths/audiofilespath"), info.absolutePath());
    QByteArray data;
    QString error;
    if (FileUploadJob::readLocalFile(path, &data, &error) != FileUploadJob::LocalFileError::None) {
        qDebug().noquote() << error;
        showError(QStringLiteral("Ошибка при открытии файла."));
        return;
    }
    startUpload(DevicePaths::audioFile(info.fileName()), data,
                QStringLiteral("Запись аудиофайла..."), Upload::Audio);
}

bool AudioDeviceWindow::startUpload(const QString &devicePath, const QByteArray &data,
                                    const QString &label, Upload kind)
{
    if (!linked()) {
        showError(QStringLiteral("Файл не записан: устройство не подключено."));
        return false;
    }
    if (uploadJob) {
        showError(QStringLiteral("Файл не записан: идёт запись другого файла."));
        return false;
    }
    if (!ConnectionDevice::isWireText(devicePath)) {
        showError(unsendableName(devicePath));
        return false;
    }
    uploadJob = new FileUploadJob(amodule, devicePath, data, this);
    uploadKind = kind;
    connect(uploadJob, &DeviceJob::progress, this,
            [this](qint64 done, qint64 total) { setWindowTransferProgress(done, total); });
    connect(uploadJob, &DeviceJob::finished, this,
            [this, kind](const DeviceJob::Result &result) { onUploadFinished(kind, result); });
    beginWindowTransfer(label, data.size());
    uploadJob->start();
    return true;
}

void AudioDeviceWindow::onUploadFinished(Upload kind, const DeviceJob::Result &result)
{
    if (uploadJob)
        uploadJob->deleteLater();
    uploadJob = nullptr;
    uploadKind = Upload::None;
    endWindowTransfer();
    qDebug().noquote() << "Upload:" << result.message;
    if (closingAfterCancel) {
        close();
        return;
    }
    switch (result.status) {
    case DeviceJob::Status::Done:
        if (kind == Upload::Audio && traits.fileRefreshDelayMs > 0)
            QTimer::singleShot(traits.fileRefreshDelayMs, this, [this] { refreshFiles(); });
        else if (kind == Upload::Audio)
            refreshFiles();
        else if (kind == Upload::Config)
            requestConfig();
        else if (kind == Upload::Keys)
            showInformation(QStringLiteral("Выполнено"),
                            QStringLiteral("Конфигурация кнопок записана в устройство."));
        return;
    case DeviceJob::Status::Cancelled:
        showError(QStringLiteral("Отмена записи файла."));
        return;
    case DeviceJob::Status::Failed:
        showError(result.step == FileUploadJob::Create ? QStringLiteral("Ошибка создания файла.")
                                                       : QStringLiteral("Ошибка записи файла."));
        return;
    case DeviceJob::Status::LinkLost:
        showError(QStringLiteral("Ошибка записи файла: связь с устройством потеряна."));
        return;
    }
}

// ---- Deleting, erasing, formatting ----

void AudioDeviceWindow::on_pushButtonDeleteAudioFile_clicked()
{
    const QString path = fileTable->selectedDevicePath();
    if (path.isEmpty())
        return;
    if (!linked()) {
        showError(QStringLiteral("Файл не удалён: устройство не подключено."));
        return;
    }
    const int sent = amodule->sendCommand(QStringLiteral("SET FILE_DELETE ") + path);
    if (sent == Amodule::TextRefused)
        showError(unsendableName(path));
    else if (sent == Amodule::Queued)
        ++deletionsOutstanding;
}

void AudioDeviceWindow::on_pushButtonEraseAllAudioFiles_clicked()
{
    if (!confirmWarning(
            this, QStringLiteral("Удаление файлов"),
            QStringLiteral("Все звуковые файлы в устройстве будут удалены.\nВы уверены?"),
            QStringLiteral("Да, стереть"), QStringLiteral("Отмена")))
        return;
    if (!linked()) {
        showError(QStringLiteral("Файлы не удалены: устройство не подключено."));
        return;
    }
    amodule->sendCommand(QStringLiteral("SET DIR_CLEAR ") + DevicePaths::audioFolder);
}

void AudioDeviceWindow::on_pushButtonWriteCardFormatting_clicked()
{
    if (!confirmWarning(
            this, QStringLiteral("Форматирование энергонезависимой памяти"),
            QStringLiteral("Память будет отформатирована.\nВсе файлы будут удалены.\nВы уверены?"),
            QStringLiteral("Да, отформатировать"), QStringLiteral("Отмена")))
        return;
    // The folder and the storage state are read again whatever the answer.
    startWrites({{QStringLiteral("desc_NorFormatCmd"), QStringLiteral("1"),
                  QStringLiteral("Форматирование памяти"), nullptr}},
                QStringLiteral("Память отформатирована."), [this] {
                    refreshFiles();
                    pollStatus();
                });
}
