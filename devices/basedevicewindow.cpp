#include "devices/basedevicewindow.h"
#include "ui_basedevicewindow.h"

#include "gui/accessguard.h"
#include "gui/windowgeometry.h"
#include "journal/accesssession.h"
#include "link/amodule.h"
#include "project/accesslevels.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"

#include <QDebug>
#include <QEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QSettings>
#include <QStatusBar>

#include <climits>

namespace {

const char grayStyle[] = "color: gray;";
const char greenStyle[] = "color: green;";

int clampToInt(qint64 value)
{
    return int(qBound<qint64>(0, value, INT_MAX));
}

} // namespace

BaseDeviceWindow::BaseDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context)
    : QMainWindow(context.parent)
    , device(device)
    , ui(new Ui::BaseDeviceWindow)
    , windowContext(context)
    , appSettings(context.settings)
    , projectModel(context.project)
{
    // The form names the window "BaseDeviceWindow"; concrete windows name themselves.
    ui->setupUi(this);
    resize(695, 439);
    setWindowTitle(QStringLiteral("Настройка устройства"));

    statusBar()->setStyleSheet(QLatin1String(grayStyle));
    statusBar()->showMessage(QStringLiteral("Устройство не подключено"));

    amodule = new Amodule(device, this, context.ports.commandPort);
    // The worker's report of a failure comes just before the typed signal of that answer.
    connect(amodule, &Amodule::exchangeError, this, [this] { failureReported = true; });
    auto take = [this] {
        currentAnswerFailed = failureReported;
        failureReported = false;
    };
    connect(amodule, &Amodule::connected, this, [this](int type, const QString &version) {
        failureReported = false;
        on_amoduleConnected(type, version);
    });
    connect(amodule, &Amodule::disconnected, this, [this] {
        failureReported = false;
        // The lost link took the rest of a running list read with it.
        if (listReading) {
            QStringList unread;
            for (const QString &name : amodule->droppedReadList())
                unread << (name.startsWith(QLatin1String("desc_")) ? name.mid(5) : name);
            endListRead(unread);
        }
        on_amoduleDisconnected();
    });
    connect(amodule, &Amodule::receivedDescriptor, this,
            [this, take](const QString &name, const QVariant &value, int index, int err) {
                take();
                if (listReading && answerFailed(value.toString())) {
                    const QString shown =
                        index != 0 ? name + QStringLiteral("[%1]").arg(index) : name;
                    if (!listFailures.contains(shown))
                        listFailures << shown;
                }
                on_receivedDescriptor(name, value, index, err);
            });
    connect(amodule, &Amodule::writedDescriptor, this,
            [this, take](const QString &name, const QVariant &value, int index, int err) {
                take();
                on_writedDescriptor(name, value, index, err);
            });
    connect(amodule, &Amodule::receivedParam, this,
            [this, take](const QString &name, const QString &value, int err) {
                take();
                on_receivedParam(name, value, err);
            });
    connect(amodule, &Amodule::writedParam, this,
            [this, take](const QString &name, const QString &value, int err) {
                take();
                on_writedParam(name, value, err);
            });
    connect(amodule, &Amodule::startReadList, this, &BaseDeviceWindow::on_startReadDescList);
    connect(amodule, &Amodule::endReadList, this, &BaseDeviceWindow::on_endReadList);
    connect(amodule, &Amodule::endWriteDescriptors, this, [this] { on_endWriteDescList(); });
    // File blocks are taken by the device jobs the windows run (link/*job.h): a download
    // job owns the buffers of its file.

    if (appSettings)
        levelWithoutSession = AccessLevels::levelWithoutUsers(
            appSettings->value(QStringLiteral("factory/fullaccess"), QStringLiteral("0"))
                .toString());
    fullAccess = accessLevel() >= AccessLevels::Factory;

    progress = new QProgressDialog(this);
    progress->setObjectName(QStringLiteral("progressDialog"));
    progressBar = new QProgressBar(progress);
    progress->setBar(progressBar);
    progress->setCancelButtonText(QStringLiteral("Отмена"));
    progress->setMinimumDuration(0);
    progress->setWindowModality(Qt::WindowModal);
    progress->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    progress->setWindowFlag(Qt::WindowCloseButtonHint, false);
    progress->setMinimumWidth(400);
    // Shown and hidden by updateProgress() only; a cancel leaves it up for that to see.
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->reset();
    progress->hide();
    connect(progress, &QProgressDialog::canceled, this, [this] { on_progressDialog_canceled(); });
}

BaseDeviceWindow::~BaseDeviceWindow()
{
    geometryRestored = false;
    // The facade ends the connection; its worker and thread delete themselves.
    if (amodule) {
        amodule->disconnect(this);
        amodule->setParent(nullptr);
        amodule->close();
        amodule->deleteLater();
        amodule = nullptr;
    }
    delete ui;
}

int BaseDeviceWindow::accessLevel() const
{
    return windowContext.access ? windowContext.access->level() : levelWithoutSession;
}

QWidget *BaseDeviceWindow::centralArea() const
{
    return ui->centralwidget;
}

QString BaseDeviceWindow::geometryGroup() const
{
    const QString name = QString::fromLatin1(metaObject()->className());
    if (name == QLatin1String("TovikDeviceWindow"))
        return QStringLiteral("tovik2window");
    if (name == QLatin1String("LumoDeviceWindow"))
        return QStringLiteral("lumowindow");
    return QStringLiteral("basedevicewindow");
}

// ---- Reactions ----

void BaseDeviceWindow::on_receivedDescriptor(QString descname, QVariant value, int index, int err)
{
    qDebug().noquote() << "BaseDeviceWindow::on_receivedDescriptor" << descname << value.toString()
                       << index << err;
}

void BaseDeviceWindow::on_receivedParam(QString paramname, QString value, int err)
{
    qDebug().noquote() << "BaseDeviceWindow::on_receivedParam" << paramname << value.trimmed()
                       << err;
}

void BaseDeviceWindow::on_writedDescriptor(QString descname, QVariant value, int index, int err)
{
    qDebug().noquote() << "BaseDeviceWindow::on_writedDescriptor" << descname << value.toString()
                       << index << err;
}

void BaseDeviceWindow::on_writedParam(QString paramname, QString value, int err)
{
    qDebug().noquote() << "BaseDeviceWindow::on_writedParam" << paramname << value.trimmed() << err;
}

void BaseDeviceWindow::on_progressDialog_canceled()
{
    updateProgress();
}

void BaseDeviceWindow::on_endWriteDescList()
{
    qDebug().noquote() << "BaseDeviceWindow::on_endWriteDescList";
}

void BaseDeviceWindow::on_amoduleConnected(int dev_type, QString fullver)
{
    identified = true;
    statusBar()->setStyleSheet(QLatin1String(greenStyle));
    statusBar()->showMessage(QStringLiteral("Подключен ") + deviceTypeName(dev_type) +
                             QStringLiteral(" вер. ") + fullver);
    if (!connectionSeen) {
        connectionSeen = true;
        emit firstConnectionEvent();
    } else {
        emit connectionEvent();
    }
}

void BaseDeviceWindow::on_amoduleDisconnected()
{
    identified = false;
    statusBar()->setStyleSheet(QLatin1String(grayStyle));
    statusBar()->showMessage(QStringLiteral("Нет подключения"));
    if (configDiff) {
        configDiff = false;
        emit configDiffChanged(false);
    }
}

bool BaseDeviceWindow::answerFailed(const QString &text, bool multiLine) const
{
    return currentAnswerFailed || isErrorText(text, multiLine);
}

bool BaseDeviceWindow::isErrorText(const QString &text, bool multiLine)
{
    // The device's refusals and the worker's own failures begin with "ERROR"; a value comes
    // without its line end, and only a list answer has several lines.
    if (text.startsWith(QLatin1String("ERROR")))
        return true;
    return !multiLine && (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')));
}

void BaseDeviceWindow::setConfigDiff(bool differs)
{
    if (differs == configDiff)
        return;
    configDiff = differs;
    emit configDiffChanged(differs);
}

// ---- Progress ----

void BaseDeviceWindow::on_startReadDescList(int count)
{
    // A list added to an unfinished one continues it.
    if (!listReading)
        listFailures.clear();
    listReading = true;
    // A list added to one being read lengthens the bar; what is done stays done.
    const bool running = progress->isVisible() && !fileTransferRunning && progress->maximum() > 0;
    const int done = running ? qMax(0, progressBar->value()) : 0;
    progress->setWindowTitle(QStringLiteral("Пожалуйста, подождите"));
    progress->setLabelText(QStringLiteral("Чтение параметров..."));
    progress->setMaximum(done + count);
    setProgressValue(done);
    progress->show();
}

void BaseDeviceWindow::on_endReadList()
{
    // The list is in: the bar is full, and the dialog goes unless a file still goes.
    if (!fileTransferRunning && progress->isVisible() && progress->maximum() > 0)
        advanceProgress(progress->maximum());
    updateProgress();
    if (listReading)
        endListRead({});
}

void BaseDeviceWindow::endListRead(const QStringList &unread)
{
    listReading = false;
    QStringList names = listFailures;
    listFailures.clear();
    for (const QString &name : unread) {
        if (!names.contains(name))
            names << name;
    }
    if (names.isEmpty())
        return;
    hideProgress();
    qDebug().noquote() << "BaseDeviceWindow: not read:" << names.join(QLatin1String(", "));
    // Not modal: a device that keeps failing the same values must not pile up boxes that
    // block the window; the one box says what the last list could not read.
    if (!readFailureBox) {
        readFailureBox = new QMessageBox(QMessageBox::Critical, QStringLiteral("Ошибка"), QString(),
                                         QMessageBox::Ok, this);
        readFailureBox->setObjectName(QStringLiteral("readFailureBox"));
        readFailureBox->setWindowModality(Qt::NonModal);
    }
    readFailureBox->setText(QStringLiteral("Не удалось прочитать параметры: ") +
                            names.join(QLatin1String(", ")));
    readFailureBox->show();
}

void BaseDeviceWindow::setProgressValue(int value)
{
    progressBar->setValue(value);
}

void BaseDeviceWindow::advanceProgress(int value)
{
    // One operation's bar only moves on; a new one starts from the dialog's hiding.
    if (value > progressBar->value())
        progressBar->setValue(value);
}

void BaseDeviceWindow::hideProgress()
{
    if (progress->isVisible())
        progress->hide();
    progressBar->setValue(progressBar->minimum());
}

void BaseDeviceWindow::abortExchange()
{
    if (amodule)
        amodule->abortFileWrite();
}

void BaseDeviceWindow::beginWindowTransfer(const QString &label, qint64 total)
{
    fileTransferRunning = true;
    fileTransferTotal = total;
    fileTransferPosition = 0;
    progress->reset();
    progress->setWindowTitle(QStringLiteral("Пожалуйста, подождите"));
    progress->setLabelText(label);
    progress->setMaximum(clampToInt(total));
    setProgressValue(0);
    progress->show();
}

void BaseDeviceWindow::setWindowTransferProgress(qint64 done, qint64 total)
{
    fileTransferPosition = done;
    if (total >= 0)
        fileTransferTotal = total;
    if (fileTransferRunning) {
        progress->setMaximum(clampToInt(fileTransferTotal));
        setProgressValue(clampToInt(done));
    }
}

void BaseDeviceWindow::endWindowTransfer()
{
    fileTransferRunning = false;
    fileTransferTotal = 0;
    fileTransferPosition = 0;
    updateProgress();
}

void BaseDeviceWindow::updateProgress()
{
    if (!amodule)
        return;
    if (!amodule->isConnected())
        hideProgress();

    bool hiddenNow = false;
    if (progress->isVisible() || progress->wasCanceled()) {
        if (progress->wasCanceled()) {
            fileTransferRunning = false;
            fileTransferTotal = 0;
            amodule->clearReadList();
            listReading = false;
            listFailures.clear();
            progress->reset();
            hideProgress();
            abortExchange();
            return;
        }
        if (amodule->readListSize() == 0 && !amodule->isFileTransferPending() &&
            !fileTransferRunning) {
            hideProgress();
            hiddenNow = true;
        }
    }
    if (!progress->isVisible() || hiddenNow) {
        if (!amodule->isConnected())
            return;
        if (fileTransferRunning) {
            progress->setMaximum(clampToInt(fileTransferTotal));
            progress->show();
        } else if (amodule->readListSize() > 0) {
            progress->show();
        } else if (amodule->isFileTransferPending()) {
            // A transfer of the facade alone tells no position: the bar shows that it works.
            progress->setMaximum(0);
            progress->show();
        }
        if (!progress->isVisible())
            return;
    }
    if (fileTransferRunning) {
        advanceProgress(clampToInt(fileTransferPosition));
    } else if (progress->maximum() > 0) {
        // The names still to come count down also while a file goes meanwhile (the read-all
        // downloads the configuration beside its list); once they are all in, the list is
        // done while the file may still go.
        advanceProgress(progress->maximum() - qMin(amodule->readListSize(), progress->maximum()));
    }
}

// ---- Geometry ----

void BaseDeviceWindow::guardCommands()
{
    if (guard) {
        guard->setLevel(accessLevel());
        return;
    }
    guard = new AccessGuard(this, AccessLevels::Place::DeviceWindow, accessLevel());
    connect(guard, &AccessGuard::unblocked, this, [this] { updateCommands(); });
    if (windowContext.access)
        connect(windowContext.access, &AccessSession::levelChanged, guard, &AccessGuard::setLevel);
}

void BaseDeviceWindow::restoreWindowGeometry()
{
    guardCommands();
    if (!appSettings)
        return;
    geometry = std::make_unique<WindowGeometry>(appSettings, geometryGroup(), 1000, 600);
    geometry->restore(this);
    geometryRestored = true;
}

void BaseDeviceWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (geometryRestored && geometry)
        geometry->saveOnResize(this);
}

void BaseDeviceWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (geometryRestored && geometry)
        geometry->saveOnChange(this);
}
