#include "devices/tovikdevicewindow.h"
#include "ui_tovikdeviceform.h"

#include "devices/fieldvalues.h"
#include "devices/rwparamdialog.h"
#include "devices/tovikiotabs.h"
#include "devices/tovikjournaltab.h"
#include "devices/toviklinestab.h"
#include "devices/toviknetworktab.h"
#include "devices/tovikscreentab.h"
#include "devices/tovikstatetab.h"
#include "gui/messageboxes.h"
#include "link/amodule.h"
#include "link/binstatus.h"
#include "link/deviceconfigtable.h"
#include "link/tovikstatus.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QDebug>
#include <QMessageBox>
#include <QSettings>

namespace {

// Builds above this one answer "GET BINSTATUS".
constexpr int binStatusBuild = 619;
// The state polls of a tab that is not shown run every this many seconds.
constexpr int hiddenTabPollTicks = 5;

QStringList names(std::initializer_list<const char *> list)
{
    QStringList result;
    for (const char *name : list)
        result << QString::fromLatin1(name);
    return result;
}

AudioDeviceWindow::Traits tovikTraits()
{
    AudioDeviceWindow::Traits traits;
    traits.network = AudioDeviceWindow::Traits::ethernet();
    traits.networkReads =
        traits.network + names({"desc_BroadcastIP", "desc_OutPort", "desc_DevRole"});
    // The unit's address in the project is what the project upload writes into the unit.
    traits.updatesProjectAddress = false;
    traits.showsFiles = true;
    traits.signalNames =
        QStringList {QStringLiteral("Оповещение персонала"), QStringLiteral("Общее оповещение"),
                     QStringLiteral("Сигнал сирены"), QStringLiteral("Сигнал гонга"),
                     QStringLiteral("Тестовый сигнал")};
    traits.fileRefreshDelayMs = 500;
    return traits;
}

AudioDeviceWindow::Traits lumoTraits()
{
    AudioDeviceWindow::Traits traits;
    traits.updatesProjectAddress = false;
    traits.showsFiles = false;
    return traits;
}

void removeTab(QTabWidget *tabs, QWidget *tab)
{
    const int index = tabs->indexOf(tab);
    if (index >= 0)
        tabs->removeTab(index);
}

} // namespace

TovikDeviceWindow::TovikDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context)
    : TovikDeviceWindow(device, context, Variant())
{
    restoreWindowGeometry();
}

TovikDeviceWindow::TovikDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context,
                                     const Variant &variant)
    : AudioDeviceWindow(device, context, variant.lumo ? lumoTraits() : tovikTraits())
    , ui(new Ui::TovikDeviceForm)
    , variant(variant)
{
    setObjectName(QStringLiteral("TovikDeviceWindow"));
    auto *form = new QWidget(this);
    ui->setupUi(form);
    setUpForm(form);
    setUpTovikForm();
}

TovikDeviceWindow::~TovikDeviceWindow()
{
    // Before the facade goes: a journal read still running stops with its tab.
    delete journal;
    delete io;
    delete ui;
}

void TovikDeviceWindow::setUpTovikForm()
{
    io = new TovikIoTabs(ui->tabWidget);
    network = new TovikNetworkTab(ui->tabWidget, this);
    screen = new TovikScreenTab(ui->tabScreen, settings(), this);
    setUpJournalTab();

    // The alarm lines' frames, one below the other.
    ProjectModel *model = device->projectModel() ? device->projectModel() : project();
    const bool monitoring = model && model->monitoring;
    TovikLinesTab::Host host;
    host.linked = [this] { return linked(); };
    host.read = [this](const QStringList &names) { readList(names); };
    host.write = [this](const QList<DescriptorWrites::Write> &writes, const QString &success,
                        const std::function<void()> &after) {
        startWrites(writes, success, after);
    };
    host.error = [this](const QString &text) { showError(text); };
    host.information = [this](const QString &title, const QString &text) {
        showInformation(title, text);
    };
    lines = new TovikLinesTab(ui->tabWidget, amodule, device, model, host, this);
    state = new TovikStateTab(
        ui->tabWidget,
        [this](const QList<DescriptorWrites::Write> &writes, const QString &success) {
            startWrites(writes, success);
        },
        this);

    ui->spinBoxAudioInGain->setRange(0, 200);
    ui->spinBoxFirstMessageTimeSec->setRange(0, 3600);
    // The unit keeps the year in two digits: it holds 2000 to 2099.
    ui->dateTimeEdit->setDateTimeRange(TovikStatus::earliestUnitTime(),
                                       TovikStatus::latestUnitTime());
    ui->dateTimeEdit->setDateTime(QDateTime::currentDateTime());
    // Nothing of the unit's own groups holds a value before the unit gave one; the time
    // to set is the user's to enter.
    for (QWidget *field :
         {static_cast<QWidget *>(ui->comboBoxAlgorithm),
          static_cast<QWidget *>(ui->spinBoxFirstMessageTimeSec),
          static_cast<QWidget *>(ui->comboBoxTransCheckInterval),
          static_cast<QWidget *>(ui->dateTimeEdit), static_cast<QWidget *>(ui->spinBoxAudioInGain),
          static_cast<QWidget *>(ui->comboBoxRemotePolarity),
          static_cast<QWidget *>(ui->comboBoxBuu2Enable)})
        FieldValues::clear(field);
    ui->pushButtoSaveProject->hide();
    connectButtons();
    // The project's settings into the unit, step by step; what the unit holds then is read
    // again, also after a failure (what could not be put back shows as it is).
    connect(ui->pushButtonLoadProject, &QPushButton::clicked, this, [this] {
        if (!isIdentified()) {
            MessageBoxes::error(this, QStringLiteral("Нет подключения к устройству."));
            return;
        }
        RwParamDialog dialog(device, facade(), this);
        if (dialog.exec() == QDialog::Accepted || dialog.wroteToDevice())
            on_pushButtonReadAll_clicked();
    });
    connect(this, &BaseDeviceWindow::configDiffChanged, this,
            [this](bool diff) { on_hasConfigDiff_changed(diff); });
    applyAccess();
    on_hasConfigDiff_changed(false);
    network->updateRs485Controls();
    if (monitoring)
        applyMonitoringForm();
    if (settings() &&
        settings()->value(QStringLiteral("application/screenshot"), QStringLiteral("0")).toInt() ==
            0)
        removeTab(ui->tabWidgetSettings, ui->tabScreen);
    applyBuild();
}

void TovikDeviceWindow::connectButtons()
{
    auto click = [this](QPushButton *button, void (TovikDeviceWindow::*reaction)()) {
        connect(button, &QPushButton::clicked, this, [this, reaction] { (this->*reaction)(); });
    };
    click(ui->pushButtonReadModeSettings,
          &TovikDeviceWindow::on_pushButtonReadModeSettings_clicked);
    click(ui->pushButtonWriteModeSettings,
          &TovikDeviceWindow::on_pushButtonWriteModeSettings_clicked);
    click(ui->pushButtonWriteTime, &TovikDeviceWindow::on_pushButtonWriteTime_clicked);
    click(ui->pushButtonSynchroTime, &TovikDeviceWindow::on_pushButtonSynchroTime_clicked);
    click(ui->pushButtonReadMacAddress, &TovikDeviceWindow::on_pushButtonReadMacAddress_clicked);
    click(ui->pushButtonWriteMacAddress, &TovikDeviceWindow::on_pushButtonWriteMacAddress_clicked);
    click(ui->pushButtonReadRs485, &TovikDeviceWindow::on_pushButtonReadRs485_clicked);
    click(ui->pushButtonWriteRs485, &TovikDeviceWindow::on_pushButtonWriteRs485_clicked);
    click(ui->pushButtonReadAllPpk, &TovikDeviceWindow::on_pushButtonReadAllPpk_clicked);
    click(ui->pushButtonWriteAllPpk, &TovikDeviceWindow::on_pushButtonWriteAllPpk_clicked);
    click(ui->pushButtonReadAudioInGain, &TovikDeviceWindow::on_pushButtonReadAudioInGain_clicked);
    click(ui->pushButtonWriteAudioInGain,
          &TovikDeviceWindow::on_pushButtonWriteAudioInGain_clicked);
    click(ui->pushButtonReadRemotePolarity,
          &TovikDeviceWindow::on_pushButtonReadRemotePolarity_clicked);
    click(ui->pushButtonWriteRemotePolarity,
          &TovikDeviceWindow::on_pushButtonWriteRemotePolarity_clicked);
    click(ui->pushButtonReadBuu2Enable, &TovikDeviceWindow::on_pushButtonReadBuu2Enable_clicked);
    click(ui->pushButtonWriteBuu2Enable, &TovikDeviceWindow::on_pushButtonWriteBuu2Enable_clicked);
    click(ui->pushButtonInitByDefault, &TovikDeviceWindow::on_pushButtonInitByDefault_clicked);
    const QPushButton *readInputs[] = {ui->pushButtonReadInput1, ui->pushButtonReadInput2,
                                       ui->pushButtonReadInput3};
    const QPushButton *writeInputs[] = {ui->pushButtonWriteInput1, ui->pushButtonWriteInput2,
                                        ui->pushButtonWriteInput3};
    const QPushButton *readOutputs[] = {ui->pushButtonReadOutput1, ui->pushButtonReadOutput2,
                                        ui->pushButtonReadOutput3};
    const QPushButton *writeOutputs[] = {ui->pushButtonWriteOutput1, ui->pushButtonWriteOutput2,
                                         ui->pushButtonWriteOutput3};
    for (int n = 0; n < 3; ++n) {
        connect(readInputs[n], &QPushButton::clicked, this,
                [this, n] { on_pushButtonReadInput_clicked(n); });
        connect(writeInputs[n], &QPushButton::clicked, this,
                [this, n] { on_pushButtonWriteInput_clicked(n); });
        connect(readOutputs[n], &QPushButton::clicked, this,
                [this, n] { on_pushButtonReadOutput_clicked(n); });
        connect(writeOutputs[n], &QPushButton::clicked, this,
                [this, n] { on_pushButtonWriteOutput_clicked(n); });
    }
}

void TovikDeviceWindow::applyAccess()
{
    const bool full = hasFullAccess();
    ui->spinBoxAudioInGain->setEnabled(full);
    ui->comboBoxRemotePolarity->setEnabled(full);
    ui->pushButtonWriteAudioInGain->setVisible(full);
    if (!full) {
        ui->pushButtonLoadProject->hide();
        ui->labelHasConfigMsg->hide();
    }
}

void TovikDeviceWindow::applyMonitoringForm()
{
    ui->groupBoxWorkMode->hide();
    removeTab(ui->tabWidgetSettings, ui->tabNetwork);
    removeTab(ui->tabWidgetSettings, ui->tabScreen);
    removeTab(ui->tabWidgetSettings, ui->tabFactory);
    removeTab(ui->tabWidgetSettings, ui->tabOutputs);
    ui->pushButtonReadAll->hide();
    ui->pushButtonInitByDefault->hide();
    ui->pushButtonWriteAllLo->hide();
}

void TovikDeviceWindow::applyBuild()
{
    // Rows of descriptors the firmware build has; re-evaluated on every connection.
    const bool newer = build >= TovikNetworkTab::newerBuild;
    const bool full = hasFullAccess();
    network->setBuild(build);
    ui->labelRemotePolarity->setVisible(newer);
    ui->comboBoxRemotePolarity->setVisible(newer);
    ui->pushButtonReadRemotePolarity->setVisible(newer);
    ui->pushButtonWriteRemotePolarity->setVisible(newer && full);
    const bool buu2Row = newer && full && !variant.lumo;
    ui->labelBuu2->setVisible(buu2Row);
    ui->comboBoxBuu2Enable->setVisible(buu2Row);
    ui->pushButtonReadBuu2Enable->setVisible(buu2Row);
    ui->pushButtonWriteBuu2Enable->setVisible(buu2Row);
}

// ---- Lists ----

QStringList TovikDeviceWindow::readAllNames(int build)
{
    return DeviceConfigTable::readAll(DeviceType::Tovik2, build);
}

QStringList TovikDeviceWindow::readAllList() const
{
    return readAllNames(build);
}

QStringList TovikDeviceWindow::serialReads() const
{
    return {QStringLiteral("desc_SerialNumber")};
}

void TovikDeviceWindow::readList(const QStringList &list)
{
    if (!linked() || list.isEmpty())
        return;
    if (list.size() == 1)
        amodule->getDescriptor(list.first());
    else
        amodule->readDescriptors(list);
}

void TovikDeviceWindow::writeThenRead(const QList<DescriptorWrites::Write> &writes,
                                      const QStringList &readBack)
{
    startWrites(writes, QString(), [this, readBack] { readList(readBack); });
}

// ---- Connection and polling ----

void TovikDeviceWindow::on_amoduleConnected(int dev_type, QString fullver)
{
    // The rows and the read-all depend on the build of the unit that answers now.
    build = TovikStatus::buildNumber(fullver);
    applyBuild();
    AudioDeviceWindow::on_amoduleConnected(dev_type, fullver);
    state->setConnected(isIdentified());
}

void TovikDeviceWindow::on_amoduleDisconnected()
{
    AudioDeviceWindow::on_amoduleDisconnected();
    binStatusOutstanding = false;
    inputPollsOutstanding = 0;
    outputPollsOutstanding = 0;
    screen->linkDropped();
    lastMode.clear();
    buu2Known = false;
    lines->linkLost();
    state->setConnected(false);
}

bool TovikDeviceWindow::tabShown(QWidget *tab) const
{
    return ui->tabWidget->currentWidget() == ui->tabSettings &&
        ui->tabWidgetSettings->currentWidget() == tab;
}

void TovikDeviceWindow::pollDevice()
{
    pollStatus();
    if (build > binStatusBuild && !binStatusOutstanding && linked() &&
        amodule->getParam(QStringLiteral("BINSTATUS")) == Amodule::Queued)
        binStatusOutstanding = true;
    pollStates(&inputPollsOutstanding, &inputPollCounter, TovikIoTabs::inputStateReads(),
               ui->tabInputs);
    pollStates(&outputPollsOutstanding, &outputPollCounter, TovikIoTabs::outputStateReads(),
               ui->tabOutputs);
    screen->poll(amodule, linked());
    lines->tick(tabShown(ui->tabLO));
}

void TovikDeviceWindow::pollStates(int *outstanding, int *counter, const QStringList &list,
                                   QWidget *tab)
{
    ++*counter;
    // A poll read of a name the list read also waits for would end that list early; the
    // states of a tab the form does not have (monitoring mode) are not read at all.
    if (*outstanding > 0 || !linked() || amodule->readListSize() > 0 ||
        ui->tabWidgetSettings->indexOf(tab) < 0)
        return;
    if (!tabShown(tab) && *counter % hiddenTabPollTicks != 0)
        return;
    for (const QString &name : list) {
        if (amodule->getDescriptor(name) == Amodule::Queued)
            ++*outstanding;
    }
}

// ---- Answers ----

void TovikDeviceWindow::on_receivedDescriptor(QString descname, QVariant value, int index, int err)
{
    if (descname == QLatin1String("InputCtrlState") && inputPollsOutstanding > 0)
        --inputPollsOutstanding;
    else if (descname == QLatin1String("OutputState") && outputPollsOutstanding > 0)
        --outputPollsOutstanding;
    const QString text = value.toString();
    if (lines->showDescriptor(descname, index, text, answerFailed(text))) {
        updateProgress();
        return;
    }
    if (answerFailed(text)) {
        // A failed read leaves its control as it was.
        AudioDeviceWindow::on_receivedDescriptor(descname, value, index, err);
        return;
    }
    bool number = false;
    const int integer = text.trimmed().toInt(&number);
    if (descname == QLatin1String("Mode")) {
        lastMode = text.trimmed();
        showMode();
    } else if (descname == QLatin1String("Buu2Enable")) {
        if (text == QStringLiteral("вкл") || text == QStringLiteral("откл")) {
            setBuu2(text == QStringLiteral("вкл"));
            buu2Known = true;
            showMode();
        }
    } else if (descname == QLatin1String("CurrentTime")) {
        const QDateTime time = TovikStatus::parseUnitTime(text);
        if (time.isValid())
            ui->lineEditCurrentTime->setText(TovikStatus::displayText(time));
    } else if (descname == QLatin1String("FirstSoundTime")) {
        if (number && integer >= ui->spinBoxFirstMessageTimeSec->minimum() &&
            integer <= ui->spinBoxFirstMessageTimeSec->maximum()) {
            ui->spinBoxFirstMessageTimeSec->setValue(integer);
            FieldValues::given(ui->spinBoxFirstMessageTimeSec);
        }
    } else if (descname == QLatin1String("TransCheckInterval")) {
        const int interval = DeviceConfigTable::transCheckIntervalIndex(text);
        if (interval >= 0)
            ui->comboBoxTransCheckInterval->setCurrentIndex(interval);
    } else if (descname == QLatin1String("AudioInGain")) {
        if (number && integer >= ui->spinBoxAudioInGain->minimum() &&
            integer <= ui->spinBoxAudioInGain->maximum()) {
            ui->spinBoxAudioInGain->setValue(integer);
            FieldValues::given(ui->spinBoxAudioInGain);
        }
    } else if (descname == QLatin1String("RemotePolarity")) {
        ui->comboBoxRemotePolarity->setCurrentIndex(text == QStringLiteral("РАЗМЫКАНИЕМ") ? 0 : 1);
    } else if (descname == QLatin1String("Rs485GlobalEnable")) {
        network->show(descname, index, text);
        if ((text == QStringLiteral("вкл")) != device->rs485_enabled)
            setConfigDiff(true);
    } else if (!io->show(descname, index, text) && !network->show(descname, index, text)) {
        AudioDeviceWindow::on_receivedDescriptor(descname, value, index, err);
        return;
    }
    updateProgress();
}

void TovikDeviceWindow::showMode()
{
    if (lastMode.isEmpty())
        return;
    QComboBox *box = ui->comboBoxAlgorithm;
    // Written as the list index, read back counted from 1; a text is "DADAR СБП", which
    // the list has only with the BUU-2 module (the answer to Buu2Enable applies the mode
    // again). A mode the list does not have selects nothing, and nothing is written then.
    box->setCurrentIndex(DeviceConfigTable::modeIndex(lastMode, box->count()));
}

void TovikDeviceWindow::setBuu2(bool on)
{
    buu2 = on;
    ui->comboBoxBuu2Enable->setCurrentIndex(on ? 1 : 0);
    QComboBox *box = ui->comboBoxAlgorithm;
    if (on && box->count() == 3) {
        box->addItem(QStringLiteral("DADAR СБП"));
    } else if (!on && box->count() == 4) {
        // The mode the list no longer has is no mode to write back.
        if (box->currentIndex() == 3)
            box->setCurrentIndex(-1);
        box->removeItem(3);
    }
}

void TovikDeviceWindow::on_receivedParam(QString paramname, QString value, int err)
{
    if (paramname == QLatin1String("BINSTATUS")) {
        binStatusOutstanding = false;
        if (!answerFailed(value))
            network->showBinStatus(BinStatus::parse(value));
        updateProgress();
        return;
    }
    if (paramname == QLatin1String("LO_CURRENT_VALUES")) {
        lines->showCurrentValues(value, answerFailed(value));
        updateProgress();
        return;
    }
    if (paramname == QLatin1String("SCREEN")) {
        screen->showAnswer(value, answerFailed(value));
        updateProgress();
        return;
    }
    if (paramname == QLatin1String("STATUS") && !answerFailed(value))
        showTovikStatus(value);
    AudioDeviceWindow::on_receivedParam(paramname, value, err);
}

void TovikDeviceWindow::showTovikStatus(const QString &value)
{
    const TovikStatus status = TovikStatus::parse(value);
    if (!status.valid)
        return;
    journal->showStatus(status);
    if (status.clock.isValid())
        ui->lineEditCurrentTime->setText(TovikStatus::displayText(status.clock));
    if (status.hasPpk)
        io->showPpkStates(status.ppk);
    network->showConsoleStates(status);
    lines->showStatus(status);
    state->showStatus(status);
}

void TovikDeviceWindow::on_hasConfigDiff_changed(bool diff)
{
    const bool show = hasFullAccess() && diff;
    ui->labelHasConfigMsg->setVisible(show);
    ui->pushButtonLoadProject->setVisible(show);
}

// ---- Journal ----

void TovikDeviceWindow::setUpJournalTab()
{
    TovikJournalTab::Host host;
    host.canRead = [this] { return linked() && !windowTransferRunning(); };
    host.beginTransfer = [this](const QString &label, qint64 total) {
        beginWindowTransfer(label, total);
    };
    host.transferProgress = [this](qint64 done, qint64 total) {
        setWindowTransferProgress(done, total);
    };
    host.endTransfer = [this] { endWindowTransfer(); };
    host.startWrites = [this](const QList<DescriptorWrites::Write> &writes,
                              const QString &success) { startWrites(writes, success); };
    host.pollStatus = [this] { pollStatus(); };
    host.deviceType = [this] { return deviceTypeCode() ? deviceTypeCode() : device->type; };
    host.serial = [this] { return quint64(deviceSerial ? deviceSerial : device->serial); };
    journal = new TovikJournalTab(ui->tabJournal, this, amodule, settings(), host);
}

void TovikDeviceWindow::abortExchange()
{
    if (!journal->cancel())
        AudioDeviceWindow::abortExchange();
}

// ---- Mode and clock ----

void TovikDeviceWindow::on_pushButtonReadModeSettings_clicked()
{
    QStringList list =
        names({"desc_DevRole", "desc_Mode", "desc_FirstSoundTime", "desc_TransCheckInterval"});
    if (build >= TovikNetworkTab::newerBuild)
        list << QStringLiteral("desc_DeviceTag");
    readList(list);
}

void TovikDeviceWindow::on_pushButtonWriteModeSettings_clicked()
{
    if (!completeFields(
            {{ui->comboBoxAlgorithm, QStringLiteral("Алгоритм")},
             {ui->spinBoxFirstMessageTimeSec, QStringLiteral("Время первого сообщения")},
             {ui->comboBoxTransCheckInterval, QStringLiteral("Интервал контроля трансляции")}}))
        return;
    const int mode = ui->comboBoxAlgorithm->currentIndex();
    const int interval = ui->comboBoxTransCheckInterval->currentIndex();
    startWrites(
        {{QStringLiteral("desc_Mode"), QString::number(mode), QStringLiteral("Алгоритм"), nullptr},
         {QStringLiteral("desc_FirstSoundTime"),
          QString::number(ui->spinBoxFirstMessageTimeSec->value()),
          QStringLiteral("Время первого сообщения"), nullptr},
         {QStringLiteral("desc_TransCheckInterval"), QString::number(interval),
          QStringLiteral("Интервал контроля трансляции"), nullptr}});
}

void TovikDeviceWindow::writeTime(const QDateTime &time)
{
    // The unit's clock is a wall clock: it takes the PC's local time, of this century only.
    const QString text = TovikStatus::unitTimeText(time);
    if (text.isEmpty()) {
        refuseWrite(QStringLiteral("Параметры не записаны: прибор хранит время только с 2000 "
                                   "по 2099 год."));
        return;
    }
    writeThenRead(
        {{QStringLiteral("desc_WriteTime"), text, QStringLiteral("Время прибора"), nullptr}},
        {QStringLiteral("desc_CurrentTime")});
}

void TovikDeviceWindow::on_pushButtonWriteTime_clicked()
{
    if (!completeFields({{ui->dateTimeEdit, QStringLiteral("Время прибора")}}))
        return;
    writeTime(ui->dateTimeEdit->dateTime());
}

void TovikDeviceWindow::on_pushButtonSynchroTime_clicked()
{
    const QDateTime now = QDateTime::currentDateTime();
    ui->dateTimeEdit->setDateTime(now);
    writeTime(now);
}

// ---- Network ----

void TovikDeviceWindow::on_pushButtonReadMacAddress_clicked()
{
    if (build >= TovikNetworkTab::newerBuild)
        readList({QStringLiteral("desc_MacAddress")});
}

void TovikDeviceWindow::on_pushButtonWriteMacAddress_clicked()
{
    QList<DescriptorWrites::Write> writes;
    QString refusal;
    if (!network->macWrite(&writes, &refusal)) {
        refuseWrite(refusal);
        return;
    }
    writeThenRead(writes, {QStringLiteral("desc_MacAddress")});
}

void TovikDeviceWindow::on_pushButtonReadRs485_clicked()
{
    readList(TovikNetworkTab::rs485Reads(build));
}

void TovikDeviceWindow::on_pushButtonWriteRs485_clicked()
{
    if (!linked()) {
        refuseWrite(QStringLiteral("Параметры не записаны: устройство не подключено."));
        return;
    }
    QList<DescriptorWrites::Write> writes;
    QString refusal;
    if (!network->rs485Writes(&writes, &refusal)) {
        refuseWrite(refusal);
        return;
    }
    startWrites(writes);
}

// ---- PPK, inputs, outputs ----

void TovikDeviceWindow::on_pushButtonReadAllPpk_clicked()
{
    readList(TovikIoTabs::ppkReads());
}

void TovikDeviceWindow::on_pushButtonWriteAllPpk_clicked()
{
    QList<DescriptorWrites::Write> writes;
    QString refusal;
    if (!io->ppkWrites(&writes, &refusal)) {
        refuseWrite(refusal);
        return;
    }
    startWrites(writes);
}

void TovikDeviceWindow::on_pushButtonReadInput_clicked(int n)
{
    readList(TovikIoTabs::inputReads(n));
}

void TovikDeviceWindow::on_pushButtonWriteInput_clicked(int n)
{
    QList<DescriptorWrites::Write> writes;
    QString refusal;
    if (!io->inputWrites(n, &writes, &refusal)) {
        refuseWrite(refusal);
        return;
    }
    startWrites(writes);
}

void TovikDeviceWindow::on_pushButtonReadOutput_clicked(int k)
{
    readList(TovikIoTabs::outputReads(k));
}

void TovikDeviceWindow::on_pushButtonWriteOutput_clicked(int k)
{
    QList<DescriptorWrites::Write> writes;
    QString refusal;
    if (!io->outputWrites(k, &writes, &refusal)) {
        refuseWrite(refusal);
        return;
    }
    startWrites(writes);
}

// ---- Factory ----

void TovikDeviceWindow::on_pushButtonReadAudioInGain_clicked()
{
    readList({QStringLiteral("desc_AudioInGain")});
}

void TovikDeviceWindow::on_pushButtonWriteAudioInGain_clicked()
{
    if (!completeFields({{ui->spinBoxAudioInGain, QStringLiteral("Усиление по входу")}}))
        return;
    writeThenRead(
        {{QStringLiteral("desc_AudioInGain"), QString::number(ui->spinBoxAudioInGain->value()),
          QStringLiteral("Усиление по входу"), nullptr}},
        {QStringLiteral("desc_AudioInGain")});
}

void TovikDeviceWindow::on_pushButtonReadRemotePolarity_clicked()
{
    if (build >= TovikNetworkTab::newerBuild)
        readList({QStringLiteral("desc_RemotePolarity")});
}

void TovikDeviceWindow::on_pushButtonWriteRemotePolarity_clicked()
{
    const QString label = QStringLiteral("Включение УМ");
    int index = -1;
    if (build < TovikNetworkTab::newerBuild ||
        !selectedItem(ui->comboBoxRemotePolarity, label, &index))
        return;
    writeThenRead({{QStringLiteral("desc_RemotePolarity"), QString::number(index), label, nullptr}},
                  {QStringLiteral("desc_RemotePolarity")});
}

void TovikDeviceWindow::on_pushButtonReadBuu2Enable_clicked()
{
    if (build >= TovikNetworkTab::newerBuild)
        readList({QStringLiteral("desc_Buu2Enable")});
}

void TovikDeviceWindow::on_pushButtonWriteBuu2Enable_clicked()
{
    const QString label = QStringLiteral("Модуль БУУ-2");
    int index = -1;
    if (build < TovikNetworkTab::newerBuild || !selectedItem(ui->comboBoxBuu2Enable, label, &index))
        return;
    writeThenRead({{QStringLiteral("desc_Buu2Enable"), QString::number(index), label, nullptr}},
                  {QStringLiteral("desc_Buu2Enable"), QStringLiteral("desc_Mode")});
}

void TovikDeviceWindow::on_pushButtonInitByDefault_clicked()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Сброс настроек"),
                    QStringLiteral("Сбросить настройки прибора к заводским?\n"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("messageBoxInitByDefault"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return;
    // What the unit holds afterwards is read again.
    startWrites({{QStringLiteral("desc_InitByDefaultCmd"), QStringLiteral("1"),
                  QStringLiteral("Сброс настроек"), nullptr}},
                QStringLiteral("Настройки прибора сброшены к заводским."),
                [this] { on_pushButtonReadAll_clicked(); });
}
