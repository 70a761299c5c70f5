#pragma once

#include "tools/devsim/simchannel.h"

#include <QString>

#include <cstdint>

class QSocketNotifier;

// A simulated device's USB serial port: a pseudo-terminal announced in the virtual port
// registry with chosen USB ids. Plugging creates the pseudo-terminal and its registry entry;
// unplugging removes both, which the console sees as the device being pulled out.
class SimPtyChannel : public SimChannel {
    Q_OBJECT

public:
    // Output that the console does not read is kept up to this size, then dropped.
    static constexpr int maxPendingOutput = 4 * 1024 * 1024;

    SimPtyChannel(SimCommandDevice *device, const QString &registryDir, const QString &entryName,
                  uint16_t vendorId, uint16_t productId, QObject *parent = nullptr);
    ~SimPtyChannel() override;

    bool plug(QString *error);
    void unplug();
    bool isPlugged() const { return master >= 0; }
    QString path() const { return slavePath; }
    uint16_t vendorId() const { return vid; }
    uint16_t productId() const { return pid; }

    void shutdown() override { unplug(); }

protected:
    void sendBytes(const QByteArray &bytes) override;

private:
    void readMaster();
    void writeMaster();

    QString registryDir;
    QString entryName;
    uint16_t vid;
    uint16_t pid;
    int master = -1;
    int slave = -1;
    QString slavePath;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QByteArray output;
};
