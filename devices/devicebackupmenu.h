#pragma once

#include "jobs/devicejob.h"
#include "link/devicebackup.h"

#include <QObject>
#include <QPointer>

class BaseDeviceWindow;
class DeviceBackupJob;
class DeviceRestoreJob;
class QAction;
class QMenu;

// The "Конфигурация" menu of a device window: "Сохранить конфигурацию в файл..." reads the
// device's configuration into a backup file; "Восстановить из файла..." reads the device
// again, shows what differs from the file and, once the user agreed, writes only that. Both
// are offered only while the device is connected and no other of them runs; each ends in
// one message. A backup of another device type is refused; one of another serial number is
// written only when the user says so. The jobs belong to the window: closing it cancels
// them.
class DeviceBackupMenu : public QObject {
    Q_OBJECT

public:
    explicit DeviceBackupMenu(BaseDeviceWindow *window);

    QAction *saveAction() const { return save; }
    QAction *restoreAction() const { return restore; }

    void saveToFile();
    void restoreFromFile();

private:
    void updateActions();
    void saved(const DeviceJob::Result &result, const QString &path);
    void compared(const DeviceJob::Result &result);
    void restored(const DeviceJob::Result &result);
    void track(DeviceJob *job, const QString &label);
    void untrack();

    BaseDeviceWindow *window;
    QMenu *menu = nullptr;
    QAction *save = nullptr;
    QAction *restore = nullptr;
    QPointer<DeviceJob> running;
    DeviceBackup backup;
    QString backupPath;
};
