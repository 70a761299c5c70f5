#include "devices/lumodevicewindow.h"
#include "link/tovikstatus.h"
#include "ui_tovikdeviceform.h"

#include "devices/tovikiotabs.h"
#include "link/amodule.h"
#include "link/deviceconfigtable.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"

namespace {

void removeTab(QTabWidget *tabs, QWidget *tab)
{
    const int index = tabs->indexOf(tab);
    if (index >= 0)
        tabs->removeTab(index);
}

} // namespace

LumoDeviceWindow::LumoDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context)
    : TovikDeviceWindow(device, context, Variant {true})
{
    setObjectName(QStringLiteral("LumoDeviceWindow"));
    updateTitle();
    stopPolling();
    for (QWidget *tab : {ui->tabMode, ui->tabNetwork, ui->tabLO, ui->tabPPK})
        removeTab(ui->tabWidgetSettings, tab);
    // The unit's status answer carries no unit state and no lamps, and the window polls
    // nothing: a state page would only ever show what the form holds.
    for (QWidget *tab : {ui->tabJournal, ui->tabAudio, ui->tabStatus})
        removeTab(ui->tabWidget, tab);
    // The unit has no project comparison, no reset command and no BUU-2 module.
    for (QWidget *widget : {static_cast<QWidget *>(ui->labelHasConfigMsg),
                            static_cast<QWidget *>(ui->pushButtonLoadProject),
                            static_cast<QWidget *>(ui->pushButtonInitByDefault)})
        widget->hide();
    restoreWindowGeometry();
}

void LumoDeviceWindow::updateTitle()
{
    setWindowTitle(deviceTypeName(device->type));
}

QStringList LumoDeviceWindow::readAllList() const
{
    return DeviceConfigTable::readAll(DeviceType::Lumo4, firmwareBuild());
}

void LumoDeviceWindow::on_firstConnectionEvent()
{
    on_pushButtonReadAll_clicked();
}

void LumoDeviceWindow::on_pushButtonReadAll_clicked()
{
    // No audio files and no status to read here: the descriptors of the three tabs.
    if (linked())
        amodule->readDescriptors(readAllList());
}

void LumoDeviceWindow::pollDevice() { }
