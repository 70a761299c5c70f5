#pragma once

#include "gui/devicewindowregistry.h"
#include "monitor/statuspoller.h"

#include <QItemSelection>
#include <QMainWindow>
#include <QModelIndex>
#include <QPointer>
#include <QVector>

#include <functional>
#include <memory>

class AccessGuard;
class AccessSession;
class AlarmState;
class DatabaseLog;
class DeviceInfoItemModel;
struct EventRecord;
class FailTreeView;
class HistoryView;
class JournalExportCommand;
class LanSearch;
class LogTreeView;
class ProjectDevice;
class ProjectModel;
class JournalLocation;
class ProjectTreeModel;
class ProjectTreeView;
class ScenarioListPanel;
class SiteWatch;
class SyslogForwarder;
class QAction;
class QLabel;
class QMessageBox;
class QPushButton;
class QSoundEffect;
class UserStore;
class QSettings;
class QSplitter;
class QTimer;
class QTreeView;
class WindowGeometry;

namespace Ui {
class MainWindow;
}

// The one top-level window: the open project with its tree, the project file commands,
// the device dialogs, and the places where device windows, the USB search, the status
// polling and the monitoring views are attached.
//
// The window runs in configuration mode or, when [application] rivar is non-zero, in
// monitoring mode; the mode is read once at construction.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    using DeviceWindowKind = DeviceWindowRegistry::Kind;
    using DeviceWindowFactory = DeviceWindowRegistry::Factory;
    // Finds the devices present on USB ports: one new device (type and serial number
    // filled in) per answering port; the caller takes ownership. The window uses the
    // device link's port discovery unless another is set.
    using UsbDiscovery = std::function<QList<ProjectDevice *>()>;

    // settingsPath: the INI file to use; empty means "settings.ini" beside the executable.
    explicit MainWindow(const QString &settingsPath = QString(), QWidget *parent = nullptr);
    ~MainWindow() override;

    static QString defaultSettingsPath();
    // The journal named by [journal] database in `settings`: Kind::Invalid with an error
    // for a value that cannot be used; an empty value keeps "log.sqlite" in the current
    // folder (`configured` false then).
    static JournalLocation journalLocation(const QSettings &settings, bool *configured = nullptr);
    static QString versionText();
    static QString configurationTitle();
    static QString monitoringTitle();

    QSettings *settings() const { return m_settings; }
    ProjectModel *project() const { return m_project; }
    ProjectTreeModel *treeModel() const { return m_treeModel; }
    ProjectTreeView *treeView() const { return m_treeView; }
    StatusPoller *statusPoller() const { return m_poller; }
    // Monitoring mode only (null otherwise): the fault pane, its model and the journal.
    FailTreeView *faultView() const { return m_faultView; }
    DeviceInfoItemModel *faultModel() const { return m_faultModel; }
    LogTreeView *journalView() const { return m_journalView; }
    HistoryView *historyView() const { return m_historyView; }
    // Monitoring mode with the journal on a site database: what watches it (the console
    // then polls no device); null otherwise.
    SiteWatch *siteWatch() const { return m_siteWatch; }
    // Configuration mode only (null otherwise): the tab "Сценарии".
    ScenarioListPanel *scenarioList() const { return m_scenarioList; }
    bool isMonitoring() const { return m_monitoring; }
    // Who works at the console and at which level; the users of the journal's database.
    AccessSession *accessSession() const { return m_access; }
    UserStore *userStore() const { return m_users; }
    // Monitoring mode only (null otherwise): whether the alarm sounds.
    AlarmState *alarm() const { return m_alarm; }

    // The periodic timer's interval (1000 ms) and with it the poller's: tests shorten it.
    void setTickInterval(int milliseconds);

    void setDeviceWindowFactory(DeviceWindowKind kind, const DeviceWindowFactory &factory);
    // Registers the device settings windows of this build (devices/); the program does
    // this once after construction, tests register windows of their own.
    void installDeviceWindows();
    void setUsbDiscovery(const UsbDiscovery &discovery);

public slots:
    void on_menuOpenClicked();
    void showAuditLog();
    void on_menuSaveClicked();
    void on_menuSaveAsClicked();
    void on_menuCloseClicked();
    void setProjectTitle(const QString &project_name);
    void on_devlistIndexChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void on_radioButtonEdit_toggled(bool checked);
    void on_radioButtonRun_toggled(bool checked);
    void setEnabledPushButtons(bool enabled);
    void on_pushButtonAddGroup_clicked();
    void on_pushButtonAddDevice_clicked();
    void on_pushButtonDeviceParameters_clicked();
    void on_pushButtonOpenSetupDevice_clicked();
    void on_pushButtonRemoveDevice_clicked();
    void on_pushButtonSearchDevices_clicked();
    void on_pushButton_clicked();
    void on_pushButtonProjectSearch_clicked();
    void on_searchFrameClose();
    void on_searchDeviceSelected(ProjectDevice *device);
    void on_groupDoubleClick(const QModelIndex &index);
    void on_inoutDoubleClick(const QModelIndex &index);
    void on_blockDoubleClick(const QModelIndex &index);
    void on_pultDoubleClick(const QModelIndex &index);
    void on_pultKeyDoubleClick(const QModelIndex &index);
    void on_actionDeviceParamClick(const QModelIndex &index);
    void on_actionUploadToDev(const QModelIndex &index);
    void on_actionBootloaderDev(const QModelIndex &index);
    void on_pendDeviceFlashing(const QModelIndex &index);
    // "Настройка" in the tree's menu of a media converter that is present.
    void on_actionOpenSettings(const QModelIndex &index);
    void on_actionAddDevice(const QModelIndex &index);
    void on_actionAddSubGroup(const QModelIndex &index);
    void on_requestPeriodicalTimer();
    void on_pushButtonClearErrorStack_clicked();
    void on_pushButtonSaveErrorStack_clicked();
    void showLoginDialog();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Input anywhere in the program counts as activity at the console.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class SaveAnswer { Save, Discard, Cancel };

    void attachTreeModel();
    void applyEditState();
    void updateButtonsForSelection();
    void updateProjectSearchButton();
    void showCounters(const StatusPoller::Counters &counters);

    // The title with the mark of unsaved changes, which follows the project's modified flag.
    void setTitle(const QString &title);
    void refreshModifiedMark();
    // Says where the project went.
    void projectSaved(const QString &path);
    QString askProjectFile(bool save);
    bool saveProject();
    bool saveProjectAs();
    void showFileError(const QString &text);
    // Asks whether to save a modified project; true when the caller may go on.
    bool resolveUnsavedChanges(const QString &title);

    void addDeviceTo(QObject *node);
    void editSelectedDevice();
    void disposeOfNode(QObject *node);

    void openSelectedDeviceWindow();
    DeviceWindowContext deviceWindowContext();

    // Attachment points of the monitoring views.
    void showDeviceFaults(ProjectDevice *device);
    void requestAllStatuses();
    // Shows the open project's journal (after start-up and whenever the project changed),
    // with the retention of [journal] and the report of a journal that cannot be written.
    void attachJournal();
    // "Проверить проект"; after an open only when there are errors, and after asking.
    void checkProject(bool onlyOfferErrors);
    // "Обновить прошивку группы устройств...": one image into many devices of the project.
    void updateFleetFirmware();
    void attachSyslog(DatabaseLog *log);
    // Monitoring mode on a site database: watches it instead of polling.
    void attachSiteWatch();
    void showSiteConnection(bool connected, const QString &error);
    // One message box however often writing fails, until the journal is written again.
    void showJournalWriteFailure(const QString &error);
    bool searchFrameAvailable() const;
    // The tab "Сценарии" of configuration mode (mainwindowscenarios.cpp).
    void addScenarioList();
    bool journalAvailable() const;
    // Access and alarm (mainwindowaccess.cpp).
    void setUpAccess();
    void applyAccessLevel(int level);
    void connectAlarm(DatabaseLog *log);
    // The journal list read again from the site database, again a second later if it fails.
    void reloadSiteJournal();
    void alarmOnEvents(const QVector<EventRecord> &records);
    void countNewEvent(const EventRecord &record);
    void updateAlarm();
    QString alarmTitleSuffix() const;

    Ui::MainWindow *ui;
    QSettings *m_settings = nullptr;
    ProjectModel *m_project = nullptr;
    // Made with the journals of [journal] database (or the files when none is set).
    ProjectModel *newProject();
    ProjectTreeModel *m_treeModel = nullptr;
    ProjectTreeView *m_treeView = nullptr;
    QSplitter *m_splitter = nullptr;
    FailTreeView *m_faultView = nullptr;
    DeviceInfoItemModel *m_faultModel = nullptr;
    LogTreeView *m_journalView = nullptr;
    HistoryView *m_historyView = nullptr;
    QTimer *m_periodicTimer = nullptr;
    StatusPoller *m_poller = nullptr;
    LanSearch *m_lanSearch = nullptr;
    JournalExportCommand *m_exportCommand = nullptr;
    SyslogForwarder *m_syslog = nullptr;
    SiteWatch *m_siteWatch = nullptr;
    QLabel *m_siteLabel = nullptr;
    bool m_siteWasDown = false;
    QPointer<QMessageBox> m_writeFailureBox;
    QPointer<QWidget> m_searchFrame;
    ScenarioListPanel *m_scenarioList = nullptr;
    bool m_monitoring = false;
    std::unique_ptr<WindowGeometry> m_geometry;
    DeviceWindowRegistry m_windows;
    UsbDiscovery m_usbDiscovery;
    UserStore *m_users = nullptr;
    bool m_siteReloadPending = false;
    AccessSession *m_access = nullptr;
    AccessGuard *m_guard = nullptr;
    QAction *m_loginAction = nullptr;
    QAction *m_logoutAction = nullptr;
    QLabel *m_accessLabel = nullptr;
    AlarmState *m_alarm = nullptr;
    QPushButton *m_muteButton = nullptr;
    QSoundEffect *m_sound = nullptr;
};
