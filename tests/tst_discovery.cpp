#include "link/amodule.h"
#include "link/cdcusbprocess.h"
#include "link/cdcusbsession.h"
#include "link/portdiscovery.h"
#include "link/virtualportregistry.h"
#include "monitor/usbsearch.h"
#include "project/devicetype.h"
#include "project/projectdevice.h"
#include "project/projectmodel.h"
#include "simharness.h"
#include "tools/devsim/simdevice.h"
#include "workerrelay.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// Each device found as "type serial version vid:pid".
QStringList summary(const QList<ProjectDevice *> &devices)
{
    QStringList list;
    for (const ProjectDevice *device : devices)
        list << QStringLiteral("%1 %2 %3 %4:%5")
                    .arg(device->type)
                    .arg(device->serial)
                    .arg(device->firmwareVersion)
                    .arg(device->usbVendorId, 4, 16, QLatin1Char('0'))
                    .arg(device->usbProductId, 4, 16, QLatin1Char('0'));
    return list;
}

} // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        sim = std::make_unique<SimHarness>();
        horn = sim->addDevice(DeviceType::Horn, 1001, "127.76.0.2");
        unit = sim->addDevice(DeviceType::Tovik2, 2002, "127.76.0.3");
        boot = sim->addDevice(DeviceType::Bootloader, 0, "127.76.0.4");
        console = sim->addDevice(DeviceType::BexarTovik2, 4004, "127.76.0.5");
        silent = sim->addDevice(DeviceType::Media, 3003, "127.76.0.6");
        odd = sim->addDevice(DeviceType::Media, 6006, "127.76.0.7");
        sim->run([this] { odd->reportedKey = "frobnicator"; });
        QVERIFY(!sim->addUsb(horn).isEmpty());
        QVERIFY(!sim->addUsb(unit, 0x1209, 0x0001).isEmpty());
        QVERIFY(!sim->addUsb(boot, 0x1209, 0x00aa).isEmpty());
        QVERIFY(!sim->addUsb(console, 0x1209, 0x0006).isEmpty());
        QVERIFY(!sim->addUsb(silent, 0x1209, 0x0003).isEmpty());
        QVERIFY(!sim->addUsb(odd, 0x1209, 0x0004).isEmpty());
        // A port that is no serial port at all.
        PortDescription null;
        null.systemLocation = "/dev/null";
        QVERIFY(VirtualPortRegistry::publish(sim->registryDir(), "zz-null", null));
    }

    void cleanupTestCase() { sim.reset(); }

    void init()
    {
        for (SimDevice *device : {horn, unit, boot, console, silent, odd})
            sim->clearLog(device);
        sim->setFault(silent, "silent");
    }

    void findsTheDevicesThatAnswer()
    {
        const QList<ProjectDevice *> devices = CdcUsbProcess::findoutPorts();
        const QStringList found = summary(devices);
        // Registry order: entries by name ("<key>-<serial>"); type, serial, version, USB ids.
        QCOMPARE(found,
                 QStringList({"6 0 1.0.0 1209:0006", "255 0 2.5,0 1209:00aa",
                              "7 1001 1.0.0 0483:5740", "1 2002 1.0.0 1209:0001"}));

        const ProjectDevice *hornFound = devices.at(2);
        QVERIFY(hornFound->portFound);
        QCOMPARE(hornFound->portInfo.systemLocation, sim->usbPath(horn));
        QVERIFY(hornFound->portInfo.isVirtual);
        QVERIFY(!hornFound->parent());
        qDeleteAll(devices);
        // A bootloader and an RS-485 console are never asked for their serial numbers.
        QCOMPARE(sim->requestLog(boot), QStringList {"GET VERSION"});
        QCOMPARE(sim->requestLog(console), QStringList {"GET VERSION"});
        QCOMPARE(sim->requestLog(horn),
                 (QStringList {"GET VERSION", "GET DESCRIPTOR desc_SerialNumber"}));
    }

    void saysWhyOtherPortsDoNotCount()
    {
        const QList<PortDiscovery::Probe> probes = PortDiscovery::probeAll();
        QCOMPARE(probes.size(), 7);
        QMap<QString, QString> failures;
        for (const PortDiscovery::Probe &probe : probes)
            failures.insert(probe.port.portName, probe.answered ? "-" : probe.failure);
        QCOMPARE(failures.value("media-3003"), "no answer");
        QCOMPARE(failures.value("frobnicator-6006"), "unknown type key 'frobnicator'");
        QCOMPARE(failures.value("null"), "cannot be opened");
        QCOMPARE(failures.value("horn-1001"), "-");
        // The silent device was asked once and given up after the wait.
        QCOMPARE(sim->requestLog(silent), QStringList {"GET VERSION"});
    }

    void skipsAPortThatAWorkerHolds()
    {
        // The fixed ids 0483:5740 are the loudspeaker's.
        std::unique_ptr<ProjectDevice> target(SimHarness::usbTarget(0x1209, 0x0fff));
        auto session = std::make_unique<CdcUsbSession>(target.get(), 0);
        WorkerRelay relay(session->worker());
        QSignalSpy connected(&relay, &WorkerRelay::connected);
        QSignalSpy disconnected(&relay, &WorkerRelay::disconnected);
        session->start();
        QVERIFY(connected.wait(10000));

        QList<ProjectDevice *> devices = CdcUsbProcess::findoutPorts();
        QCOMPARE(devices.size(), 3);
        for (const ProjectDevice *device : devices)
            QVERIFY(device->serial != 1001);
        qDeleteAll(devices);
        // The worker kept its link.
        QCOMPARE(disconnected.count(), 0);
        session->stopAndWait(10000);
        session.reset();

        devices = CdcUsbProcess::findoutPorts();
        bool hornFound = false;
        for (const ProjectDevice *device : devices)
            hornFound = hornFound || device->serial == 1001;
        QVERIFY(hornFound);
        qDeleteAll(devices);
    }

    void usbSearchMergesIntoTheProject()
    {
        ProjectModel project;
        auto *known =
            new ProjectDevice(DeviceType::Horn, 1001, "Холл", false, 0, true, "127.76.0.2", -1);
        auto *absent =
            new ProjectDevice(DeviceType::Media, 9999, QString(), false, 0, false, QString(), -1);
        ProjectGroup *group = project.addGroup(nullptr);
        project.addDevice(group, known);
        project.addDevice(nullptr, absent);
        absent->portFound = true;
        QSignalSpy changed(&project, &ProjectModel::nodeChanged);

        const UsbSearch::Result result = UsbSearch::run(project);
        QVERIFY(!absent->portFound);
        QCOMPARE(result.matched, QList<ProjectDevice *> {known});
        QVERIFY(known->portFound);
        QCOMPARE(known->portInfo.systemLocation, sim->usbPath(horn));
        QCOMPARE(known->usbVendorId, uint16_t(0x0483));
        QCOMPARE(known->firmwareVersion, "1.0.0");
        QCOMPARE(known->tag, "Холл");
        QCOMPARE(known->parentGroup(), group);
        bool changedKnown = false;
        for (const QList<QVariant> &args : qAsConst(changed))
            changedKnown = changedKnown || args.at(0).value<QObject *>() == known;
        QVERIFY(changedKnown);

        // The bootloader and the console both report serial number 0: two devices, not one.
        QCOMPARE(result.added.size(), 3);
        for (ProjectDevice *added : result.added) {
            QVERIFY(added->portFound);
            QCOMPARE(added->parent(), &project);
            QVERIFY(project.nodes.contains(added));
            QVERIFY(added->id_obj >= 0);
        }
        QCOMPARE(project.allDevices().size(), 5);

        // A second search finds the same devices again and adds nothing.
        const UsbSearch::Result again = UsbSearch::run(project);
        QCOMPARE(again.matched.size(), 4);
        QCOMPARE(again.added.size(), 0);
        QCOMPARE(project.allDevices().size(), 5);
    }

    void workerOpensThePortDiscoveryFound()
    {
        // A second device with the same USB ids as the loudspeaker, later in port order.
        SimDevice *twin = sim->addDevice(DeviceType::IpPult, 5005, "127.76.0.8");
        QVERIFY(!sim->addUsb(twin).isEmpty());
        const QList<ProjectDevice *> devices = CdcUsbProcess::findoutPorts();
        ProjectDevice *found = nullptr;
        for (ProjectDevice *device : devices) {
            if (device->serial == 5005)
                found = device;
        }
        QVERIFY(found);
        QCOMPARE(found->usbVendorId, uint16_t(0x0483));

        Amodule module(found, nullptr, 0);
        QSignalSpy connected(&module, &Amodule::connected);
        QVERIFY(connected.wait(10000));
        QCOMPARE(connected.first().at(0).toInt(), int(DeviceType::IpPult));
        module.closeAndWait(10000);

        // A device never discovered goes to the first port with the ids, the loudspeaker's.
        std::unique_ptr<ProjectDevice> anyone(SimHarness::usbTarget());
        Amodule first(anyone.get(), nullptr, 0);
        QSignalSpy firstConnected(&first, &Amodule::connected);
        QVERIFY(firstConnected.wait(10000));
        QCOMPARE(firstConnected.first().at(0).toInt(), int(DeviceType::Horn));
        first.closeAndWait(10000);
        qDeleteAll(devices);
    }

    void usbSearchKeepsTwoConsolesApart()
    {
        // A second RS-485 console on USB: like the first, it reports serial number 0.
        SimDevice *second = sim->addDevice(DeviceType::BexarTovik2, 4005, "127.76.0.9");
        QVERIFY(!sim->addUsb(second, 0x1209, 0x0007).isEmpty());

        ProjectModel project(ProjectModel::Journals::None);
        const UsbSearch::Result result = UsbSearch::run(project);
        QList<ProjectDevice *> consoles;
        for (ProjectDevice *device : project.allDevices()) {
            if (device->type == DeviceType::BexarTovik2)
                consoles.append(device);
        }
        QCOMPARE(consoles.size(), 2);
        QVERIFY(result.added.contains(consoles.at(0)) && result.added.contains(consoles.at(1)));
        QVERIFY(consoles.at(0)->portInfo.systemLocation != consoles.at(1)->portInfo.systemLocation);

        // Found again, each by its own project device.
        const UsbSearch::Result again = UsbSearch::run(project);
        QCOMPARE(again.added.size(), 0);
        QVERIFY(again.matched.contains(consoles.at(0)) && again.matched.contains(consoles.at(1)));
    }

private:
    std::unique_ptr<SimHarness> sim;
    SimDevice *horn = nullptr; // 0483:5740
    SimDevice *unit = nullptr; // 1209:0001
    SimDevice *boot = nullptr; // 1209:00aa
    SimDevice *console = nullptr; // RS-485 console, 1209:0006
    SimDevice *silent = nullptr; // 1209:0003, never answers
    SimDevice *odd = nullptr; // unknown type key, 1209:0004
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
