#include "devices/ippultdevicewindow.h"
#include "ui_ippultdeviceform.h"

#include "gui/messageboxes.h"
#include "link/deviceconfigtable.h"
#include "link/devicepaths.h"
#include "link/gainitems.h"
#include "project/devicetype.h"
#include "project/inout.h"
#include "project/keyconfigimage.h"
#include "project/projectdevice.h"

#include <QDebug>

namespace {

AudioDeviceWindow::Traits consoleTraits()
{
    AudioDeviceWindow::Traits traits;
    traits.readAll = DeviceConfigTable::readAll(DeviceType::IpPult, 0);
    traits.network = AudioDeviceWindow::Traits::ethernet() +
        QStringList {QStringLiteral("desc_BroadcastIP"), QStringLiteral("desc_OutPort")};
    // The console's address in the project is the user's to set.
    traits.updatesProjectAddress = false;
    traits.showsFiles = true;
    return traits;
}

const char speakerLabel[] = "Усиление встроенного динамика";
const char ampLabel[] = "Усиление внешнего звукового выхода";

} // namespace

IpPultDeviceWindow::IpPultDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context)
    : AudioDeviceWindow(device, context, consoleTraits())
    , ui(new Ui::IpPultDeviceForm)
{
    setObjectName(QStringLiteral("IpPultDeviceWindow"));
    auto *form = new QWidget(this);
    ui->setupUi(form);
    setUpForm(form);
    for (const GainItem &item : GainItems::speakerNomPower())
        ui->comboBoxSpeakerNomPower->addItem(item.text, item.data);
    // Nothing here holds a value before the console gave one.
    for (QWidget *field : {static_cast<QWidget *>(ui->comboBoxSpeakerNomPower),
                           static_cast<QWidget *>(ui->spinBoxSoundVol1),
                           static_cast<QWidget *>(ui->spinBoxSoundVol2)})
        FieldValues::clear(field);
    connect(ui->pushButtonReadSignalVolume, &QPushButton::clicked, this,
            [this] { on_pushButtonReadSignalVolume_clicked(); });
    connect(ui->pushButtonWriteSignalVolume, &QPushButton::clicked, this,
            [this] { on_pushButtonWriteSignalVolume_clicked(); });
    connect(ui->pushButtonReadAmps, &QPushButton::clicked, this,
            [this] { on_pushButtonReadAmps_clicked(); });
    connect(ui->pushButtonWriteAmps, &QPushButton::clicked, this,
            [this] { on_pushButtonWriteAmps_clicked(); });
    connect(ui->pushButtonWriteKeys, &QPushButton::clicked, this,
            [this] { on_pushButtonWriteKeys_clicked(); });
    showKeys();
    restoreWindowGeometry();
}

IpPultDeviceWindow::~IpPultDeviceWindow()
{
    delete ui;
}

void IpPultDeviceWindow::updateCommands()
{
    // The image replaces the console's whole key file: without the project's buttons (a
    // connection without a project) it would erase every assignment the console has.
    ui->pushButtonWriteKeys->setEnabled(device->buttonCount() > 0);
}

void IpPultDeviceWindow::showKeys()
{
    updateCommands();
    if (device->buttonCount() == 0) {
        ui->labelKeys->setText(
            QStringLiteral("В проекте нет кнопок этого пульта: запись конфигурации кнопок "
                           "недоступна (она стёрла бы назначения кнопок в устройстве)."));
        return;
    }
    ui->labelKeys->setText(
        QStringLiteral("Кнопок в проекте: %1, связей с устройствами: %2.\n"
                       "Конфигурация кнопок строится из проекта и записывается в устройство "
                       "целиком.")
            .arg(device->buttonCount())
            .arg(device->linkCount()));
}

bool IpPultDeviceWindow::showDescriptor(const QString &name, const QString &value)
{
    if (name == QLatin1String("SpeakerNomPower")) {
        ui->comboBoxSpeakerNomPower->setCurrentIndex(GainItems::speakerNomPowerIndex(value));
        return true;
    }
    QSpinBox *box = nullptr;
    if (name == QLatin1String("SignalVolume_1"))
        box = ui->spinBoxSoundVol1;
    else if (name == QLatin1String("SignalVolume_2"))
        box = ui->spinBoxSoundVol2;
    if (!box)
        return false;
    bool ok = false;
    const int volume = value.toInt(&ok);
    // A value the spin box cannot hold would show as another one.
    if (ok && volume >= box->minimum() && volume <= box->maximum()) {
        box->setValue(volume);
        FieldValues::given(box);
    }
    return true;
}

void IpPultDeviceWindow::on_pushButtonReadSignalVolume_clicked()
{
    readDescriptor(QStringLiteral("desc_SignalVolume_1"));
    readDescriptor(QStringLiteral("desc_SignalVolume_2"));
}

void IpPultDeviceWindow::on_pushButtonWriteSignalVolume_clicked()
{
    const QString first = QStringLiteral("Громкость сигнала 1");
    const QString second = QStringLiteral("Громкость сигнала 2");
    if (!completeFields({{ui->spinBoxSoundVol1, first}, {ui->spinBoxSoundVol2, second}}))
        return;
    startWrites({{QStringLiteral("desc_SignalVolume_1"),
                  QString::number(ui->spinBoxSoundVol1->value()), first, nullptr},
                 {QStringLiteral("desc_SignalVolume_2"),
                  QString::number(ui->spinBoxSoundVol2->value()), second, nullptr}});
}

void IpPultDeviceWindow::on_pushButtonReadAmps_clicked()
{
    readDescriptor(QStringLiteral("desc_AmpNomPower"));
    readDescriptor(QStringLiteral("desc_SpeakerNomPower"));
}

void IpPultDeviceWindow::on_pushButtonWriteAmps_clicked()
{
    // Both gains are written as item indexes and read back as values.
    if (!completeFields({{ui->comboBoxAmpNomPower, QString::fromUtf8(ampLabel)},
                         {ui->comboBoxSpeakerNomPower, QString::fromUtf8(speakerLabel)}}))
        return;
    const int amp = ui->comboBoxAmpNomPower->currentIndex();
    const int speaker = ui->comboBoxSpeakerNomPower->currentIndex();
    startWrites({{QStringLiteral("desc_AmpNomPower"), QString::number(amp),
                  QString::fromUtf8(ampLabel), nullptr},
                 {QStringLiteral("desc_SpeakerNomPower"), QString::number(speaker),
                  QString::fromUtf8(speakerLabel), nullptr}});
}

void IpPultDeviceWindow::on_pushButtonWriteKeys_clicked()
{
    showKeys();
    if (device->buttonCount() == 0)
        return;
    if (device->linkCount() == 0 &&
        !MessageBoxes::confirm(
            this, QStringLiteral("Запись конфигурации кнопок"),
            QStringLiteral("Ни одна из %1 кнопок пульта в проекте не связана с устройствами: "
                           "все назначения кнопок в устройстве будут стёрты.\nЗаписать?")
                .arg(device->buttonCount())))
        return;
    // Built in memory from the project and uploaded as it is: no local copy is left
    // behind to be taken for another console's.
    QByteArray image;
    QString error;
    if (!keyConfigImage(device, &image, &error)) {
        qDebug().noquote() << "Key image not built:" << error;
        showError(QStringLiteral("Конфигурация кнопок не записана: её нельзя построить из "
                                 "проекта. Проверьте кнопки пульта и устройства, на которые "
                                 "они ссылаются."));
        return;
    }
    startUpload(DevicePaths::keyFile, image, QStringLiteral("Запись конфигурации кнопок..."),
                Upload::Keys);
}
