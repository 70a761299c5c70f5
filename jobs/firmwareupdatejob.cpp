#include "jobs/firmwareupdatejob.h"

#include "journal/auditrecord.h"
#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "link/flashprogrammer.h"
#include "link/flashrecord.h"
#include "project/devicetype.h"
#include "project/firmwareimage.h"

#include <QCryptographicHash>

namespace {

QString hex(uint32_t address)
{
    return QStringLiteral("0x") + QString::number(address, 16);
}

const char *stageName(int stage)
{
    switch (stage) {
    case FirmwareUpdateJob::Erase:
        return "erase";
    case FirmwareUpdateJob::Write:
        return "write";
    case FirmwareUpdateJob::Verify:
        return "verify";
    default:
        return "";
    }
}

} // namespace

FirmwareUpdateJob::FirmwareUpdateJob(Amodule *module, const FirmwareImage &image, int deviceType,
                                     QObject *parent)
    : DeviceJob(module, parent)
    , image(image.valid() ? image.data() : QByteArray())
    , imageName(image.fileName())
    , base(image.valid() ? image.flashBase() : 0)
    , deviceType(deviceType)
    , stopFlag(std::make_shared<std::atomic_bool>(false))
{
    bootTimer.setSingleShot(true);
    bootTimer.setTimerType(Qt::PreciseTimer);
    connect(&bootTimer, &QTimer::timeout, this, &FirmwareUpdateJob::bootWaitOver);
    deadlineTimer.setSingleShot(true);
    connect(&deadlineTimer, &QTimer::timeout, this, [this] {
        *stopFlag = true;
        finish(
            Status::Failed, -1,
            QStringLiteral("the firmware update did not end within %1 s").arg(deadlineMs / 1000.0));
    });
}

FirmwareUpdateJob::~FirmwareUpdateJob()
{
    quit();
}

bool FirmwareUpdateJob::isBootloaderType(int type)
{
    return type == DeviceType::Bootloader || type == DeviceType::BexarBoot;
}

FirmwareUpdateJob::ImageProblem
FirmwareUpdateJob::checkImage(const QByteArray &payload, uint32_t base, int deviceType, int layout)
{
    if (payload.isEmpty())
        return ImageProblem::Empty;
    if (base < flashStart || uint64_t(base) + uint64_t(payload.size()) > flashEnd)
        return base < flashStart ? ImageProblem::Misaligned : ImageProblem::PastFlash;
    // A device not known yet may be a console, whose erase unit is the 1 KB page.
    if (deviceType == DeviceType::BexarTovik2 || deviceType == DeviceType::BexarBoot ||
        deviceType == DeviceType::Unknown)
        return (base - flashStart) % FlashProgrammer::consolePageSize == 0
            ? ImageProblem::None
            : ImageProblem::Misaligned;
    const QList<int> layouts = layout < 0 ? QList<int> {0, 1} : QList<int> {layout};
    for (int candidate : layouts) {
        for (const FlashProgrammer::Sector &sector : FlashProgrammer::sectorTable(candidate)) {
            if (sector.start == base)
                return ImageProblem::None;
        }
    }
    return ImageProblem::Misaligned;
}

QString FirmwareUpdateJob::problemText(ImageProblem problem, uint32_t base, int size)
{
    switch (problem) {
    case ImageProblem::None:
        return QString();
    case ImageProblem::Empty:
        return QStringLiteral("the firmware image is empty");
    case ImageProblem::Misaligned:
        return QStringLiteral("the firmware image starts at %1, not where an erase unit of the "
                              "device's flash starts")
            .arg(hex(base));
    case ImageProblem::PastFlash:
        return QStringLiteral("the firmware image (%1 bytes at %2) runs past the end of the "
                              "flash at %3")
            .arg(size)
            .arg(hex(base), hex(flashEnd));
    }
    return QString();
}

QString FirmwareUpdateJob::auditAction() const
{
    return QLatin1String(AuditRecord::firmwareUpdate);
}

QJsonObject FirmwareUpdateJob::auditDetails() const
{
    return {
        {QStringLiteral("image"), imageName},
        {QStringLiteral("size"), image.size()},
        {QStringLiteral("sha256"),
         QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex())},
    };
}

void FirmwareUpdateJob::begin()
{
    setStep(CheckImage);
    // Refused before the device is asked anything; the erase layout is checked again once
    // the bootloader has told it.
    const ImageProblem problem = checkImage(
        image, base, deviceType,
        isBootloaderType(deviceType) ? Amodule::layoutOfVersion(facade()->version()) : -1);
    if (problem != ImageProblem::None) {
        finishLater(Status::Failed, base, problemText(problem, base, image.size()));
        return;
    }
    if (deadlineMs > 0)
        deadlineTimer.start(deadlineMs);

    CdcUsbProcess *w = worker();
    listen(w, &CdcUsbProcess::startEraseSector, [this](uint32_t a) { onStep(Erase, a); });
    listen(w, &CdcUsbProcess::startWriteFlashPage, [this](uint32_t a) { onStep(Write, a); });
    listen(w, &CdcUsbProcess::startVerifyFlashPage, [this](uint32_t a) { onStep(Verify, a); });
    for (auto signal : {&CdcUsbProcess::successEraseSector, &CdcUsbProcess::successWriteFlashPage,
                        &CdcUsbProcess::successVerifyFlashPage})
        listen(w, signal, [this](uint32_t) { touch(); });
    listen(w, &CdcUsbProcess::finishErase, [this](uint32_t, uint32_t) { onStageFinished(Erase); });
    listen(w, &CdcUsbProcess::finishWrite, [this](uint32_t, uint32_t) { onStageFinished(Write); });
    listen(w, &CdcUsbProcess::finishVerify,
           [this](uint32_t, uint32_t) { onStageFinished(Verify); });
    listen(w, &CdcUsbProcess::errorEraseSector,
           [this](uint32_t a, const QString &d) { onStageError(Erase, a, d); });
    listen(w, &CdcUsbProcess::errorWriteFlashPage,
           [this](uint32_t a, const QString &d) { onStageError(Write, a, d); });
    listen(w, &CdcUsbProcess::errorVerifyFlashPage,
           [this](uint32_t a, const QString &d) { onStageError(Verify, a, d); });
    listen(w, &CdcUsbProcess::startExitBootloder, [this] { touch(); });
    listen(w, &CdcUsbProcess::successExitBootloder, [this] { onStageFinished(Exit); });
    listen(w, &CdcUsbProcess::errorExitBootloder,
           [this](const QString &d) { onStageError(Exit, 0, d); });
    listen(facade(), &Amodule::connected, [this](int type, const QString &) { onConnected(type); });

    if (isBootloaderType(deviceType))
        program(deviceType);
    else
        enterBootloader();
}

void FirmwareUpdateJob::enterStage(Stage stage)
{
    setStep(stage);
    emit stageStarted(stage);
}

void FirmwareUpdateJob::enterBootloader()
{
    enterStage(EnterBootloader);
    // Bounded as a whole: the link drops and comes back (perhaps more than once) while the
    // device restarts, and none of that starts the time again.
    pauseIdleTimeout();
    bootTimer.start(bootWaitMs);
    const bool queued = request(QStringLiteral("SET BOOT"), [this](int err, const QString &answer) {
        if (currentStep() != EnterBootloader)
            return;
        // No answer in time: the device may have restarted without one; the worker drops the
        // link after such an exchange, and the bootloader is awaited as after an answer.
        if (err != 0 && !answer.startsWith(QLatin1String("ERROR TIMEOUT"))) {
            // The answer is what the device said, not a reason: an "OK" without its carriage
            // return fails as well, and must not read as a confirmation.
            finish(Status::Failed, -1,
                   QStringLiteral("the device did not start its bootloader: it answered "
                                  "\"SET BOOT\" with \"%1\", not with the line \"OK\\r\\n\"")
                       .arg(answer.trimmed()),
                   answer);
            return;
        }
        enterStage(WaitBootloader);
        pauseIdleTimeout();
    });
    if (!queued)
        finishLater(Status::LinkLost, -1, QStringLiteral("the link to the device was lost"));
}

void FirmwareUpdateJob::linkLost()
{
    // The device restarts into its bootloader: its link drops on the way.
    if (currentStep() == EnterBootloader || currentStep() == WaitBootloader) {
        if (currentStep() == EnterBootloader)
            enterStage(WaitBootloader);
        pauseIdleTimeout();
        return;
    }
    DeviceJob::linkLost();
}

void FirmwareUpdateJob::onConnected(int type)
{
    if ((currentStep() == EnterBootloader || currentStep() == WaitBootloader) &&
        isBootloaderType(type))
        program(type);
}

void FirmwareUpdateJob::bootWaitOver()
{
    if (currentStep() == EnterBootloader || currentStep() == WaitBootloader)
        finish(
            Status::Failed, -1,
            QStringLiteral("the bootloader did not answer within %1 s").arg(bootWaitMs / 1000.0));
}

void FirmwareUpdateJob::program(int bootType)
{
    bootTimer.stop();
    touch();
    // The bootloader has told its erase layout: an image that starts inside a sector of it
    // would have the sector below erased and the rest of it left as it was.
    const ImageProblem problem =
        checkImage(image, base, bootType, Amodule::layoutOfVersion(facade()->version()));
    if (problem != ImageProblem::None) {
        setStep(CheckImage);
        finishLater(Status::Failed, base, problemText(problem, base, image.size()));
        return;
    }
    // Consoles erase their flash in 1 KB pages, every other device by its sector table.
    if (CdcUsbProcess *w = worker())
        w->setDeviceType(bootType);
    queueStage(Erase);
}

void FirmwareUpdateJob::queueStage(Stage stage)
{
    enterStage(stage);
    stageSteps = 0;
    FlashRecord record;
    record.address = base;
    record.cancel = stopFlag;
    switch (stage) {
    case Erase:
        record.kind = FlashRecord::Erase;
        record.size = uint32_t(image.size());
        record.layout = Amodule::layoutOfVersion(facade()->version());
        break;
    case Write:
    case Verify:
        record.kind = stage == Write ? FlashRecord::Write : FlashRecord::Verify;
        record.size = uint32_t(image.size());
        record.data = image;
        break;
    default:
        record.kind = FlashRecord::ExitBoot;
        record.address = 0;
        break;
    }
    // Refused only when the link is closed; the job may be starting (from start()).
    CdcUsbProcess *w = worker();
    if (!w || !w->addFlashRecord(record)) {
        finishLater(Status::LinkLost, -1, QStringLiteral("the link to the device was lost"));
        return;
    }
    if (stage != Exit)
        reportProgress(stage, 0);
}

void FirmwareUpdateJob::reportProgress(Stage stage, qint64 done)
{
    const qint64 size = image.size();
    emit progress(done, size);
    const qint64 passes = Verify - Erase + 1;
    emit overallProgress(qint64(stage - Erase) * size + done, passes * size);
}

void FirmwareUpdateJob::onStep(Stage stage, uint32_t address)
{
    if (currentStep() != stage)
        return;
    touch();
    emit stepStarted(stage, address);
    // Sectors are erased in ascending order; pages are counted, since the first page is
    // written last.
    const qint64 done = stage == Erase ? qint64(address) - qint64(base)
                                       : qint64(stageSteps) * qint64(FlashProgrammer::pageSize);
    ++stageSteps;
    reportProgress(stage, qBound<qint64>(0, done, image.size()));
}

void FirmwareUpdateJob::onStageFinished(Stage stage)
{
    if (currentStep() != stage)
        return;
    touch();
    if (stage == Exit) {
        finish(Status::Done, -1,
               QStringLiteral("flashed %1 bytes at %2; the device restarts")
                   .arg(image.size())
                   .arg(hex(base)));
        return;
    }
    reportProgress(stage, image.size());
    if (cancelRequested()) {
        finish(Status::Cancelled, -1,
               QStringLiteral("firmware update cancelled after the %1").arg(stageName(stage)));
        return;
    }
    queueStage(Stage(stage + 1));
}

void FirmwareUpdateJob::onStageError(Stage stage, uint32_t address, const QString &description)
{
    if (currentStep() != stage)
        return;
    if (cancelRequested() && stage != Exit) {
        finish(Status::Cancelled, address,
               QStringLiteral("firmware update cancelled at %1").arg(hex(address)), description);
        return;
    }
    const qint64 position = stage == Exit ? -1 : qint64(address);
    const QString message = stage == Exit
        ? QStringLiteral("leaving the bootloader failed: %1").arg(description)
        : QStringLiteral("%1 at %2 failed: %3").arg(stageName(stage), hex(address), description);
    // A step fails the same way when the device refuses it and when the link is gone; the
    // bootloader answers its version in any state, so asking for it tells the two apart.
    settle(QStringLiteral("GET VERSION"), [this, position, message, description](bool alive) {
        if (alive)
            finish(Status::Failed, position, message, description);
        else
            DeviceJob::linkLost();
    });
}

void FirmwareUpdateJob::abort()
{
    switch (currentStep()) {
    case CheckImage:
    case EnterBootloader:
    case WaitBootloader:
        // Nothing has been written: the device may be left in its bootloader, which waits.
        bootTimer.stop();
        finishLater(Status::Cancelled, -1,
                    QStringLiteral("firmware update cancelled before programming"));
        return;
    case Exit:
        // The image is written and verified; leaving the bootloader completes the update.
        return;
    default:
        *stopFlag = true;
        return;
    }
}

void FirmwareUpdateJob::stop()
{
    deadlineTimer.stop();
    *stopFlag = true;
}
