#include "devices/mediadevicewindow.h"
#include "ui_mediadeviceform.h"

#include "link/deviceconfigtable.h"
#include "project/devicetype.h"

namespace {

AudioDeviceWindow::Traits mediaTraits()
{
    AudioDeviceWindow::Traits traits;
    traits.network = AudioDeviceWindow::Traits::ethernet();
    traits.readAll = DeviceConfigTable::readAll(DeviceType::Media, 0);
    traits.updatesProjectAddress = true;
    traits.showsFiles = false;
    return traits;
}

const char inGainLabel[] = "Усиление по входу, %";

} // namespace

MediaDeviceWindow::MediaDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context)
    : AudioDeviceWindow(device, context, mediaTraits())
    , ui(new Ui::MediaDeviceForm)
{
    setObjectName(QStringLiteral("MediaDeviceWindow"));
    auto *form = new QWidget(this);
    ui->setupUi(form);
    setUpForm(form);
    // The input gain is a factory setting.
    ui->spinBoxAudioInGain->setEnabled(hasFullAccess());
    FieldValues::clear(ui->spinBoxAudioInGain);
    restoreWindowGeometry();
}

MediaDeviceWindow::~MediaDeviceWindow()
{
    delete ui;
}

bool MediaDeviceWindow::showDescriptor(const QString &name, const QString &value)
{
    if (name != QLatin1String("AudioInGain"))
        return false;
    bool ok = false;
    const int gain = value.toInt(&ok);
    // A value the spin box cannot hold would show as another one.
    if (ok && gain >= ui->spinBoxAudioInGain->minimum() &&
        gain <= ui->spinBoxAudioInGain->maximum()) {
        ui->spinBoxAudioInGain->setValue(gain);
        FieldValues::given(ui->spinBoxAudioInGain);
    }
    return true;
}

QStringList MediaDeviceWindow::serialReads() const
{
    return {QStringLiteral("desc_SerialNumber"), QStringLiteral("desc_AudioInGain")};
}

QList<FieldValues::Field> MediaDeviceWindow::serialFields() const
{
    // The input gain is written only with full access, and only then needs a value.
    if (!hasFullAccess())
        return {};
    return {{ui->spinBoxAudioInGain, QString::fromUtf8(inGainLabel)}};
}

bool MediaDeviceWindow::serialExtraWrites(QList<DescriptorWrites::Write> *writes)
{
    if (hasFullAccess())
        writes->append({QStringLiteral("desc_AudioInGain"),
                        QString::number(ui->spinBoxAudioInGain->value()),
                        QString::fromUtf8(inGainLabel), nullptr});
    return true;
}
