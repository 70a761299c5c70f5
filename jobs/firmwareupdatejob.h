#pragma once

#include "jobs/devicejob.h"

#include <QByteArray>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>

class FirmwareImage;

// Replaces a device's firmware with a loaded firmware image: asks the device to restart into
// its bootloader ("SET BOOT") unless it runs it already, waits until the bootloader answers on
// the link (bounded as a whole), then erases, writes and verifies the image and leaves the
// bootloader. Each stage is announced, and each sector or page as it starts; the result names
// the stage (and the address) at which an update failed.
//
// A cancelled update stops before its next sector or page; leaving the bootloader, the last
// step, is not cancelled. The link drops while the device restarts into its bootloader: that
// is expected while the job waits for it, and ends the job (LinkLost) in any later stage.
class FirmwareUpdateJob : public DeviceJob {
    Q_OBJECT

public:
    // The stages, in order (Result::step; stageStarted()).
    enum Stage { CheckImage = 1, EnterBootloader, WaitBootloader, Erase, Write, Verify, Exit };
    Q_ENUM(Stage)

    static constexpr int defaultBootWaitMs = 30000;

    // `deviceType` is the type the device last reported (DeviceType codes): a device that
    // already runs its bootloader is programmed at once.
    FirmwareUpdateJob(Amodule *module, const FirmwareImage &image, int deviceType,
                      QObject *parent = nullptr);
    ~FirmwareUpdateJob() override;

    // How long the device may take, from "SET BOOT" on, until its bootloader answers.
    void setBootWait(int ms) { bootWaitMs = ms; }
    uint32_t flashBase() const { return base; }
    uint32_t size() const { return uint32_t(image.size()); }

    static bool isBootloaderType(int deviceType);

    // Whether an image can be flashed into a device of `deviceType` whose bootloader reports
    // the erase `layout` (Amodule::layoutOfVersion): it has bytes, starts where an erase unit
    // starts (a sector of the layout's table; a 1 KB page on consoles) and ends within the
    // flash the tables cover. A last partial page is allowed: it is filled up. A `layout` of
    // -1 (not known yet: the device has not run its bootloader) accepts the start of a
    // sector of either table. A `deviceType` of 0 (not known yet) asks only for the start of
    // a 1 KB page.
    enum class ImageProblem { None, Empty, Misaligned, PastFlash };
    static ImageProblem checkImage(const QByteArray &payload, uint32_t base, int deviceType,
                                   int layout);
    // One English line for a problem.
    static QString problemText(ImageProblem problem, uint32_t base, int size);
    static constexpr uint32_t flashStart = 0x08000000;
    static constexpr uint32_t flashEnd = 0x08100000;

    // Bounds the whole update, from start() to the answer of leaving the bootloader; 0 (the
    // default) leaves it to the bootloader wait and the idle timeout.
    void setDeadline(int ms) { deadlineMs = ms; }

signals:
    void stageStarted(int stage);
    // A sector (Erase) or page (Write, Verify) at this flash address is being worked on.
    void stepStarted(int stage, uint32_t address);
    // The whole update, erasing, writing and verifying each counted as one pass over the
    // image: it never goes back, while progress() starts again with each of those stages.
    void overallProgress(qint64 done, qint64 total);

protected:
    void begin() override;
    QString auditAction() const override;
    QJsonObject auditDetails() const override;
    void abort() override;
    void stop() override;
    void linkLost() override;

private:
    void enterStage(Stage stage);
    void enterBootloader();
    void onConnected(int type);
    void program(int bootType);
    void queueStage(Stage stage);
    void onStep(Stage stage, uint32_t address);
    // progress() within the stage and overallProgress().
    void reportProgress(Stage stage, qint64 done);
    void onStageFinished(Stage stage);
    void onStageError(Stage stage, uint32_t address, const QString &description);
    void bootWaitOver();

    QByteArray image;
    QString imageName;
    uint32_t base;
    int deviceType;
    int bootWaitMs = defaultBootWaitMs;
    QTimer bootTimer;
    QTimer deadlineTimer;
    int deadlineMs = 0;
    int stageSteps = 0;
    // Shared with the flashing records queued on the worker: set to stop them.
    std::shared_ptr<std::atomic_bool> stopFlag;
};
