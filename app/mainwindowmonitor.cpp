#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/adddevicedialog.h"
#include "app/deviceinfoitemmodel.h"
#include "app/editkeydialog.h"
#include "app/failtreeview.h"
#include "app/historyview.h"
#include "app/journalexportcommand.h"
#include "app/lansearch.h"
#include "app/logtreeview.h"
#include "app/projectitemdelegate.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"
#include "app/searchwidget.h"
#include "gui/counterlabel.h"
#include "gui/guiresources.h"
#include "gui/windowgeometry.h"
#include "journal/audittrail.h"
#include "journal/databaselog.h"
#include "journal/eventtablemodel.h"
#include "journal/statuslogretention.h"
#include "link/cdcusbprocess.h"
#include "link/networkports.h"
#include "monitor/eventacknowledger.h"
#include "monitor/sitewatch.h"
#include "monitor/syslogforwarder.h"
#include "monitor/usbsearch.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QResource>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTextCodec>
#include <QTimer>
#include <QTreeView>

// ---- Searches ----

void MainWindow::on_pushButtonSearchDevices_clicked()
{
    if (!m_usbDiscovery)
        return;
    ui->pushButtonOpenSetupDevice->setEnabled(false);
    m_project->resetPortFlags();
    const UsbSearch::Result result = UsbSearch::merge(*m_project, m_usbDiscovery());
    for (ProjectDevice *device : result.matched) {
        if (ProjectGroup *group = device->parentGroup())
            m_treeView->expandNode(group);
    }
    if (!result.isEmpty())
        m_treeView->scrollToBottom();
    requestAllStatuses();
    updateButtonsForSelection();
    updateProjectSearchButton();
    // The devices it added are the new ones.
    statusBar()->showMessage(LanSearch::summary(
        result.matched.size() + result.added.size(),
        QList<const ProjectDevice *>(result.added.cbegin(), result.added.cend())));
}

void MainWindow::on_pushButton_clicked()
{
    statusBar()->showMessage(QStringLiteral("Поиск устройств LAN..."));
    // One request to every device with Ethernet; the summary follows their answers.
    m_lanSearch->start(m_project);
}

void MainWindow::on_pushButtonProjectSearch_clicked()
{
    if (m_searchFrame || !searchFrameAvailable())
        return;
    auto *frame = new SearchWidget(m_project, ui->centralWidget);
    ui->verticalLayoutMain->insertWidget(0, frame);
    m_searchFrame = frame;
    ui->pushButtonProjectSearch->setEnabled(false);
    connect(frame, &SearchWidget::closeFrame, this, &MainWindow::on_searchFrameClose);
    connect(frame, &SearchWidget::deviceSelected, this, &MainWindow::on_searchDeviceSelected);
}

// Also run when another project is opened or the project is closed: the frame's lists
// are those of the project it was opened on.
void MainWindow::on_searchFrameClose()
{
    if (m_searchFrame)
        m_searchFrame->deleteLater();
    m_searchFrame = nullptr;
    updateProjectSearchButton();
}

void MainWindow::on_searchDeviceSelected(ProjectDevice *device)
{
    // The frame's list may hold a device that has left the tree since: nothing to select.
    const QModelIndex index = m_treeModel->indexOf(device);
    if (!index.isValid())
        return;
    QList<QModelIndex> groups;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        groups.prepend(parent);
    for (const QModelIndex &group : qAsConst(groups))
        m_treeView->expand(group);
    // Scrolls to the row and makes it the only selected and the current one.
    m_treeView->selectNode(device);
    updateButtonsForSelection();
}

// ---- Polling and monitoring views ----

bool MainWindow::searchFrameAvailable() const
{
    // "Поиск по устройствам" is a button of the monitoring window only.
    return m_monitoring;
}

bool MainWindow::journalAvailable() const
{
    return m_project && m_project->logDb;
}

void MainWindow::requestAllStatuses()
{
    m_poller->sendRequests();
}

void MainWindow::showDeviceFaults(ProjectDevice *device)
{
    if (m_faultModel)
        m_faultModel->setDevice(device);
}

void MainWindow::attachJournal()
{
    if (DatabaseLog *log = m_project->logDb) {
        log->setStatusRetention(
            m_settings
                ->value(QStringLiteral("journal/statuslogdays"), StatusLogRetention::defaultDays)
                .toInt(),
            m_settings
                ->value(QStringLiteral("journal/statuslogmaxmb"), StatusLogRetention::defaultMaxMb)
                .toInt());
        connect(log, &DatabaseLog::writeFailed, this, &MainWindow::showJournalWriteFailure);
        attachSyslog(log);
        connectAlarm(log);
    }
    attachSiteWatch();
    if (m_historyView)
        m_historyView->setProject(m_project);
    if (!m_journalView)
        return;
    m_journalView->setProject(m_project);
    m_journalView->setJournalModel(m_project->logDb ? m_project->logDb->tableModel() : nullptr);
}

void MainWindow::attachSyslog(DatabaseLog *log)
{
    if (!m_syslog) {
        const QString target = m_settings->value(QStringLiteral("journal/syslog")).toString();
        if (target.trimmed().isEmpty())
            return;
        m_syslog = new SyslogForwarder(this);
        QString error;
        if (!m_syslog->setTarget(target, &error))
            qWarning("[journal] syslog=%s is not used: %s", qPrintable(target), qPrintable(error));
    }
    if (!m_syslog->isActive())
        return;
    m_syslog->setProject(m_project);
    connect(log, &DatabaseLog::eventInserted, m_syslog, &SyslogForwarder::forward);
    if (m_project->auditTrail)
        connect(m_project->auditTrail, &AuditTrail::appended, m_syslog,
                &SyslogForwarder::forwardAudit);
}

void MainWindow::attachSiteWatch()
{
    DatabaseLog *log = m_project->logDb;
    if (!m_monitoring || !log || !log->dialect().isPostgres()) {
        delete m_siteWatch;
        m_siteWatch = nullptr;
        return;
    }
    if (!m_siteWatch) {
        m_siteWatch = new SiteWatch(log->location(), this);
        m_siteLabel = new QLabel(QStringLiteral("База данных: подключение..."), this);
        m_siteLabel->setObjectName(QStringLiteral("labelSiteDatabase"));
        statusBar()->addPermanentWidget(m_siteLabel);
        connect(m_siteWatch, &SiteWatch::connectionChanged, this, &MainWindow::showSiteConnection);
        // Many devices at once (connecting, a shard silent): drawn again as a whole.
        connect(m_siteWatch, &SiteWatch::devicesReset, this, [this] {
            m_treeView->viewport()->update();
            if (m_faultModel && m_faultModel->device())
                m_faultModel->setDevice(m_faultModel->device());
        });
        connect(m_siteWatch, &SiteWatch::eventsAdded, this,
                [this](const QVector<EventRecord> &records, bool inOrder) {
                    alarmOnEvents(records);
                    EventTableModel *model =
                        m_project->logDb ? m_project->logDb->tableModel() : nullptr;
                    if (!model)
                        return;
                    if (inOrder)
                        model->prependRecords(records);
                    else
                        reloadSiteJournal();
                });
        connect(m_siteWatch, &SiteWatch::acknowledged, this,
                [this](const SiteWatcher::Acknowledgement &acknowledgement) {
                    reloadSiteJournal();
                    showCounters(m_poller->count());
                    updateAlarm();
                    if (acknowledgement.atMs <= 0)
                        return;
                    statusBar()->showMessage(
                        QStringLiteral("События просмотрены: %1 (%2), %3")
                            .arg(acknowledgement.by, acknowledgement.host,
                                 QDateTime::fromMSecsSinceEpoch(acknowledgement.atMs)
                                     .toString(QStringLiteral("hh:mm:ss dd.MM.yyyy"))));
                });
    }
    m_siteWatch->setProject(m_project);
}

void MainWindow::reloadSiteJournal()
{
    EventTableModel *model = m_project->logDb ? m_project->logDb->tableModel() : nullptr;
    if (!model || model->select()) {
        m_siteReloadPending = false;
        return;
    }
    // The list's own connection may still wait to reconnect (the server was away): read it
    // again a little later rather than show nothing until the next change.
    if (m_siteReloadPending)
        return;
    m_siteReloadPending = true;
    QTimer::singleShot(1000, this, [this] {
        m_siteReloadPending = false;
        reloadSiteJournal();
    });
}

void MainWindow::showSiteConnection(bool connected, const QString &error)
{
    if (!connected) {
        m_siteWasDown = true;
        m_siteLabel->setText(QStringLiteral("Нет связи с базой данных"));
        m_siteLabel->setToolTip(error);
        m_siteLabel->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
        return;
    }
    m_siteLabel->setText(QStringLiteral("База данных на связи"));
    m_siteLabel->setToolTip(m_project->logDb ? m_project->logDb->fileName() : QString());
    m_siteLabel->setStyleSheet(QString());
    // The list shows what was recorded meanwhile (new events come one by one from now).
    reloadSiteJournal();
    showCounters(m_poller->count());
    if (m_siteWasDown)
        statusBar()->showMessage(QStringLiteral(
            "Связь с базой данных восстановлена: журнал и состояния устройств обновлены"));
    m_siteWasDown = false;
}

void MainWindow::showJournalWriteFailure(const QString &error)
{
    // The journal reports once per failure; a box still open covers a later one too.
    if (m_writeFailureBox)
        return;
    qDebug().noquote() << "Event journal not written:" << error;
    m_writeFailureBox = new QMessageBox(
        QMessageBox::Critical, QStringLiteral("Ошибка"),
        QStringLiteral("Журнал событий не удаётся записать. События сохраняются в памяти "
                       "и будут записаны, как только это станет возможным."),
        QMessageBox::Ok, this);
    m_writeFailureBox->setObjectName(QStringLiteral("journalWriteFailure"));
    m_writeFailureBox->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal: polling and the journal go on while it is shown.
    m_writeFailureBox->setWindowModality(Qt::NonModal);
    m_writeFailureBox->show();
}

void MainWindow::setTickInterval(int milliseconds)
{
    m_periodicTimer->setInterval(milliseconds);
    m_poller->setTickInterval(milliseconds);
}

void MainWindow::on_requestPeriodicalTimer()
{
    // A console watching a site database shows what the monitors record: it asks no
    // device itself, and no silence of its own counts.
    if (m_siteWatch) {
        showCounters(m_poller->count());
    } else {
        m_poller->tick(m_monitoring && ui->radioButtonRun->isChecked());
        showCounters(m_poller->counters());
    }
    refreshModifiedMark();
    updateAlarm();
    // Connection states age without any event: the rows are redrawn every tick.
    m_treeView->viewport()->update();
    if (m_faultModel && m_faultModel->device()) {
        // The pane keeps following the selection, and its state row ages as the tree does.
        ProjectDevice *selected = m_treeView->selectedDevice();
        if (selected != m_faultModel->device())
            showDeviceFaults(selected);
        else
            m_faultView->viewport()->update();
    }
}

void MainWindow::showCounters(const StatusPoller::Counters &counters)
{
    CounterLabel::show(ui->labelAllDevices, QStringLiteral("Всего устройств: "), counters.total,
                       false);
    CounterLabel::show(ui->labelNoConnDevices, QStringLiteral("Нет связи: "), counters.notConnected,
                       true);
    CounterLabel::show(ui->labelMalfDevices, QStringLiteral("Неисправных: "), counters.faulty,
                       true);
    CounterLabel::show(ui->labelTamperDevices, QStringLiteral("НСД: "), counters.tampered, true);
    if (m_monitoring) {
        CounterLabel::show(ui->labelBaseRecordAll, QStringLiteral("Всего записей: "),
                           counters.journalAll, false);
        CounterLabel::show(ui->labelBaseRecordActual, QStringLiteral("Актуальных: "),
                           counters.journalUnseen, false);
    }
}

void MainWindow::on_pushButtonClearErrorStack_clicked()
{
    if (!journalAvailable())
        return;
    // The events up to the newest the list shows: not those that arrived since.
    EventTableModel *model = m_project->logDb->tableModel();
    const qint64 shown = model->rowCount() > 0 ? model->record(0).recordId : 0;
    EventAcknowledger::acknowledge(m_project, shown);
    showCounters(m_poller->count());
    updateAlarm();
}

void MainWindow::on_pushButtonSaveErrorStack_clicked()
{
    if (journalAvailable() && m_exportCommand)
        m_exportCommand->run(m_project);
}
