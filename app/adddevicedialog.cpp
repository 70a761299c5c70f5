#include "app/adddevicedialog.h"
#include "ui_adddevicedialog.h"

#include "project/inout.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QIntValidator>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace {

const char defaultIpAddress[] = "192.168.0.250";
const int typeOrder[] = {DeviceType::Norda410x, DeviceType::Norda4200,   DeviceType::Kv510,
                         DeviceType::Lumo4,     DeviceType::BexarTovik2, DeviceType::Horn,
                         DeviceType::IpPult,    DeviceType::Unknown};

// Types reached over Ethernet only: the dialog keeps their Ethernet switched on.
bool isEthernetOnlyType(int type)
{
    return type == DeviceType::Horn || type == DeviceType::IpPult || type == DeviceType::Lumo4;
}

// Selects the item whose data equals value, adding an item with that value (placed by
// value) when the box has none, so that an unusual stored value is shown and kept.
void selectByData(QComboBox *box, int value, const QString &text)
{
    int index = box->findData(value);
    if (index < 0) {
        index = 0;
        while (index < box->count() && box->itemData(index).toInt() < value)
            ++index;
        box->insertItem(index, text, value);
    }
    box->setCurrentIndex(index);
}

} // namespace

AddDeviceDialog::AddDeviceDialog(ProjectModel *project, ProjectGroup *group, ProjectDevice *device,
                                 QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::FormAddDeviceManual)
    , m_project(project)
    , m_group(group)
    , m_device(device)
{
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    {
        const QSignalBlocker blocker(ui->comboBoxDeviceType);
        for (int type : typeOrder)
            ui->comboBoxDeviceType->addItem(deviceTypeName(type), type);
    }
    for (int count = 8; count <= 40; count += 8)
        ui->comboBoxKeysCount->addItem(QString::number(count), count);

    if (m_device) {
        setWindowTitle(QStringLiteral("Изменение устройства..."));
        ui->comboBoxDeviceType->setEnabled(false);
        ui->pushButtonAddDevice->setText(QStringLiteral("Изменить"));
    } else {
        setWindowTitle(QStringLiteral("Добавить устройство в проект системы..."));
    }

    ui->comboBoxGroup->addItem(QStringLiteral("Без группы"), 0);
    if (m_project) {
        for (ProjectGroup *each : m_project->allGroups()) {
            ui->comboBoxGroup->addItem(each->groupPath(), QVariant::fromValue(each));
            if (each == m_group)
                ui->comboBoxGroup->setCurrentIndex(ui->comboBoxGroup->count() - 1);
        }
    }

    const QString n = QStringLiteral("(?:[0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])");
    const QRegularExpression ipPattern(QStringLiteral("^") + n + QStringLiteral("\\.") + n +
                                       QStringLiteral("\\.") + n + QStringLiteral("\\.") + n +
                                       QStringLiteral("$"));
    ui->lineEditIpAddress->setValidator(new QRegularExpressionValidator(ipPattern, this));
    ui->lineEditSerialNumber->setValidator(new QIntValidator(1, 2147483647, this));
    ui->lineEditDeviceTag->setMaxLength(64);

    if (m_device) {
        fillFromDevice(m_device);
    } else {
        ui->comboBoxDeviceType->setCurrentIndex(0);
        layoutForType(selectedType());
        ui->lineEditSerialNumber->setText(QStringLiteral("1"));
        ui->lineEditIpAddress->setText(QString::fromLatin1(defaultIpAddress));
        if (!m_group)
            ui->comboBoxGroup->setCurrentIndex(0);
        ui->checkBoxRs485Enable->setChecked(false);
        ui->checkBoxEthernetEnable->setChecked(false);
        ui->lineEditIpAddress->setEnabled(false);
        ui->comboBoxRs485Mode->setEnabled(false);
        ui->labelKeysCount->hide();
        ui->comboBoxKeysCount->hide();
    }

    const bool monitoring = m_project && m_project->monitoring;
    ui->labelDeviceTag->setText(monitoring ? QStringLiteral("Расположение:")
                                           : QStringLiteral("Имя устройства:"));
}

AddDeviceDialog::~AddDeviceDialog()
{
    delete ui;
}

ProjectGroup *AddDeviceDialog::group() const
{
    return ui->comboBoxGroup->currentData().value<ProjectGroup *>();
}

int AddDeviceDialog::selectedType() const
{
    if (m_device)
        return m_device->type;
    return ui->comboBoxDeviceType->currentData().toInt();
}

void AddDeviceDialog::fillFromDevice(const ProjectDevice *device)
{
    {
        const QSignalBlocker blocker(ui->comboBoxDeviceType);
        // A type the adding list does not offer (a bootloader, a media converter) is
        // still shown as what it is.
        selectByData(ui->comboBoxDeviceType, device->type, deviceTypeName(device->type));
    }
    layoutForType(device->type);
    if (isConsoleType(device->type)) {
        const int count = device->keys_count > 0 ? device->keys_count : device->buttonCount();
        selectByData(ui->comboBoxKeysCount, count, QString::number(count));
    }
    ui->lineEditSerialNumber->setText(QString::number(device->serial));
    ui->lineEditDeviceTag->setText(device->tag);
    if (device->ip_enabled) {
        ui->checkBoxEthernetEnable->setChecked(true);
        ui->lineEditIpAddress->setText(device->ip_addr);
        ui->lineEditIpAddress->setEnabled(true);
    } else {
        ui->checkBoxEthernetEnable->setChecked(false);
        ui->lineEditIpAddress->setText(QString::fromLatin1(defaultIpAddress));
        ui->lineEditIpAddress->setEnabled(false);
    }
    // Devices whose bus widgets are shown keep their bus settings as stored.
    if (!isEthernetOnlyType(device->type)) {
        if (device->rs485_enabled) {
            ui->checkBoxRs485Enable->setChecked(true);
            ui->comboBoxRs485Mode->setEnabled(true);
            const int address = device->rs485_addr;
            const QString text = device->type == DeviceType::BexarTovik2
                ? QStringLiteral("Адрес ") + QString::number(address)
                : QStringLiteral("Блок расширения ") + QString::number(address);
            selectByData(ui->comboBoxRs485Mode, address, text);
        } else {
            ui->checkBoxRs485Enable->setChecked(false);
            ui->comboBoxRs485Mode->setEnabled(false);
            ui->comboBoxRs485Mode->setCurrentIndex(0);
        }
    }
}

void AddDeviceDialog::fillBusItems(int type)
{
    const BusItems wanted = type == DeviceType::BexarTovik2 ? BusItems::Consoles : BusItems::Units;
    if (m_busItems == wanted)
        return;
    m_busItems = wanted;
    ui->comboBoxRs485Mode->clear();
    if (wanted == BusItems::Consoles) {
        for (int address = 1; address <= 32; ++address)
            ui->comboBoxRs485Mode->addItem(QStringLiteral("Адрес ") + QString::number(address),
                                           address);
    } else {
        ui->comboBoxRs485Mode->addItem(QStringLiteral("Центральный блок"), 0);
        for (int address = 1; address <= 9; ++address)
            ui->comboBoxRs485Mode->addItem(
                QStringLiteral("Блок расширения ") + QString::number(address), address);
    }
    ui->comboBoxRs485Mode->setCurrentIndex(0);
}

void AddDeviceDialog::layoutForType(int type)
{
    auto showRs485 = [this](bool shown) {
        ui->checkBoxRs485Enable->setVisible(shown);
        ui->comboBoxRs485Mode->setVisible(shown);
    };
    auto showEthernet = [this](bool shown) {
        ui->checkBoxEthernetEnable->setVisible(shown);
        ui->lineEditIpAddress->setVisible(shown);
    };
    auto showKeys = [this](bool shown) {
        ui->labelKeysCount->setVisible(shown);
        ui->comboBoxKeysCount->setVisible(shown);
    };

    if (isCentralUnitType(type)) {
        fillBusItems(type);
        showRs485(true);
        ui->comboBoxRs485Mode->setEnabled(ui->checkBoxRs485Enable->isChecked());
        showEthernet(true);
        ui->checkBoxEthernetEnable->setEnabled(true);
        ui->lineEditIpAddress->setEnabled(ui->checkBoxEthernetEnable->isChecked());
        showKeys(false);
    } else if (type == DeviceType::BexarTovik2) {
        fillBusItems(type);
        showRs485(true);
        ui->checkBoxRs485Enable->setChecked(true);
        ui->comboBoxRs485Mode->setEnabled(true);
        // The console has no Ethernet: a hidden, still checked box must not give it one.
        showEthernet(false);
        ui->checkBoxEthernetEnable->setChecked(false);
        showKeys(true);
    } else if (isEthernetOnlyType(type)) {
        // These devices have no RS-485: a hidden, still checked box must not give them one.
        showRs485(false);
        ui->checkBoxRs485Enable->setChecked(false);
        showEthernet(true);
        ui->checkBoxEthernetEnable->setChecked(true);
        ui->checkBoxEthernetEnable->setEnabled(false);
        ui->lineEditIpAddress->setEnabled(true);
        showKeys(type == DeviceType::IpPult);
    } else if (m_busItems == BusItems::None) {
        // Other types keep the form as it is; the bus box still needs its items.
        fillBusItems(type);
    }
}

void AddDeviceDialog::on_comboBoxDeviceType_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    layoutForType(selectedType());
}

void AddDeviceDialog::on_checkBoxRs485Enable_stateChanged(int state)
{
    ui->comboBoxRs485Mode->setEnabled(state == Qt::Checked);
}

void AddDeviceDialog::on_checkBoxEthernetEnable_stateChanged(int state)
{
    ui->lineEditIpAddress->setEnabled(state == Qt::Checked);
}

void AddDeviceDialog::on_pushButtonCansel_clicked()
{
    reject();
}

void AddDeviceDialog::on_pushButtonAddDevice_clicked()
{
    const int type = selectedType();
    const int serial = int(ui->lineEditSerialNumber->text().toUInt());
    const QString tag = ui->lineEditDeviceTag->text();
    const bool rs485 = ui->checkBoxRs485Enable->isChecked();
    const int busAddress = qBound(0, ui->comboBoxRs485Mode->currentData().toInt(), 255);
    const bool ethernet = ui->checkBoxEthernetEnable->isChecked();
    // An address is kept as it will be used: decimal without leading zeros
    // ("192.168.010.5" is 192.168.10.5); an incomplete one as typed.
    QString address = ui->lineEditIpAddress->text();
    const QString canonical = Ipv4Address::canonical(address);
    if (!canonical.isEmpty())
        address = canonical;
    const int buttons = isConsoleType(type) ? ui->comboBoxKeysCount->currentData().toInt() : -1;

    if (m_device) {
        m_result = m_device;
        m_result->serial = serial;
        m_result->tag = tag;
        m_result->ip_addr = address;
        m_result->ip_enabled = ethernet;
        m_result->rs485_addr = uint8_t(busAddress);
        m_result->rs485_enabled = rs485;
        m_result->setKeysCount(buttons);
    } else {
        m_result = new ProjectDevice(type, serial, tag, rs485, uint8_t(busAddress), ethernet,
                                     address, buttons);
    }
    m_accepted = true;
    accept();
}
