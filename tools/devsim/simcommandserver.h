#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>

class QTcpServer;
class QTcpSocket;
class SimSharedListener;
class SimCommandDevice;
class SimDevice;
class SimPtyChannel;
class SimRequestLog;
class SimTcpChannel;
class Simulator;

// The command side of the simulator: for every simulated device a TCP server on the device's
// loopback address and the given command port, and optionally a pseudo-terminal presented
// as its USB port. Also plugs devices in and out, and restarts them into and out of their
// bootloader.
class SimCommandServer : public QObject {
    Q_OBJECT

public:
    // How long a restarting device stays away.
    static constexpr int restartMs = 300;

    explicit SimCommandServer(Simulator *simulator, QObject *parent = nullptr);
    ~SimCommandServer() override;

    // Starts the command side of every device of the simulator. Port 0 picks a free port
    // per device (see tcpPort()). With `shared` one listener on the wildcard address serves
    // every device (SimSharedListener), port 0 then picks one free port for all of them.
    bool listen(quint16 port, QString *error, bool shared = false);
    // Starts the command side of one device (listen() does it for all).
    bool attach(SimDevice *device, quint16 port, QString *error);
    // Gives an attached device a pseudo-terminal with these USB ids in the registry folder.
    bool addUsb(SimDevice *device, uint16_t vendorId, uint16_t productId,
                const QString &registryDir, QString *error);

    // Appends every request line of every device, attached now or later, to this file.
    bool openRequestLog(const QString &path, QString *error);

    SimCommandDevice *commandDevice(SimDevice *device) const;
    quint16 tcpPort(SimDevice *device) const;
    QString usbPath(SimDevice *device) const;

    // Pulls the device out (TCP refused, connections dropped, pseudo-terminal gone) and
    // plugs it back in (the pseudo-terminal gets a new path).
    void unplug(SimDevice *device);
    bool replug(SimDevice *device, QString *error = nullptr);
    bool isPlugged(SimDevice *device) const;
    // Drops every TCP connection of the device (it stays reachable).
    void dropConnections(SimDevice *device);

signals:
    // A connection that arrived on the shared listener from outside 127.0.0.0/8 was closed.
    void foreignConnectionClosed(const QHostAddress &local, const QHostAddress &peer);

private:
    struct Entry {
        SimDevice *device = nullptr;
        SimCommandDevice *command = nullptr;
        QTcpServer *server = nullptr;
        quint16 port = 0;
        QList<QPointer<SimTcpChannel>> connections;
        SimPtyChannel *pty = nullptr;
        bool plugged = true;
    };

    Entry *entryOf(SimDevice *device) const;
    bool startListening(Entry &entry, QString *error);
    void acceptConnections(Entry *entry);
    void restart(SimDevice *device);
    void acceptShared(QTcpSocket *socket, SimDevice *device);

    Simulator *simulator;
    QList<Entry *> entries;
    QHash<SimDevice *, Entry *> entryByDevice;
    SimSharedListener *shared = nullptr;
    SimRequestLog *requestLog = nullptr;
};
