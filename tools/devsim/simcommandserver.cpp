#include "tools/devsim/simcommandserver.h"

#include "tools/devsim/simcommanddevice.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simptychannel.h"
#include "tools/devsim/simrequestlog.h"
#include "tools/devsim/simsharedlistener.h"
#include "tools/devsim/simtcpchannel.h"
#include "tools/devsim/simulator.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

SimCommandServer::SimCommandServer(Simulator *simulator, QObject *parent)
    : QObject(parent)
    , simulator(simulator)
{
}

SimCommandServer::~SimCommandServer()
{
    for (Entry *entry : qAsConst(entries)) {
        for (const QPointer<SimTcpChannel> &connection : qAsConst(entry->connections)) {
            if (connection)
                delete connection.data();
        }
        delete entry->pty;
        delete entry;
    }
}

SimCommandServer::Entry *SimCommandServer::entryOf(SimDevice *device) const
{
    return entryByDevice.value(device);
}

bool SimCommandServer::listen(quint16 port, QString *error, bool sharedListener)
{
    if (sharedListener && !shared) {
        shared = new SimSharedListener(simulator, this);
        if (!shared->listen(port, error)) {
            delete shared;
            shared = nullptr;
            return false;
        }
        connect(shared, &SimSharedListener::accepted, this, &SimCommandServer::acceptShared);
        connect(shared, &SimSharedListener::foreignConnectionClosed, this,
                &SimCommandServer::foreignConnectionClosed);
        port = shared->port();
    }
    for (SimDevice *device : simulator->devices()) {
        if (!entryOf(device) && !attach(device, port, error))
            return false;
    }
    return true;
}

bool SimCommandServer::attach(SimDevice *device, quint16 port, QString *error)
{
    if (entryOf(device))
        return true;
    if (!Simulator::isLoopback(device->address)) {
        if (error)
            *error = QStringLiteral("address %1 is not a loopback address")
                         .arg(device->address.toString());
        return false;
    }
    auto *entry = new Entry;
    entry->device = device;
    entry->command = new SimCommandDevice(device, port, this);
    entry->command->setRequestLogFile(requestLog);
    entry->port = port;
    connect(entry->command, &SimCommandDevice::restarting, this, [this, device] {
        // The answer that triggered the restart leaves first.
        QTimer::singleShot(100, this, [this, device] { restart(device); });
    });
    // Pulled out by a fault: after the request that did it has been taken in.
    connect(
        entry->command, &SimCommandDevice::pulledOut, this, [this, device] { unplug(device); },
        Qt::QueuedConnection);
    entries.append(entry);
    entryByDevice.insert(device, entry);
    if (!startListening(*entry, error))
        return false;
    // The device reports the port it really listens on.
    device->descriptors.insert(QStringLiteral("CommandPort"), QString::number(entry->port));
    return true;
}

bool SimCommandServer::startListening(Entry &entry, QString *error)
{
    if (shared) {
        entry.port = shared->port();
        return true;
    }
    if (!entry.server) {
        entry.server = new QTcpServer(this);
        Entry *raw = &entry;
        connect(entry.server, &QTcpServer::newConnection, this,
                [this, raw] { acceptConnections(raw); });
    }
    if (entry.server->isListening())
        return true;
    if (!entry.server->listen(entry.device->address, entry.port)) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(entry.device->address.toString())
                         .arg(entry.port)
                         .arg(entry.server->errorString());
        return false;
    }
    entry.port = entry.server->serverPort();
    return true;
}

void SimCommandServer::acceptConnections(Entry *entry)
{
    while (QTcpSocket *socket = entry->server->nextPendingConnection()) {
        auto *channel = new SimTcpChannel(entry->command, socket, this);
        entry->connections.append(channel);
    }
    entry->connections.removeAll(QPointer<SimTcpChannel>());
}

void SimCommandServer::acceptShared(QTcpSocket *socket, SimDevice *device)
{
    Entry *entry = entryOf(device);
    // An unplugged device takes no connection.
    if (!entry || !entry->plugged) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    entry->connections.append(new SimTcpChannel(entry->command, socket, this));
    entry->connections.removeAll(QPointer<SimTcpChannel>());
}

bool SimCommandServer::addUsb(SimDevice *device, uint16_t vendorId, uint16_t productId,
                              const QString &registryDir, QString *error)
{
    Entry *entry = entryOf(device);
    if (!entry) {
        if (error)
            *error = QStringLiteral("device %1 has no command side").arg(device->serial);
        return false;
    }
    if (registryDir.isEmpty()) {
        if (error)
            *error = QStringLiteral("no virtual port registry folder (set NORDA_VIRTUAL_PORTS)");
        return false;
    }
    if (entry->pty)
        return true;
    const QString name = QStringLiteral("%1-%2").arg(device->reportedKey).arg(device->serial);
    entry->pty = new SimPtyChannel(entry->command, registryDir, name, vendorId, productId, this);
    if (!entry->plugged)
        return true;
    return entry->pty->plug(error);
}

bool SimCommandServer::openRequestLog(const QString &path, QString *error)
{
    if (!requestLog)
        requestLog = new SimRequestLog(this);
    if (!requestLog->open(path, error))
        return false;
    for (Entry *entry : qAsConst(entries))
        entry->command->setRequestLogFile(requestLog);
    return true;
}

SimCommandDevice *SimCommandServer::commandDevice(SimDevice *device) const
{
    const Entry *entry = entryOf(device);
    return entry ? entry->command : nullptr;
}

quint16 SimCommandServer::tcpPort(SimDevice *device) const
{
    const Entry *entry = entryOf(device);
    return entry ? entry->port : 0;
}

QString SimCommandServer::usbPath(SimDevice *device) const
{
    const Entry *entry = entryOf(device);
    return entry && entry->pty ? entry->pty->path() : QString();
}

bool SimCommandServer::isPlugged(SimDevice *device) const
{
    const Entry *entry = entryOf(device);
    return entry && entry->plugged;
}

void SimCommandServer::dropConnections(SimDevice *device)
{
    Entry *entry = entryOf(device);
    if (!entry)
        return;
    const QList<QPointer<SimTcpChannel>> connections = entry->connections;
    entry->connections.clear();
    for (const QPointer<SimTcpChannel> &connection : connections) {
        if (connection)
            connection->shutdown();
    }
}

void SimCommandServer::unplug(SimDevice *device)
{
    Entry *entry = entryOf(device);
    if (!entry)
        return;
    entry->plugged = false;
    if (entry->server)
        entry->server->close();
    dropConnections(device);
    if (entry->pty)
        entry->pty->unplug();
}

bool SimCommandServer::replug(SimDevice *device, QString *error)
{
    Entry *entry = entryOf(device);
    if (!entry)
        return false;
    entry->plugged = true;
    if (!startListening(*entry, error))
        return false;
    return !entry->pty || entry->pty->plug(error);
}

void SimCommandServer::restart(SimDevice *device)
{
    Entry *entry = entryOf(device);
    if (!entry || !entry->plugged)
        return;
    unplug(device);
    QTimer::singleShot(restartMs, this, [this, device] { replug(device); });
}
