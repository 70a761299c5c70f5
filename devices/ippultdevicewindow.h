#pragma once

#include "devices/audiodevicewindow.h"

namespace Ui {
class IpPultDeviceForm;
}

// The settings window of an IP microphone console (type 8): network with the broadcast
// address and port, the two signal volumes and the two gains, the serial number, the audio
// files with their signal assignments, and the key configuration built from the project.
class IpPultDeviceWindow : public AudioDeviceWindow {
    Q_OBJECT

public:
    IpPultDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context);
    ~IpPultDeviceWindow() override;

    void on_pushButtonReadSignalVolume_clicked();
    void on_pushButtonWriteSignalVolume_clicked();
    void on_pushButtonReadAmps_clicked();
    void on_pushButtonWriteAmps_clicked();
    void on_pushButtonWriteKeys_clicked();

protected:
    bool showDescriptor(const QString &name, const QString &value) override;

private:
    void showKeys();
    void updateCommands() override;

    Ui::IpPultDeviceForm *ui;
};
