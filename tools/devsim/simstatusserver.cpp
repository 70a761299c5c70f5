#include "tools/devsim/simstatusserver.h"

#include "tools/devsim/simdevice.h"
#include "tools/devsim/simhttpconnection.h"
#include "tools/devsim/simsharedlistener.h"
#include "tools/devsim/simulator.h"

#include <QTcpServer>
#include <QTcpSocket>

SimStatusServer::SimStatusServer(Simulator *simulator, quint16 port, QObject *parent)
    : QObject(parent)
    , m_simulator(simulator)
    , m_port(port)
{
    qRegisterMetaType<SimDevice *>();
}

SimStatusServer::~SimStatusServer() = default;

bool SimStatusServer::start(QString *error, bool shared)
{
    if (m_port == 0) {
        if (error)
            *error = QStringLiteral("no status port given");
        return false;
    }
    if (shared) {
        auto *listener = new SimSharedListener(m_simulator, this);
        if (!listener->listen(m_port, error)) {
            delete listener;
            return false;
        }
        connect(listener, &SimSharedListener::accepted, this, &SimStatusServer::accept);
        connect(listener, &SimSharedListener::foreignConnectionClosed, this,
                &SimStatusServer::foreignConnectionClosed);
        return true;
    }
    for (SimDevice *device : m_simulator->devices()) {
        if (!Simulator::isLoopback(device->address)) {
            if (error)
                *error = QStringLiteral("address %1 is not a loopback address")
                             .arg(device->address.toString());
            return false;
        }
        auto *server = new QTcpServer(this);
        if (!server->listen(device->address, m_port)) {
            if (error)
                *error = QStringLiteral("cannot listen on %1:%2: %3")
                             .arg(device->address.toString())
                             .arg(m_port)
                             .arg(server->errorString());
            delete server;
            return false;
        }
        server->setMaxPendingConnections(64);
        connect(server, &QTcpServer::newConnection, this, [this, server, device] {
            while (QTcpSocket *socket = server->nextPendingConnection())
                accept(socket, device);
        });
        m_servers.append(server);
    }
    return true;
}

void SimStatusServer::accept(QTcpSocket *socket, SimDevice *device)
{
    ++m_connections[device];
    new SimHttpConnection(socket, device, this);
}

void SimStatusServer::setBehaviour(SimDevice *device, Behaviour behaviour)
{
    m_behaviours.insert(device, behaviour);
}

SimStatusServer::Behaviour SimStatusServer::behaviour(const SimDevice *device) const
{
    return m_behaviours.value(device, Behaviour::Normal);
}

bool SimStatusServer::behaviourFromName(const QString &name, Behaviour *behaviour)
{
    static const QHash<QString, Behaviour> names = {
        {QStringLiteral("normal"), Behaviour::Normal},
        {QStringLiteral("silent"), Behaviour::Silent},
        {QStringLiteral("404"), Behaviour::NotFound},
        {QStringLiteral("empty"), Behaviour::Empty},
        {QStringLiteral("not-json"), Behaviour::NotJson},
        {QStringLiteral("not-object"), Behaviour::NotObject},
        {QStringLiteral("oversized"), Behaviour::Oversized},
        {QStringLiteral("slow"), Behaviour::Slow},
        {QStringLiteral("endless"), Behaviour::Endless},
    };
    const auto it = names.constFind(name.toLower());
    if (it == names.constEnd())
        return false;
    *behaviour = it.value();
    return true;
}

void SimStatusServer::countRequest(SimDevice *device, const QString &path)
{
    ++m_requests[device];
    ++m_totalRequests;
    emit requestReceived(device, path);
}
