#include "devices/audiodevicewindow.h"

#include "devices/audiofiletable.h"
#include "devices/devicebackupmenu.h"
#include "devices/fieldvalues.h"
#include "gui/messageboxes.h"
#include "jobs/filedownloadjob.h"
#include "jobs/fileuploadjob.h"
#include "link/amodule.h"
#include "link/gainitems.h"
#include "link/statusanswer.h"
#include "project/devicetype.h"
#include "project/ipv4address.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString octet = QStringLiteral("(?:[0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])");

// How long a closing window waits for a cancelled upload to end and the device to be reset.
constexpr int closeWaitMs = 10000;

struct NetworkField {
    const char *name;
    QLineEdit *AudioDeviceWidgets::*field;
    const char *label;
    bool address;
};

const NetworkField networkFields[] = {
    {"desc_IpAddress", &AudioDeviceWidgets::ipAddr, "IP-адрес", true},
    {"desc_NetMask", &AudioDeviceWidgets::netMask, "Маска подсети", true},
    {"desc_GateWay", &AudioDeviceWidgets::gateWay, "Шлюз", true},
    {"desc_CommandPort", &AudioDeviceWidgets::cmdPort, "Командный порт", false},
    {"desc_BroadcastIP", &AudioDeviceWidgets::broadcastIp, "Широковещательный адрес", true},
    {"desc_OutPort", &AudioDeviceWidgets::outPort, "Порт исходящей трансляции", false},
};

const NetworkField *networkField(const QString &name)
{
    for (const NetworkField &field : networkFields) {
        if (name == QLatin1String(field.name))
            return &field;
    }
    return nullptr;
}

template<typename T> void find(const QWidget *form, T **widget, const char *name)
{
    *widget = form->findChild<T *>(QLatin1String(name));
}

} // namespace

AudioDeviceWidgets AudioDeviceWidgets::fromForm(const QWidget *form)
{
    AudioDeviceWidgets w;
    find(form, &w.tabWidget, "tabWidget");
    find(form, &w.ipAddr, "lineEditIpAddr");
    find(form, &w.netMask, "lineEditNetMask");
    find(form, &w.gateWay, "lineEditGateWay");
    find(form, &w.cmdPort, "lineCmdPort");
    find(form, &w.broadcastIp, "lineEditBroadcastIp");
    if (!w.broadcastIp)
        find(form, &w.broadcastIp, "lineEditBroadcastIP");
    find(form, &w.outPort, "lineEditOutPort");
    find(form, &w.serialNumber, "lineEditSerialNumber");
    find(form, &w.ampNomPower, "comboBoxAmpNomPower");
    find(form, &w.maxVolume, "lineEditMaxVolume");
    find(form, &w.readMaxVolume, "pushButtonReadMaxVolume");
    find(form, &w.writeMaxVolume, "pushButtonWriteMaxVolume");
    find(form, &w.readEthernet, "pushButtonReadEthernet");
    find(form, &w.writeEthernet, "pushButtonWriteEthernet");
    find(form, &w.readSerial, "pushButtonReadSerial");
    find(form, &w.writeSerial, "pushButtonWriteSerial");
    find(form, &w.readAll, "pushButtonReadAll");
    find(form, &w.close, "pushButtonClose");
    find(form, &w.format, "pushButtonWriteCardFormatting");
    find(form, &w.eraseAll, "pushButtonEraseAllAudioFiles");
    find(form, &w.readFileList, "pushButtonReadAudiofileList");
    find(form, &w.loadFile, "pushButtonLoadCustomFile");
    find(form, &w.applyAssigns, "pushButtonApplyAssigns");
    find(form, &w.deleteFile, "pushButtonDeleteAudioFile");
    find(form, &w.fileCount, "labelAudioFileCount");
    find(form, &w.storage, "labelSdCardStatus");
    find(form, &w.fileTable, "tableAudioFiles");
    return w;
}

AudioDeviceWindow::AudioDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context,
                                     const Traits &traits)
    : BaseDeviceWindow(device, context)
    , traits(traits)
    , config(AssignmentConfig::groupForType(device->type),
             AssignmentConfig::keysForType(device->type))
{
    updateTitle();
    // Every connection, the first and each later one, reads the device again.
    connect(this, &BaseDeviceWindow::firstConnectionEvent, this,
            [this] { on_firstConnectionEvent(); });
    connect(this, &BaseDeviceWindow::connectionEvent, this, [this] { on_firstConnectionEvent(); });

    secondTimer = new QTimer(this);
    secondTimer->setInterval(1000);
    connect(secondTimer, &QTimer::timeout, this, [this] { on_secondTimerTimeout(); });
    progressTimer = new QTimer(this);
    progressTimer->setInterval(100);
    connect(progressTimer, &QTimer::timeout, this, [this] { on_100msTimerTimeout(); });
    secondTimer->start();
    progressTimer->start();
}

AudioDeviceWindow::~AudioDeviceWindow()
{
    // Before the facade goes: a deleted job stops its work on the device and says nothing.
    delete uploadJob.data();
    delete configJob.data();
}

void AudioDeviceWindow::setPollInterval(int ms)
{
    secondTimer->setInterval(ms);
}

void AudioDeviceWindow::updateTitle()
{
    setWindowTitle(deviceTypeName(device->type) + QStringLiteral(" №") +
                   QString::number(device->serial));
}

void AudioDeviceWindow::setUpForm(QWidget *form)
{
    w = AudioDeviceWidgets::fromForm(form);
    new DeviceBackupMenu(this);
    auto *layout = new QVBoxLayout(centralArea());
    layout->addWidget(form);

    auto *address = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^") + octet + QStringLiteral("\\.") + octet +
                           QStringLiteral("\\.") + octet + QStringLiteral("\\.") + octet +
                           QStringLiteral("$")),
        this);
    auto *port = new QIntValidator(1, 65535, this);
    for (const NetworkField &field : networkFields) {
        QLineEdit *edit = w.*field.field;
        if (!edit)
            continue;
        edit->setValidator(field.address ? static_cast<QValidator *>(address) : port);
        // Empty until the device or the user gives it an address.
        FieldValues::clear(edit);
    }
    if (w.maxVolume) {
        w.maxVolume->setValidator(new QIntValidator(1, 100, this));
        w.maxVolume->clear();
    }
    w.serialNumber->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^[0-9]{1,10}$")), this));
    if (w.ampNomPower) {
        for (const GainItem &item : GainItems::ampNomPower())
            w.ampNomPower->addItem(item.text, item.data);
        FieldValues::clear(w.ampNomPower);
    }
    w.deleteFile->setEnabled(false);
    w.applyAssigns->setEnabled(false);

    fileTable = new AudioFileTable(w.fileTable, this);
    if (!traits.signalNames.isEmpty())
        fileTable->setSignalNames(traits.signalNames);
    connect(fileTable, &AudioFileTable::selectionChanged, this,
            [this] { on_tableAudioFiles_itemSelectionChanged(); });
    connect(fileTable, &AudioFileTable::assignmentEdited, this,
            [this](int row) { on_tableAssign_changed(row); });
    // The loudspeaker and the media converter have no "Аудио-файлы" tab; their read-all
    // still reads the folder and the configuration.
    if (!traits.showsFiles)
        w.tabWidget->removeTab(1);

    auto click = [this](QPushButton *button, void (AudioDeviceWindow::*reaction)()) {
        if (button)
            connect(button, &QPushButton::clicked, this, [this, reaction] { (this->*reaction)(); });
    };
    click(w.readEthernet, &AudioDeviceWindow::on_pushButtonReadEthernet_clicked);
    click(w.writeEthernet, &AudioDeviceWindow::on_pushButtonWriteEthernet_clicked);
    click(w.readMaxVolume, &AudioDeviceWindow::on_pushButtonReadMaxVolume_clicked);
    click(w.writeMaxVolume, &AudioDeviceWindow::on_pushButtonWriteMaxVolume_clicked);
    click(w.readSerial, &AudioDeviceWindow::on_pushButtonReadSerial_clicked);
    click(w.writeSerial, &AudioDeviceWindow::on_pushButtonWriteSerial_clicked);
    click(w.readAll, &AudioDeviceWindow::on_pushButtonReadAll_clicked);
    click(w.close, &AudioDeviceWindow::on_pushButtonClose_clicked);
    click(w.format, &AudioDeviceWindow::on_pushButtonWriteCardFormatting_clicked);
    click(w.eraseAll, &AudioDeviceWindow::on_pushButtonEraseAllAudioFiles_clicked);
    click(w.readFileList, &AudioDeviceWindow::on_pushButtonReadAudiofileList_clicked);
    click(w.loadFile, &AudioDeviceWindow::on_pushButtonLoadCustomFile_clicked);
    click(w.applyAssigns, &AudioDeviceWindow::on_pushButtonApplyAssigns_clicked);
    click(w.deleteFile, &AudioDeviceWindow::on_pushButtonDeleteAudioFile_clicked);
}

bool AudioDeviceWindow::linked() const
{
    return amodule && amodule->isConnected() && isIdentified();
}

// ---- Connection and status ----

void AudioDeviceWindow::on_firstConnectionEvent()
{
    amodule->sendCommand(QStringLiteral("SET FILE_RESET"));
    on_pushButtonReadAll_clicked();
    deviceVer = 0;
}

void AudioDeviceWindow::on_amoduleDisconnected()
{
    BaseDeviceWindow::on_amoduleDisconnected();
    // Whatever was on its way is dropped with the link; the jobs end by themselves.
    statusOutstanding = false;
    listOutstanding = false;
    listWanted = false;
    configWanted = false;
    configLoaded = false;
    deletionsOutstanding = 0;
    writes.abandon();
}

void AudioDeviceWindow::on_secondTimerTimeout()
{
    if (!amodule->isConnected()) {
        abortExchange();
        updateProgress();
        return;
    }
    if (!amodule->isFileTransferPending() && !windowTransferRunning())
        pollDevice();
}

void AudioDeviceWindow::pollDevice()
{
    pollStatus();
}

void AudioDeviceWindow::stopPolling()
{
    secondTimer->stop();
}

void AudioDeviceWindow::on_100msTimerTimeout()
{
    updateProgress();
}

void AudioDeviceWindow::pollStatus()
{
    // One status request at a time: a device that answers slowly is not buried in them.
    if (statusOutstanding || !linked())
        return;
    if (amodule->getParam(QStringLiteral("STATUS")) == Amodule::Queued)
        statusOutstanding = true;
}

void AudioDeviceWindow::showStatus(const QString &value)
{
    const StatusAnswer answer = StatusAnswer::parse(value);
    if (!answer.valid)
        return;
    deviceType = answer.typeCode;
    deviceVer = uint16_t(answer.version);
    if (!answer.hasStorage)
        return;
    storageStatus = answer.storageStatus;
    storageTotal = answer.storageTotal;
    storageFree = answer.storageFree;
    w.storage->setText(StatusAnswer::storageLabel(storageStatus, storageTotal, storageFree));
}

// ---- Answers ----

bool AudioDeviceWindow::showInField(QLineEdit *field, const QString &value)
{
    if (!field)
        return false;
    if (const QValidator *validator = field->validator()) {
        QString text = value;
        int position = 0;
        if (validator->validate(text, position) != QValidator::Acceptable)
            return false;
    }
    field->setText(value);
    return true;
}

void AudioDeviceWindow::on_receivedDescriptor(QString descname, QVariant value, int index, int err)
{
    Q_UNUSED(index)
    Q_UNUSED(err)
    const QString text = value.toString();
    if (answerFailed(text)) {
        qDebug().noquote() << "Received failed desc in" << metaObject()->className() << descname
                           << text.trimmed();
        updateProgress();
        return;
    }
    qDebug().noquote() << "Received desc in" << metaObject()->className() << descname << text;
    if (descname == QLatin1String("SerialNumber")) {
        bool ok = false;
        const uint serial = text.toUInt(&ok);
        if (ok && showInField(w.serialNumber, text)) {
            deviceSerial = serial;
            if (serial != device->serial)
                setConfigDiff(true);
        }
    } else if (const NetworkField *field = networkField(QStringLiteral("desc_") + descname)) {
        showInField(w.*field->field, text);
    } else if (descname == QLatin1String("AmpNomPower") && w.ampNomPower) {
        // A gain answer that matches no item selects none.
        w.ampNomPower->setCurrentIndex(GainItems::ampNomPowerIndex(text));
    } else if (descname == QLatin1String("MaxVolume") && w.maxVolume) {
        showInField(w.maxVolume, text);
    } else {
        showDescriptor(descname, text);
    }
    updateProgress();
}

bool AudioDeviceWindow::showDescriptor(const QString &name, const QString &value)
{
    Q_UNUSED(name)
    Q_UNUSED(value)
    return false;
}

void AudioDeviceWindow::on_receivedParam(QString paramname, QString value, int err)
{
    Q_UNUSED(err)
    // A listing fails by the worker's code alone: its lines are file names.
    const bool failed =
        paramname == QLatin1String("FILE_LIST") ? exchangeFailed() : answerFailed(value);
    if (paramname == QLatin1String("STATUS")) {
        statusOutstanding = false;
        if (!failed)
            showStatus(value);
    } else if (paramname == QLatin1String("FILE_LIST")) {
        listOutstanding = false;
        if (!failed)
            showFileList(value);
        if (listWanted) {
            listWanted = false;
            requestFileList();
        }
    }
    updateProgress();
}

void AudioDeviceWindow::on_writedDescriptor(QString descname, QVariant value, int index, int err)
{
    Q_UNUSED(value)
    // The facade hands an element of an array on as its name and index.
    if (!writes.answered(QStringLiteral("%1[%2]").arg(descname).arg(index), err == 0))
        writes.answered(descname, err == 0);
    updateProgress();
}

void AudioDeviceWindow::on_writedParam(QString paramname, QString value, int err)
{
    Q_UNUSED(value)
    if (paramname == QLatin1String("FILE_DELETE")) {
        // Only the window's own deletions: a job over the same facade (the project's key
        // files) judges its own answers.
        if (deletionsOutstanding == 0)
            return;
        --deletionsOutstanding;
        if (err != 0)
            showError(QStringLiteral("Ошибка удаления файла."));
        refreshFiles();
    } else if (paramname == QLatin1String("DIR_CLEAR")) {
        if (err != 0)
            showError(QStringLiteral("Ошибка удаления файлов."));
        refreshFiles();
    } else if (paramname == QLatin1String("BOOT")) {
        close();
    }
}

// ---- Reads ----

void AudioDeviceWindow::readDescriptor(const QString &name)
{
    if (linked())
        amodule->getDescriptor(name);
}

void AudioDeviceWindow::on_pushButtonReadAll_clicked()
{
    if (!linked())
        return;
    amodule->readDescriptors(readAllList());
    refreshFiles();
    pollStatus();
}

QStringList AudioDeviceWindow::readAllList() const
{
    return traits.readAll;
}

void AudioDeviceWindow::on_pushButtonReadEthernet_clicked()
{
    if (linked())
        amodule->readDescriptors(traits.networkReads.isEmpty() ? traits.network
                                                               : traits.networkReads);
}

void AudioDeviceWindow::on_pushButtonReadMaxVolume_clicked()
{
    readDescriptor(QStringLiteral("desc_MaxVolume"));
}

void AudioDeviceWindow::on_pushButtonReadSerial_clicked()
{
    for (const QString &name : serialReads())
        readDescriptor(name);
}

QStringList AudioDeviceWindow::serialReads() const
{
    return {QStringLiteral("desc_SerialNumber")};
}

// ---- Writes ----

void AudioDeviceWindow::showError(const QString &text)
{
    QMetaObject::invokeMethod(
        this, [this, text] { MessageBoxes::error(this, text); }, Qt::QueuedConnection);
}

void AudioDeviceWindow::showInformation(const QString &title, const QString &text)
{
    QMetaObject::invokeMethod(
        this, [this, title, text] { MessageBoxes::information(this, title, text); },
        Qt::QueuedConnection);
}

void AudioDeviceWindow::refuseWrite(const QString &reason)
{
    showError(reason);
}

bool AudioDeviceWindow::completeFields(const QList<FieldValues::Field> &fields)
{
    const QStringList missing = FieldValues::missing(fields);
    if (missing.isEmpty())
        return true;
    refuseWrite(FieldValues::incomplete(missing));
    return false;
}

bool AudioDeviceWindow::completeField(QLineEdit *field, const QString &label, QString *text)
{
    if (!completeFields({{field, label}}))
        return false;
    *text = field->text();
    return true;
}

bool AudioDeviceWindow::selectedItem(QComboBox *box, const QString &label, int *index)
{
    if (!completeFields({{box, label}}))
        return false;
    *index = box->currentIndex();
    return true;
}

void AudioDeviceWindow::startWrites(const QList<DescriptorWrites::Write> &list,
                                    const QString &success, const std::function<void()> &after)
{
    if (!linked()) {
        refuseWrite(QStringLiteral("Параметры не записаны: устройство не подключено."));
        return;
    }
    QList<DescriptorWrites::Write> sent;
    QStringList unsent;
    for (const DescriptorWrites::Write &write : list) {
        // After one write could not be queued, the rest of the list is not sent either.
        const int queued = unsent.isEmpty() ? amodule->setDescriptor(write.name, write.value)
                                            : int(Amodule::Refused);
        if (queued == Amodule::AuditRefused && sent.isEmpty()) {
            refuseWrite(QStringLiteral("Параметры не записаны: журнал изменений недоступен (%1).")
                            .arg(amodule->refusalReason()));
            return;
        }
        if (queued == Amodule::Queued)
            sent.append(write);
        else
            unsent.append(write.label);
    }
    writes.add(sent, unsent, [this, success, after](const QStringList &failed, bool linkLost) {
        if (failed.isEmpty()) {
            showInformation(QStringLiteral("Запись выполнена"),
                            success.isEmpty() ? QStringLiteral("Параметры записаны.") : success);
        } else if (linkLost) {
            showError(QStringLiteral("Связь с устройством потеряна, не записаны: %1.")
                          .arg(failed.join(QStringLiteral(", "))));
        } else {
            showError(QStringLiteral("Устройство не приняло параметры: %1.")
                          .arg(failed.join(QStringLiteral(", "))));
        }
        if (after)
            after();
    });
}

void AudioDeviceWindow::projectDeviceChanged()
{
    ProjectModel *model = device->projectModel();
    if (!model)
        model = project();
    if (!model)
        return;
    model->modified = true;
    emit model->nodeChanged(device);
}

void AudioDeviceWindow::on_pushButtonWriteEthernet_clicked()
{
    if (!linked()) {
        refuseWrite(QStringLiteral("Параметры не записаны: устройство не подключено."));
        return;
    }
    // Every field of the group holds what the device or the user gave it, or nothing is
    // written: an address never read is no address to send.
    QList<FieldValues::Field> fields;
    for (const QString &name : qAsConst(traits.network)) {
        const NetworkField *field = networkField(name);
        if (QLineEdit *edit = field ? w.*field->field : nullptr)
            fields.append({edit, QString::fromUtf8(field->label)});
    }
    if (!completeFields(fields))
        return;
    QList<DescriptorWrites::Write> list;
    for (const QString &name : qAsConst(traits.network)) {
        const NetworkField *field = networkField(name);
        QLineEdit *edit = field ? w.*field->field : nullptr;
        if (!edit)
            continue;
        const QString label = QString::fromUtf8(field->label);
        QString text = edit->text();
        if (field->address) {
            // Written without leading zeros, which the device might read as octal.
            text = Ipv4Address::canonical(text);
            edit->setText(text);
        }
        DescriptorWrites::Write write {name, text, label, nullptr};
        if (name == QLatin1String("desc_IpAddress") && traits.updatesProjectAddress) {
            write.confirmed = [this, text] {
                if (Ipv4Address::sameHost(text, device->ip_addr))
                    return;
                device->ip_addr = text;
                projectDeviceChanged();
            };
        }
        list.append(write);
    }
    startWrites(list);
}

void AudioDeviceWindow::on_pushButtonWriteMaxVolume_clicked()
{
    QString text;
    if (!w.maxVolume ||
        !completeField(w.maxVolume, QStringLiteral("Максимальная громкость"), &text))
        return;
    startWrites({{QStringLiteral("desc_MaxVolume"), text, QStringLiteral("Максимальная громкость"),
                  nullptr}});
}

void AudioDeviceWindow::on_pushButtonWriteSerial_clicked()
{
    const QString label = QStringLiteral("Серийный номер");
    // The whole group, the factory values written with the number included.
    if (!completeFields(QList<FieldValues::Field> {{w.serialNumber, label}} + serialFields()))
        return;
    QString text = w.serialNumber->text();
    bool ok = false;
    const uint serial = text.toUInt(&ok);
    if (!ok || serial == 0) {
        refuseWrite(QStringLiteral(
            "Параметры не записаны: серийный номер должен быть числом от 1 до 4294967295."));
        return;
    }
    text = QString::number(serial);
    w.serialNumber->setText(text);
    QList<DescriptorWrites::Write> list;
    list.append({QStringLiteral("desc_SerialNumber"), text, label, [this, serial] {
                     deviceSerial = serial;
                     if (device->serial == serial)
                         return;
                     device->serial = serial;
                     updateTitle();
                     projectDeviceChanged();
                 }});
    if (!serialExtraWrites(&list))
        return;
    startWrites(list);
}

QList<FieldValues::Field> AudioDeviceWindow::serialFields() const
{
    return {};
}

bool AudioDeviceWindow::serialExtraWrites(QList<DescriptorWrites::Write> *list)
{
    Q_UNUSED(list)
    return true;
}

// ---- Closing ----

void AudioDeviceWindow::on_pushButtonClose_clicked()
{
    close();
}

void AudioDeviceWindow::abortExchange()
{
    if (uploadJob)
        uploadJob->cancel();
    else
        BaseDeviceWindow::abortExchange();
}

void AudioDeviceWindow::closeEvent(QCloseEvent *event)
{
    // An upload is cancelled and the device reset before the window and its connection go.
    if (uploadJob && uploadJob->isRunning()) {
        event->ignore();
        if (closingAfterCancel)
            return;
        closingAfterCancel = true;
        uploadJob->cancel();
        QTimer::singleShot(closeWaitMs, this, [this] {
            delete uploadJob.data();
            close();
        });
        return;
    }
    BaseDeviceWindow::closeEvent(event);
}
