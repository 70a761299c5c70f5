#pragma once

#include "link/devicejob.h"

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

signals:
    void stageStarted(int stage);
    // A sector (Erase) or page (Write, Verify) at this flash address is being worked on.
    void stepStarted(int stage, uint32_t address);

protected:
    void begin() override;
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
    void onStageFinished(Stage stage);
    void onStageError(Stage stage, uint32_t address, const QString &description);
    void bootWaitOver();

    QByteArray image;
    uint32_t base;
    int deviceType;
    int bootWaitMs = defaultBootWaitMs;
    QTimer bootTimer;
    int stageSteps = 0;
    // Shared with the flashing jobs queued on the worker: set to stop them.
    std::shared_ptr<std::atomic_bool> stopFlag;
};
