#pragma once

#include "jobs/devicejob.h"
#include "jobs/firmwareupdatejob.h"
#include "project/firmwareimage.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class Amodule;
class ProjectDevice;
class ProjectModel;

// One firmware image into many devices over TCP, a few at a time: each device gets a facade
// of its own and a FirmwareUpdateJob, exactly as a single update does; a failure of one
// never stops the others.
class FleetFirmwareUpdate : public QObject {
    Q_OBJECT

public:
    struct Outcome {
        enum class Ending { NotStarted, Updated, NoAnswer, Cancelled, Failed };
        quint32 serial = 0;
        QString address;
        bool ok = false;
        QString reason; // why it failed, for the log
        Ending ending = Ending::NotStarted;
        // How the device's update job ended, once it ran (Failed, and Cancelled after it
        // began).
        DeviceJob::Result job;
    };

    // How long a device has to answer before its update counts as failed.
    static constexpr int defaultConnectMs = 10000;

    FleetFirmwareUpdate(const QList<const ProjectDevice *> &devices, const FirmwareImage &image,
                        quint16 commandPort, int parallel, QObject *parent = nullptr);
    ~FleetFirmwareUpdate() override;

    // The devices of a project that an update reaches: Ethernet enabled, of `type` (0: any)
    // and, with a non-empty `groupName`, inside a group of that name at any depth.
    static QList<const ProjectDevice *> select(const ProjectModel &project, int type,
                                               const QString &groupName);
    // The check every selected device's image must pass, by each device's type (see
    // FirmwareUpdateJob::checkImage); the first problem found, or None.
    static FirmwareUpdateJob::ImageProblem checkImage(const FirmwareImage &image,
                                                      const QList<const ProjectDevice *> &devices);

    void setConnectTimeout(int ms) { connectMs = ms; }
    void setBootWait(int ms) { bootWaitMs = ms; }
    void start();
    // Starts no further device and cancels the running updates at their next step; the
    // devices not started keep their "not started" outcome. finished() still follows once.
    void cancel();
    const QList<Outcome> &outcomes() const { return results; }

signals:
    void deviceStarted(quint32 serial, const QString &address);
    void deviceProgress(quint32 serial, qint64 done, qint64 total);
    void deviceFinished(const FleetFirmwareUpdate::Outcome &outcome);
    // Every device has its outcome, in the order of the list.
    void finished();

private:
    struct Slot;
    void startNext();
    void finishSlot(Slot *slot, Outcome::Ending ending, const QString &reason,
                    const DeviceJob::Result &job = DeviceJob::Result());

    QList<const ProjectDevice *> devices;
    FirmwareImage image;
    quint16 port;
    int parallel;
    int connectMs = defaultConnectMs;
    int bootWaitMs = 30000;
    int next = 0;
    int running = 0;
    QList<Outcome> results;
    QList<Slot *> active;
};
