#pragma once

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <cstdint>
#include <functional>

class ProjectDevice;
class SimCommandDevice;
class SimCommandServer;
class SimDevice;
class Simulator;

// The device simulator running in the test process on a thread of its own, with real TCP
// servers on loopback addresses and real pseudo-terminals. The constructor points the virtual
// port registry at a fresh folder and hides the machine's own serial ports from the test.
class SimHarness : public QObject {
    Q_OBJECT

public:
    SimHarness();
    ~SimHarness() override;

    // Runs `job` on the simulator's thread and waits for it.
    void run(const std::function<void()> &job);

    // A device on `address` with its command side on a free port. Each test program uses a
    // loopback range of its own (127.7N.0.x), so that test programs running side by side
    // never take each other's address and port while a device is unplugged.
    SimDevice *addDevice(int type, int serial, const QString &address);
    // Gives it a pseudo-terminal USB port with these ids; returns its path.
    QString addUsb(SimDevice *device, uint16_t vid = 0x0483, uint16_t pid = 0x5740);
    quint16 tcpPort(SimDevice *device);
    QString usbPath(SimDevice *device);
    SimCommandDevice *command(SimDevice *device);
    void unplug(SimDevice *device);
    bool replug(SimDevice *device);
    // Changes the device's faults on the simulator's thread.
    void setFault(SimDevice *device, const QString &fault);
    void clearFaults(SimDevice *device);
    // The next `count` requests starting with `prefix`, after `skip` of them passed, get
    // `raw` as their answer (-1: all).
    void setRawAnswer(SimDevice *device, const QString &prefix, const QByteArray &raw,
                      int count = -1, int skip = 0);
    QStringList requestLog(SimDevice *device);
    // When each line of requestLog() arrived (monotonic milliseconds).
    QList<qint64> requestTimes(SimDevice *device);
    void clearLog(SimDevice *device);

    // A project device that reaches the simulated device over TCP, or over USB with the ids.
    static ProjectDevice *tcpTarget(SimDevice *device);
    static ProjectDevice *usbTarget(uint16_t vid = 0x0483, uint16_t pid = 0x5740);

    QString registryDir() const { return registry.path(); }
    Simulator *sim() const { return simulator; }
    SimCommandServer *commandServer() const { return server; }

private:
    QTemporaryDir registry;
    QThread thread;
    Simulator *simulator;
    SimCommandServer *server;
};
