#include "devices/firmwareupdatewindow.h"
#include "ui_bootloaderform.h"

#include "gui/filedialogs.h"
#include "gui/messageboxes.h"
#include "jobs/firmwareupdatejob.h"
#include "link/amodule.h"
#include "project/devicetype.h"
#include "project/firmwarecatalogue.h"
#include "project/firmwareimage.h"
#include "project/projectdevice.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char addFileText[] = "Добавить файл...";
const char badFileText[] = "Файл отсутствует или некорректный формат файла.";
const char verifiedText[] = "Верификация завершена";

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString hex(uint32_t address)
{
    return QStringLiteral("0x") + QString::number(address, 16);
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

QString problemText(FirmwareUpdateJob::ImageProblem problem, uint32_t base, int size)
{
    switch (problem) {
    case FirmwareUpdateJob::ImageProblem::Empty:
        return u("Файл прошивки не содержит данных.");
    case FirmwareUpdateJob::ImageProblem::Misaligned:
        return u("Адрес начала прошивки %1 не совпадает с началом сектора памяти устройства.")
            .arg(hex(base));
    case FirmwareUpdateJob::ImageProblem::PastFlash:
        return u("Прошивка (%1 байт с адреса %2) выходит за пределы памяти устройства.")
            .arg(size)
            .arg(hex(base));
    case FirmwareUpdateJob::ImageProblem::None:
        break;
    }
    return QString();
}

} // namespace

FirmwareUpdateWindow::FirmwareUpdateWindow(ProjectDevice *device,
                                           const DeviceWindowContext &context)
    : BaseDeviceWindow(device, context)
    , ui(new Ui::BootloaderForm)
    , form(new QWidget)
{
    setObjectName(QStringLiteral("FirmwareUpdateWindow"));
    setWindowTitle(u("Обновление ПО"));
    ui->setupUi(form);
    auto *layout = new QVBoxLayout(centralArea());
    layout->addWidget(form);
    ui->comboBoxSelectFirmware->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    adjustSize();
    // Wide enough for the notice to keep to a few lines.
    resize(qMax(width(), 600), height());

    ui->progressBar->setMaximum(100);
    ui->progressBar->reset();
    ui->progressBar->setValue(0);
    // Chosen by the user, also when the list holds the one item "Добавить файл...".
    connect(ui->comboBoxSelectFirmware, QOverload<int>::of(&QComboBox::activated), this,
            &FirmwareUpdateWindow::firmwareChosen);
    connect(ui->comboBoxSelectFirmware, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { setControlsEnabled(!job); });
    connect(ui->pushButtonStartFirmwareUpdate, &QPushButton::clicked, this,
            &FirmwareUpdateWindow::startClicked);
    fillFirmwareList();
    guardCommands();
}

FirmwareUpdateWindow::~FirmwareUpdateWindow()
{
    // Before the facade goes: a deleted job stops its work on the device and says nothing.
    delete job.data();
    delete ui;
}

QString FirmwareUpdateWindow::firmwareFolder() const
{
    const QString configured = settings()
        ? settings()->value(QStringLiteral("paths/firmwarefolder")).toString()
        : QString();
    return configured.isEmpty() ? FirmwareCatalogue::defaultFolder() : configured;
}

void FirmwareUpdateWindow::setTimings(int bootWait, int idle, int deadline)
{
    bootWaitMs = bootWait;
    idleMs = idle;
    deadlineMs = deadline;
}

void FirmwareUpdateWindow::fillFirmwareList(const QString &path)
{
    QComboBox *combo = ui->comboBoxSelectFirmware;
    const QSignalBlocker blocker(combo);
    combo->clear();
    const QString wanted = path.isEmpty() ? QString() : canonical(path);
    int selected = 0;
    // The files named for the device's type first, then those named for no type, then the
    // other devices' (which are flashed only after a question).
    QList<QPair<QString, QString>> entries = FirmwareCatalogue::scan(firmwareFolder());
    const QString ownKey = deviceTypeKey(applicationType());
    auto rank = [&ownKey](const QPair<QString, QString> &entry) {
        const QString key = typeKeyOfFileName(QFileInfo(entry.second).fileName());
        return key.isEmpty() ? 1 : (key == ownKey ? 0 : 2);
    };
    std::stable_sort(entries.begin(), entries.end(),
                     [&rank](const QPair<QString, QString> &a, const QPair<QString, QString> &b) {
                         return rank(a) < rank(b);
                     });
    for (const auto &entry : qAsConst(entries)) {
        if (!wanted.isEmpty() && canonical(entry.second) == wanted)
            selected = combo->count();
        combo->addItem(entry.first, entry.second);
    }
    combo->addItem(u(addFileText));
    combo->setCurrentIndex(selected);
    combo->adjustSize();
    setControlsEnabled(!job);
}

QString FirmwareUpdateWindow::copyIntoFolder(const QString &source, const QString &folder,
                                             QString *error)
{
    auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return QString();
    };
    const QFileInfo info(source);
    if (!info.isFile())
        return refuse(QStringLiteral("%1 is not a regular file").arg(source));
    if (info.size() > FirmwareImage::maxFileSize)
        return refuse(QStringLiteral("%1 is too large for a firmware file").arg(source));
    const QString target = QDir(folder).absoluteFilePath(info.fileName());
    // The same file under another spelling (a link, "..", a second slash) is not copied
    // onto itself.
    if (QFileInfo::exists(target) && canonical(target) == canonical(source))
        return target;
    if (!QDir().mkpath(folder))
        return refuse(QStringLiteral("cannot make the folder %1").arg(folder));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly) || in.isSequential())
        return refuse(QStringLiteral("cannot read %1").arg(source));
    const QByteArray content = in.read(FirmwareImage::maxFileSize + 1);
    if (content.size() > FirmwareImage::maxFileSize)
        return refuse(QStringLiteral("%1 is too large for a firmware file").arg(source));
    // Written beside the target and renamed over it once complete: a failed copy leaves
    // the file that was there.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        return refuse(QStringLiteral("cannot write %1").arg(target));
    return target;
}

QString FirmwareUpdateWindow::typeKeyOfFileName(const QString &fileName)
{
    const QString name = fileName.toLower();
    QString found;
    for (int code : {DeviceType::Tovik2, DeviceType::Norda410x, DeviceType::Norda4200,
                     DeviceType::Lumo4, DeviceType::BexarTovik2, DeviceType::Horn,
                     DeviceType::IpPult, DeviceType::Media, DeviceType::Kv510}) {
        const QString key = deviceTypeKey(code);
        if (!name.startsWith(key) || key.size() <= found.size())
            continue;
        const QChar after = name.size() > key.size() ? name.at(key.size()) : QChar();
        if (after.isNull() || after == QLatin1Char('_') || after == QLatin1Char('.') ||
            after == QLatin1Char('-'))
            found = key;
    }
    return found;
}

void FirmwareUpdateWindow::firmwareChosen(int index)
{
    QComboBox *combo = ui->comboBoxSelectFirmware;
    if (index != combo->count() - 1)
        return;
    QString start = settings()
        ? settings()->value(QStringLiteral("paths/firmwarefilespath")).toString()
        : QString();
    if (start.isEmpty())
        start = QCoreApplication::applicationDirPath();
    const QString chosen =
        FileDialogs::openFile(this, QStringLiteral("firmwareFileDialog"), u("Файл прошивки"), start,
                              u("Файл прошивки (*.norda)"));
    if (chosen.isEmpty()) {
        fillFirmwareList();
        return;
    }
    if (settings())
        settings()->setValue(QStringLiteral("paths/firmwarefilespath"),
                             QFileInfo(chosen).absolutePath());
    QString error;
    const QString target = copyIntoFolder(chosen, firmwareFolder(), &error);
    if (target.isEmpty())
        qDebug().noquote() << "Copy error." << error;
    fillFirmwareList(target);
}

int FirmwareUpdateWindow::applicationType() const
{
    if (reportedType != 0 && !FirmwareUpdateJob::isBootloaderType(reportedType))
        return reportedType;
    if (reportedType == DeviceType::BexarBoot)
        return DeviceType::BexarTovik2;
    if (device && !FirmwareUpdateJob::isBootloaderType(device->type))
        return device->type;
    return device && device->type == DeviceType::BexarBoot ? int(DeviceType::BexarTovik2) : 0;
}

void FirmwareUpdateWindow::startClicked()
{
    if (job)
        return;
    if (!isIdentified()) {
        MessageBoxes::error(this, u("Устройство не подключено."));
        return;
    }
    FirmwareImage image;
    const QString path = ui->comboBoxSelectFirmware->currentData().toString();
    if (path.isEmpty() || !image.load(path)) {
        MessageBoxes::error(this, u(badFileText));
        return;
    }
    const QString fileKey = typeKeyOfFileName(image.fileName());
    const int meant = applicationType();
    if (!fileKey.isEmpty() && meant != 0 && fileKey != deviceTypeKey(meant) &&
        !MessageBoxes::confirm(
            this, u("Обновление ПО"),
            u("Файл %1 предназначен для устройства «%2», а устройство — «%3». Продолжить?")
                .arg(image.fileName(), deviceTypeName(deviceTypeFromKey(fileKey)),
                     deviceTypeName(meant))))
        return;
    const int layout = FirmwareUpdateJob::isBootloaderType(reportedType)
        ? Amodule::layoutOfVersion(amodule->version())
        : -1;
    const FirmwareUpdateJob::ImageProblem problem =
        FirmwareUpdateJob::checkImage(image.data(), image.flashBase(), reportedType, layout);
    if (problem != FirmwareUpdateJob::ImageProblem::None) {
        MessageBoxes::error(this, problemText(problem, image.flashBase(), image.size()));
        return;
    }

    imageBase = image.flashBase();
    imageSize = image.size();
    setControlsEnabled(false);
    // Empty until the first step: every step's value is shown, the first sector's 0 too.
    ui->progressBar->reset();
    job = new FirmwareUpdateJob(amodule, image, reportedType, this);
    job->setBootWait(bootWaitMs);
    job->setIdleTimeout(idleMs);
    // The whole update is bounded too: the bootloader wait, then two minutes and two
    // seconds per KB of image (far more than erasing, writing and verifying take).
    job->setDeadline(deadlineMs > 0 ? deadlineMs : bootWaitMs + 120000 + imageSize / 1024 * 2000);
    connect(job, &FirmwareUpdateJob::stageStarted, this, &FirmwareUpdateWindow::stageStarted);
    connect(job, &FirmwareUpdateJob::stepStarted, this, &FirmwareUpdateWindow::stepStarted);
    connect(job, &FirmwareUpdateJob::overallProgress, this, &FirmwareUpdateWindow::jobProgress);
    connect(job, &DeviceJob::finished, this, &FirmwareUpdateWindow::jobFinished);
    qDebug().noquote() << "FirmwareUpdateWindow: flashing" << image.fileName() << imageSize
                       << "bytes at" << hex(imageBase);
    job->start();
}

void FirmwareUpdateWindow::stageStarted(int stage)
{
    switch (stage) {
    case FirmwareUpdateJob::EnterBootloader:
        ui->labelCurrentStatus->setText(u("Перевод устройства в режим загрузчика..."));
        break;
    case FirmwareUpdateJob::WaitBootloader:
        ui->labelCurrentStatus->setText(u("Ожидание загрузчика..."));
        break;
    case FirmwareUpdateJob::Write:
        ui->labelCurrentStatus->setText(u("Стирание выполнено"));
        break;
    case FirmwareUpdateJob::Verify:
        ui->labelCurrentStatus->setText(u("Программирование завершено"));
        break;
    case FirmwareUpdateJob::Exit:
        // Leaving the bootloader follows the verify at once: both are said.
        ui->labelCurrentStatus->setText(u(verifiedText) + u(". Запуск приложения..."));
        break;
    default:
        break;
    }
}

void FirmwareUpdateWindow::stepStarted(int stage, uint32_t address)
{
    const char *text = stage == FirmwareUpdateJob::Erase ? "Стирание сектора "
        : stage == FirmwareUpdateJob::Write              ? "Запись страницы "
                                            : "Верификация страницы ";
    ui->labelCurrentStatus->setText(u(text) + hex(address));
}

void FirmwareUpdateWindow::jobProgress(qint64 done, qint64 total)
{
    // The whole update on one bar, which only moves on (the first page is written last).
    if (total <= 0)
        return;
    const int percent = int(qBound<qint64>(0, done * 100 / total, 100));
    if (percent > ui->progressBar->value())
        ui->progressBar->setValue(percent);
}

QString FirmwareUpdateWindow::failureText(const DeviceJob::Result &result) const
{
    const uint32_t address = uint32_t(qMax<qint64>(0, result.position));
    if (result.status == DeviceJob::Status::LinkLost && result.step >= FirmwareUpdateJob::Erase)
        return u("Связь с устройством потеряна, обновление не завершено.");
    switch (result.step) {
    case FirmwareUpdateJob::CheckImage:
        return u("Адрес начала прошивки %1 не совпадает с началом сектора памяти устройства.")
            .arg(hex(address));
    case FirmwareUpdateJob::EnterBootloader:
        if (result.status == DeviceJob::Status::Failed && !result.detail.isEmpty())
            return u("Устройство не перешло в режим загрузчика.");
        return u("Загрузчик устройства не ответил.");
    case FirmwareUpdateJob::WaitBootloader:
        return u("Загрузчик устройства не ответил.");
    case FirmwareUpdateJob::Exit:
        return u("Ошибка команды выхода из загрузчика.");
    default:
        break;
    }
    if (result.position < 0)
        return u("Устройство не отвечает, обновление не завершено.");
    switch (result.step) {
    case FirmwareUpdateJob::Erase:
        return u("Ошибка при стирании сектора ") + hex(address);
    case FirmwareUpdateJob::Write:
        return u("Ошибка при записи страницы ") + hex(address);
    default:
        return u("Ошибка верификации страницы ") + hex(address);
    }
}

void FirmwareUpdateWindow::jobFinished(const DeviceJob::Result &result)
{
    if (job)
        job->deleteLater();
    job = nullptr;
    qDebug().noquote() << "FirmwareUpdateWindow:" << result.message;
    if (closing)
        return;
    if (result.ok()) {
        ui->labelCurrentStatus->setText(u(verifiedText) + u(". Устройство перезагрузится."));
        ui->progressBar->setValue(100);
        MessageBoxes::done(this, u("Программирование завершено. Устройство перезагрузится."));
        closing = true;
        close();
        return;
    }
    const QString text = failureText(result);
    ui->labelCurrentStatus->setText(text);
    qDebug().noquote() << text + QStringLiteral(" FAIL : ") + result.detail;
    setControlsEnabled(true);
    MessageBoxes::error(this, text);
}

void FirmwareUpdateWindow::setControlsEnabled(bool enabled)
{
    ui->comboBoxSelectFirmware->setEnabled(enabled);
    // "Запуск" needs a file: "Добавить файл..." is none.
    const bool fileChosen = !ui->comboBoxSelectFirmware->currentData().toString().isEmpty();
    ui->pushButtonStartFirmwareUpdate->setEnabled(enabled && fileChosen);
}

void FirmwareUpdateWindow::updateCommands()
{
    setControlsEnabled(!isUpdating());
}

void FirmwareUpdateWindow::on_amoduleConnected(int dev_type, QString fullver)
{
    reportedType = dev_type;
    BaseDeviceWindow::on_amoduleConnected(dev_type, fullver);
}

void FirmwareUpdateWindow::closeEvent(QCloseEvent *event)
{
    if (job && !closing) {
        if (!MessageBoxes::confirm(this, u("Обновление ПО"),
                                   u("Обновление ПО не завершено. Прервать его?"))) {
            event->ignore();
            return;
        }
        closing = true;
        // Stops the flashing at its next sector or page.
        delete job.data();
    }
    closing = true;
    BaseDeviceWindow::closeEvent(event);
}
