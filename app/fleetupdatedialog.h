#pragma once

#include "jobs/fleetfirmwareupdate.h"

#include <QDialog>
#include <QHash>
#include <QList>

#include <memory>

class ProjectDevice;
class ProjectModel;
class QSettings;

namespace Ui {
class FleetUpdateDialog;
}

// "Обновление прошивки группы устройств": one firmware image into every device of the
// project that has Ethernet, or those of a type or inside a group, a few at a time. The
// table lists the devices the filters select and, once started, each one's progress and
// result; the update itself is FleetFirmwareUpdate.
class FleetUpdateDialog : public QDialog {
    Q_OBJECT

public:
    enum Column { Serial, Type, Address, State, Progress, Result, ColumnCount };

    // The image chooser starts in [paths] firmwarefolder of `settings` (may be null), or in
    // the default firmware folder.
    FleetUpdateDialog(const ProjectModel *project, QSettings *settings, quint16 commandPort,
                      QWidget *parent = nullptr);
    // Passed on to the update (FleetFirmwareUpdate::setConnectTimeout, setBootWait).
    void setTimings(int connectMs, int bootWaitMs);
    ~FleetUpdateDialog() override;

    bool isRunning() const { return bool(m_fleet); }
    // "Обновлено: N, с ошибками: M".
    static QString summary(const QList<FleetFirmwareUpdate::Outcome> &outcomes);
    // The "Результат" column of a device: in Russian, whatever the update's log says.
    static QString resultText(const FleetFirmwareUpdate::Outcome &outcome);

    void done(int result) override;

signals:
    // The update has ended and its result message was shown.
    void updateFinished();

private:
    void fillFilters();
    void fillTable();
    void chooseImage();
    void startUpdate();
    void cancelOrClose();
    void deviceStarted(quint32 serial);
    void deviceProgress(quint32 serial, qint64 done, qint64 total);
    void deviceFinished(const FleetFirmwareUpdate::Outcome &outcome);
    void fleetFinished();
    void setRow(int row, int column, const QString &text);
    void updateButtons();
    bool confirmCancel();

    Ui::FleetUpdateDialog *ui;
    const ProjectModel *m_project;
    QSettings *m_settings;
    quint16 m_commandPort;
    int m_connectMs = FleetFirmwareUpdate::defaultConnectMs;
    int m_bootWaitMs = FirmwareUpdateJob::defaultBootWaitMs;
    QList<const ProjectDevice *> m_devices; // the table's rows, in order
    QHash<quint32, int> m_rowOfSerial;
    std::unique_ptr<FleetFirmwareUpdate> m_fleet;
};
