#pragma once

#include "gui/devicewindowcontext.h"

#include <QMainWindow>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>

class AccessGuard;
class Amodule;
class ProjectDevice;
class ProjectModel;
class QMessageBox;
class QProgressBar;
class QProgressDialog;
class QSettings;
class WindowGeometry;

namespace Ui {
class BaseDeviceWindow;
}

// The frame of every window that talks to one device: it owns the window's device access
// facade, shows the connection state in the status bar, runs the modal progress dialog of
// descriptor list reads and file transfers, keeps the window geometry in the settings file
// and reads the factory-access flag. Concrete windows put their form into the central
// widget and override the reactions to the facade's answers.
//
// The reactions (on_receivedDescriptor and the others named after the facade's signals)
// are connected once, here, to the facade's signals, and the overrides run through the
// virtual call. They are plain member functions, not slots: the form's set-up connects
// slots named "on_<object>_<signal>" by name and would warn about every one of them.
class BaseDeviceWindow : public QMainWindow {
    Q_OBJECT
    // Runs its jobs under the window's progress dialog, as the window's own transfers.
    friend class DeviceBackupMenu;

public:
    // The parent, settings and project come from the context of the program that opens the
    // window; the facade reaches the device at the context's command port.
    BaseDeviceWindow(ProjectDevice *device, const DeviceWindowContext &context);
    ~BaseDeviceWindow() override;

    Amodule *facade() const { return amodule; }
    ProjectDevice *projectDevice() const { return device; }
    QProgressDialog *progressDialog() const { return progress; }
    // The message that names the values a list read could not read (null before the first).
    QMessageBox *readFailureMessage() const { return readFailureBox; }
    // The factory level at the window's opening: factory groups are shown.
    bool hasFullAccess() const { return fullAccess; }
    // The access level now; commands above it are disabled by the window's guard.
    int accessLevel() const;
    bool configDiffers() const { return configDiff; }
    // Whether the facade has told which device answers (its last connected() came after
    // its last disconnected()).
    bool isIdentified() const { return identified; }
    // The settings group of the window's geometry, by the window's class.
    QString geometryGroup() const;

    uint32_t deviceSerialNumber() const { return deviceSerial; }
    uint16_t deviceVersion() const { return deviceVer; }
    int deviceTypeCode() const { return deviceType; }
    int storageStatusCode() const { return storageStatus; }
    qint64 storageTotalBytes() const { return storageTotal; }
    qint64 storageFreeBytes() const { return storageFree; }

    // Reactions to the facade (see the class comment).
    virtual void on_receivedDescriptor(QString descname, QVariant value, int index, int err);
    virtual void on_receivedParam(QString paramname, QString value, int err);
    virtual void on_writedDescriptor(QString descname, QVariant value, int index, int err);
    virtual void on_writedParam(QString paramname, QString value, int err);
    virtual void on_progressDialog_canceled();
    virtual void on_amoduleConnected(int dev_type, QString fullver);
    virtual void on_amoduleDisconnected();
    virtual void on_endWriteDescList();
    void on_startReadDescList(int count);
    void on_endReadList();

signals:
    void firstConnectionEvent();
    void connectionEvent();
    void configDiffChanged(bool differs);

protected:
    // Applies the stored geometry (called at the end of the concrete window's constructor);
    // from then on every resize and change of state is stored.
    void restoreWindowGeometry();
    // Disables the write groups the access level does not reach, from now on (called by
    // restoreWindowGeometry(); windows without a stored geometry call it themselves).
    void guardCommands();
    // Sets the window's own commands enabled as its state says; called when the access
    // level lets commands through again (the guard cannot know what changed meanwhile).
    virtual void updateCommands() { }
    // Marks the connected device as different from the project's (or not); only a
    // disconnection clears the mark otherwise.
    void setConfigDiff(bool differs);
    // Shows, hides and advances the progress dialog from the facade's state; the concrete
    // windows call it every 100 ms and after every answer.
    void updateProgress();
    // Cancels what the window has running on the device (by default the facade's upload).
    virtual void abortExchange();

    // Whether the answer being handed to a reaction is a failed one: the worker reported a
    // failure for it (the facade hands failed reads on as values), or its text is an error
    // answer ("ERROR", "ERROR TIMEOUT", and for a one-line value a text with a line end).
    bool answerFailed(const QString &text, bool multiLine = false) const;
    // Whether the worker reported the answer being handled as failed (its error code),
    // whatever its text: a listing's lines are names, and a name may begin with "ERROR".
    bool exchangeFailed() const { return currentAnswerFailed; }
    static bool isErrorText(const QString &text, bool multiLine = false);

    // A file transfer that the window runs itself and shows in the progress dialog.
    void beginWindowTransfer(const QString &label, qint64 total);
    void setWindowTransferProgress(qint64 done, qint64 total);
    void endWindowTransfer();
    bool windowTransferRunning() const { return fileTransferRunning; }

    QSettings *settings() const { return appSettings; }
    ProjectModel *project() const { return projectModel; }
    const DeviceWindowContext &context() const { return windowContext; }
    QWidget *centralArea() const;

    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

    ProjectDevice *device = nullptr;
    Amodule *amodule = nullptr;
    QProgressDialog *progress = nullptr;
    uint32_t deviceSerial = 0;
    uint16_t deviceVer = 0;
    int deviceType = 0;
    int storageStatus = 0;
    qint64 storageTotal = 0;
    qint64 storageFree = 0;

private:
    // The progress dialog's value, set on its bar: QProgressDialog::setValue() would show
    // the dialog by itself and process events in the middle of a reaction.
    void setProgressValue(int value);
    // Sets a larger value only: the bar of one operation never goes back.
    void advanceProgress(int value);
    // Hides the dialog, and the next operation starts from an empty bar.
    void hideProgress();
    // A list read has ended, answered or dropped with the link: the progress dialog goes,
    // and the values it could not read are named.
    void endListRead(const QStringList &unread);

    Ui::BaseDeviceWindow *ui;
    DeviceWindowContext windowContext;
    bool geometryRestored = false;
    QSettings *appSettings = nullptr;
    ProjectModel *projectModel = nullptr;
    QProgressBar *progressBar = nullptr;
    bool configDiff = false;
    bool connectionSeen = false;
    bool identified = false;
    // The worker reported a failure for the answer that comes next (exchangeError precedes
    // the facade's typed signal), and for the answer being handled now.
    bool failureReported = false;
    bool currentAnswerFailed = false;
    // A list read runs, and the names it could not read so far.
    bool listReading = false;
    QStringList listFailures;
    QMessageBox *readFailureBox = nullptr;
    bool fileTransferRunning = false;
    qint64 fileTransferTotal = 0;
    qint64 fileTransferPosition = 0;
    bool fullAccess = false;
    int levelWithoutSession = 3;
    AccessGuard *guard = nullptr;
    std::unique_ptr<WindowGeometry> geometry;
};
