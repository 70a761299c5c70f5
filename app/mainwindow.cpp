#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/adddevicedialog.h"
#include "app/auditview.h"
#include "app/deviceinfoitemmodel.h"
#include "app/editkeydialog.h"
#include "app/failtreeview.h"
#include "app/fleetupdatedialog.h"
#include "app/historyview.h"
#include "app/journalexportcommand.h"
#include "app/lansearch.h"
#include "app/logtreeview.h"
#include "app/projectitemdelegate.h"
#include "app/projectlintdialog.h"
#include "app/projecttreemodel.h"
#include "app/projecttreeview.h"
#include "gui/counterlabel.h"
#include "gui/filedialogs.h"
#include "gui/guiresources.h"
#include "gui/messageboxes.h"
#include "gui/windowgeometry.h"
#include "journal/accesssession.h"
#include "journal/audittrail.h"
#include "journal/journallocation.h"
#include "link/cdcusbprocess.h"
#include "link/networkports.h"
#include "monitor/eventacknowledger.h"
#include "monitor/sitewatch.h"
#include "monitor/usbsearch.h"
#include "project/apppaths.h"
#include "project/inout.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"
#include "scenario/scenariolistpanel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QResource>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTextCodec>
#include <QTimer>
#include <QTreeView>

namespace {

const char projectFilter[] = "Файл проекта системы (*.mpj);;All Files (*)";

// A stored dimension or position: the stored integer, or the default when the value is
// missing or not a number.
int settingInt(QSettings *settings, const QString &key, int fallback)
{
    bool ok = false;
    const int value = settings->value(key, QString::number(fallback)).toString().toInt(&ok);
    return ok ? value : fallback;
}

} // namespace

MainWindow::MainWindow(const QString &settingsPath, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    initGuiResources();
    ui->setupUi(this);
    ui->tabMain->setCurrentIndex(0);
    setProjectTitle(QString());

#ifdef Q_OS_WIN
    // 8-bit locale text is Windows-1251 there. Elsewhere the locale codec also encodes
    // file names, which must stay in the system's encoding (UTF-8), so it is left alone;
    // 8-bit device text is converted with an explicit Windows-1251 codec instead.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("Windows-1251"));
#endif

    // Optional resources delivered beside the program; a missing file is no error.
    QResource::registerResource(QStringLiteral("res_firmware.rcc"));

    const QString path = settingsPath.isEmpty() ? defaultSettingsPath() : settingsPath;
    qDebug().noquote() << QStringLiteral("File settings ") + path;
    m_settings = new QSettings(path, QSettings::IniFormat, this);
    m_monitoring = settingInt(m_settings, QStringLiteral("application/rivar"), 0) != 0;

    m_geometry =
        std::make_unique<WindowGeometry>(m_settings, QStringLiteral("mainwindow"), 800, 600);
    m_geometry->restore(this);

    m_treeView = new ProjectTreeView(this);
    m_treeView->setObjectName(QStringLiteral("treeViewProject"));
    if (!m_monitoring) {
        ui->horizontalLayoutDevices->insertWidget(0, m_treeView, 1);
        setTitle(configurationTitle());
        ui->groupBoxModeSwitch->hide();
    } else {
        m_splitter = new QSplitter(Qt::Horizontal, this);
        m_splitter->setObjectName(QStringLiteral("splitterDevices"));
        m_splitter->addWidget(m_treeView);
        // The fault pane follows the selected device (showDeviceFaults).
        m_faultView = new FailTreeView(m_splitter);
        m_faultView->setObjectName(QStringLiteral("treeViewFaults"));
        m_faultView->header()->hide();
        m_faultModel = new DeviceInfoItemModel(nullptr, this);
        m_faultView->setModel(m_faultModel);
        m_splitter->addWidget(m_faultView);
        m_splitter->setStretchFactor(0, 3);
        m_splitter->setStretchFactor(1, 2);
        m_splitter->setSizes({600, 400});
        ui->horizontalLayoutDevices->insertWidget(0, m_splitter, 1);
        ui->pushButtonSearchDevices->hide();
        ui->pushButton->hide();
        setTitle(monitoringTitle());
    }

    connect(m_treeView, &ProjectTreeView::groupDoubleClick, this, &MainWindow::on_groupDoubleClick);
    connect(m_treeView, &ProjectTreeView::inOutDoubleClick, this, &MainWindow::on_inoutDoubleClick);
    connect(m_treeView, &ProjectTreeView::deviceDoubleClick, this,
            &MainWindow::on_blockDoubleClick);
    connect(m_treeView, &ProjectTreeView::pultDoubleClick, this, &MainWindow::on_pultDoubleClick);
    connect(m_treeView, &ProjectTreeView::pultKeyDoubleClick, this,
            &MainWindow::on_pultKeyDoubleClick);
    connect(m_treeView, &ProjectTreeView::actionDeviceParam, this,
            &MainWindow::on_actionDeviceParamClick);
    connect(m_treeView, &ProjectTreeView::actionPendUploadToDev, this,
            &MainWindow::on_actionUploadToDev);
    connect(m_treeView, &ProjectTreeView::actionPendBootloaderDev, this,
            &MainWindow::on_actionBootloaderDev);
    connect(m_treeView, &ProjectTreeView::actionPendDeviceFlashing, this,
            &MainWindow::on_pendDeviceFlashing);
    connect(m_treeView, &ProjectTreeView::actionAddDeviceToGroup, this,
            &MainWindow::on_actionAddDevice);
    connect(m_treeView, &ProjectTreeView::actionAddSubgroupToGroup, this,
            &MainWindow::on_actionAddSubGroup);
    connect(m_treeView, &ProjectTreeView::actionOpenSettings, this,
            &MainWindow::on_actionOpenSettings);

    ui->verticalLayoutButtons->setAlignment(Qt::AlignTop);
    ui->horizontalLayoutDevsInfo->setAlignment(Qt::AlignLeft);
    ui->pushButtonOpenSetupDevice->setEnabled(false);
    ui->pushButtonRemoveDevice->setEnabled(false);
    ui->pushButtonDeviceParameters->setEnabled(false);

    connect(ui->actionOpenProject, &QAction::triggered, this, &MainWindow::on_menuOpenClicked);
    connect(ui->actionSaveProject, &QAction::triggered, this, &MainWindow::on_menuSaveClicked);
    connect(ui->actionSaveProjectAs, &QAction::triggered, this, &MainWindow::on_menuSaveAsClicked);
    connect(ui->actionCloseProject, &QAction::triggered, this, &MainWindow::on_menuCloseClicked);
    connect(ui->actionCheckProject, &QAction::triggered, this, [this] { checkProject(false); });
    connect(ui->actionFleetUpdate, &QAction::triggered, this, &MainWindow::updateFleetFirmware);
    // Firmware goes into devices in configuration mode only.
    ui->actionFleetUpdate->setVisible(!m_monitoring);
    // The audit trail of the project's journal.
    QAction *auditAction = new QAction(QStringLiteral("Журнал изменений"), this);
    auditAction->setObjectName(QStringLiteral("actionAuditLog"));
    ui->menuFile->insertAction(ui->actionCloseProject, auditAction);
    connect(auditAction, &QAction::triggered, this, &MainWindow::showAuditLog);
    // "Выйти" closes the window the same way as its close button, question included.
    connect(ui->actionExit, &QAction::triggered, this, &QWidget::close);

    const QString lastProject =
        m_settings->value(QStringLiteral("paths/lastproject"), QString()).toString();
    m_project = newProject();
    if (!lastProject.isEmpty() && m_project->load(lastProject) == 0)
        setProjectTitle(lastProject);
    m_project->monitoring = m_monitoring;
    attachTreeModel();

    m_periodicTimer = new QTimer(this);
    m_periodicTimer->setInterval(1000);
    connect(m_periodicTimer, &QTimer::timeout, this, &MainWindow::on_requestPeriodicalTimer);
    m_periodicTimer->start();
    m_poller = new StatusPoller(this);
    m_poller->setStatusPort(NetworkPorts::fromSettings(*m_settings).statusPort);
    m_poller->setTickInterval(m_periodicTimer->interval());
    m_poller->setProject(m_project);
    m_lanSearch = new LanSearch(m_poller, this);
    connect(m_lanSearch, &LanSearch::finished, this,
            [this](const QString &summary) { statusBar()->showMessage(summary); });
    m_usbDiscovery = [] { return CdcUsbProcess::findoutPorts(); };

    if (!m_monitoring)
        ui->tabMain->removeTab(ui->tabMain->indexOf(ui->tabErrorStack));
    if (!m_monitoring)
        addScenarioList();

    if (!m_monitoring) {
        ui->pushButtonProjectSearch->hide();
        ui->radioButtonEdit->setChecked(true);
        ui->radioButtonRun->setChecked(false);
        ui->labelNoConnDevices->hide();
        ui->labelMalfDevices->hide();
        ui->labelTamperDevices->hide();
        attachJournal();
    } else {
        ui->radioButtonEdit->setChecked(false);
        ui->radioButtonRun->setChecked(true);
        m_journalView = new LogTreeView(m_project, ui->tabErrorStack);
        m_journalView->setObjectName(QStringLiteral("treeViewJournal"));
        ui->verticalLayoutErrorStack->insertWidget(0, m_journalView, 1);
        m_exportCommand = new JournalExportCommand(this, m_settings);
        m_historyView = new HistoryView(m_exportCommand, ui->tabMain);
        ui->tabMain->insertTab(ui->tabMain->indexOf(ui->tabErrorStack) + 1, m_historyView,
                               QStringLiteral("История"));
        attachJournal();
        // Without an event database (it could not be opened) there is nothing to
        // acknowledge or export.
        ui->pushButtonClearErrorStack->setEnabled(journalAvailable());
        ui->pushButtonSaveErrorStack->setEnabled(journalAvailable());
    }
    applyEditState();
    updateProjectSearchButton();
    showCounters(m_poller->count());
    setUpAccess();
}

MainWindow::~MainWindow()
{
    m_periodicTimer->stop();
    // The watcher's thread ends before the project it shows goes.
    delete m_siteWatch;
    m_siteWatch = nullptr;
    // A running export is cancelled and its thread joined.
    delete m_exportCommand;
    m_exportCommand = nullptr;
    // Answers held for one commit are stored before the project and its journals go.
    m_poller->setProject(nullptr);
    m_treeView->setModel(nullptr);
    delete m_treeModel;
    delete m_project;
    delete ui;
}

JournalLocation MainWindow::journalLocation(const QSettings &settings, bool *configured)
{
    const QVariant value = settings.value(QStringLiteral("journal/database"));
    if (configured)
        *configured = value.isValid() && !value.toString().trimmed().isEmpty();
    if (value.type() == QVariant::StringList)
        return JournalLocation::invalid(QStringLiteral(
            "[journal] database: put the URL in double quotes (a comma splits it otherwise)"));
    if (!value.isValid() || value.toString().trimmed().isEmpty())
        return JournalLocation::file(QStringLiteral("log.sqlite"));
    return JournalLocation::parse(value.toString());
}

ProjectModel *MainWindow::newProject()
{
    bool configured = false;
    const JournalLocation journal = journalLocation(*m_settings, &configured);
    ProjectModel *project = nullptr;
    if (!configured) {
        project = new ProjectModel(this);
    } else if (!journal.isValid()) {
        // Never the local files instead: the program runs without a journal (main()
        // refuses to start with it; a test may go on).
        qWarning().noquote() << "[journal] database:" << journal.error();
        project = new ProjectModel(ProjectModel::Journals::None, this);
    } else {
        project = new ProjectModel(journal, this);
    }
    // The new project's trail records the changes of whoever is logged in.
    if (m_access && project->auditTrail)
        project->auditTrail->setActor(m_access->userName(), AccessSession::hostName());
    return project;
}

QString MainWindow::defaultSettingsPath()
{
    return AppPaths::settingsFile();
}

QString MainWindow::versionText()
{
    return QStringLiteral(NORDA_VERSION);
}

QString MainWindow::configurationTitle()
{
    return QStringLiteral("Конфигуратор NORDA-СЕТЬ (версия ") + versionText() + QLatin1Char(')');
}

QString MainWindow::monitoringTitle()
{
    return QStringLiteral("DADAR Мониторинг NORDA-СЕТЬ (версия ") + versionText() +
        QLatin1Char(')');
}

void MainWindow::setDeviceWindowFactory(DeviceWindowKind kind, const DeviceWindowFactory &factory)
{
    m_windows.setFactory(kind, factory);
    m_treeView->setProjectUploadAvailable(m_windows.canOpen(DeviceWindowKind::ProjectUpload));
    m_treeView->setFirmwareUpdateAvailable(m_windows.canOpen(DeviceWindowKind::Firmware));
    m_treeView->setConverterSettingsAvailable(m_windows.canOpen(DeviceWindowKind::MediaConverter));
    updateButtonsForSelection();
}

void MainWindow::setUsbDiscovery(const UsbDiscovery &discovery)
{
    m_usbDiscovery = discovery;
    applyEditState();
}

void MainWindow::setProjectTitle(const QString &project_name)
{
    if (m_monitoring) {
        setTitle(monitoringTitle() + alarmTitleSuffix());
        return;
    }
    QString title = QStringLiteral("Конфигуратор NORDA-СЕТЬ ") + versionText();
    if (!project_name.isEmpty())
        title += QStringLiteral(" - ") + project_name;
    setTitle(title);
}

void MainWindow::setTitle(const QString &title)
{
    // "[*]" shows the mark of unsaved changes while the window is marked modified.
    setWindowTitle(title + QStringLiteral("[*]"));
    refreshModifiedMark();
}

void MainWindow::refreshModifiedMark()
{
    setWindowModified(m_project && m_project->modified);
}

// ---- Geometry ----

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    qDebug().noquote() << "MainWindow::resizeEvent()";
    if (m_geometry)
        m_geometry->saveOnResize(this);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    qDebug().noquote() << "MainWindow::changeEvent()";
    if (m_geometry)
        m_geometry->saveOnChange(this);
}

// ---- Tree and state ----

void MainWindow::attachTreeModel()
{
    ProjectTreeModel *oldModel = m_treeModel;
    QItemSelectionModel *oldSelection = m_treeView->selectionModel();
    m_treeModel = new ProjectTreeModel(m_project, this);
    m_treeModel->setEditing(ui->radioButtonEdit->isChecked());
    m_treeView->setModel(m_treeModel);
    // The view makes a selection model per model and leaves the old one to its owner.
    delete oldSelection;
    delete oldModel;
    connect(m_treeView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::on_devlistIndexChanged);
    // Rows that vanish in a relayout may take the selection with them.
    connect(m_treeModel, &QAbstractItemModel::layoutChanged, this,
            &MainWindow::updateButtonsForSelection);
    // The mark of unsaved changes follows every change the tree shows; the periodic tick
    // catches the rest (the windows and dialogs that change a device's fields).
    connect(m_project, &ProjectModel::nodeChanged, this, &MainWindow::refreshModifiedMark);
    connect(m_treeModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::refreshModifiedMark);
    connect(m_treeModel, &QAbstractItemModel::rowsRemoved, this, &MainWindow::refreshModifiedMark);
    connect(m_treeModel, &QAbstractItemModel::rowsMoved, this, &MainWindow::refreshModifiedMark);
    connect(m_treeModel, &QAbstractItemModel::dataChanged, this, &MainWindow::refreshModifiedMark);
    connect(m_treeModel, &QAbstractItemModel::modelReset, this, &MainWindow::refreshModifiedMark);
    refreshModifiedMark();
}

void MainWindow::on_radioButtonEdit_toggled(bool checked)
{
    Q_UNUSED(checked)
    applyEditState();
}

void MainWindow::on_radioButtonRun_toggled(bool checked)
{
    Q_UNUSED(checked)
    applyEditState();
}

void MainWindow::applyEditState()
{
    if (!m_treeModel)
        return;
    const bool editing = ui->radioButtonEdit->isChecked();
    setEnabledPushButtons(editing);
    updateButtonsForSelection();
    m_treeModel->setEditing(editing);
    m_treeView->viewport()->update();
    // Rows that vanished with the state (inputs and outputs) may have been selected.
    updateButtonsForSelection();
}

void MainWindow::setEnabledPushButtons(bool enabled)
{
    ui->pushButtonAddDevice->setEnabled(enabled);
    ui->pushButtonAddGroup->setEnabled(enabled);
    ui->pushButtonDeviceParameters->setEnabled(enabled);
    ui->pushButtonOpenSetupDevice->setEnabled(enabled);
    ui->pushButtonRemoveDevice->setEnabled(enabled);
    ui->pushButtonSearchDevices->setEnabled(enabled && bool(m_usbDiscovery));
    ui->pushButton->setEnabled(enabled);
    m_treeView->projectDelegate()->setPolling(!enabled);
}

void MainWindow::on_devlistIndexChanged(const QItemSelection &selected,
                                        const QItemSelection &deselected)
{
    Q_UNUSED(selected)
    Q_UNUSED(deselected)
    qDebug().noquote() << "on_devlistIndexChanged()";
    updateButtonsForSelection();
}

void MainWindow::updateButtonsForSelection()
{
    if (!m_treeView)
        return;
    const bool editing = ui->radioButtonEdit->isChecked();
    if (ProjectDevice *device = m_treeView->selectedDevice()) {
        ui->pushButtonOpenSetupDevice->setEnabled(m_windows.canOpenFor(device));
        ui->pushButtonDeviceParameters->setEnabled(editing);
        ui->pushButtonRemoveDevice->setEnabled(true);
        if (m_monitoring)
            showDeviceFaults(device);
        return;
    }
    ui->pushButtonOpenSetupDevice->setEnabled(false);
    ui->pushButtonDeviceParameters->setEnabled(false);
    ui->pushButtonRemoveDevice->setEnabled(m_treeView->selectedGroup() && editing);
}

void MainWindow::updateProjectSearchButton()
{
    ui->pushButtonProjectSearch->setEnabled(searchFrameAvailable() && !m_searchFrame &&
                                            !m_project->allDevices().isEmpty());
    ui->actionFleetUpdate->setEnabled(!m_monitoring && !m_project->allDevices().isEmpty());
}

void MainWindow::updateFleetFirmware()
{
    if (m_monitoring || m_project->allDevices().isEmpty())
        return;
    FleetUpdateDialog dialog(m_project, m_settings,
                             NetworkPorts::fromSettings(*m_settings).commandPort, this);
    dialog.exec();
}

// ---- Project file commands ----

QString MainWindow::askProjectFile(bool save)
{
    QString folder =
        m_settings->value(QStringLiteral("paths/projectfilespath"), QString()).toString();
    if (folder.isEmpty())
        folder = AppPaths::documentsFolder();
    const QString title =
        save ? QStringLiteral("Сохранить файл проекта") : QStringLiteral("Открыть файл проекта");
    const QString objectName = QStringLiteral("projectFileDialog");
    return save
        ? FileDialogs::saveFile(this, objectName, title, folder, QString::fromUtf8(projectFilter))
        : FileDialogs::openFile(this, objectName, title, folder, QString::fromUtf8(projectFilter));
}

void MainWindow::showFileError(const QString &text)
{
    MessageBoxes::error(this, text);
}

bool MainWindow::resolveUnsavedChanges(const QString &title)
{
    if (!m_project->modified)
        return true;
    switch (MessageBoxes::askSaveChanges(this, title)) {
    case MessageBoxes::SaveAnswer::Save:
        return saveProject(); // a failed or cancelled save keeps what was there
    case MessageBoxes::SaveAnswer::Discard:
        return true;
    case MessageBoxes::SaveAnswer::Cancel:
        break;
    }
    return false;
}

void MainWindow::on_menuOpenClicked()
{
    // Opening replaces the project: unsaved changes are settled first.
    if (!resolveUnsavedChanges(QStringLiteral("Закрытие проекта")))
        return;
    const QString path = askProjectFile(false);
    if (path.isEmpty())
        return;
    qDebug().noquote() << QStringLiteral("Open file ") + path;
    showDeviceFaults(nullptr);
    if (m_project->load(path) != 0) {
        showFileError(QStringLiteral("Ошибка открытия файла проекта ") + path + QLatin1Char('.'));
        return;
    }
    on_searchFrameClose();
    refreshModifiedMark();
    const QFileInfo info(path);
    m_settings->setValue(QStringLiteral("paths/projectfilespath"), info.absolutePath());
    m_settings->setValue(QStringLiteral("paths/lastproject"), info.absoluteFilePath());
    updateProjectSearchButton();
    // What would go wrong in the field is offered at once (not to duty operators).
    if (!m_monitoring)
        checkProject(true);
}

void MainWindow::checkProject(bool onlyOfferErrors)
{
    const QList<ProjectLint::Finding> findings = ProjectLint::check(*m_project);
    if (onlyOfferErrors) {
        if (!ProjectLint::hasErrors(findings))
            return;
        if (!MessageBoxes::confirm(this, QStringLiteral("Проверка проекта"),
                                   QStringLiteral("В проекте найдены ошибки (%1). Показать их?")
                                       .arg(ProjectLintDialog::summary(findings))))
            return;
    }
    ProjectLintDialog dialog(findings, this);
    connect(&dialog, &ProjectLintDialog::nodeActivated, this,
            [this](const QObject *node) { m_treeView->selectNode(node); });
    dialog.exec();
}

void MainWindow::showAuditLog()
{
    if (!m_project->auditTrail || !m_project->auditTrail->isUsable()) {
        MessageBoxes::error(this, QStringLiteral("Журнал изменений недоступен."));
        return;
    }
    AuditView view(m_project->auditTrail->database(), this);
    view.exec();
}

void MainWindow::on_menuSaveClicked()
{
    saveProject();
}

void MainWindow::on_menuSaveAsClicked()
{
    saveProjectAs();
}

bool MainWindow::saveProject()
{
    if (m_project->path.isEmpty())
        return saveProjectAs();
    if (m_project->save(m_project->path) != 0) {
        showFileError(QStringLiteral("Ошибка сохранения файла проекта ") + m_project->path +
                      QLatin1Char('.'));
        return false;
    }
    projectSaved(m_project->path);
    return true;
}

void MainWindow::projectSaved(const QString &path)
{
    refreshModifiedMark();
    statusBar()->showMessage(QStringLiteral("Проект сохранён в файл ") + path + QLatin1Char('.'));
}

bool MainWindow::saveProjectAs()
{
    const QString path = askProjectFile(true);
    if (path.isEmpty())
        return false;
    qDebug().noquote() << QStringLiteral("Save to file ") + path;
    if (m_project->save(path) != 0) {
        showFileError(QStringLiteral("Ошибка сохранения файла проекта ") + path + QLatin1Char('.'));
        return false;
    }
    const QFileInfo info(path);
    // From now on "Сохранить проект" writes the file the project was saved as.
    m_project->path = info.absoluteFilePath();
    m_settings->setValue(QStringLiteral("paths/projectfilespath"), info.absolutePath());
    m_settings->setValue(QStringLiteral("paths/lastproject"), info.absoluteFilePath());
    setProjectTitle(info.absoluteFilePath());
    projectSaved(info.absoluteFilePath());
    return true;
}

void MainWindow::on_menuCloseClicked()
{
    if (!resolveUnsavedChanges(QStringLiteral("Закрытие проекта")))
        return;
    showDeviceFaults(nullptr);
    m_project->clear();
    const QString folder =
        m_project->path.isEmpty() ? QDir::currentPath() : QFileInfo(m_project->path).absolutePath();
    m_settings->setValue(QStringLiteral("paths/projectfilespath"), folder);
    m_settings->setValue(QStringLiteral("paths/lastproject"), QString());
    on_searchFrameClose();

    ProjectModel *old = m_project;
    m_project = newProject();
    m_project->monitoring = m_monitoring;
    m_poller->setProject(m_project);
    attachTreeModel();
    attachJournal();
    if (m_scenarioList)
        m_scenarioList->setProject(m_project);
    delete old;
    updateButtonsForSelection();
    updateProjectSearchButton();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (resolveUnsavedChanges(QStringLiteral("Закрытие программы")))
        event->accept();
    else
        event->ignore();
}
