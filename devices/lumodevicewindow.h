#pragma once

#include "devices/tovikdevicewindow.h"

// The settings window of the four-line unit (type 4): the central unit's form with the
// tabs "Входы", "Выходы" and "Заводские" (and "Скриншоты" where screenshots are on) under
// "Настройка"; no state page, since the unit's status tells no unit state. Its buttons do
// what they do in the central unit window,
// and every connection reads the inputs, the outputs and the factory settings. It polls
// nothing and has no audio files.
class LumoDeviceWindow : public TovikDeviceWindow {
    Q_OBJECT

public:
    LumoDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context);

    void on_firstConnectionEvent() override;
    void on_pushButtonReadAll_clicked() override;

protected:
    QStringList readAllList() const override;
    void pollDevice() override;
    void updateTitle() override;
};
