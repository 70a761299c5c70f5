#pragma once

#include "devices/basedevicewindow.h"
#include "jobs/devicejob.h"
#include "jobs/firmwareupdatejob.h"

#include <QPointer>

#include <cstdint>

namespace Ui {
class BootloaderForm;
}

// Replaces the firmware of one device: the user picks a firmware file of the firmware folder
// (or adds one to it) and presses "Запуск"; the window runs a FirmwareUpdateJob (the same
// job as norda-cli device flash): the device restarts into its bootloader, which is
// programmed as soon as it answers, then erase, write, verify and leaving the bootloader,
// each step in the status label and the progress bar. The update ends in one message: done
// (only once the bootloader confirmed that it leaves) or the error, after which the
// controls are enabled again. The window does not keep its geometry.
class FirmwareUpdateWindow : public BaseDeviceWindow {
    Q_OBJECT

public:
    // How long the device may take from "SET BOOT" until its bootloader answers.
    static constexpr int defaultBootWaitMs = 15000;

    FirmwareUpdateWindow(ProjectDevice *device, const DeviceWindowContext &context);
    ~FirmwareUpdateWindow() override;

    // The folder whose files are offered: [paths] firmwarefolder of the settings, or the
    // folder "firmware" beside the executable.
    QString firmwareFolder() const;
    // Fills the list again from the folder, the files named for the device's type first, and
    // selects the file at `path` when listed (otherwise the first).
    void fillFirmwareList(const QString &path = QString());
    // Copies a file into the firmware folder (through a temporary file renamed into place;
    // nothing is copied when it already is that file) and returns its path there; empty
    // with `error` set when it could not be copied.
    static QString copyIntoFolder(const QString &source, const QString &folder, QString *error);
    // The type key a firmware file's name begins with (the longest one), empty for none.
    static QString typeKeyOfFileName(const QString &fileName);

    // The bounds of an update: the bootloader wait, the longest time without a sign of the
    // device, and the whole update (0: from the image's size).
    void setTimings(int bootWaitMs, int idleMs, int deadlineMs);
    bool isUpdating() const { return job != nullptr; }

    void on_amoduleConnected(int dev_type, QString fullver) override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void updateCommands() override;

private:
    void firmwareChosen(int index);
    void startClicked();
    void stageStarted(int stage);
    void stepStarted(int stage, uint32_t address);
    void jobProgress(qint64 done, qint64 total);
    void jobFinished(const DeviceJob::Result &result);
    void setControlsEnabled(bool enabled);
    QString failureText(const DeviceJob::Result &result) const;
    // The type the firmware is meant for: the one the device reports, or the project's
    // while the device runs its bootloader.
    int applicationType() const;

    Ui::BootloaderForm *ui;
    QWidget *form;
    QPointer<FirmwareUpdateJob> job;
    int reportedType = 0;
    uint32_t imageBase = 0;
    int imageSize = 0;
    int bootWaitMs = defaultBootWaitMs;
    int idleMs = 60000;
    int deadlineMs = 0;
    bool closing = false;
};
