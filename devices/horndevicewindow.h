#pragma once

#include "devices/audiodevicewindow.h"

namespace Ui {
class HornDeviceForm;
}

// The settings window of an IP loudspeaker (type 7): network, maximum volume, serial number
// and nominal gain. Its audio files are read but not shown.
class HornDeviceWindow : public AudioDeviceWindow {
    Q_OBJECT

public:
    HornDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context);
    ~HornDeviceWindow() override;

protected:
    QList<FieldValues::Field> serialFields() const override;
    bool serialExtraWrites(QList<DescriptorWrites::Write> *writes) override;

private:
    Ui::HornDeviceForm *ui;
};
