#include "simharness.h"

#include "link/serialportenumerator.h"
#include "link/virtualportregistry.h"
#include "project/projectdevice.h"
#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simcommandserver.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simulator.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QMetaObject>

SimHarness::SimHarness()
{
    qputenv(VirtualPortRegistry::environmentVariable, registry.path().toLocal8Bit());
    qputenv(SerialPortEnumerator::virtualOnlyVariable, "1");
    if (qEnvironmentVariableIsEmpty("NORDA_TEST_LINK_LOG"))
        QLoggingCategory::setFilterRules("norda.link.debug=false");
    thread.setObjectName("simulator");
    simulator = new Simulator;
    server = new SimCommandServer(simulator);
    simulator->moveToThread(&thread);
    server->moveToThread(&thread);
    thread.start();
}

SimHarness::~SimHarness()
{
    run([this] {
        delete server;
        delete simulator;
    });
    thread.quit();
    thread.wait();
}

void SimHarness::run(const std::function<void()> &job)
{
    QMetaObject::invokeMethod(server, job, Qt::BlockingQueuedConnection);
}

SimDevice *SimHarness::addDevice(int type, int serial, const QString &address)
{
    SimDevice *device = nullptr;
    run([&] {
        device = simulator->addDevice(type, serial, QHostAddress(address));
        QString error;
        if (!server->attach(device, 0, &error))
            qWarning("cannot attach the simulated device: %s", qPrintable(error));
    });
    return device;
}

QString SimHarness::addUsb(SimDevice *device, uint16_t vid, uint16_t pid)
{
    QString path;
    run([&] {
        QString error;
        if (!server->addUsb(device, vid, pid, registry.path(), &error))
            qWarning("cannot add the USB port: %s", qPrintable(error));
        path = server->usbPath(device);
    });
    return path;
}

quint16 SimHarness::tcpPort(SimDevice *device)
{
    quint16 port = 0;
    run([&] { port = server->tcpPort(device); });
    return port;
}

QString SimHarness::usbPath(SimDevice *device)
{
    QString path;
    run([&] { path = server->usbPath(device); });
    return path;
}

SimCommandDevice *SimHarness::command(SimDevice *device)
{
    SimCommandDevice *result = nullptr;
    run([&] { result = server->commandDevice(device); });
    return result;
}

void SimHarness::unplug(SimDevice *device)
{
    run([&] { server->unplug(device); });
}

bool SimHarness::replug(SimDevice *device)
{
    bool plugged = false;
    run([&] {
        QString error;
        plugged = server->replug(device, &error);
        if (!plugged)
            qWarning("cannot plug the simulated device back in: %s", qPrintable(error));
    });
    return plugged;
}

void SimHarness::setFault(SimDevice *device, const QString &fault)
{
    run([&] {
        QString error;
        if (!server->commandDevice(device)->faults.apply(fault, &error))
            qWarning("%s", qPrintable(error));
    });
}

void SimHarness::clearFaults(SimDevice *device)
{
    run([&] { server->commandDevice(device)->faults.clear(); });
}

void SimHarness::setRawAnswer(SimDevice *device, const QString &prefix, const QByteArray &raw,
                              int count, int skip)
{
    run([&] {
        SimFaults::Rule rule;
        rule.prefix = prefix;
        rule.count = count;
        rule.skip = skip;
        rule.action = SimFaults::Rule::Raw;
        rule.raw = raw;
        server->commandDevice(device)->faults.rules.append(rule);
    });
}

QStringList SimHarness::requestLog(SimDevice *device)
{
    return command(device)->requestLog();
}

QList<qint64> SimHarness::requestTimes(SimDevice *device)
{
    return command(device)->requestTimes();
}

void SimHarness::clearLog(SimDevice *device)
{
    command(device)->clearRequestLog();
}

ProjectDevice *SimHarness::tcpTarget(SimDevice *device)
{
    auto *target = new ProjectDevice(device->type);
    target->serial = device->serial;
    target->ip_enabled = true;
    target->ip_addr = device->address.toString();
    return target;
}

ProjectDevice *SimHarness::usbTarget(uint16_t vid, uint16_t pid)
{
    auto *target = new ProjectDevice(DeviceType::Unknown);
    target->usbVendorId = vid;
    target->usbProductId = pid;
    return target;
}
