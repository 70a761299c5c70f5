#include "app/fleetupdatedialog.h"
#include "ui_fleetupdatedialog.h"

#include "gui/filedialogs.h"
#include "gui/jobfailuretext.h"
#include "gui/messageboxes.h"
#include "project/devicetype.h"
#include "project/firmwarecatalogue.h"
#include "project/firmwareimage.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QDebug>
#include <QHeaderView>
#include <QSet>
#include <QSettings>

namespace {

// What the core calls a device it never started (FleetFirmwareUpdate's first outcome).
const QString notStartedReason = QStringLiteral("not started");

} // namespace

FleetUpdateDialog::FleetUpdateDialog(const ProjectModel *project, QSettings *settings,
                                     quint16 commandPort, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::FleetUpdateDialog)
    , m_project(project)
    , m_settings(settings)
    , m_commandPort(commandPort)
{
    ui->setupUi(this);
    ui->tableWidgetDevices->horizontalHeader()->setStretchLastSection(true);
    ui->tableWidgetDevices->verticalHeader()->hide();
    fillFilters();
    fillTable();
    connect(ui->comboBoxType, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FleetUpdateDialog::fillTable);
    connect(ui->comboBoxGroup, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &FleetUpdateDialog::fillTable);
    connect(ui->pushButtonChooseImage, &QPushButton::clicked, this,
            &FleetUpdateDialog::chooseImage);
    connect(ui->pushButtonStart, &QPushButton::clicked, this, &FleetUpdateDialog::startUpdate);
    connect(ui->pushButtonClose, &QPushButton::clicked, this, &FleetUpdateDialog::cancelOrClose);
}

FleetUpdateDialog::~FleetUpdateDialog()
{
    m_fleet.reset();
    delete ui;
}

void FleetUpdateDialog::setTimings(int connectMs, int bootWaitMs)
{
    m_connectMs = connectMs;
    m_bootWaitMs = bootWaitMs;
}

QString FleetUpdateDialog::resultText(const FleetFirmwareUpdate::Outcome &outcome)
{
    using Ending = FleetFirmwareUpdate::Outcome::Ending;
    switch (outcome.ending) {
    case Ending::Updated:
        return QStringLiteral("Обновлено");
    case Ending::NotStarted:
        return QStringLiteral("Не начато");
    case Ending::NoAnswer:
        return QStringLiteral("Устройство не ответило.");
    case Ending::Cancelled:
        return QStringLiteral("Отменено.");
    case Ending::Failed:
        break;
    }
    return JobFailureText::any(outcome.job);
}

QString FleetUpdateDialog::summary(const QList<FleetFirmwareUpdate::Outcome> &outcomes)
{
    int updated = 0;
    int failed = 0;
    int notStarted = 0;
    for (const FleetFirmwareUpdate::Outcome &outcome : outcomes) {
        if (outcome.ok)
            ++updated;
        else if (outcome.reason == notStartedReason)
            ++notStarted;
        else
            ++failed;
    }
    QString text = QStringLiteral("Обновлено: %1, с ошибками: %2").arg(updated).arg(failed);
    if (notStarted)
        text += QStringLiteral(", не начато: %1").arg(notStarted);
    return text;
}

void FleetUpdateDialog::fillFilters()
{
    // Only the types and groups that hold a device the update can reach.
    const QList<const ProjectDevice *> reachable = FleetFirmwareUpdate::select(*m_project, 0, {});
    QSet<int> types;
    for (const ProjectDevice *device : reachable)
        types.insert(device->type);
    QList<int> sortedTypes = types.values();
    std::sort(sortedTypes.begin(), sortedTypes.end());
    ui->comboBoxType->addItem(QStringLiteral("Все типы"), 0);
    for (int type : qAsConst(sortedTypes))
        ui->comboBoxType->addItem(deviceTypeName(type), type);

    QStringList names;
    for (const ProjectGroup *group : m_project->allGroups()) {
        if (!group->name.isEmpty() && !names.contains(group->name))
            names << group->name;
    }
    names.sort();
    ui->comboBoxGroup->addItem(QStringLiteral("Все группы"));
    ui->comboBoxGroup->addItems(names);
}

void FleetUpdateDialog::fillTable()
{
    const QString group =
        ui->comboBoxGroup->currentIndex() > 0 ? ui->comboBoxGroup->currentText() : QString();
    m_devices =
        FleetFirmwareUpdate::select(*m_project, ui->comboBoxType->currentData().toInt(), group);
    m_rowOfSerial.clear();
    QTableWidget *table = ui->tableWidgetDevices;
    table->setRowCount(0);
    table->setRowCount(m_devices.size());
    for (int row = 0; row < m_devices.size(); ++row) {
        const ProjectDevice *device = m_devices.at(row);
        m_rowOfSerial.insert(device->serial, row);
        setRow(row, Serial, QString::number(device->serial));
        setRow(row, Type, deviceTypeName(device->type));
        setRow(row, Address, device->ip_addr);
        for (int column = State; column < ColumnCount; ++column)
            setRow(row, column, QString());
    }
    table->resizeColumnsToContents();
    ui->labelSummary->setText(QStringLiteral("Устройств: %1").arg(m_devices.size()));
    updateButtons();
}

void FleetUpdateDialog::setRow(int row, int column, const QString &text)
{
    QTableWidgetItem *item = ui->tableWidgetDevices->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        ui->tableWidgetDevices->setItem(row, column, item);
    }
    item->setText(text);
}

void FleetUpdateDialog::updateButtons()
{
    const bool running = isRunning();
    ui->pushButtonStart->setEnabled(!running && !m_devices.isEmpty());
    ui->pushButtonChooseImage->setEnabled(!running);
    ui->comboBoxType->setEnabled(!running);
    ui->comboBoxGroup->setEnabled(!running);
    ui->spinBoxParallel->setEnabled(!running);
    ui->pushButtonClose->setText(running ? QStringLiteral("Отмена") : QStringLiteral("Закрыть"));
}

void FleetUpdateDialog::chooseImage()
{
    QString folder = m_settings
        ? m_settings->value(QStringLiteral("paths/firmwarefolder")).toString()
        : QString();
    if (folder.isEmpty())
        folder = FirmwareCatalogue::defaultFolder();
    const QString path = FileDialogs::openFile(this, QStringLiteral("fleetFirmwareFileDialog"),
                                               QStringLiteral("Файл прошивки"), folder,
                                               QStringLiteral("Файл прошивки (*.norda)"));
    if (!path.isEmpty())
        ui->lineEditImage->setText(path);
}

void FleetUpdateDialog::startUpdate()
{
    if (isRunning() || m_devices.isEmpty())
        return;
    const QString path = ui->lineEditImage->text();
    if (path.isEmpty()) {
        MessageBoxes::error(this, QStringLiteral("Выберите файл прошивки."));
        return;
    }
    FirmwareImage image;
    if (!image.load(path)) {
        qDebug().noquote() << "Fleet update:" << image.errorString();
        MessageBoxes::error(this,
                            QStringLiteral("Файл прошивки %1 не прочитан: это не файл "
                                           "прошивки, или его не удалось открыть.")
                                .arg(path));
        return;
    }
    // Refused before any device is asked: one unfit image would fail every device.
    const FirmwareUpdateJob::ImageProblem problem =
        FleetFirmwareUpdate::checkImage(image, m_devices);
    if (problem != FirmwareUpdateJob::ImageProblem::None) {
        MessageBoxes::error(
            this,
            QStringLiteral("Прошивка не подходит выбранным устройствам: %1")
                .arg(FirmwareUpdateJob::problemText(problem, image.flashBase(), image.size())));
        return;
    }

    for (int row = 0; row < m_devices.size(); ++row) {
        setRow(row, State, QStringLiteral("ожидает"));
        setRow(row, Progress, QString());
        setRow(row, Result, QString());
    }
    m_fleet = std::make_unique<FleetFirmwareUpdate>(m_devices, image, m_commandPort,
                                                    ui->spinBoxParallel->value());
    m_fleet->setConnectTimeout(m_connectMs);
    m_fleet->setBootWait(m_bootWaitMs);
    connect(m_fleet.get(), &FleetFirmwareUpdate::deviceStarted, this,
            [this](quint32 serial, const QString &) { deviceStarted(serial); });
    connect(m_fleet.get(), &FleetFirmwareUpdate::deviceProgress, this,
            &FleetUpdateDialog::deviceProgress);
    connect(m_fleet.get(), &FleetFirmwareUpdate::deviceFinished, this,
            &FleetUpdateDialog::deviceFinished);
    connect(m_fleet.get(), &FleetFirmwareUpdate::finished, this, &FleetUpdateDialog::fleetFinished);
    ui->labelSummary->setText(QStringLiteral("Обновление..."));
    updateButtons();
    m_fleet->start();
}

void FleetUpdateDialog::deviceStarted(quint32 serial)
{
    const int row = m_rowOfSerial.value(serial, -1);
    if (row < 0)
        return;
    setRow(row, State, QStringLiteral("обновляется"));
    setRow(row, Progress, QStringLiteral("0%"));
}

void FleetUpdateDialog::deviceProgress(quint32 serial, qint64 done, qint64 total)
{
    const int row = m_rowOfSerial.value(serial, -1);
    if (row < 0 || total <= 0)
        return;
    setRow(row, Progress, QStringLiteral("%1%").arg(qBound<qint64>(0, done * 100 / total, 100)));
}

void FleetUpdateDialog::deviceFinished(const FleetFirmwareUpdate::Outcome &outcome)
{
    const int row = m_rowOfSerial.value(outcome.serial, -1);
    if (row < 0)
        return;
    setRow(row, State, outcome.ok ? QStringLiteral("обновлено") : QStringLiteral("ошибка"));
    if (outcome.ok)
        setRow(row, Progress, QStringLiteral("100%"));
    qDebug().noquote() << "Fleet update of" << outcome.serial << ":"
                       << (outcome.ok ? QStringLiteral("updated") : outcome.reason);
    setRow(row, Result, resultText(outcome));
}

void FleetUpdateDialog::fleetFinished()
{
    // The summary stays in the table: every row by its outcome, in the order of the list.
    const QList<FleetFirmwareUpdate::Outcome> outcomes = m_fleet->outcomes();
    for (int row = 0; row < outcomes.size() && row < m_devices.size(); ++row) {
        const FleetFirmwareUpdate::Outcome &outcome = outcomes.at(row);
        if (!outcome.ok && outcome.reason == notStartedReason) {
            setRow(row, State, QStringLiteral("не начато"));
            setRow(row, Result, QStringLiteral("Не начато"));
        }
    }
    // This runs inside the update's own signal: it goes once back in the event loop.
    m_fleet.release()->deleteLater();
    const QString text = summary(outcomes);
    ui->labelSummary->setText(text);
    updateButtons();
    bool failed = false;
    for (const FleetFirmwareUpdate::Outcome &outcome : outcomes)
        failed = failed || !outcome.ok;
    if (failed)
        MessageBoxes::error(this, text);
    else
        MessageBoxes::done(this, text);
    emit updateFinished();
}

bool FleetUpdateDialog::confirmCancel()
{
    return MessageBoxes::confirm(
        this, QStringLiteral("Обновление прошивки"),
        QStringLiteral("Обновление прошивки ещё идёт. Прервать его? Устройства, которые "
                       "обновляются сейчас, могут остаться в режиме загрузчика."));
}

void FleetUpdateDialog::cancelOrClose()
{
    if (!isRunning()) {
        reject();
        return;
    }
    if (!confirmCancel() || !isRunning())
        return;
    ui->pushButtonClose->setEnabled(false);
    m_fleet->cancel();
    // finished() follows once the running devices have stopped.
    connect(m_fleet.get(), &FleetFirmwareUpdate::finished, ui->pushButtonClose,
            [this] { ui->pushButtonClose->setEnabled(true); });
}

void FleetUpdateDialog::done(int result)
{
    if (isRunning()) {
        if (!confirmCancel())
            return;
        // Deleting the update cancels the running devices on their side.
        m_fleet.reset();
    }
    QDialog::done(result);
}
