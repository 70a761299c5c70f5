#pragma once

#include "devices/audiodevicewindow.h"

namespace Ui {
class MediaDeviceForm;
}

// The settings window of a media converter (type 9): network, maximum volume, serial
// number and, with factory access, the input gain. Its audio files are read but not shown.
class MediaDeviceWindow : public AudioDeviceWindow {
    Q_OBJECT

public:
    MediaDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context);
    ~MediaDeviceWindow() override;

protected:
    bool showDescriptor(const QString &name, const QString &value) override;
    QStringList serialReads() const override;
    QList<FieldValues::Field> serialFields() const override;
    bool serialExtraWrites(QList<DescriptorWrites::Write> *writes) override;

private:
    Ui::MediaDeviceForm *ui;
};
