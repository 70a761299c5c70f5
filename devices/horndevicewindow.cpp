#include "devices/horndevicewindow.h"
#include "ui_horndeviceform.h"

#include "link/deviceconfigtable.h"
#include "project/devicetype.h"

namespace {

AudioDeviceWindow::Traits hornTraits()
{
    AudioDeviceWindow::Traits traits;
    traits.network = AudioDeviceWindow::Traits::ethernet();
    traits.readAll = DeviceConfigTable::readAll(DeviceType::Horn, 0);
    traits.updatesProjectAddress = true;
    traits.showsFiles = false;
    return traits;
}

} // namespace

HornDeviceWindow::HornDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context)
    : AudioDeviceWindow(device, context, hornTraits())
    , ui(new Ui::HornDeviceForm)
{
    setObjectName(QStringLiteral("HornDeviceWindow"));
    auto *form = new QWidget(this);
    ui->setupUi(form);
    setUpForm(form);
    restoreWindowGeometry();
}

HornDeviceWindow::~HornDeviceWindow()
{
    delete ui;
}

QList<FieldValues::Field> HornDeviceWindow::serialFields() const
{
    return {{ui->comboBoxAmpNomPower, QStringLiteral("Номинальное усиление, дБ")}};
}

bool HornDeviceWindow::serialExtraWrites(QList<DescriptorWrites::Write> *writes)
{
    // The gain is written as the item's index and read back in dB.
    const QString label = QStringLiteral("Номинальное усиление, дБ");
    int index = -1;
    if (!selectedItem(ui->comboBoxAmpNomPower, label, &index))
        return false;
    writes->append({QStringLiteral("desc_AmpNomPower"), QString::number(index), label, nullptr});
    return true;
}
