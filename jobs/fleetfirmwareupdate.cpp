#include "jobs/fleetfirmwareupdate.h"

#include "jobs/firmwareupdatejob.h"
#include "link/amodule.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectgroup.h"
#include "project/projectmodel.h"

#include <QSet>

struct FleetFirmwareUpdate::Slot {
    int index = 0;
    std::unique_ptr<Amodule> module;
    std::unique_ptr<FirmwareUpdateJob> job;
    QTimer connectTimer;
    bool done = false;
};

FleetFirmwareUpdate::FleetFirmwareUpdate(const QList<const ProjectDevice *> &devices,
                                         const FirmwareImage &image, quint16 commandPort,
                                         int parallel, QObject *parent)
    : QObject(parent)
    , devices(devices)
    , image(image)
    , port(commandPort)
    , parallel(qMax(1, parallel))
{
    for (const ProjectDevice *device : devices)
        results.append({device->serial, device->ip_addr, false, QStringLiteral("not started"),
                        Outcome::Ending::NotStarted, DeviceJob::Result()});
}

FleetFirmwareUpdate::~FleetFirmwareUpdate()
{
    // Jobs go before their facades.
    for (Slot *slot : qAsConst(active)) {
        slot->job.reset();
        slot->module.reset();
        delete slot;
    }
}

QList<const ProjectDevice *> FleetFirmwareUpdate::select(const ProjectModel &project, int type,
                                                         const QString &groupName)
{
    QSet<const ProjectDevice *> inGroup;
    if (!groupName.isEmpty()) {
        for (const ProjectGroup *group : project.allGroups()) {
            if (group->name != groupName)
                continue;
            for (const ProjectDevice *device : group->allDevices())
                inGroup.insert(device);
        }
    }
    QList<const ProjectDevice *> devices;
    for (const ProjectDevice *device : project.allDevices()) {
        if (!device->ip_enabled || (type && device->type != type) ||
            (!groupName.isEmpty() && !inGroup.contains(device)))
            continue;
        devices.append(device);
    }
    return devices;
}

FirmwareUpdateJob::ImageProblem
FleetFirmwareUpdate::checkImage(const FirmwareImage &image,
                                const QList<const ProjectDevice *> &devices)
{
    QSet<int> types;
    for (const ProjectDevice *device : devices)
        types.insert(device->type);
    if (types.isEmpty())
        types.insert(DeviceType::Unknown);
    for (int type : qAsConst(types)) {
        const FirmwareUpdateJob::ImageProblem problem =
            FirmwareUpdateJob::checkImage(image.data(), image.flashBase(), type, -1);
        if (problem != FirmwareUpdateJob::ImageProblem::None)
            return problem;
    }
    return FirmwareUpdateJob::ImageProblem::None;
}

void FleetFirmwareUpdate::cancel()
{
    next = devices.size();
    for (Slot *slot : qAsConst(active)) {
        if (slot->done)
            continue;
        if (slot->job)
            slot->job->cancel();
        else
            finishSlot(slot, Outcome::Ending::Cancelled, QStringLiteral("cancelled"));
    }
}

void FleetFirmwareUpdate::start()
{
    if (devices.isEmpty()) {
        QTimer::singleShot(0, this, &FleetFirmwareUpdate::finished);
        return;
    }
    startNext();
}

void FleetFirmwareUpdate::startNext()
{
    while (running < parallel && next < devices.size()) {
        auto *slot = new Slot;
        slot->index = next++;
        active.append(slot);
        ++running;
        const ProjectDevice *device = devices.at(slot->index);
        emit deviceStarted(device->serial, device->ip_addr);
        slot->module = std::make_unique<Amodule>(device, nullptr, port);
        slot->connectTimer.setSingleShot(true);
        connect(&slot->connectTimer, &QTimer::timeout, this, [this, slot] {
            finishSlot(slot, Outcome::Ending::NoAnswer,
                       QStringLiteral("the device did not answer"));
        });
        slot->connectTimer.start(connectMs);
        connect(slot->module.get(), &Amodule::connected, this, [this, slot](int type, QString) {
            if (slot->done || slot->job)
                return; // the bootloader answering during the update
            slot->connectTimer.stop();
            const quint32 serial = devices.at(slot->index)->serial;
            slot->job = std::make_unique<FirmwareUpdateJob>(slot->module.get(), image, type);
            slot->job->setBootWait(bootWaitMs);
            connect(slot->job.get(), &FirmwareUpdateJob::overallProgress, this,
                    [this, serial](qint64 done, qint64 total) {
                        emit deviceProgress(serial, done, total);
                    });
            connect(slot->job.get(), &DeviceJob::finished, this,
                    [this, slot](const DeviceJob::Result &result) {
                        const Outcome::Ending ending = result.ok() ? Outcome::Ending::Updated
                            : result.status == DeviceJob::Status::Cancelled
                            ? Outcome::Ending::Cancelled
                            : Outcome::Ending::Failed;
                        finishSlot(slot, ending, result.message, result);
                    });
            slot->job->start();
        });
    }
}

void FleetFirmwareUpdate::finishSlot(Slot *slot, Outcome::Ending ending, const QString &reason,
                                     const DeviceJob::Result &job)
{
    if (slot->done)
        return;
    slot->done = true;
    slot->connectTimer.stop();
    Outcome &outcome = results[slot->index];
    outcome.ok = ending == Outcome::Ending::Updated;
    outcome.reason = outcome.ok ? QString() : reason;
    outcome.ending = ending;
    outcome.job = job;
    --running;
    emit deviceFinished(outcome);
    // The facade and job go once back in the event loop (this runs inside their signals).
    QTimer::singleShot(0, this, [this, slot] {
        slot->job.reset();
        slot->module.reset();
        active.removeOne(slot);
        delete slot;
        startNext();
        if (running == 0 && next >= devices.size() && active.isEmpty())
            emit finished();
    });
}
