#pragma once

#include "link/devicejob.h"
#include "project/firmwareimage.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class Amodule;
class FirmwareUpdateJob;
class ProjectDevice;

// One firmware image into many devices over TCP, a few at a time: each device gets a facade
// of its own and a FirmwareUpdateJob, exactly as a single update does; a failure of one
// never stops the others.
class FleetFirmwareUpdate : public QObject {
    Q_OBJECT

public:
    struct Outcome {
        quint32 serial = 0;
        QString address;
        bool ok = false;
        QString reason; // why it failed
    };

    // How long a device has to answer before its update counts as failed.
    static constexpr int defaultConnectMs = 10000;

    FleetFirmwareUpdate(const QList<const ProjectDevice *> &devices, const FirmwareImage &image,
                        quint16 commandPort, int parallel, QObject *parent = nullptr);
    ~FleetFirmwareUpdate() override;

    void setConnectTimeout(int ms) { connectMs = ms; }
    void setBootWait(int ms) { bootWaitMs = ms; }
    void start();
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
    void finishSlot(Slot *slot, bool ok, const QString &reason);

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
